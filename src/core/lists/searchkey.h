// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "lists/largeblockallocator.h"

#include <QByteArray>
#include <QStringView>

#include <cstring>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace tidewell {

// The byte form the search compares: each UTF-16 code unit as its own UTF-8-style sequence (a surrogate too, as
// three bytes). Lead and continuation bytes differ and every unit has exactly one encoding, so a byte substring of
// two such keys is exactly a code-unit substring of the texts: the plain, case-sensitive test the search asks for,
// on half the memory for most text, and with no exception for unpaired surrogates. The search runs once per row
// over every cached message, so its pieces stay inline.
class SearchKey
{
public:
    // Keys of every row live in one buffer this large, hence the allocator for large blocks.
    using Buffer = std::vector<char, LargeBlockAllocator<char>>;

    template <typename Bytes> static void appendTo(QStringView text, Bytes& out)
    {
        for (QChar c : text) {
            const char16_t unit = c.unicode();
            if (unit < 0x80) {
                out.push_back(char(unit));
            } else if (unit < 0x800) {
                out.push_back(char(0xC0 | (unit >> 6)));
                out.push_back(char(0x80 | (unit & 0x3F)));
            } else {
                out.push_back(char(0xE0 | (unit >> 12)));
                out.push_back(char(0x80 | ((unit >> 6) & 0x3F)));
                out.push_back(char(0x80 | (unit & 0x3F)));
            }
        }
    }

    static QByteArray of(QStringView text);

    // A plain substring test tuned for a search box: short needles, haystacks of a few hundred bytes, called once
    // per row. A general search spends more on its set-up than most rows take to scan; here sixteen starting places
    // at once are kept only when both the first and the last byte of the needle are in place, and only those are
    // compared in full.
    static bool contains(const char* haystack, size_t length, const QByteArray& needle)
    {
        const size_t needleLength = size_t(needle.size());
        if (needleLength == 0)
            return true;
        if (needleLength > length)
            return false;
        const char* wanted = needle.constData();
        if (needleLength == 1)
            return std::memchr(haystack, wanted[0], length) != nullptr;
        const size_t places = length - needleLength + 1; // starting places that leave room for the whole needle
        size_t at = 0;
#ifdef __SSE2__
        const __m128i first = _mm_set1_epi8(wanted[0]);
        const __m128i last = _mm_set1_epi8(wanted[needleLength - 1]);
        for (; at + 16 <= places; at += 16) {
            const __m128i starts = _mm_loadu_si128(reinterpret_cast<const __m128i*>(haystack + at));
            const __m128i ends = _mm_loadu_si128(reinterpret_cast<const __m128i*>(haystack + at + needleLength - 1));
            unsigned mask
                = unsigned(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(starts, first), _mm_cmpeq_epi8(ends, last))));
            while (mask != 0) {
                const size_t place = at + size_t(__builtin_ctz(mask));
                if (needleLength == 2 || std::memcmp(haystack + place + 1, wanted + 1, needleLength - 2) == 0)
                    return true;
                mask &= mask - 1;
            }
        }
#endif
        for (; at < places; ++at) {
            if (haystack[at] == wanted[0] && haystack[at + needleLength - 1] == wanted[needleLength - 1]
                && std::memcmp(haystack + at + 1, wanted + 1, needleLength - 2) == 0)
                return true;
        }
        return false;
    }
};

} // namespace tidewell
