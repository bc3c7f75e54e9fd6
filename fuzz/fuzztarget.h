// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Shared by every fuzz target. A target feeds one input to one parser of outside data; the only acceptable ways
// out are a result or the parser's own error. Anything else — a crash, a sanitizer report, an escaped exception of
// another type, or a broken promise checked with FUZZ_CHECK — is a finding.

#include "base/error.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__);                   \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)

inline QByteArray fuzzInput(const uint8_t* data, size_t size)
{
    // A deep copy: the parsers may keep views into the buffer for as long as they like.
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// Runs a decoder of server bodies over the input; the only failure it may have is one of the project's errors,
// with a line to show.
template <typename Decode> void fuzzDecoder(const uint8_t* data, size_t size, Decode decode)
{
    try {
        decode(fuzzInput(data, size));
    } catch (const tidewell::Error& error) {
        FUZZ_CHECK(!error.description().isEmpty());
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
