// SPDX-License-Identifier: GPL-3.0-or-later
#include "account/linkurl.h"
#include "fuzztarget.h"
#include "net/httptransport.h"

#include <QUrl>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Link URLs arrive as text, from the command line or from a second launch.
    const QUrl url(QString::fromUtf8(fuzzInput(data, size)));
    const std::optional<tidewell::DeviceConfig> config = tidewell::LinkURL::parse(url);
    if (!config)
        return 0;
    // Whatever is accepted must be safe to use: a secret that fits in a header, and a server reached over TLS
    // unless it is this machine.
    FUZZ_CHECK(tidewell::HttpTransport::isHeaderSafe(config->deviceSecret));
    FUZZ_CHECK(config->deviceSecret.size() >= tidewell::LinkURL::minimumSecretLength);
    const QUrl& server = config->serverURL;
    FUZZ_CHECK(server.isValid());
    const bool local = server.host() == QLatin1String("localhost") || server.host() == QLatin1String("127.0.0.1");
    FUZZ_CHECK(server.scheme() == QLatin1String("https") || (server.scheme() == QLatin1String("http") && local));
    FUZZ_CHECK(server.path().isEmpty() && !server.hasQuery() && !server.hasFragment() && server.userInfo().isEmpty());
    return 0;
}
