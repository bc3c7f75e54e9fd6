#pragma once

#include <QByteArray>
#include <QCoroTask>
#include <QNetworkRequest>
#include <chrono>
#include <optional>
#include <stop_token>

class QNetworkAccessManager;

namespace tidewell {

// The one place that turns a QNetworkReply into a result or an error, shared by the API client and the device
// linker. A reply with an HTTP status is returned whatever the status (the caller decides what it accepts); a
// request that produced no complete HTTP response raises TransportError; a stopped request raises CancelledError.
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

    static QCoro::Task<Reply> send(QNetworkAccessManager* session, QNetworkRequest request, QByteArray method,
        std::optional<QByteArray> body, std::stop_token stop);
};

} // namespace tidewell
