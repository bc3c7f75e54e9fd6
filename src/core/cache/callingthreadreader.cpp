// SPDX-License-Identifier: GPL-3.0-or-later
#include "cache/callingthreadreader.h"

#include "cache/cachequery.h"
#include "cache/rowmapping.h"
#include "cache/sqlstatement.h"
#include "cache/storeerror.h"

#include <memory>
#include <sqlite3.h>

namespace tidewell {

namespace {

constexpr int busyTimeoutMs = 5000;

struct CloseConnection
{
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};

} // namespace

void CallingThreadReader::forEachMessage(qint64 first, qint64 last, const StoredMessageVisit& visit) const
{
    if (m_file.isEmpty())
        throw StoreError(QStringLiteral("a cache kept in memory has no other connection"));
    sqlite3* opened = nullptr;
    int rc = sqlite3_open_v2(m_file.constData(), &opened, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    const std::unique_ptr<sqlite3, CloseConnection> db(opened); // declared first, so closed after the statement
    // A reader of a WAL file can find it busy for a moment (another connection checkpointing or opening it); that
    // is a wait, not a failure, as for every other connection to the cache.
    if (rc == SQLITE_OK)
        sqlite3_busy_timeout(db.get(), busyTimeoutMs);
    SqlStatement statement;
    if (rc == SQLITE_OK)
        rc = statement.prepare(db.get(), sqlOf(CacheQuery::SelectMessagesBetween), false);
    if (rc == SQLITE_OK) {
        statement.bind(1, first);
        statement.bind(2, last);
        rc = rowmapping::visitStoredMessages(statement, visit);
    }
    if (rc != SQLITE_OK && rc != SQLITE_DONE)
        throw StoreError(QString::fromUtf8(db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(rc)));
}

} // namespace tidewell
