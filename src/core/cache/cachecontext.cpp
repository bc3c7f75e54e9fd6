// SPDX-License-Identifier: GPL-3.0-or-later
#include "cache/cachecontext.h"

#include "base/logging.h"
#include "cache/backgrounddelete.h"
#include "cache/cachequery.h"
#include "cache/callingthreadreader.h"
#include "cache/rowmapping.h"
#include "cache/sqlstatement.h"
#include "cache/storeerror.h"
#include "cache/walcheckpointer.h"

#include <QCoroSignal>
#include <sqlite3.h>

namespace tidewell {

namespace {

std::optional<QByteArray> toUtf8(const std::optional<QString>& text)
{
    return text ? std::optional(text->toUtf8()) : std::nullopt;
}

} // namespace

CacheContext::CacheContext(sqlite3* db, QString path)
    : m_db(db)
    , m_path(std::move(path))
    , m_file(sqlite3_db_filename(m_db, "main"))
    , m_statements(std::make_unique<SqlStatement[]>(cacheQueryCount))
{
    if (!m_file.isEmpty()) {
        m_checkpointer = std::make_unique<WalCheckpointer>(m_file);
        // Replaces SQLite's own copying inside the commit.
        sqlite3_wal_hook(m_db, &CacheContext::logGrew, this);
    }
}

int CacheContext::logGrew(void* context, sqlite3*, const char*, int pages)
{
    if (pages >= WalCheckpointer::pagesBeforeCopy)
        static_cast<CacheContext*>(context)->m_checkpointer->request();
    return SQLITE_OK;
}

CacheContext::~CacheContext()
{
    close();
}

void CacheContext::close()
{
    if (!m_db)
        return;
    m_closed = true;
    m_backgroundDelete.reset(); // it commits first: the server has already done what it does
    m_checkpointer.reset(); // its connection goes before ours, so that ours, the last, folds the log in
    if (!sqlite3_get_autocommit(m_db)) // unsaved writes, or the view held beside a background delete
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    m_inTransaction = false;
    m_change.clear();
    for (std::size_t i = 0; i < cacheQueryCount; ++i)
        m_statements[i].finalize();
    sqlite3_close(m_db);
    m_db = nullptr;
}

SqlStatement& CacheContext::statement(CacheQuery query) const
{
    if (!m_db)
        throw StoreError(QStringLiteral("the cache is closed"));
    SqlStatement& statement = m_statements[std::size_t(query)];
    if (!statement.isPrepared() && statement.prepare(m_db, sqlOf(query), true) != SQLITE_OK)
        fail();
    return statement;
}

void CacheContext::fail() const
{
    const QString description = SqlStatement::failureText(m_db);
    // Some failures (a full disk, an I/O error) make SQLite abandon the whole transaction; what was pending is gone
    // and the next write must open a new one.
    if (m_inTransaction && sqlite3_get_autocommit(m_db)) {
        m_inTransaction = false;
        m_change.clear();
    }
    throw StoreError(description);
}

void CacheContext::run(SqlStatement& statement) const
{
    SqlStatement::Use use(statement);
    if (statement.step() != SQLITE_DONE)
        fail();
}

void CacheContext::begin()
{
    if (m_backgroundDelete) {
        // Only a writer that did not await writesSettled() gets here, which is a fault of that writer's. SQLite
        // allows one writer, so this one waits for the other's commit either way; waiting here keeps the order of
        // the two changes' details.
        qCWarning(lcCache) << "a write waits on the UI thread for the delete running in the background";
        finishBackgroundDelete(m_backgroundJob);
    }
    if (m_inTransaction)
        return;
    run(statement(CacheQuery::Begin));
    m_inTransaction = true;
}

bool CacheContext::write(SqlStatement& statement)
{
    if (statement.step() != SQLITE_DONE)
        fail();
    return sqlite3_changes64(m_db) != 0;
}

void CacheContext::insert(const CachedMessage& message)
{
    begin();
    const std::optional<QByteArray> title = toUtf8(message.title);
    const QByteArray body = message.message.toUtf8();
    const std::optional<QByteArray> url = toUtf8(message.url);
    const std::optional<QByteArray> urlTitle = toUtf8(message.urlTitle);

    SqlStatement& stmt = statement(CacheQuery::UpsertMessage);
    SqlStatement::Use use(stmt);
    stmt.bind(1, message.id);
    stmt.bind(2, message.applicationId);
    stmt.bind(3, title);
    stmt.bind(4, body);
    stmt.bind(5, message.priority);
    stmt.bind(6, url);
    stmt.bind(7, urlTitle);
    stmt.bind(8, message.ts);
    if (write(stmt))
        m_change.messageWritten(message.id, true);
}

void CacheContext::insert(const CachedApp& app)
{
    begin();
    const QByteArray name = app.name.toUtf8();
    const QByteArray color = app.color.toUtf8();

    SqlStatement& stmt = statement(CacheQuery::UpsertApp);
    SqlStatement::Use use(stmt);
    stmt.bind(1, app.id);
    stmt.bind(2, name);
    stmt.bind(3, color);
    stmt.bindBlob(4, app.icon);
    if (write(stmt))
        m_change.appsChanged();
}

void CacheContext::removeMessage(qint64 id)
{
    begin();
    SqlStatement& stmt = statement(CacheQuery::DeleteMessage);
    SqlStatement::Use use(stmt);
    stmt.bind(1, id);
    if (write(stmt))
        m_change.messageWritten(id, false);
}

void CacheContext::removeApp(qint64 id)
{
    begin();
    SqlStatement& stmt = statement(CacheQuery::DeleteApp);
    SqlStatement::Use use(stmt);
    stmt.bind(1, id);
    if (write(stmt))
        m_change.appsChanged();
}

void CacheContext::removeAllMessages(std::optional<qint64> applicationId)
{
    begin();
    SqlStatement& stmt = statement(applicationId ? CacheQuery::DeleteAppMessages : CacheQuery::DeleteAllMessages);
    SqlStatement::Use use(stmt);
    if (applicationId)
        stmt.bind(1, *applicationId);
    if (!write(stmt))
        return;
    if (applicationId)
        m_change.applicationCleared(*applicationId);
    else
        m_change.allMessagesRemoved();
}

void CacheContext::removeAllApps()
{
    begin();
    SqlStatement& stmt = statement(CacheQuery::DeleteAllApps);
    SqlStatement::Use use(stmt);
    if (write(stmt))
        m_change.appsChanged();
}

QCoro::Task<> CacheContext::removeAllMessagesInBackground(qint64 applicationId)
{
    co_await writesSettled();
    if (m_inTransaction)
        throw StoreError(QStringLiteral("unsaved writes are pending beside a delete on another connection"));
    if (isInMemory()) {
        // No other connection sees a cache kept in memory; it is small enough to delete from in place.
        try {
            removeAllMessages(applicationId);
            save();
        } catch (const StoreError&) {
            rollback();
            throw;
        }
        co_return;
    }

    beginSnapshot();
    const quint64 job = ++m_backgroundJob;
    m_backgroundApplication = applicationId;
    try {
        m_backgroundDelete = std::make_unique<BackgroundDelete>(
            m_file, QByteArray(sqlOf(CacheQuery::DeleteAppMessages)), applicationId, [this, job] {
                // Runs on the delete's thread; the context outlives it, as its destructor waits for the thread.
                QMetaObject::invokeMethod(
                    this, [this, job] { finishBackgroundDelete(job); }, Qt::QueuedConnection);
            });
    } catch (const std::system_error& error) {
        endSnapshot();
        throw StoreError(QString::fromLocal8Bit(error.what()));
    }
    // Background deletes end in the order they started, and this one is the only one that runs now.
    for (;;) {
        const quint64 ended = co_await qCoro(this, &CacheContext::backgroundDeleteEnded);
        if (ended == job)
            break;
    }
    if (const auto failure = m_backgroundFailures.constFind(job); failure != m_backgroundFailures.cend()) {
        const StoreError error(*failure);
        m_backgroundFailures.erase(failure);
        throw error;
    }
}

QCoro::Task<> CacheContext::writesSettled()
{
    while (m_backgroundDelete)
        co_await qCoro(this, &CacheContext::backgroundDeleteEnded);
}

void CacheContext::beginSnapshot()
{
    run(statement(CacheQuery::Begin));
    // A deferred transaction takes its view at its first read; without one the view would float until then.
    try {
        optionalInteger(CacheQuery::MaxMessageId);
    } catch (const StoreError&) {
        endSnapshot();
        throw;
    }
}

void CacheContext::endSnapshot()
{
    if (sqlite3_get_autocommit(m_db))
        return;
    SqlStatement& stmt = statement(CacheQuery::Rollback); // nothing was written under it; this only lets the view go
    SqlStatement::Use use(stmt);
    if (stmt.step() != SQLITE_DONE)
        qCWarning(lcCache) << "the view held beside a background delete was not let go:" << sqlite3_errmsg(m_db);
}

void CacheContext::finishBackgroundDelete(quint64 job)
{
    if (!m_backgroundDelete || job != m_backgroundJob)
        return;
    const BackgroundDelete::Outcome outcome = m_backgroundDelete->join();
    m_backgroundDelete.reset();
    endSnapshot();
    if (m_checkpointer && outcome.logPages >= WalCheckpointer::pagesBeforeCopy)
        m_checkpointer->request();
    if (outcome.error) {
        m_backgroundFailures.insert(job, *outcome.error);
    } else if (outcome.changedRows > 0) {
        CacheChange change;
        change.clearedApplications.append(m_backgroundApplication);
        emit committed(change);
    }
    emit backgroundDeleteEnded(job);
}

template <typename Record>
QList<Record> CacheContext::fetchAll(
    CacheQuery query, Record (*rowAt)(const SqlStatement&), std::optional<qint64> above) const
{
    SqlStatement& stmt = statement(query);
    SqlStatement::Use use(stmt);
    if (above)
        stmt.bind(1, *above);
    QList<Record> records;
    int rc;
    while ((rc = stmt.step()) == SQLITE_ROW)
        records.append(rowAt(stmt));
    if (rc != SQLITE_DONE)
        fail();
    return records;
}

QList<CachedMessage> CacheContext::fetchMessages() const
{
    return fetchAll(CacheQuery::SelectMessages, &rowmapping::messageAt);
}

void CacheContext::forEachMessage(const StoredMessageVisit& visit) const
{
    SqlStatement& stmt = statement(CacheQuery::SelectMessages);
    SqlStatement::Use use(stmt);
    if (rowmapping::visitStoredMessages(stmt, visit) != SQLITE_DONE)
        fail();
}

void CacheContext::forEachMessage(qint64 first, qint64 last, const StoredMessageVisit& visit) const
{
    SqlStatement& stmt = statement(CacheQuery::SelectMessagesBetween);
    SqlStatement::Use use(stmt);
    stmt.bind(1, first);
    stmt.bind(2, last);
    if (rowmapping::visitStoredMessages(stmt, visit) != SQLITE_DONE)
        fail();
}

void CacheContext::forEachCommittedMessageOnCallingThread(
    qint64 first, qint64 last, const StoredMessageVisit& visit) const
{
    // Only the file name, fixed at construction, crosses to the calling thread.
    if (m_closed)
        throw StoreError(QStringLiteral("the cache is closed"));
    CallingThreadReader(m_file).forEachMessage(first, last, visit);
}

std::optional<qint64> CacheContext::optionalInteger(CacheQuery query) const
{
    SqlStatement& stmt = statement(query);
    SqlStatement::Use use(stmt);
    if (stmt.step() != SQLITE_ROW)
        fail();
    if (sqlite3_column_type(stmt.handle(), 0) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_int64(stmt.handle(), 0);
}

std::optional<qint64> CacheContext::minMessageId() const
{
    return optionalInteger(CacheQuery::MinMessageId);
}

QList<CachedMessage> CacheContext::fetchMessagesAbove(qint64 id) const
{
    return fetchAll(CacheQuery::SelectMessagesAbove, &rowmapping::messageAt, id);
}

QList<CachedApp> CacheContext::fetchApps() const
{
    return fetchAll(CacheQuery::SelectApps, &rowmapping::appAt);
}

std::optional<CachedMessage> CacheContext::fetchMessage(qint64 id) const
{
    SqlStatement& stmt = statement(CacheQuery::SelectMessage);
    SqlStatement::Use use(stmt);
    stmt.bind(1, id);
    switch (stmt.step()) {
    case SQLITE_ROW:
        return rowmapping::messageAt(stmt);
    case SQLITE_DONE:
        return std::nullopt;
    default:
        fail();
    }
}

std::optional<qint64> CacheContext::maxMessageId() const
{
    return optionalInteger(CacheQuery::MaxMessageId);
}

qint64 CacheContext::storedBytes() const
{
    return optionalInteger(CacheQuery::StoredBytes).value_or(0);
}

qint64 CacheContext::countMessagesAbove(qint64 id) const
{
    SqlStatement& stmt = statement(CacheQuery::CountMessagesAbove);
    SqlStatement::Use use(stmt);
    stmt.bind(1, id);
    if (stmt.step() != SQLITE_ROW)
        fail();
    return sqlite3_column_int64(stmt.handle(), 0);
}

void CacheContext::save()
{
    if (!m_inTransaction)
        return;
    // The transaction stays open unless SQLite gave it up, so a later save can retry.
    run(statement(CacheQuery::Commit));
    m_inTransaction = false;
    const CacheChange change = m_change.take();
    // Emitted after the state is reset so that a receiver may start the next unit of work.
    if (!change.isEmpty())
        emit committed(change);
}

void CacheContext::rollback()
{
    if (!m_inTransaction)
        return;
    if (!sqlite3_get_autocommit(m_db))
        run(statement(CacheQuery::Rollback));
    m_inTransaction = false;
    m_change.clear();
}

} // namespace tidewell
