// SPDX-License-Identifier: GPL-3.0-or-later
#include "cache/walcheckpointer.h"

#include "base/logging.h"

#include <sqlite3.h>

namespace tidewell {

WalCheckpointer::WalCheckpointer(QByteArray file)
    : m_file(std::move(file))
    , m_thread([this](std::stop_token stop) { run(std::move(stop)); })
{ }

WalCheckpointer::~WalCheckpointer()
{
    m_thread.request_stop();
    m_thread.join();
}

void WalCheckpointer::request()
{
    {
        std::lock_guard lock(m_mutex);
        m_requested = true;
    }
    m_wake.notify_one();
}

void WalCheckpointer::run(std::stop_token stop)
{
    sqlite3* db = nullptr;
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            if (!m_wake.wait(lock, stop, [this] { return m_requested; }))
                break;
            m_requested = false;
        }
        // A new connection knows that the file keeps a log only once it has read from it.
        if (!db
            && (sqlite3_open_v2(m_file.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr)
                    != SQLITE_OK
                || sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) != SQLITE_OK)) {
            qCWarning(lcCache) << "the cache's log stays uncopied, no second connection:"
                               << (db ? sqlite3_errmsg(db) : "out of memory");
            sqlite3_close(db);
            db = nullptr;
            continue;
        }
        // Passive: copies what no reader still needs, waits for no one; what is left goes with the next request.
        const int rc = sqlite3_wal_checkpoint_v2(db, "main", SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        if (rc != SQLITE_OK && rc != SQLITE_BUSY)
            qCWarning(lcCache) << "the cache's log could not be copied back:" << sqlite3_errmsg(db);
    }
    sqlite3_close(db);
}

} // namespace tidewell
