// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "api/apiclientprotocol.h"
#include "cache/cachedmessage.h"

#include <QCoroTask>
#include <memory>
#include <optional>
#include <stop_token>

namespace tidewell {

class CacheContext;

// Keeps the cache in step with the server. Pulls new messages page by page above the highest cached id, saving
// each page so that progress survives a later failure; refreshes applications and icons after a complete pull;
// and performs the write-backs whose effect must reach the server before the cache changes.
//
// It never decides when to sync and holds no state between calls: the cursor is read from the cache each time.
// Runs on the UI thread. A stopped token makes a sync return early with no unsaved changes left behind, and no
// operation keeps unsaved writes across a suspension: it fetches first, then writes and saves in one block.
//
// Ownership: an engine may be replaced while one of its operations is suspended, so whoever starts an operation
// holds the engine by shared_ptr until it ends; the engine in turn shares the client and the cache context.
class SyncEngine
{
public:
    static constexpr qint64 pageSize = 200;
    static constexpr int pageCap = 10000;

    SyncEngine(std::shared_ptr<APIClientProtocol> client, std::shared_ptr<CacheContext> context);

    APIClientProtocol& client() const { return *m_client; }
    // For callers whose request may outlive this engine (it can be replaced while they wait).
    std::shared_ptr<APIClientProtocol> sharedClient() const { return m_client; }
    CacheContext& context() const { return *m_context; }

    // Pulls every message above the highest cached id; returns how many records this call applied (new or not).
    QCoro::Task<qint64> syncNow(std::stop_token stop = {});
    // Refreshes the application list and icons; applications the server no longer lists go, with their messages.
    QCoro::Task<> syncApps(std::stop_token stop = {});
    // The highest cached message id, 0 when there is none or the cache cannot be read.
    qint64 maxLocalId() const { return maxLocalId(*m_context); }
    // The same for a cache with no engine (before a link, or after an unlink).
    static qint64 maxLocalId(const CacheContext& cache);
    // Reports the read position (the given id, or the highest cached one); ids below 1 send nothing.
    QCoro::Task<> markRead(std::optional<qint64> lastReadId, std::stop_token stop = {});
    QCoro::Task<> deleteMessage(CachedMessage message, std::stop_token stop = {});
    // Deletes every message of the application on the server, then in the cache; the application stays. The cache
    // deletes on a thread of its own, and every write of this engine waits for that delete to commit.
    QCoro::Task<> clearApp(qint64 applicationId, std::stop_token stop = {});
    // Empties the cache; local only.
    void clearAll();

private:
    std::shared_ptr<APIClientProtocol> m_client;
    std::shared_ptr<CacheContext> m_context;
};

} // namespace tidewell
