// SPDX-License-Identifier: GPL-3.0-or-later
#include "account/devicelinker.h"
#include "fuzztarget.h"
#include "net/httptransport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using PollResult = tidewell::DeviceLinker::PollResult;
    fuzzDecoder(data, size, [](const QByteArray& body) {
        const PollResult result = tidewell::DeviceLinker::decodePoll(body);
        // Only an approval carries a secret, and the secret must be one a request can carry.
        if (result.kind == PollResult::Kind::Approved)
            FUZZ_CHECK(tidewell::HttpTransport::isHeaderSafe(result.secret));
        else
            FUZZ_CHECK(result.secret.isEmpty());
    });
    return 0;
}
