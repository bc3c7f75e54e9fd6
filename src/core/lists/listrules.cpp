// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/listrules.h"

#include <QLocale>

#include <algorithm>

namespace tidewell {

namespace {

bool matchesSearch(const CachedMessage& message, const QString& loweredQuery, const QLocale& locale)
{
    if (locale.toLower(message.message).contains(loweredQuery))
        return true;
    return message.title && locale.toLower(*message.title).contains(loweredQuery);
}

} // namespace

QHash<qint64, CachedMessage> ListRules::latestByApp(const QList<CachedMessage>& messages)
{
    // Positions first, records copied once at the end: most messages replace nothing, some replace often.
    QHash<qint64, qsizetype> latest;
    for (qsizetype i = 0; i < messages.size(); ++i) {
        const CachedMessage& message = messages[i];
        auto stored = latest.find(message.applicationId);
        if (stored == latest.end()) {
            latest.insert(message.applicationId, i);
            continue;
        }
        const CachedMessage& current = messages[*stored];
        if (current.ts < message.ts || (current.ts == message.ts && current.id < message.id))
            *stored = i;
    }
    QHash<qint64, CachedMessage> result;
    result.reserve(latest.size());
    for (auto it = latest.cbegin(); it != latest.cend(); ++it)
        result.insert(it.key(), messages[it.value()]);
    return result;
}

QHash<qint64, int> ListRules::unreadByApp(const QList<CachedMessage>& messages, qint64 lastReadId)
{
    QHash<qint64, int> counts;
    for (const CachedMessage& message : messages) {
        if (isUnread(message, lastReadId))
            ++counts[message.applicationId];
    }
    return counts;
}

int ListRules::totalUnread(const QHash<qint64, int>& unreadByApp)
{
    int total = 0;
    for (int count : unreadByApp)
        total += count;
    return total;
}

QSet<qint64> ListRules::highPriorityUnreadApps(const QList<CachedMessage>& messages, qint64 lastReadId)
{
    QSet<qint64> apps;
    for (const CachedMessage& message : messages) {
        if (isUnread(message, lastReadId) && message.priority > 0)
            apps.insert(message.applicationId);
    }
    return apps;
}

QHash<qint64, CachedApp> ListRules::appsById(const QList<CachedApp>& apps)
{
    QHash<qint64, CachedApp> byId;
    byId.reserve(apps.size());
    for (const CachedApp& app : apps)
        byId.insert(app.id, app);
    return byId;
}

QList<CachedMessage> ListRules::filtered(const QList<CachedMessage>& all, std::optional<qint64> selectedAppId,
    const QString& searchText, MessageSort messageSort)
{
    const QLocale locale;
    const QString loweredQuery = locale.toLower(searchText);
    QList<qsizetype> survivors;
    for (qsizetype i = 0; i < all.size(); ++i) {
        const CachedMessage& message = all[i];
        if (selectedAppId && message.applicationId != *selectedAppId)
            continue;
        if (!searchText.isEmpty() && !matchesSearch(message, loweredQuery, locale))
            continue;
        survivors.append(i);
    }

    // Ties left by the ordering (titles that differ only in case) show the base order, which must not depend on
    // how the caller happened to list the records. The store's query is already id-descending, so this is
    // normally a single check.
    const auto byIdDescending = [&](qsizetype left, qsizetype right) { return all[left].id > all[right].id; };
    if (!std::is_sorted(survivors.cbegin(), survivors.cend(), byIdDescending))
        std::stable_sort(survivors.begin(), survivors.end(), byIdDescending);

    QList<CachedMessage> result;
    result.reserve(survivors.size());
    for (qsizetype position : messageSort.orderedPositions(all, survivors))
        result.append(all[position]);
    return result;
}

} // namespace tidewell
