#include "cache/cachecontext.h"

#include "base/logging.h"
#include "cache/apartwrite.h"
#include "cache/storeerror.h"
#include "cache/walcheckpointer.h"

#include <QCoroSignal>
#include <sqlite3.h>

namespace tidewell {

namespace {

constexpr const char* statementSql[] = {
    "BEGIN",
    "COMMIT",
    "ROLLBACK",
    "INSERT INTO messages (id, application_id, title, message, priority, url, url_title, ts)"
    " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)"
    " ON CONFLICT (id) DO UPDATE SET application_id = excluded.application_id, title = excluded.title,"
    " message = excluded.message, priority = excluded.priority, url = excluded.url,"
    " url_title = excluded.url_title, ts = excluded.ts",
    "INSERT INTO apps (id, name, color, icon) VALUES (?1, ?2, ?3, ?4)"
    " ON CONFLICT (id) DO UPDATE SET name = excluded.name, color = excluded.color, icon = excluded.icon",
    "DELETE FROM messages WHERE id = ?1",
    "DELETE FROM apps WHERE id = ?1",
    "DELETE FROM messages WHERE application_id = ?1",
    "DELETE FROM messages",
    "DELETE FROM apps",
    "SELECT id, application_id, title, message, priority, url, url_title, ts FROM messages ORDER BY id",
    "SELECT id, name, color, icon FROM apps ORDER BY id",
    "SELECT id, application_id, title, message, priority, url, url_title, ts FROM messages WHERE id = ?1",
    "SELECT max(id) FROM messages",
    "SELECT count(*) FROM messages WHERE id > ?1",
    "SELECT id, application_id, title, message, priority, url, url_title, ts FROM messages WHERE id > ?1 ORDER BY id",
    "SELECT page_count * page_size FROM pragma_page_count(), pragma_page_size()",
    "SELECT id, application_id, title, message, priority, url, url_title, ts FROM messages"
    " WHERE id BETWEEN ?1 AND ?2 ORDER BY id",
    "SELECT min(id) FROM messages",
};

// Resets a statement when the operation that used it ends, however it ends, so that no read stays open and no
// binding outlives the buffers it points into (text is bound without copying).
class StatementUse
{
public:
    explicit StatementUse(sqlite3_stmt* stmt)
        : m_stmt(stmt)
    { }
    ~StatementUse()
    {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    StatementUse(const StatementUse&) = delete;
    StatementUse& operator=(const StatementUse&) = delete;

private:
    sqlite3_stmt* m_stmt;
};

// The caller keeps `utf8` alive until the statement is reset.
void bindText(sqlite3_stmt* stmt, int index, const QByteArray& utf8)
{
    sqlite3_bind_text(stmt, index, utf8.constData(), int(utf8.size()), SQLITE_STATIC);
}

void bindText(sqlite3_stmt* stmt, int index, const std::optional<QByteArray>& utf8)
{
    if (utf8)
        bindText(stmt, index, *utf8);
    else
        sqlite3_bind_null(stmt, index);
}

std::optional<QByteArray> toUtf8(const std::optional<QString>& text)
{
    return text ? std::optional(text->toUtf8()) : std::nullopt;
}

QString columnText(sqlite3_stmt* stmt, int column)
{
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    return QString::fromUtf8(data, sqlite3_column_bytes(stmt, column));
}

std::optional<QString> columnOptionalText(sqlite3_stmt* stmt, int column)
{
    if (sqlite3_column_type(stmt, column) == SQLITE_NULL)
        return std::nullopt;
    return columnText(stmt, column);
}

CachedMessage messageAt(sqlite3_stmt* stmt)
{
    CachedMessage message;
    message.id = sqlite3_column_int64(stmt, 0);
    message.applicationId = sqlite3_column_int64(stmt, 1);
    message.title = columnOptionalText(stmt, 2);
    message.message = columnText(stmt, 3);
    message.priority = sqlite3_column_int64(stmt, 4);
    message.url = columnOptionalText(stmt, 5);
    message.urlTitle = columnOptionalText(stmt, 6);
    message.ts = sqlite3_column_int64(stmt, 7);
    return message;
}

CachedApp appAt(sqlite3_stmt* stmt)
{
    CachedApp app;
    app.id = sqlite3_column_int64(stmt, 0);
    app.name = columnText(stmt, 1);
    app.color = columnText(stmt, 2);
    if (sqlite3_column_type(stmt, 3) != SQLITE_NULL) {
        const void* data = sqlite3_column_blob(stmt, 3);
        app.icon = QByteArray(static_cast<const char*>(data), sqlite3_column_bytes(stmt, 3));
    }
    return app;
}

} // namespace

CacheContext::CacheContext(sqlite3* db, QString path)
    : m_db(db)
    , m_path(std::move(path))
    , m_file(sqlite3_db_filename(m_db, "main"))
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
    m_apart.reset(); // a write apart commits first: the server has already done what it does
    m_checkpointer.reset(); // its connection goes before ours, so that ours, the last, folds the log in
    if (!sqlite3_get_autocommit(m_db)) // unsaved writes, or the view held beside a write apart
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    m_inTransaction = false;
    forgetPending();
    for (sqlite3_stmt*& stmt : m_statements)
        sqlite3_finalize(std::exchange(stmt, nullptr));
    sqlite3_close(m_db);
    m_db = nullptr;
}

sqlite3_stmt* CacheContext::statement(Statement which) const
{
    if (!m_db)
        throw StoreError(QStringLiteral("the cache is closed"));
    sqlite3_stmt*& stmt = m_statements[which];
    if (!stmt
        && sqlite3_prepare_v3(m_db, statementSql[which], -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK)
        fail();
    return stmt;
}

void CacheContext::fail() const
{
    const QString description = QString::fromUtf8(sqlite3_errmsg(m_db));
    // Some failures (a full disk, an I/O error) make SQLite abandon the whole transaction; what was pending is gone
    // and the next write must open a new one.
    if (m_inTransaction && sqlite3_get_autocommit(m_db)) {
        m_inTransaction = false;
        forgetPending();
    }
    throw StoreError(description);
}

void CacheContext::begin()
{
    if (m_apart) {
        // Only a writer that did not await writesSettled() gets here, which is a fault of that writer's. SQLite
        // allows one writer, so this one waits for the other's commit either way; waiting here keeps the order of
        // the two changes' details.
        qCWarning(lcCache) << "a write waits on the UI thread for the one running apart";
        finishApart(m_apartJob);
    }
    if (m_inTransaction)
        return;
    sqlite3_stmt* stmt = statement(Begin);
    StatementUse use(stmt);
    if (sqlite3_step(stmt) != SQLITE_DONE)
        fail();
    m_inTransaction = true;
}

bool CacheContext::write(sqlite3_stmt* stmt, Kind kind)
{
    if (sqlite3_step(stmt) != SQLITE_DONE)
        fail();
    if (sqlite3_changes64(m_db) == 0)
        return false;
    m_pending |= kind;
    return true;
}

void CacheContext::noteMessage(qint64 id, bool upserted)
{
    if (m_change.everything)
        return;
    auto found = m_messageUpserted.find(id);
    if (found != m_messageUpserted.end()) {
        *found = upserted;
        return;
    }
    if (m_messageOrder.size() >= maxListedMessageIds) {
        // Too many to be worth listing: readers reload instead, and the ids need not be kept any longer.
        m_change.everything = true;
        m_messageUpserted = {};
        m_messageOrder = {};
        return;
    }
    m_messageUpserted.insert(id, upserted);
    m_messageOrder.append(id);
}

CacheChange CacheContext::takeChange()
{
    CacheChange change = std::exchange(m_change, {});
    if (change.everything) {
        change = {};
        change.everything = true;
    } else {
        for (qint64 id : std::as_const(m_messageOrder))
            (m_messageUpserted.value(id) ? change.upsertedMessages : change.removedMessages).append(id);
    }
    m_messageUpserted = {};
    m_messageOrder = {};
    return change;
}

void CacheContext::forgetPending() const
{
    m_pending = {};
    m_change = {};
    m_messageUpserted = {};
    m_messageOrder = {};
}

void CacheContext::insert(const CachedMessage& message)
{
    begin();
    const std::optional<QByteArray> title = toUtf8(message.title);
    const QByteArray body = message.message.toUtf8();
    const std::optional<QByteArray> url = toUtf8(message.url);
    const std::optional<QByteArray> urlTitle = toUtf8(message.urlTitle);

    sqlite3_stmt* stmt = statement(UpsertMessage);
    StatementUse use(stmt);
    sqlite3_bind_int64(stmt, 1, message.id);
    sqlite3_bind_int64(stmt, 2, message.applicationId);
    bindText(stmt, 3, title);
    bindText(stmt, 4, body);
    sqlite3_bind_int64(stmt, 5, message.priority);
    bindText(stmt, 6, url);
    bindText(stmt, 7, urlTitle);
    sqlite3_bind_int64(stmt, 8, message.ts);
    if (write(stmt, Kind::Messages))
        noteMessage(message.id, true);
}

void CacheContext::insert(const CachedApp& app)
{
    begin();
    const QByteArray name = app.name.toUtf8();
    const QByteArray color = app.color.toUtf8();

    sqlite3_stmt* stmt = statement(UpsertApp);
    StatementUse use(stmt);
    sqlite3_bind_int64(stmt, 1, app.id);
    bindText(stmt, 2, name);
    bindText(stmt, 3, color);
    if (!app.icon)
        sqlite3_bind_null(stmt, 4);
    else if (app.icon->isEmpty())
        sqlite3_bind_zeroblob(stmt, 4, 0); // a null data pointer would store NULL, losing "present but empty"
    else
        sqlite3_bind_blob(stmt, 4, app.icon->constData(), int(app.icon->size()), SQLITE_STATIC);
    if (write(stmt, Kind::Apps))
        m_change.appsChanged = true;
}

void CacheContext::removeMessage(qint64 id)
{
    begin();
    sqlite3_stmt* stmt = statement(DeleteMessage);
    StatementUse use(stmt);
    sqlite3_bind_int64(stmt, 1, id);
    if (write(stmt, Kind::Messages))
        noteMessage(id, false);
}

void CacheContext::removeApp(qint64 id)
{
    begin();
    sqlite3_stmt* stmt = statement(DeleteApp);
    StatementUse use(stmt);
    sqlite3_bind_int64(stmt, 1, id);
    if (write(stmt, Kind::Apps))
        m_change.appsChanged = true;
}

void CacheContext::removeAllMessages(std::optional<qint64> applicationId)
{
    begin();
    sqlite3_stmt* stmt = statement(applicationId ? DeleteAppMessages : DeleteAllMessages);
    StatementUse use(stmt);
    if (applicationId)
        sqlite3_bind_int64(stmt, 1, *applicationId);
    if (!write(stmt, Kind::Messages))
        return;
    if (!applicationId) {
        // Nothing written before survives, so nothing written before needs naming; what follows still does.
        m_change.allMessagesRemoved = true;
        m_change.clearedApplications.clear();
        m_messageUpserted = {};
        m_messageOrder = {};
    } else if (!m_change.clearedApplications.contains(*applicationId)) {
        m_change.clearedApplications.append(*applicationId);
    }
}

QCoro::Task<> CacheContext::removeAllMessagesApart(qint64 applicationId)
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
    const quint64 job = ++m_apartJob;
    m_apartApplication = applicationId;
    try {
        m_apart = std::make_unique<ApartWrite>(
            m_file, QByteArray(statementSql[DeleteAppMessages]), applicationId, [this, job] {
                // Runs on the write's thread; the context outlives it, as its destructor waits for the thread.
                QMetaObject::invokeMethod(
                    this, [this, job] { finishApart(job); }, Qt::QueuedConnection);
            });
    } catch (const std::system_error& error) {
        endSnapshot();
        throw StoreError(QString::fromLocal8Bit(error.what()));
    }
    // Writes apart end in the order they started, and this one is the only one that runs now. Awaited into a
    // local: GCC 12 miscompiles a co_await that sits inside a condition.
    for (;;) {
        const quint64 ended = co_await qCoro(this, &CacheContext::apartWriteEnded);
        if (ended == job)
            break;
    }
    if (const auto failure = m_apartFailures.constFind(job); failure != m_apartFailures.cend()) {
        const StoreError error(*failure);
        m_apartFailures.erase(failure);
        throw error;
    }
}

QCoro::Task<> CacheContext::writesSettled()
{
    while (m_apart)
        co_await qCoro(this, &CacheContext::apartWriteEnded);
}

void CacheContext::beginSnapshot()
{
    sqlite3_stmt* begin = statement(Begin);
    {
        StatementUse use(begin);
        if (sqlite3_step(begin) != SQLITE_DONE)
            fail();
    }
    // A deferred transaction takes its view at its first read; without one the view would float until then.
    try {
        optionalInteger(MaxMessageId);
    } catch (const StoreError&) {
        endSnapshot();
        throw;
    }
}

void CacheContext::endSnapshot()
{
    if (sqlite3_get_autocommit(m_db))
        return;
    sqlite3_stmt* stmt = statement(Rollback); // nothing was written under it; this only lets the view go
    StatementUse use(stmt);
    if (sqlite3_step(stmt) != SQLITE_DONE)
        qCWarning(lcCache) << "the view held beside a write apart was not let go:" << sqlite3_errmsg(m_db);
}

void CacheContext::finishApart(quint64 job)
{
    if (!m_apart || job != m_apartJob)
        return;
    const ApartWrite::Outcome outcome = m_apart->join();
    m_apart.reset();
    endSnapshot();
    if (m_checkpointer && outcome.logPages >= WalCheckpointer::pagesBeforeCopy)
        m_checkpointer->request();
    if (outcome.error) {
        m_apartFailures.insert(job, *outcome.error);
    } else if (outcome.changedRows > 0) {
        CacheChange change;
        change.clearedApplications.append(m_apartApplication);
        emit committed(change);
        emit changed(Kind::Messages);
    }
    emit apartWriteEnded(job);
}

void CacheContext::removeAllApps()
{
    begin();
    sqlite3_stmt* stmt = statement(DeleteAllApps);
    StatementUse use(stmt);
    if (write(stmt, Kind::Apps))
        m_change.appsChanged = true;
}

template <typename Record>
QList<Record> CacheContext::fetchAll(Statement which, Record (*rowAt)(sqlite3_stmt*), std::optional<qint64> above) const
{
    sqlite3_stmt* stmt = statement(which);
    StatementUse use(stmt);
    if (above)
        sqlite3_bind_int64(stmt, 1, *above);
    QList<Record> records;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
        records.append(rowAt(stmt));
    if (rc != SQLITE_DONE)
        fail();
    return records;
}

QList<CachedMessage> CacheContext::fetchMessages() const
{
    return fetchAll(SelectMessages, &messageAt);
}

namespace {

// Hands each row of a stepped message query to `visit`; the texts are views into the row. Returns SQLite's last
// result: SQLITE_DONE when every row was read.
int visitStoredMessages(sqlite3_stmt* stmt, const std::function<void(const CacheContext::StoredMessage&)>& visit)
{
    const auto view = [stmt](int column) {
        // The text first, then its length, as SQLite asks, so that the length is that of the UTF-8 form.
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
        return QByteArrayView(data, sqlite3_column_bytes(stmt, column));
    };
    int rc;
    CacheContext::StoredMessage message;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        message.id = sqlite3_column_int64(stmt, 0);
        message.applicationId = sqlite3_column_int64(stmt, 1);
        message.title = sqlite3_column_type(stmt, 2) == SQLITE_NULL ? std::nullopt : std::optional(view(2));
        message.message = view(3);
        message.priority = sqlite3_column_int64(stmt, 4);
        message.ts = sqlite3_column_int64(stmt, 7);
        visit(message);
    }
    return rc;
}

} // namespace

