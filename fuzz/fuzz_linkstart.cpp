// SPDX-License-Identifier: GPL-3.0-or-later
#include "account/devicelinker.h"
#include "fuzztarget.h"
#include "net/httptransport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzDecoder(data, size, [](const QByteArray& body) {
        const tidewell::DeviceLinker::Start start = tidewell::DeviceLinker::decodeStart(body);
        // The poll token goes into a header on every poll; an answer that would break the header is refused.
        FUZZ_CHECK(tidewell::HttpTransport::isHeaderSafe(start.pollToken));
    });
    return 0;
}
