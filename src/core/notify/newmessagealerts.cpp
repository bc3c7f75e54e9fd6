// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/newmessagealerts.h"

#include "base/error.h"
#include "base/logging.h"
#include "base/servertext.h"
#include "cache/cachecontext.h"

#include <QHash>

#include <algorithm>

namespace tidewell {

QString NewMessageAlerts::Texts::untitled()
{
    //: The title of a notification whose message has none.
    return tr("Message");
}

QString NewMessageAlerts::Texts::moreNewMessages(qsizetype count)
{
    return count == 1 ? tr("1 more new message") : tr("%n more new messages", nullptr, int(count));
}

NewMessageAlerts::NewMessageAlerts(std::shared_ptr<CacheContext> cache, Post post, QObject* parent)
    : QObject(parent)
    , m_cache(std::move(cache))
    , m_post(std::move(post))
{ }

void NewMessageAlerts::announce(qint64 previousMaxId, qint64 lastReadId)
{
    if (!m_cache || !m_post || previousMaxId <= 0)
        return;
    QList<MessageAlert> alerts;
    try {
        alerts = select(m_cache->fetchMessagesAbove(std::max(previousMaxId, lastReadId)), m_cache->fetchApps(),
            previousMaxId, lastReadId);
    } catch (const Error& error) {
        // The messages are cached and counted; only their announcement is lost, which is no reason to bother the
        // user with an error line.
        qCWarning(lcNotify) << "new messages not announced:" << error.description();
        return;
    }
    for (const MessageAlert& alert : std::as_const(alerts))
        m_post(alert);
}

QList<MessageAlert> NewMessageAlerts::select(
    const QList<CachedMessage>& candidates, const QList<CachedApp>& apps, qint64 previousMaxId, qint64 lastReadId)
{
    if (previousMaxId <= 0)
        return {};
    const qint64 floor = std::max(previousMaxId, lastReadId);
    QList<const CachedMessage*> announced;
    for (const CachedMessage& message : candidates) {
        if (message.id > floor && message.priority > silentPriority)
            announced.append(&message);
    }
    std::sort(announced.begin(), announced.end(), [](const auto* a, const auto* b) { return a->id < b->id; });

    QHash<qint64, const CachedApp*> appsById;
    for (const CachedApp& app : apps)
        appsById.insert(app.id, &app);

    QList<MessageAlert> alerts;
    const qsizetype overflow = std::max<qsizetype>(0, announced.size() - maxMessageAlerts);
    if (overflow > 0) {
        MessageAlert more;
        more.summary = Texts::moreNewMessages(overflow);
        more.urgency = MessageAlert::Urgency::Low;
        const qint64 firstApp = announced.first()->applicationId;
        bool oneApp = true;
        for (qsizetype i = 0; i < overflow; ++i) {
            // The overflow must not hide how urgent the messages behind it are.
            more.urgency = std::max(more.urgency, urgency(announced[i]->priority));
            oneApp = oneApp && announced[i]->applicationId == firstApp;
        }
        if (oneApp) {
            more.applicationId = firstApp;
            if (const CachedApp* app = appsById.value(firstApp))
                more.icon = app->icon;
        }
        alerts.append(std::move(more));
    }
    for (qsizetype i = overflow; i < announced.size(); ++i) {
        const CachedMessage& message = *announced[i];
        const CachedApp* app = appsById.value(message.applicationId);
        MessageAlert alert;
        alert.summary = summary(message, app);
        alert.body = message.message;
        alert.icon = app ? app->icon : std::nullopt;
        alert.urgency = urgency(message.priority);
        alert.messageId = message.id;
        alert.applicationId = message.applicationId;
        alerts.append(std::move(alert));
    }
    return alerts;
}

QString NewMessageAlerts::summary(const CachedMessage& message, const CachedApp* app)
{
    if (message.title) {
        if (const QString title = ServerText::plain(*message.title); !title.trimmed().isEmpty())
            return title;
    }
    if (app) {
        if (const QString name = ServerText::plain(app->name); !name.trimmed().isEmpty())
            return name;
    }
    return Texts::untitled();
}

MessageAlert::Urgency NewMessageAlerts::urgency(qint64 priority)
{
    if (priority < 0)
        return MessageAlert::Urgency::Low;
    return priority >= 2 ? MessageAlert::Urgency::Critical : MessageAlert::Urgency::Normal;
}

} // namespace tidewell
