// SPDX-License-Identifier: GPL-3.0-or-later
#include "cache/store.h"

#include "base/logging.h"
#include "cache/storeerror.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtGlobal>
#include <sqlite3.h>

namespace tidewell {

namespace {

const auto fatalText = QStringLiteral("Unable to create even an in-memory Tidewell cache: %1");

constexpr int busyTimeoutMs = 5000;

QString otherSchemaText()
{
    return QCoreApplication::translate("Store", "The cache file holds another schema");
}

struct SchemaObject
{
    const char* type;
    const char* name;
    const char* sql;
};

// The whole schema, in name order (the order the check reads it back in), each table before its index. A file
// is ours only if it holds exactly these objects with exactly this text, so any change here makes existing
// caches be recreated, which is what a disposable cache wants. There is deliberately no index on application_id:
// it doubles the cost of every insert during a sync, while clearing one application scans even 100,000 rows in
// tens of milliseconds.
constexpr SchemaObject schema[] = {
    { "table", "apps",
        "CREATE TABLE apps (id INTEGER PRIMARY KEY, name TEXT NOT NULL, color TEXT NOT NULL, icon BLOB)" },
    { "table", "messages",
        "CREATE TABLE messages (id INTEGER PRIMARY KEY, application_id INTEGER NOT NULL, title TEXT,"
        " message TEXT NOT NULL, priority INTEGER NOT NULL, url TEXT, url_title TEXT, ts INTEGER NOT NULL)" },
    { "table", "meta", "CREATE TABLE meta (schema_version TEXT NOT NULL)" },
};

struct CloseConnection
{
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using Connection = std::unique_ptr<sqlite3, CloseConnection>;

struct FinalizeStatement
{
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using Statement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

[[noreturn]] void fail(sqlite3* db)
{
    throw StoreError(QString::fromUtf8(sqlite3_errmsg(db)));
}

void exec(sqlite3* db, const char* sql)
{
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(db);
}

// Every row of a query, each as its columns' text (NULL as a null QString).
QList<QStringList> query(sqlite3* db, const char* sql)
{
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
        fail(db);
    Statement stmt(raw);
    QList<QStringList> rows;
    int rc;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        QStringList row;
        for (int column = 0; column < sqlite3_column_count(raw); ++column) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, column));
            row.append(text ? QString::fromUtf8(text, sqlite3_column_bytes(raw, column)) : QString());
        }
        rows.append(row);
    }
    if (rc != SQLITE_DONE)
        fail(db);
    return rows;
}

