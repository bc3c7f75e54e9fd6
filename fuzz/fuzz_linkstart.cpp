#include "devicelinker.h"
#include "fuzztarget.h"
#include "httptransport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        const tidewell::DeviceLinker::Start start = tidewell::DeviceLinker::decodeStart(fuzzInput(data, size));
        // The poll token goes into a header on every poll; an answer that would break the header is refused.
        FUZZ_CHECK(tidewell::HttpTransport::isHeaderSafe(start.pollToken));
    } catch (const tidewell::Error& error) {
        FUZZ_CHECK(!error.description().isEmpty());
    }
    return 0;
}
