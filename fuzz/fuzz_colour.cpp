// SPDX-License-Identifier: GPL-3.0-or-later
#include "fuzztarget.h"
#include "lists/listpresentation.h"

#include <QString>
#include <algorithm>

namespace {

bool isBlank(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

} // namespace

// The parser's result is checked against the input's own characters: whatever parses must be exactly the colour
// its hex digits spell, channel by channel, and a plain "#RRGGBB" between blanks must always parse.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(fuzzInput(data, size));
    const auto colour = tidewell::ListPresentation::colorFromHex(text);

    QStringView core(text);
    while (!core.isEmpty() && isBlank(core.front()))
        core = core.sliced(1);
    while (!core.isEmpty() && isBlank(core.back()))
        core.chop(1);
    if (core.startsWith(u'#'))
        core = core.sliced(1);
    const bool plainDigits = core.size() == 6 && std::all_of(core.begin(), core.end(), isHexDigit);
    if (plainDigits)
        FUZZ_CHECK(colour.has_value());
    if (!colour)
        return 0;

    FUZZ_CHECK(core.size() == 6);
    QStringView digits = core;
    const bool signed_ = digits.front() == u'+' || digits.front() == u'-';
    if (signed_)
        digits = digits.sliced(1);
    FUZZ_CHECK(std::all_of(digits.begin(), digits.end(), isHexDigit));
    if (core.front() == u'-')
        FUZZ_CHECK((*colour & 0xFFFFFFu) == 0);

    const auto channel = [](QStringView twoDigits) { return twoDigits.toUInt(nullptr, 16); };
    const QString padded = QString(6 - digits.size(), u'0') + digits.toString();
    FUZZ_CHECK(((*colour >> 16) & 0xFFu) == channel(QStringView(padded).sliced(0, 2)));
    FUZZ_CHECK(((*colour >> 8) & 0xFFu) == channel(QStringView(padded).sliced(2, 2)));
    FUZZ_CHECK((*colour & 0xFFu) == channel(QStringView(padded).sliced(4, 2)));
    FUZZ_CHECK((*colour >> 24) == 0xFFu); // opaque, with nothing left over from the digits
    return 0;
}
