// SPDX-License-Identifier: GPL-3.0-or-later
#include "cache/sqlstatement.h"

#include <sqlite3.h>
#include <utility>

namespace tidewell {

namespace {

std::function<bool()>& stepFault()
{
    static std::function<bool()> fault;
    return fault;
}

} // namespace

static_assert(SqlStatement::injectedFault == SQLITE_IOERR);

SqlStatement::~SqlStatement()
{
    finalize();
}

SqlStatement::SqlStatement(SqlStatement&& other) noexcept
    : m_stmt(std::exchange(other.m_stmt, nullptr))
{ }

SqlStatement& SqlStatement::operator=(SqlStatement&& other) noexcept
{
    if (this != &other) {
        finalize();
        m_stmt = std::exchange(other.m_stmt, nullptr);
    }
    return *this;
}

int SqlStatement::prepare(sqlite3* db, const char* sql, bool persistent)
{
    finalize();
    const int rc = sqlite3_prepare_v3(db, sql, -1, persistent ? SQLITE_PREPARE_PERSISTENT : 0, &m_stmt, nullptr);
    if (rc != SQLITE_OK)
        finalize();
    return rc;
}

void SqlStatement::finalize()
{
    sqlite3_finalize(std::exchange(m_stmt, nullptr));
}

void SqlStatement::bind(int index, qint64 value)
{
    sqlite3_bind_int64(m_stmt, index, value);
}

void SqlStatement::bind(int index, const QByteArray& utf8)
{
    sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()), SQLITE_STATIC);
}

void SqlStatement::bind(int index, const std::optional<QByteArray>& utf8)
{
    if (utf8)
        bind(index, *utf8);
    else
        sqlite3_bind_null(m_stmt, index);
}

void SqlStatement::bindBlob(int index, const std::optional<QByteArray>& bytes)
{
    if (!bytes)
        sqlite3_bind_null(m_stmt, index);
    else if (bytes->isEmpty())
        sqlite3_bind_zeroblob(m_stmt, index, 0); // a null data pointer would store NULL, losing "present but empty"
    else
        sqlite3_bind_blob(m_stmt, index, bytes->constData(), int(bytes->size()), SQLITE_STATIC);
}

int SqlStatement::step()
{
    if (const auto& fault = stepFault(); fault && fault()) [[unlikely]]
        return injectedFault;
    return sqlite3_step(m_stmt);
}

void SqlStatement::reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

QString SqlStatement::failureText(sqlite3* db)
{
    // A step that failed while the connection reports no error was failed on purpose, before SQLite ran.
    const int code = sqlite3_errcode(db);
    if (code == SQLITE_OK || code == SQLITE_ROW || code == SQLITE_DONE)
        return QString::fromUtf8(sqlite3_errstr(injectedFault));
    return QString::fromUtf8(sqlite3_errmsg(db));
}

void SqlStatement::setStepFault(std::function<bool()> fault)
{
    stepFault() = std::move(fault);
}

} // namespace tidewell
