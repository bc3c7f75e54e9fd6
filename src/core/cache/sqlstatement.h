// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

namespace tidewell {

// One prepared statement of one connection, finalized with it. Text and blobs are bound without copying, so the
// caller keeps them alive until the statement is reset; a Use resets it when the operation that used it ends,
// however it ends, so that no read stays open and no binding outlives its buffer.
class SqlStatement
{
public:
    SqlStatement() = default;
    ~SqlStatement();
    SqlStatement(SqlStatement&& other) noexcept;
    SqlStatement& operator=(SqlStatement&& other) noexcept;
    SqlStatement(const SqlStatement&) = delete;
    SqlStatement& operator=(const SqlStatement&) = delete;

    // SQLite's result; the statement stays unprepared unless it is SQLITE_OK. `persistent` tells SQLite the
    // statement is kept for the connection's life.
    int prepare(sqlite3* db, const char* sql, bool persistent);
    bool isPrepared() const { return m_stmt != nullptr; }
    void finalize();

    void bind(int index, qint64 value);
    void bind(int index, const QByteArray& utf8);
    void bind(int index, const std::optional<QByteArray>& utf8); // none binds NULL
    // None binds NULL, an empty array a zero-length blob.
    void bindBlob(int index, const std::optional<QByteArray>& bytes);

    // SQLITE_ROW, SQLITE_DONE or an error.
    int step();
    void reset();

    sqlite3_stmt* handle() const { return m_stmt; }

    // Why the last call on `db` failed, in SQLite's words.
    static QString failureText(sqlite3* db);

    class Use
    {
    public:
        explicit Use(SqlStatement& statement)
            : m_statement(statement)
        { }
        ~Use() { m_statement.reset(); }
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;

    private:
        SqlStatement& m_statement;
    };

    // For fault tests: consulted before every step of every statement in the process; when it answers true the
    // step fails with an I/O error and SQLite is not called. Set only while no other thread steps a statement.
    static void setStepFault(std::function<bool()> fault);
    static constexpr int injectedFault = 10; // SQLITE_IOERR, as a full or failing disk gives

private:
    sqlite3_stmt* m_stmt = nullptr;
};

} // namespace tidewell
