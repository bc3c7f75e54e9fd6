// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QCoroTask>
#include <QNetworkRequest>
#include <QSet>
#include <chrono>
#include <optional>
#include <stop_token>

class QNetworkAccessManager;

namespace tidewell {

// The one place that turns a QNetworkReply into a result or an error, shared by the API client and the device
// linker. A reply with an HTTP status is returned whatever the status, and failedStatus() is the one rule for which
// statuses count as success; a request that produced no HTTP response, a 2xx whose body broke off, and a redirect
// this client refuses to follow raise TransportError; a stopped request raises CancelledError.
class HttpTransport
{
public:
    struct Reply
    {
        std::optional<int> status; // none when the response was not an HTTP response
        QByteArray body;
    };

    static constexpr std::chrono::milliseconds defaultTimeout { std::chrono::seconds(60) };

    // A request with the settings every Tidewell request shares: the time-out, and redirects only within the same
    // scheme, host and port so that a bearer credential never travels to another origin.
    static QNetworkRequest makeRequest(const QUrl& url, std::chrono::milliseconds timeout = defaultTimeout);

    // The address of `path` on the server at `serverURL`: the base's text with one trailing "/" removed, then
    // `path` appended as text, so a base with a path prefix keeps it. None when the result is not an absolute URL.
    static std::optional<QUrl> endpoint(const QUrl& serverURL, const QString& path);

    // True when `value` may be written into a header: no CR, LF, NUL or other control character.
    static bool isHeaderSafe(const QString& value);

    // None when `reply` counts as success: a status in 200–299, or one of `accepted`. Otherwise the status to
    // report, 0 when the response was not an HTTP response.
    static std::optional<int> failedStatus(const Reply& reply, const QSet<int>& accepted = {});

    static QCoro::Task<Reply> send(QNetworkAccessManager* session, QNetworkRequest request, QByteArray method,
        std::optional<QByteArray> body, std::stop_token stop);
};

} // namespace tidewell
