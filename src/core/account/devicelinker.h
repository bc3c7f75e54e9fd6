// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/error.h"
#include "net/httptransport.h"

#include <QCoroTask>
#include <QString>
#include <QUrl>
#include <optional>
#include <stop_token>
#include <variant>

class QNetworkAccessManager;

namespace tidewell {

// The client half of linking through the browser: ask the server for a pairing code and a poll token, build the
// address where the signed-in user approves the code, and poll until the approval yields a device secret. Holds
// no state between calls; the caller decides how often and how long to poll.
class DeviceLinker
{
public:
    // The 54 characters a pairing code may use: digits and letters without I, L, O and U, in both cases.
    static const QString& codeAllowed();

    struct Start
    {
        QString code;
        QString pollToken;
        qint64 expiresIn = 600; // seconds

        friend bool operator==(const Start&, const Start&) = default;
    };

    struct PollResult
    {
        enum class Kind
        {
            Approved,
            Pending,
            Expired
        };
        Kind kind = Kind::Pending;
        QString secret; // only for Approved

        static PollResult approved(QString secret) { return { Kind::Approved, std::move(secret) }; }
        static PollResult pending() { return {}; }
        static PollResult expired() { return { Kind::Expired, {} }; }
        friend bool operator==(const PollResult&, const PollResult&) = default;
    };

    class LinkError : public Error
    {
    public:
        enum class Kind
        {
            Http,
            BadResponse,
            BadURL
        };
        static LinkError http(int status);
        static LinkError badResponse();
        static LinkError badURL();
        Kind kind() const noexcept { return m_kind; }
        int status() const noexcept { return m_status; }

    private:
        LinkError(Kind kind, int status, QString description);
        Kind m_kind;
        int m_status;
    };

    DeviceLinker(QUrl serverURL, QNetworkAccessManager* session,
        std::chrono::milliseconds timeout = HttpTransport::defaultTimeout);

    const QUrl& serverURL() const { return m_serverURL; }

    // POST base + "/api/link". Fails with LinkError, TransportError, JsonSyntaxError or CancelledError.
    QCoro::Task<Start> start(std::stop_token stop = {});
    // GET base + "/api/link/poll" with the poll token as bearer credential.
    QCoro::Task<PollResult> poll(QString pollToken, std::stop_token stop = {});
    // The bodies of 2xx answers to start and poll. Fail with LinkError (wrong shape) or JsonSyntaxError.
    static Start decodeStart(const QByteArray& body);
    static PollResult decodePoll(const QByteArray& body);

    // base + "/#pair/" + the trimmed code, or none when the code is empty or uses other characters.
    std::optional<QUrl> approveURL(const QString& code) const;

private:
    QUrl m_serverURL;
    QNetworkAccessManager* m_session;
    std::chrono::milliseconds m_timeout;
};

} // namespace tidewell