void CacheContext::forEachMessage(const std::function<void(const StoredMessage&)>& visit) const
{
    sqlite3_stmt* stmt = statement(SelectMessages);
    StatementUse use(stmt);
    if (visitStoredMessages(stmt, visit) != SQLITE_DONE)
        fail();
}

void CacheContext::forEachMessage(
    qint64 first, qint64 last, const std::function<void(const StoredMessage&)>& visit) const
{
    sqlite3_stmt* stmt = statement(SelectMessagesBetween);
    StatementUse use(stmt);
    sqlite3_bind_int64(stmt, 1, first);
    sqlite3_bind_int64(stmt, 2, last);
    if (visitStoredMessages(stmt, visit) != SQLITE_DONE)
        fail();
}

void CacheContext::forEachMessageApart(
    qint64 first, qint64 last, const std::function<void(const StoredMessage&)>& visit) const
{
    // Only the path, taken at construction, is shared with the calling thread: the UI connection is never touched.
    if (m_file.isEmpty())
        throw StoreError(QStringLiteral("a cache kept in memory has no other connection"));
    sqlite3* db = nullptr;
    sqlite3_stmt* stmt = nullptr;
    const auto failure
        = [&db](int rc) { return StoreError(QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc))); };
    int rc = sqlite3_open_v2(m_file.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_prepare_v2(db, statementSql[SelectMessagesBetween], -1, &stmt, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_bind_int64(stmt, 1, first);
        sqlite3_bind_int64(stmt, 2, last);
        try {
            rc = visitStoredMessages(stmt, visit);
        } catch (...) {
            sqlite3_finalize(stmt);
            sqlite3_close(db);
            throw;
        }
    }
    const std::optional<StoreError> error
        = rc == SQLITE_OK || rc == SQLITE_DONE ? std::nullopt : std::optional(failure(rc));
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    if (error)
        throw *error;
}

