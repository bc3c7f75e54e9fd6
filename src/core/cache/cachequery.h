// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>

namespace tidewell {

// The cache's own statements. Each query's text sits beside its name in one table, checked at compile time, so
// that no reordering can run one query's text under another's name.
enum class CacheQuery
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
    StoredBytes,
    SelectMessagesBetween,
    MinMessageId,
};

inline constexpr std::size_t cacheQueryCount = std::size_t(CacheQuery::MinMessageId) + 1;

namespace cachequery {

struct Entry
{
    CacheQuery query;
    const char* sql;
};

#define TIDEWELL_MESSAGE_COLUMNS "id, application_id, title, message, priority, url, url_title, ts"

inline constexpr std::array<Entry, cacheQueryCount> table { {
    { CacheQuery::Begin, "BEGIN" },
    { CacheQuery::Commit, "COMMIT" },
    { CacheQuery::Rollback, "ROLLBACK" },
    { CacheQuery::UpsertMessage,
        "INSERT INTO messages (" TIDEWELL_MESSAGE_COLUMNS ") VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)"
        " ON CONFLICT (id) DO UPDATE SET application_id = excluded.application_id, title = excluded.title,"
        " message = excluded.message, priority = excluded.priority, url = excluded.url,"
        " url_title = excluded.url_title, ts = excluded.ts" },
    { CacheQuery::UpsertApp,
        "INSERT INTO apps (id, name, color, icon) VALUES (?1, ?2, ?3, ?4)"
        " ON CONFLICT (id) DO UPDATE SET name = excluded.name, color = excluded.color, icon = excluded.icon" },
    { CacheQuery::DeleteMessage, "DELETE FROM messages WHERE id = ?1" },
    { CacheQuery::DeleteApp, "DELETE FROM apps WHERE id = ?1" },
    { CacheQuery::DeleteAppMessages, "DELETE FROM messages WHERE application_id = ?1" },
    { CacheQuery::DeleteAllMessages, "DELETE FROM messages" },
    { CacheQuery::DeleteAllApps, "DELETE FROM apps" },
    { CacheQuery::SelectMessages, "SELECT " TIDEWELL_MESSAGE_COLUMNS " FROM messages ORDER BY id" },
    { CacheQuery::SelectApps, "SELECT id, name, color, icon FROM apps ORDER BY id" },
    { CacheQuery::SelectMessage, "SELECT " TIDEWELL_MESSAGE_COLUMNS " FROM messages WHERE id = ?1" },
    { CacheQuery::MaxMessageId, "SELECT max(id) FROM messages" },
    { CacheQuery::CountMessagesAbove, "SELECT count(*) FROM messages WHERE id > ?1" },
    { CacheQuery::SelectMessagesAbove, "SELECT " TIDEWELL_MESSAGE_COLUMNS " FROM messages WHERE id > ?1 ORDER BY id" },
    { CacheQuery::StoredBytes, "SELECT page_count * page_size FROM pragma_page_count(), pragma_page_size()" },
    { CacheQuery::SelectMessagesBetween,
        "SELECT " TIDEWELL_MESSAGE_COLUMNS " FROM messages WHERE id BETWEEN ?1 AND ?2 ORDER BY id" },
    { CacheQuery::MinMessageId, "SELECT min(id) FROM messages" },
} };

#undef TIDEWELL_MESSAGE_COLUMNS

constexpr bool inOrder()
{
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (std::size_t(table[i].query) != i || table[i].sql == nullptr)
            return false;
    }
    return true;
}

static_assert(inOrder(), "each query's entry must sit at its own index");

} // namespace cachequery

constexpr const char* sqlOf(CacheQuery query)
{
    return cachequery::table[std::size_t(query)].sql;
}

} // namespace tidewell
