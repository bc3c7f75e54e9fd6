#pragma once

#include "cache/cachedapp.h"
#include "cache/cachedmessage.h"

#include <QList>
#include <QObject>
#include <QString>
#include <array>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

namespace tidewell {

// The cache's unit of work, used on the UI thread only. Writes go into one open transaction that save() commits
// and rollback() discards, so a sync that is cancelled half way leaves nothing behind. Inserting a record whose id
// is already stored replaces that record's fields (an upsert). Reads see unsaved writes.
//
// Every failure raises StoreError. After each commit that changed something, `changed` names the kinds that
// changed so that item models can refresh.
class CacheContext : public QObject
{
    Q_OBJECT
public:
    enum class Kind
    {
        Messages = 0x1,
        Apps = 0x2
    };
    Q_DECLARE_FLAGS(Kinds, Kind)
    Q_FLAG(Kinds)

    ~CacheContext() override;

    bool isInMemory() const { return m_path.isEmpty(); }
    QString path() const { return m_path; } // empty for a memory-only cache

    void insert(const CachedMessage& message);
    void insert(const CachedApp& app);
    void removeMessage(qint64 id);
    void removeApp(qint64 id);
    // Every message, or only those of one application.
    void removeAllMessages(std::optional<qint64> applicationId = std::nullopt);
    void removeAllApps();

    QList<CachedMessage> fetchMessages() const; // in id order
    QList<CachedApp> fetchApps() const; // in id order
    std::optional<CachedMessage> fetchMessage(qint64 id) const;
    // The messages with an id above `id`, in id order.
    QList<CachedMessage> fetchMessagesAbove(qint64 id) const;
    // The highest cached message id, or none for an empty cache; one indexed read.
    std::optional<qint64> maxMessageId() const;
    // How many cached messages have an id above `id`; one query, no records loaded.
    qint64 countMessagesAbove(qint64 id) const;

    bool hasChanges() const { return m_inTransaction; }
    void save();
    void rollback();

signals:
    void changed(tidewell::CacheContext::Kinds kinds);

private:
    friend class Store;
    // Takes ownership of `db`, whose schema the caller has checked.
    CacheContext(sqlite3* db, QString path);

    enum Statement
    {
        Begin,
        Commit,
        Rollback,
        UpsertMessage,
        UpsertApp,
        DeleteMessage,
        DeleteApp,
        DeleteAppMessages,
        DeleteAllMessages,
        DeleteAllApps,
        SelectMessages,
        SelectApps,
        SelectMessage,
        MaxMessageId,
        CountMessagesAbove,
        SelectMessagesAbove,
        StatementCount
    };

    sqlite3_stmt* statement(Statement which) const;
    template <typename Record>
    QList<Record> fetchAll(
        Statement which, Record (*rowAt)(sqlite3_stmt*), std::optional<qint64> above = std::nullopt) const;
    void begin();
    // Steps a bound write statement inside the open transaction; `kind` joins the next `changed` if rows changed.
    void write(sqlite3_stmt* stmt, Kind kind);
    [[noreturn]] void fail() const;

    sqlite3* m_db;
    QString m_path;
    // Mutable because a failed read may have made SQLite roll the transaction back on its own.
    mutable bool m_inTransaction = false;
    mutable Kinds m_pending;
    mutable std::array<sqlite3_stmt*, StatementCount> m_statements {};
};

Q_DECLARE_OPERATORS_FOR_FLAGS(CacheContext::Kinds)

} // namespace tidewell
