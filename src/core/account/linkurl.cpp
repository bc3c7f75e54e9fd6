// SPDX-License-Identifier: GPL-3.0-or-later
#include "account/linkurl.h"

#include "net/httptransport.h"

#include <QTextBoundaryFinder>

namespace tidewell {

namespace {

// User-perceived characters, so that a secret of combining sequences is not counted by code units.
int graphemeCount(const QString& text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() != -1)
        ++count;
    return count;
}

} // namespace

std::optional<DeviceConfig> LinkURL::parse(const QUrl& url)
{
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    if (url.path(QUrl::FullyDecoded) != QLatin1String("/link"))
        return std::nullopt;
    const QString host = url.host();
    const bool local = host == QLatin1String("localhost") || host == QLatin1String("127.0.0.1");
    const QString scheme = url.scheme();
    if (scheme != QLatin1String("https") && !(scheme == QLatin1String("http") && local))
        return std::nullopt;

    const QStringList pieces = url.fragment(QUrl::FullyDecoded).split(u'&', Qt::SkipEmptyParts);
    const auto secretPiece
        = std::find_if(pieces.begin(), pieces.end(), [](const QString& piece) { return piece.startsWith(u"s="); });
    if (secretPiece == pieces.end())
        return std::nullopt;
    const QString secret = secretPiece->mid(2);
    if (graphemeCount(secret) < minimumSecretLength)
        return std::nullopt;
    // The secret becomes a request header; one with a line break or other control character is refused here
    // rather than failing every request later.
    if (!HttpTransport::isHeaderSafe(secret))
        return std::nullopt;

    QUrl server;
    server.setScheme(scheme);
    server.setHost(host);
    server.setPort(url.port());
    if (!server.isValid())
        return std::nullopt;
    return DeviceConfig { server, secret };
}

} // namespace tidewell
