// SPDX-License-Identifier: GPL-3.0-or-later
#include "api/apiclient.h"

#include "api/wiredecoder.h"

#include <QCoreApplication>
#include <QJsonDocument>

namespace tidewell {

namespace {

QString describe(APIClient::APIError::Kind kind, int status)
{
    switch (kind) {
    case APIClient::APIError::Kind::Http:
        return QCoreApplication::translate("APIClient", "Server returned HTTP %1").arg(status);
    case APIClient::APIError::Kind::BadURL:
        return QCoreApplication::translate("APIClient", "Invalid server URL");
    case APIClient::APIError::Kind::BadCredential:
        return QCoreApplication::translate(
            "APIClient", "The device secret contains characters that cannot be sent; link this device again");
    }
    Q_UNREACHABLE();
}

QString number(qint64 value)
{
    return QString::number(value);
}

// A missing icon may come as 404; it is not a failure.
const QSet<int>& iconStatuses()
{
    static const QSet<int> statuses { 404 };
    return statuses;
}

} // namespace

APIClient::APIError::APIError(Kind kind, int status)
    : Error(describe(kind, status))
    , m_kind(kind)
    , m_status(status)
{ }

APIClient::APIClient(DeviceConfig config, QNetworkAccessManager* session, std::chrono::milliseconds timeout)
    : m_config(std::move(config))
    , m_session(session)
    , m_timeout(timeout)
{ }

QCoro::Task<QByteArray> APIClient::request(
    QString path, QByteArray method, std::optional<QJsonObject> body, QSet<int> acceptedStatuses, std::stop_token stop)
{
    const std::optional<QUrl> url = HttpTransport::endpoint(m_config.serverURL, path);
    if (!url)
        throw APIError::badURL();
    if (!HttpTransport::isHeaderSafe(m_config.deviceSecret))
        throw APIError::badCredential();

    QNetworkRequest request = HttpTransport::makeRequest(*url, m_timeout);
    request.setRawHeader("Authorization", "Bearer " + m_config.deviceSecret.toUtf8());
    std::optional<QByteArray> payload;
    if (body) {
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
        payload = QJsonDocument(*body).toJson(QJsonDocument::Compact);
    }

    const HttpTransport::Reply reply
        = co_await HttpTransport::send(m_session, std::move(request), std::move(method), std::move(payload), stop);
    if (const std::optional<int> failed = HttpTransport::failedStatus(reply, acceptedStatuses))
        throw APIError::http(*failed);
    co_return reply.body;
}

QCoro::Task<SyncResponse> APIClient::messages(qint64 since, qint64 limit, std::stop_token stop)
{
    const QByteArray body
        = co_await request(QStringLiteral("/api/messages?since=%1&limit=%2").arg(number(since), number(limit)),
            QByteArrayLiteral("GET"), {}, {}, stop);
    co_return WireDecoder::syncResponse(body);
}

QCoro::Task<> APIClient::markRead(qint64 lastReadId, std::stop_token stop)
{
    QJsonObject body;
    body.insert(QStringLiteral("last_read_id"), lastReadId);
    co_await request(QStringLiteral("/api/device/read"), QByteArrayLiteral("POST"), std::move(body), {}, stop);
}

QCoro::Task<QList<AppInfo>> APIClient::apps(std::stop_token stop)
{
    const QByteArray body = co_await request(QStringLiteral("/api/apps"), QByteArrayLiteral("GET"), {}, {}, stop);
    co_return WireDecoder::appList(body);
}

QCoro::Task<std::optional<QByteArray>> APIClient::appIcon(qint64 id, std::stop_token stop)
{
    QByteArray body = co_await request(
        QStringLiteral("/api/apps/%1/icon").arg(number(id)), QByteArrayLiteral("GET"), {}, iconStatuses(), stop);
    if (body.isEmpty())
        co_return std::nullopt;
    co_return body;
}

QCoro::Task<> APIClient::registerPushToken(QString token, std::stop_token stop)
{
    QJsonObject body;
    body.insert(QStringLiteral("push_token"), token);
    body.insert(QStringLiteral("sandbox"), false); // this client never registers with a sandbox push service
    co_await request(QStringLiteral("/api/device/push-token"), QByteArrayLiteral("POST"), std::move(body), {}, stop);
}

QCoro::Task<> APIClient::deleteMessage(qint64 id, std::stop_token stop)
{
    co_await request(QStringLiteral("/api/messages/%1").arg(number(id)), QByteArrayLiteral("DELETE"), {}, {}, stop);
}

QCoro::Task<> APIClient::clearApp(qint64 id, std::stop_token stop)
{
    co_await request(QStringLiteral("/api/messages?app=%1").arg(number(id)), QByteArrayLiteral("DELETE"), {}, {}, stop);
}

QCoro::Task<> APIClient::revokeDevice(std::stop_token stop)
{
    co_await request(QStringLiteral("/api/device"), QByteArrayLiteral("DELETE"), {}, {}, stop);
}

} // namespace tidewell