std::optional<qint64> CacheContext::optionalInteger(Statement which) const
{
    sqlite3_stmt* stmt = statement(which);
    StatementUse use(stmt);
    if (sqlite3_step(stmt) != SQLITE_ROW)
        fail();
    if (sqlite3_column_type(stmt, 0) == SQLITE_NULL)
        return std::nullopt;
    return sqlite3_column_int64(stmt, 0);
}

std::optional<qint64> CacheContext::minMessageId() const
{
    return optionalInteger(MinMessageId);
}

QList<CachedMessage> CacheContext::fetchMessagesAbove(qint64 id) const
{
    return fetchAll(SelectMessagesAbove, &messageAt, id);
}

QList<CachedApp> CacheContext::fetchApps() const
{
    return fetchAll(SelectApps, &appAt);
}

std::optional<CachedMessage> CacheContext::fetchMessage(qint64 id) const
{
    sqlite3_stmt* stmt = statement(SelectMessage);
    StatementUse use(stmt);
    sqlite3_bind_int64(stmt, 1, id);
    switch (sqlite3_step(stmt)) {
    case SQLITE_ROW:
        return messageAt(stmt);
    case SQLITE_DONE:
        return std::nullopt;
    default:
        fail();
    }
}

std::optional<qint64> CacheContext::maxMessageId() const
{
    return optionalInteger(MaxMessageId);
}

