// SPDX-License-Identifier: GPL-3.0-or-later
#include "cache/rowmapping.h"

#include "cache/sqlstatement.h"

#include <sqlite3.h>

namespace tidewell::rowmapping {

namespace {

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

QByteArrayView columnView(sqlite3_stmt* stmt, int column)
{
    // The text first, then its length, as SQLite asks, so that the length is that of the UTF-8 form.
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    return QByteArrayView(data, sqlite3_column_bytes(stmt, column));
}

} // namespace

CachedMessage messageAt(const SqlStatement& statement)
{
    sqlite3_stmt* stmt = statement.handle();
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

CachedApp appAt(const SqlStatement& statement)
{
    sqlite3_stmt* stmt = statement.handle();
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

StoredMessage storedMessageAt(const SqlStatement& statement)
{
    sqlite3_stmt* stmt = statement.handle();
    StoredMessage message;
    message.id = sqlite3_column_int64(stmt, 0);
    message.applicationId = sqlite3_column_int64(stmt, 1);
    message.title = sqlite3_column_type(stmt, 2) == SQLITE_NULL ? std::nullopt : std::optional(columnView(stmt, 2));
    message.message = columnView(stmt, 3);
    message.priority = sqlite3_column_int64(stmt, 4);
    message.ts = sqlite3_column_int64(stmt, 7);
    return message;
}

int visitStoredMessages(SqlStatement& statement, const StoredMessageVisit& visit)
{
    int rc;
    while ((rc = statement.step()) == SQLITE_ROW)
        visit(storedMessageAt(statement));
    return rc;
}

} // namespace tidewell::rowmapping
