#include "fuzztarget.h"
#include "wiredecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        const QList<tidewell::AppInfo> apps = tidewell::WireDecoder::appList(fuzzInput(data, size));
        (void)apps;
    } catch (const tidewell::Error& error) {
        FUZZ_CHECK(!error.description().isEmpty());
    }
    return 0;
}
