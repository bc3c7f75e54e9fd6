// SPDX-License-Identifier: GPL-3.0-or-later
#include "api/wiredecoder.h"
#include "fuzztarget.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzDecoder(data, size, [](const QByteArray& json) { tidewell::WireDecoder::syncResponse(json); });
    return 0;
}
