// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>
#include <QString>
#include <chrono>
#include <optional>

namespace tidewell {

// The one account the demo server serves: its applications and messages, the devices linked to it, and the link
// requests that wait for approval in a browser. It lives in memory only, so every start begins from the same
// demo data with fresh secrets. It knows nothing of HTTP; the server maps requests onto it.
class DemoAccount
{
public:
    struct App
    {
        qint64 id = 0;
        QString name;
        QString color; // "#RRGGBB"
        QByteArray icon; // a PNG file, or empty when the application has none
    };

    struct Message
    {
        qint64 id = 0;
        qint64 applicationId = 0;
        std::optional<QString> title;
        QString text;
        int priority = 0;
        std::optional<QString> url;
        std::optional<QString> urlTitle;
        std::optional<QString> sound;
        qint64 ts = 0; // seconds since the Unix epoch
    };

    struct Device
    {
        qint64 id = 0;
        QString secret;
        QString origin; // how it was linked: "link-url" or "browser"
        qint64 lastReadId = 0;
        std::optional<QString> pushToken;
        bool sandbox = false;
        bool revoked = false;
    };

    struct LinkRequest
    {
        QString code;
        QString pollToken;
        QDeadlineTimer expiry;
        bool approved = false;
    };

    static constexpr auto codeAlphabet = "0123456789ABCDEFGHJKMNPQRSTVWXYZabcdefghjkmnpqrstvwxyz";

    explicit DemoAccount(std::chrono::seconds linkLifetime = std::chrono::minutes(10));

    // Four applications (one with an icon) and `messageCount` messages spread over them and over every priority,
    // the newest a few minutes old.
    void seed(int messageCount);

    const QList<App>& apps() const { return m_apps; }
    const App* app(qint64 id) const;

    const QList<Message>& messages() const { return m_messages; } // in id order
    // Up to `limit` messages with an id above `since`; `hasMore` tells whether any remain after them.
    QList<Message> messagesAfter(qint64 since, int limit, bool& hasMore) const;
    int messageCount(qint64 applicationId) const;
    // Gives the message the next id (and the current time when its ts is 0) and returns that id.
    qint64 addMessage(Message message);
    bool removeMessage(qint64 id);
    int removeMessagesOf(qint64 applicationId);

    const QList<Device>& devices() const { return m_devices; }
    Device& issueDevice(const QString& origin);
    // The device that `secret` authenticates: known and not revoked.
    Device* liveDevice(const QString& secret);

    std::chrono::seconds linkLifetime() const { return m_linkLifetime; }
    const LinkRequest& startLink();
    LinkRequest* linkByPollToken(const QString& pollToken);
    LinkRequest* linkByCode(const QString& code);
    void forgetLink(const QString& pollToken);
    int pendingLinkCount() const;

private:
    static QString newSecret();
    QString newCode() const;
    qint64 addApp(QString name, QString color, QByteArray icon);

    QList<App> m_apps;
    QList<Message> m_messages;
    QList<Device> m_devices;
    QList<LinkRequest> m_links;
    std::chrono::seconds m_linkLifetime;
    qint64 m_lastMessageId = 0;
};

} // namespace tidewell
