// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cache/cachedapp.h"
#include "cache/cachedmessage.h"
#include "notify/messagealert.h"

#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace tidewell {

class CacheContext;

// Decides which desktop notifications a sync pass raises, so that the platform adapter only posts them. Only
// messages that are both new in this pass and unread are announced; a pass that imports history into an empty
// cache announces nothing, and a burst is capped so that a long absence does not flood the desktop.
class NewMessageAlerts : public QObject
{
    Q_OBJECT
public:
    using Post = std::function<void(const MessageAlert& alert)>;

    // Messages announced one by one per pass; the rest share one overflow notification.
    static constexpr qsizetype maxMessageAlerts = 5;
    // Priorities at or below this are delivered silently and never announced.
    static constexpr qint64 silentPriority = -2;

    struct Texts
    {
        static QString untitled();
        static QString moreNewMessages(qsizetype count);
    };

    // Hands the alerts of each pass announced to `post`, reading the new messages from `cache`.
    NewMessageAlerts(std::shared_ptr<CacheContext> cache, Post post, QObject* parent = nullptr);

    // A pass cached messages above `previousMaxId` (0: the cache was empty before it); `lastReadId` is the read
    // position after it.
    void announce(qint64 previousMaxId, qint64 lastReadId);

    // The alerts of a pass, in posting order: the overflow notification first, then the newest messages oldest
    // first, so that desktops which stack notifications show the newest on top. `candidates` may come in any
    // order; `previousMaxId` is the highest id cached before the pass (0: the cache was empty).
    static QList<MessageAlert> select(
        const QList<CachedMessage>& candidates, const QList<CachedApp>& apps, qint64 previousMaxId, qint64 lastReadId);
    // A blank title or application name would give a blank notification heading, so both count as missing; so does
    // one of nothing but control characters, which the heading leaves out.
    static QString summary(const CachedMessage& message, const CachedApp* app);
    static MessageAlert::Urgency urgency(qint64 priority);

private:
    std::shared_ptr<CacheContext> m_cache;
    Post m_post;
};

} // namespace tidewell
