#include "fuzztarget.h"
#include "wiredecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        const tidewell::SyncResponse page = tidewell::WireDecoder::syncResponse(fuzzInput(data, size));
        (void)page;
    } catch (const tidewell::Error& error) {
        FUZZ_CHECK(!error.description().isEmpty());
    }
    return 0;
}
