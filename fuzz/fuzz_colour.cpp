#include "fuzztarget.h"
#include "lists/listrules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(fuzzInput(data, size));
    const auto colour = tidewell::ListRules::colorFromHex(text);
    // Whatever parses is an opaque colour; everything else means the accent colour.
    if (colour)
        FUZZ_CHECK((*colour & 0xFF000000u) == 0xFF000000u);
    return 0;
}
