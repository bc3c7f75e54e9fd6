// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "account/deviceconfig.h"
#include "api/apiclientprotocol.h"
#include "base/error.h"
#include "net/httptransport.h"

#include <QJsonObject>
#include <QSet>

class QNetworkAccessManager;

namespace tidewell {

// The authenticated client of the server's JSON API for a linked device. Immutable: a new configuration gets a
// new client. Transport and decoding errors pass through unchanged; only status and URL problems are its own.
class APIClient : public APIClientProtocol
{
public:
    class APIError : public Error
    {
    public:
        enum class Kind
        {
            Http,
            BadURL,
            BadCredential
        };

        static APIError http(int status) { return APIError(Kind::Http, status); }
        static APIError badURL() { return APIError(Kind::BadURL, 0); }
        // The device secret holds a character that would break the request's header.
        static APIError badCredential() { return APIError(Kind::BadCredential, 0); }

        Kind kind() const noexcept { return m_kind; }
        int status() const noexcept { return m_status; }

    private:
        APIError(Kind kind, int status);
        Kind m_kind;
        int m_status;
    };

    APIClient(DeviceConfig config, QNetworkAccessManager* session,
        std::chrono::milliseconds timeout = HttpTransport::defaultTimeout);

    const DeviceConfig& config() const { return m_config; }

    QCoro::Task<SyncResponse> messages(qint64 since, qint64 limit, std::stop_token stop = {}) override;
    QCoro::Task<> markRead(qint64 lastReadId, std::stop_token stop = {}) override;
    QCoro::Task<QList<AppInfo>> apps(std::stop_token stop = {}) override;
    QCoro::Task<std::optional<QByteArray>> appIcon(qint64 id, std::stop_token stop = {}) override;
    QCoro::Task<> registerPushToken(QString token, std::stop_token stop = {}) override;
    QCoro::Task<> deleteMessage(qint64 id, std::stop_token stop = {}) override;
    QCoro::Task<> clearApp(qint64 id, std::stop_token stop = {}) override;
    QCoro::Task<> revokeDevice(std::stop_token stop = {}) override;

private:
    QCoro::Task<QByteArray> request(QString path, QByteArray method, std::optional<QJsonObject> body,
        QSet<int> acceptedStatuses, std::stop_token stop);

    DeviceConfig m_config;
    QNetworkAccessManager* m_session;
    std::chrono::milliseconds m_timeout;
};

} // namespace tidewell
