#include "api/httptransport.h"

#include "api/transporterror.h"
#include "base/cancellederror.h"

#include <QCoroNetworkReply>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <memory>

namespace tidewell {

namespace {

struct DeleteLater
{
    void operator()(QObject* object) const { object->deleteLater(); }
};

// Qt reports a non-success HTTP status as an error code too; those codes sit in 201–299 and 401–499. Every
// other code means the exchange itself broke, even when a status line had already arrived.
bool isStatusError(QNetworkReply::NetworkError code)
{
    return (code >= 201 && code <= 299) || (code >= 401 && code <= 499);
}

} // namespace

QNetworkRequest HttpTransport::makeRequest(const QUrl& url, std::chrono::milliseconds timeout)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(int(timeout.count()));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::SameOriginRedirectPolicy);
    return request;
}

std::optional<QUrl> HttpTransport::endpoint(const QUrl& serverURL, const QString& path)
{
    QString base = serverURL.toString(QUrl::FullyEncoded);
    if (base.endsWith(u'/'))
        base.chop(1);
    QUrl url(base + path, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative())
        return std::nullopt;
    return url;
}

bool HttpTransport::isHeaderSafe(const QString& value)
{
    return std::none_of(value.begin(), value.end(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

QCoro::Task<HttpTransport::Reply> HttpTransport::send(QNetworkAccessManager* session, QNetworkRequest request,
    QByteArray method, std::optional<QByteArray> body, std::stop_token stop)
{
    if (stop.stop_requested())
        throw CancelledError();

    std::unique_ptr<QNetworkReply, DeleteLater> reply(
        body ? session->sendCustomRequest(request, method, *body) : session->sendCustomRequest(request, method));
    // Queued, so that the awaiting coroutine resumes from the event loop rather than inside request_stop().
    std::stop_callback abortOnStop(
        stop, [r = reply.get()] { QMetaObject::invokeMethod(r, &QNetworkReply::abort, Qt::QueuedConnection); });

    if (!reply->isFinished())
        co_await reply.get();

    if (stop.stop_requested())
        throw CancelledError();

    const QNetworkReply::NetworkError error = reply->error();
    if (error == QNetworkReply::OperationCanceledError) {
        // Nobody asked to stop, so the transfer time-out fired.
        throw TransportError(QNetworkReply::TimeoutError,
            QStringLiteral("The server did not answer within %1 seconds.").arg(request.transferTimeout() / 1000.0));
    }
    if (error != QNetworkReply::NoError && !isStatusError(error))
        throw TransportError(error, reply->errorString());

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    co_return Reply { status.isValid() ? std::optional<int>(status.toInt()) : std::nullopt, reply->readAll() };
}

} // namespace tidewell