void createSchema(sqlite3* db)
{
    exec(db, "BEGIN IMMEDIATE");
    try {
        for (const SchemaObject& object : schema)
            exec(db, object.sql);
        const QByteArray insertVersion
            = QByteArrayLiteral("INSERT INTO meta (schema_version) VALUES ('") + Store::schemaVersion + "')";
        exec(db, insertVersion.constData());
        exec(db, "COMMIT");
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

// Creates the schema in a database that holds nothing yet, and refuses one that holds anything but our schema
// at our version.
void prepareSchema(sqlite3* db)
{
    // Reading the schema is also what makes SQLite look at the file at all, so a file that is not a database
    // fails here rather than at the first write.
    const QList<QStringList> objects = query(
        db, "SELECT type, name, sql FROM sqlite_master WHERE name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY name");
    if (objects.isEmpty()) {
        createSchema(db);
        return;
    }
    QList<QStringList> expected;
    for (const SchemaObject& object : schema)
        expected.append(
            { QString::fromUtf8(object.type), QString::fromUtf8(object.name), QString::fromUtf8(object.sql) });
    if (objects != expected)
        throw StoreError(otherSchemaText());
    const QList<QStringList> version = query(db, "SELECT schema_version FROM meta");
    if (version != QList<QStringList> { { QString::fromLatin1(Store::schemaVersion) } })
        throw StoreError(otherSchemaText());
}

QByteArray nativePath(const QString& path)
{
#ifdef Q_OS_WIN
    return path.toUtf8(); // SQLite's Windows layer takes UTF-8 whatever the code page
#else
    return QFile::encodeName(path);
#endif
}

// The cache holds the user's messages, so no other account may read it, whatever the umask or an older version
// left. SQLite gives the -wal and -shm it creates the database file's mode: a database file created private before
// SQLite first opens it keeps all three private. Rights of others are taken off files that exist already.
void keepPrivate(const QString& path)
{
    QFile file(path);
    if (!file.exists() && file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFile::ReadOwner | QFile::WriteOwner))
        file.close();
    constexpr QFile::Permissions owner = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    constexpr QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
        | QFile::WriteOther | QFile::ExeOther;
    for (const QString& each : { path, path + u"-wal"_qs, path + u"-shm"_qs }) {
        const QFile::Permissions now = QFile::permissions(each);
        if ((now & others) && !QFile::setPermissions(each, now & owner))
            qCWarning(lcCache) << "could not make a cache file private to its owner";
    }
}

// Opens and checks one database; an empty `path` is a memory-only one. Throws StoreError when it will not do.
Connection connect(const QString& path)
{
    const bool inMemory = path.isEmpty();
    const QByteArray name = inMemory ? QByteArrayLiteral(":memory:") : nativePath(path);
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(
        name.constData(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    Connection db(raw);
    if (rc != SQLITE_OK) {
        if (!raw)
            throw StoreError(QString::fromUtf8(sqlite3_errstr(rc)));
        fail(raw);
    }
    sqlite3_busy_timeout(raw, busyTimeoutMs);
    if (!inMemory) {
        // SQLite quietly opens a write-protected file read-only; a cache that cannot take writes is no cache.
        if (sqlite3_db_readonly(raw, "main") == 1)
            throw StoreError(QString::fromUtf8(sqlite3_errstr(SQLITE_READONLY)));
        exec(raw, "PRAGMA journal_mode = WAL");
        // A commit is then durable against a crash of the program though not of the machine; losing the last
        // page of a disposable cache costs one more page on the next sync.
        exec(raw, "PRAGMA synchronous = NORMAL");
    }
    prepareSchema(raw);
    return db;
}

Connection tryConnect(const QString& path, QString& error)
{
    try {
        return connect(path);
    } catch (const StoreError& e) {
        error = e.description();
        return nullptr;
    }
}

Connection connectInMemory(QString& error)
{
    if (auto db = tryConnect(QString(), error))
        return db;
    qFatal("%s", qUtf8Printable(fatalText.arg(error)));
}

} // namespace

std::unique_ptr<CacheContext> Store::openCache(bool inMemory)
{
    if (inMemory) {
        QString error;
        return std::unique_ptr<CacheContext>(new CacheContext(connectInMemory(error).release(), QString()));
    }
    const QString path = defaultPath();
    // A failure here shows up as a file that will not open, which the opening steps already handle.
    QDir().mkpath(QFileInfo(path).absolutePath());
    return open(path);
}

std::unique_ptr<CacheContext> Store::open(const QString& path)
{
    QString error;
    keepPrivate(path);
    if (auto db = tryConnect(path, error))
        return std::unique_ptr<CacheContext>(new CacheContext(db.release(), path));
    qCWarning(lcCache) << "cache file unusable, starting it again:" << error;
    // Whatever was wrong, the server still has everything: start over with an empty file. A stale log or index
    // beside a new file would be read as if it belonged to it, so they go too, each on its own.
    QFile::remove(path);
    QFile::remove(path + u"-wal"_qs);
    QFile::remove(path + u"-shm"_qs);
    keepPrivate(path);
    if (auto db = tryConnect(path, error))
        return std::unique_ptr<CacheContext>(new CacheContext(db.release(), path));
    qCWarning(lcCache) << "cache file cannot be created, keeping the cache in memory:" << error;
    return std::unique_ptr<CacheContext>(new CacheContext(connectInMemory(error).release(), QString()));
}

QString Store::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + u"/cache.sqlite"_qs;
}

} // namespace tidewell
