// SPDX-License-Identifier: GPL-3.0-or-later
#include "state/readposition.h"

#include "base/error.h"
#include "base/logging.h"
#include "cache/cachecontext.h"
#include "lists/listrules.h"
#include "services/badge.h"
#include "sync/syncengine.h"

#include "state/preferences.h"
#include <algorithm>

namespace tidewell {

ReadPosition::ReadPosition(
    std::shared_ptr<CacheContext> cache, Preferences* preferences, Badge* badge, bool persists, QObject* parent)
    : QObject(parent)
    , m_cache(std::move(cache))
    , m_preferences(preferences)
    , m_badge(badge)
    , m_persists(persists)
{ }

bool ReadPosition::isUnread(const CachedMessage& message) const
{
    return ListRules::isUnread(message, m_lastReadId);
}

qint64 ReadPosition::unreadCount(std::optional<qint64> applicationId, const QList<CachedMessage>& messages) const
{
    return std::count_if(messages.begin(), messages.end(),
        [&](const CachedMessage& m) { return isUnread(m) && (!applicationId || m.applicationId == *applicationId); });
}

void ReadPosition::load()
{
    const QVariant stored = m_preferences->value(Preferences::Key::LastReadId);
    if (stored.isValid()) {
        m_lastReadId = stored.toLongLong();
        return;
    }
    m_lastReadId = SyncEngine::maxLocalId(*m_cache);
    if (m_persists)
        m_preferences->setValue(Preferences::Key::LastReadId, m_lastReadId);
}

void ReadPosition::set(qint64 id)
{
    if (id != m_lastReadId) {
        m_lastReadId = id;
        emit lastReadIdChanged();
    }
    if (m_persists)
        m_preferences->setValue(Preferences::Key::LastReadId, id);
}

void ReadPosition::reset()
{
    if (m_lastReadId != 0) {
        m_lastReadId = 0;
        emit lastReadIdChanged();
    }
    if (m_persists)
        m_preferences->remove(Preferences::Key::LastReadId);
    recompute(true);
}

void ReadPosition::recompute(bool updateBadge)
{
    qint64 count = 0;
    try {
        count = m_cache->countMessagesAbove(m_lastReadId);
    } catch (const Error& error) {
        qCWarning(lcCache) << "unread messages not counted, taken as 0:" << error.description();
    }
    if (count != m_unreadCount) {
        m_unreadCount = count;
        emit unreadCountChanged();
        emit onUnreadCountChanged(count);
    } else if (updateBadge) {
        emit onUnreadCountChanged(count);
    }
    if (updateBadge && m_persists && m_badge)
        m_badge->setCount(count);
}

QCoro::Task<> ReadPosition::markRead(QPointer<ReadPosition> self, std::shared_ptr<SyncEngine> engine,
    std::optional<qint64> through, std::stop_token account)
{
    if (!self || !engine)
        co_return;
    const qint64 target = through.value_or(engine->maxLocalId());
    if (target >= 1 && target > self->m_lastReadId) {
        try {
            co_await engine->markRead(target, account);
        } catch (const Error& error) {
            qCWarning(lcNet) << "read position not sent:" << error.description();
            co_return;
        }
        // Another mark-read may have moved the position further meanwhile, and the account may be gone.
        if (!self || account.stop_requested())
            co_return;
        if (target > self->m_lastReadId)
            self->set(target);
    }
    self->recompute(true);
}

} // namespace tidewell
