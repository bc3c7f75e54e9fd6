// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cache/cachedmessage.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QPointer>
#include <memory>
#include <optional>
#include <stop_token>

namespace tidewell {

class Badge;
class Preferences;
class CacheContext;
class SyncEngine;

// The read position (one id for every application: everything above it is unread), the unread count it gives
// over the cache, and the launcher badge that shows that count. The position is stored in the preferences unless
// the owner is a throw-away instance; it only moves forward, and only once the server has taken it.
class ReadPosition : public QObject
{
    Q_OBJECT
public:
    // `persists` false: the position is never loaded or stored and the badge never touched.
    ReadPosition(std::shared_ptr<CacheContext> cache, Preferences* preferences, Badge* badge, bool persists,
        QObject* parent = nullptr);

    qint64 lastReadId() const { return m_lastReadId; }
    qint64 unreadCount() const { return m_unreadCount; }

    bool isUnread(const CachedMessage& message) const;
    qint64 unreadCount(std::optional<qint64> applicationId, const QList<CachedMessage>& messages) const;

    // The stored position; on a first start (none stored) whatever the cache holds counts as read.
    void load();
    void reset();
    // Counts again; reports the count when it changed, and always when `updateBadge`, which also sets the badge.
    void recompute(bool updateBadge);

    // Sends the position (the given id, or the highest cached one) to the server through `engine`, and takes it
    // here once the server has; then counts again. A failure is logged and changes nothing: the next call tries
    // again. Stopping `account` (the account went) leaves the position as it was.
    static QCoro::Task<> markRead(QPointer<ReadPosition> self, std::shared_ptr<SyncEngine> engine,
        std::optional<qint64> through, std::stop_token account);

signals:
    void lastReadIdChanged();
    void unreadCountChanged();
    // The count the status item and other displays should show; see recompute().
    void onUnreadCountChanged(qint64 count);

private:
    void set(qint64 id);

    std::shared_ptr<CacheContext> m_cache;
    Preferences* m_preferences;
    Badge* m_badge;
    const bool m_persists;
    qint64 m_lastReadId = 0;
    qint64 m_unreadCount = 0;
};

} // namespace tidewell
