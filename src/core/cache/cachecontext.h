// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cache/cachechange.h"
#include "cache/cachedapp.h"
#include "cache/cachedmessage.h"
#include "cache/changetracker.h"
#include "cache/storedmessage.h"

#include <QCoroTask>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <optional>

struct sqlite3;

namespace tidewell {

class BackgroundDelete;
class SqlStatement;
class WalCheckpointer;
enum class CacheQuery;

// The cache's unit of work, used on the UI thread only. Writes go into one open transaction that save() commits
// and rollback() discards, so a sync that is cancelled half way leaves nothing behind. Inserting a record whose id
// is already stored replaces that record's fields (an upsert). Reads see unsaved writes.
//
// Every failure raises StoreError. After each commit that changed something, `committed` says which records
// changed, so that a live projection can update those alone. A receiver of `committed` only reads: were it to
// commit from there, its own details would reach the later receivers before these.
//
// One delete may run in the background, on a thread and a connection of its own (removeAllMessagesInBackground()).
// Meanwhile this connection reads the cache as it was before that delete, and a writer awaits writesSettled()
// before it begins.
class CacheContext : public QObject
{
    Q_OBJECT
public:
    ~CacheContext() override;
    // Rolls back what is unsaved, lets a delete running in the background commit, copies the log into the cache
    // file and closes the connection. Every later read or write fails with StoreError. The destructor does the same.
    void close();

    bool isInMemory() const { return m_path.isEmpty(); }
    QString path() const { return m_path; } // empty for a memory-only cache

    void insert(const CachedMessage& message);
    void insert(const CachedApp& app);
    void removeMessage(qint64 id);
    void removeApp(qint64 id);
    // Every message, or only those of one application.
    void removeAllMessages(std::optional<qint64> applicationId = std::nullopt);
    void removeAllApps();
    // Deletes every message of one application and commits, as removeAllMessages() and save() would, but SQLite
    // does that work on a thread of its own, through a connection of its own: on a large cache it touches a third
    // of the file's pages, which would stop the UI thread for hundreds of milliseconds. A memory-only cache deletes
    // in place. Until the delete commits, this context reads the cache as it was before, so that the lists (which
    // read text from here) and the counts stay whole; when it has, `committed` says so as a save() would, and from then
    // on reads see it. No unsaved write may be pending, and the caller keeps this context alive until the call resumes.
    // Throws StoreError when the delete fails; nothing is deleted then.
    QCoro::Task<> removeAllMessagesInBackground(qint64 applicationId);
    // Resumes once no delete runs in the background; at once when none does. A writer awaits it before it begins: a
    // write begun meanwhile would wait for that delete on the UI thread (begin() does, rather than fail).
    QCoro::Task<> writesSettled();
    bool isDeletingInBackground() const { return m_backgroundDelete != nullptr; }

    QList<CachedMessage> fetchMessages() const; // in id order
    using StoredMessage = tidewell::StoredMessage;
    // Every message in id order, handed over one at a time, so that a caller who keeps only part of each record
    // never holds all of them at once. `visit` must not use this context.
    void forEachMessage(const StoredMessageVisit& visit) const;
    // The same for the messages with ids from `first` to `last`.
    void forEachMessage(qint64 first, qint64 last, const StoredMessageVisit& visit) const;
    // The same again, read through a read-only connection of the call's own, opened, used and closed on the calling
    // thread: the one read that another thread may make, while this context has no unsaved writes (the other
    // connection sees only what is committed) and nothing writes meanwhile. Only for a cache kept in a file.
    void forEachCommittedMessageOnCallingThread(qint64 first, qint64 last, const StoredMessageVisit& visit) const;
    // The lowest cached message id, or none for an empty cache; one indexed read.
    std::optional<qint64> minMessageId() const;
    QList<CachedApp> fetchApps() const; // in id order
    std::optional<CachedMessage> fetchMessage(qint64 id) const;
    // The messages with an id above `id`, in id order.
    QList<CachedMessage> fetchMessagesAbove(qint64 id) const;
    // The highest cached message id, or none for an empty cache; one indexed read.
    std::optional<qint64> maxMessageId() const;
    // How many cached messages have an id above `id`; one query, no records loaded.
    qint64 countMessagesAbove(qint64 id) const;
    // The size of the cache's file as this connection sees it: a bound on the bytes its texts take, read from the
    // file's header, with no records loaded.
    qint64 storedBytes() const;

    bool hasChanges() const { return m_inTransaction; }
    void save();
    void rollback();

    // How many message ids one commit lists before it reports `everything` instead: past this, reading the rows
    // back one by one costs more than reloading them all.
    static constexpr qsizetype maxListedMessageIds = 100000;

signals:
    void committed(const tidewell::CacheChange& change);
    // The background delete numbered `job` has ended, after its `committed`; what its callers wait for.
    void backgroundDeleteEnded(quint64 job);

private:
    friend class Store;
    // Takes ownership of `db`, whose schema the caller has checked.
    CacheContext(sqlite3* db, QString path);

    // This connection's statement for `query`, prepared on first use.
    SqlStatement& statement(CacheQuery query) const;
    // The one integer a one-row query gives, or none when it gives NULL.
    std::optional<qint64> optionalInteger(CacheQuery query) const;
    template <typename Record>
    QList<Record> fetchAll(
        CacheQuery query, Record (*rowAt)(const SqlStatement&), std::optional<qint64> above = std::nullopt) const;
    // Steps a statement with no result rows; fails unless it completes.
    void run(SqlStatement& statement) const;
    void begin();
    // Steps a bound write statement inside the open transaction; the result says whether rows changed.
    bool write(SqlStatement& statement);
    [[noreturn]] void fail() const;
    // Holds this connection's view of the cache where it is until endSnapshot(), beside a background delete.
    void beginSnapshot();
    void endSnapshot();
    // Takes the background delete numbered `job` in, once its thread is done or after waiting for it: ends the
    // snapshot, publishes the change, and tells its callers. Nothing when that delete was already taken in.
    void finishBackgroundDelete(quint64 job);

    static int logGrew(void* context, sqlite3* db, const char* name, int pages);

    sqlite3* m_db;
    QString m_path;
    // The database file's name as SQLite resolved it, or empty in memory; fixed at construction, so that another
    // thread may read it without touching this connection.
    const QByteArray m_file;
    std::atomic<bool> m_closed = false; // read by the calling-thread reader, which must not touch m_db
    std::unique_ptr<WalCheckpointer> m_checkpointer; // none for a cache kept in memory
    std::unique_ptr<BackgroundDelete> m_backgroundDelete; // until it is taken in
    quint64 m_backgroundJob = 0; // the number of the last background delete started
    qint64 m_backgroundApplication = 0; // whose messages it deletes
    QHash<quint64, QString> m_backgroundFailures; // job -> why it failed, until its caller has read it
    // Mutable because a failed read may have made SQLite roll the transaction back on its own.
    mutable bool m_inTransaction = false;
    mutable ChangeTracker m_change { maxListedMessageIds };
    const std::unique_ptr<SqlStatement[]> m_statements;
};

} // namespace tidewell
