// SPDX-License-Identifier: GPL-3.0-or-later
#include "cache/backgrounddelete.h"

#include "cache/sqlstatement.h"

#include <sqlite3.h>

namespace tidewell {

namespace {

// As long as the UI thread's connection waits on a lock; none of its writes runs meanwhile, so this is only for a
// checkpoint or a reader of another process.
constexpr int busyTimeoutMs = 5000;

} // namespace

BackgroundDelete::BackgroundDelete(QByteArray file, QByteArray sql, qint64 argument, std::function<void()> done)
    : m_file(std::move(file))
    , m_sql(std::move(sql))
    , m_argument(argument)
    , m_done(std::move(done))
    , m_thread([this] { run(); })
{ }

BackgroundDelete::~BackgroundDelete()
{
    if (m_thread.joinable())
        m_thread.join();
}

const BackgroundDelete::Outcome& BackgroundDelete::join()
{
    if (m_thread.joinable())
        m_thread.join();
    return m_outcome;
}

int BackgroundDelete::logGrew(void* outcome, sqlite3*, const char*, int pages)
{
    // The cache's own checkpointer copies the log back once the UI thread has the news; SQLite's copy inside this
    // commit would only make the write's end later.
    static_cast<Outcome*>(outcome)->logPages = pages;
    return SQLITE_OK;
}

void BackgroundDelete::run()
{
    sqlite3* db = nullptr;
    bool inTransaction = false;
    int rc = sqlite3_open_v2(m_file.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    const auto step = [&](const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); };
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, busyTimeoutMs);
        sqlite3_wal_hook(db, &BackgroundDelete::logGrew, &m_outcome);
        // A connection's durability setting is its own; this one commits as the UI thread's does.
        rc = step("PRAGMA synchronous = NORMAL");
    }
    if (rc == SQLITE_OK && (rc = step("BEGIN IMMEDIATE")) == SQLITE_OK)
        inTransaction = true;
    {
        SqlStatement statement; // finalized before the connection closes
        if (rc == SQLITE_OK)
            rc = statement.prepare(db, m_sql.constData(), false);
        if (rc == SQLITE_OK) {
            statement.bind(1, m_argument);
            rc = statement.step();
            if (rc == SQLITE_DONE) {
                m_outcome.changedRows = sqlite3_changes64(db);
                rc = SQLITE_OK;
            }
        }
    }
    if (rc == SQLITE_OK && (rc = step("COMMIT")) == SQLITE_OK)
        inTransaction = false;
    if (rc != SQLITE_OK) {
        m_outcome.error = db ? SqlStatement::failureText(db) : QString::fromUtf8(sqlite3_errstr(rc));
        m_outcome.changedRows = 0;
        if (inTransaction && !sqlite3_get_autocommit(db))
            step("ROLLBACK");
    }
    sqlite3_close(db);
    m_done();
}

} // namespace tidewell