qint64 CacheContext::storedBytes() const
{
    sqlite3_stmt* stmt = statement(StoredBytes);
    StatementUse use(stmt);
    if (sqlite3_step(stmt) != SQLITE_ROW)
        fail();
    return sqlite3_column_int64(stmt, 0);
}

qint64 CacheContext::countMessagesAbove(qint64 id) const
{
    sqlite3_stmt* stmt = statement(CountMessagesAbove);
    StatementUse use(stmt);
    sqlite3_bind_int64(stmt, 1, id);
    if (sqlite3_step(stmt) != SQLITE_ROW)
        fail();
    return sqlite3_column_int64(stmt, 0);
}

void CacheContext::save()
{
    if (!m_inTransaction)
        return;
    {
        sqlite3_stmt* stmt = statement(Commit);
        StatementUse use(stmt);
        if (sqlite3_step(stmt) != SQLITE_DONE)
            fail(); // the transaction stays open unless SQLite gave it up, so a later save can retry
    }
    m_inTransaction = false;
    const Kinds kinds = std::exchange(m_pending, {});
    const CacheChange change = takeChange();
    // Emitted after the state is reset so that a receiver may start the next unit of work. The details go first:
    // a receiver of `changed` that commits again at once would otherwise have its details arrive before these.
    if (!change.isEmpty())
        emit committed(change);
    if (kinds)
        emit changed(kinds);
}

void CacheContext::rollback()
{
    if (!m_inTransaction)
        return;
    if (!sqlite3_get_autocommit(m_db)) {
        sqlite3_stmt* stmt = statement(Rollback);
        StatementUse use(stmt);
        if (sqlite3_step(stmt) != SQLITE_DONE)
            fail();
    }
    m_inTransaction = false;
    forgetPending();
}

} // namespace tidewell
