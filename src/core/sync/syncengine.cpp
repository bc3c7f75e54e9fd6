// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/syncengine.h"

#include "base/cancellederror.h"
#include "base/logging.h"
#include "cache/cachecontext.h"
#include "sync/syncerror.h"

#include <QHash>

namespace tidewell {

namespace {

// Whatever ends an operation early, it must not leave half its writes pending in the context, where the next
// save — of another operation — would commit them.
class DiscardUnsaved
{
public:
    explicit DiscardUnsaved(CacheContext& context)
        : m_context(context)
        , m_exceptions(std::uncaught_exceptions())
    { }
    ~DiscardUnsaved()
    {
        if (std::uncaught_exceptions() > m_exceptions && m_context.hasChanges()) {
            try {
                m_context.rollback();
            } catch (const Error& error) {
                qCWarning(lcCache) << "rollback failed:" << error.description();
            }
        }
    }

private:
    CacheContext& m_context;
    int m_exceptions;
};

} // namespace

SyncEngine::SyncEngine(std::shared_ptr<APIClientProtocol> client, std::shared_ptr<CacheContext> context)
    : m_client(std::move(client))
    , m_context(std::move(context))
{ }

qint64 SyncEngine::maxLocalId(const CacheContext& cache)
{
    try {
        return cache.maxMessageId().value_or(0);
    } catch (const Error& error) {
        // A sync from 0 downloads everything again, so the cause must be findable.
        qCWarning(lcCache) << "highest cached id unreadable, taken as 0:" << error.description();
        return 0;
    }
}

QCoro::Task<qint64> SyncEngine::syncNow(std::stop_token stop)
{
    qint64 cursor = maxLocalId();
    int pages = 0;
    qint64 applied = 0;
    for (;;) {
        const SyncResponse page = co_await m_client->messages(cursor, pageSize, stop);
        // A clear may be deleting in the background, holding SQLite's one write lock; this page goes in after it
        // commits.
        co_await m_context->writesSettled();
        if (stop.stop_requested())
            co_return applied;
        {
            DiscardUnsaved guard(*m_context);
            for (const Message& message : page.messages) {
                m_context->insert(CachedMessage(message));
                ++applied;
            }
            if (stop.stop_requested()) {
                m_context->rollback();
                co_return applied;
            }
            m_context->save();
        }
        if (!page.hasMore) {
            co_await syncApps(stop);
            co_return applied;
        }
        const qint64 reached = maxLocalId();
        if (reached <= cursor)
            throw SyncError::paginationDidNotAdvance();
        if (++pages == pageCap)
            throw SyncError::paginationDidNotAdvance();
        cursor = reached;
    }
}

QCoro::Task<> SyncEngine::syncApps(std::stop_token stop)
{
    const QList<AppInfo> apps = co_await m_client->apps(stop);
    if (stop.stop_requested())
        co_return;

    // Every request first: a write left pending across an await would be committed or rolled back by whatever
    // operation saved next. An icon that fails is simply absent here, and the application keeps the one it had.
    QHash<qint64, std::optional<QByteArray>> icons; // id -> fetched icon, or none when the server has none
    for (const AppInfo& info : apps) {
        if (!info.hasIcon)
            continue;
        try {
            icons.insert(info.id, co_await m_client->appIcon(info.id, stop));
        } catch (const CancelledError&) {
            throw;
        } catch (const Error& error) {
            qCWarning(lcSync) << "icon of application" << info.id << "not fetched:" << error.description();
        }
        if (stop.stop_requested())
            co_return;
    }
    co_await m_context->writesSettled();
    if (stop.stop_requested())
        co_return;

    DiscardUnsaved guard(*m_context);
    QHash<qint64, CachedApp> cached;
    try {
        for (CachedApp& app : m_context->fetchApps())
            cached.insert(app.id, std::move(app));
    } catch (const Error& error) {
        // Treated as empty: every application is written again as new.
        qCWarning(lcCache) << "cached applications unreadable:" << error.description();
    }

    for (const AppInfo& info : apps) {
        const auto known = cached.constFind(info.id);
        CachedApp record = known != cached.cend() ? *known : CachedApp { info.id, {}, {}, std::nullopt };
        cached.remove(info.id);
        record.name = info.name;
        record.color = info.color;
        if (!info.hasIcon) {
            record.icon.reset();
        } else if (const auto icon = icons.constFind(info.id); icon != icons.cend() && icon->has_value()) {
            record.icon = **icon;
        }
        m_context->insert(record);
    }

    for (auto it = cached.cbegin(); it != cached.cend(); ++it) {
        try {
            m_context->removeAllMessages(it.key());
        } catch (const Error& error) {
            qCWarning(lcCache) << "messages of removed application" << it.key()
                               << "not deleted:" << error.description();
        }
        m_context->removeApp(it.key());
    }
    m_context->save();
}

QCoro::Task<> SyncEngine::markRead(std::optional<qint64> lastReadId, std::stop_token stop)
{
    const qint64 id = lastReadId.value_or(maxLocalId());
    if (id < 1)
        co_return;
    co_await m_client->markRead(id, stop);
}

QCoro::Task<> SyncEngine::deleteMessage(CachedMessage message, std::stop_token stop)
{
    co_await m_client->deleteMessage(message.id, stop);
    co_await m_context->writesSettled();
    DiscardUnsaved guard(*m_context);
    m_context->removeMessage(message.id);
    m_context->save();
}

QCoro::Task<> SyncEngine::clearApp(qint64 applicationId, std::stop_token stop)
{
    co_await m_client->clearApp(applicationId, stop);
    // In the background: at a million messages SQLite spends a third of a second on this, which the window must not
    // wait for. This call ends once the delete has committed and the lists have heard of it.
    co_await m_context->removeAllMessagesInBackground(applicationId);
}

void SyncEngine::clearAll()
{
    DiscardUnsaved guard(*m_context);
    m_context->removeAllMessages();
    m_context->removeAllApps();
    m_context->save();
}

} // namespace tidewell
