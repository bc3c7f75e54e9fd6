// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/httptransport.h"

#include "base/cancellederror.h"
#include "net/transporterror.h"

#include <QCoreApplication>
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

bool isSuccess(int status)
{
    return status >= 200 && status <= 299;
}

// The server answered with a redirect, and it is this client that declined to follow it: to another origin (a
// credential must not travel there) or round in circles. That is reported as such, not as the redirect's status.
bool isRefusedRedirect(QNetworkReply::NetworkError code)
{
    return code == QNetworkReply::InsecureRedirectError || code == QNetworkReply::TooManyRedirectsError;
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
            QCoreApplication::translate("HTTPTransport", "The server did not answer within %1 seconds.")
                .arg(request.transferTimeout() / 1000.0));
    }
    // Qt flags most statuses outside 2xx as errors too, under codes that follow no pattern (400 and 418 share one
    // with protocol faults, 407 is a proxy error, a 3xx without a usable Location an unknown protocol). So whether
    // the server answered is read from the status itself. A 2xx that still ended in an error lost part of its body.
    const QVariant statusAttribute = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const std::optional<int> status
        = statusAttribute.isValid() ? std::optional<int>(statusAttribute.toInt()) : std::nullopt;
    if (error != QNetworkReply::NoError && (!status || isSuccess(*status) || isRefusedRedirect(error)))
        throw TransportError(error, reply->errorString());
    co_return Reply { status, reply->readAll() };
}

std::optional<int> HttpTransport::failedStatus(const Reply& reply, const QSet<int>& accepted)
{
    const int status = reply.status.value_or(0);
    if (isSuccess(status) || accepted.contains(status))
        return std::nullopt;
    return status;
}

} // namespace tidewell
