// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/appsummaries.h"

#include "lists/listrules.h"
#include "lists/rowstore.h"

namespace tidewell {

void AppSummaries::clear()
{
    m_summaries = {};
    m_totalUnread = 0;
    m_removedLatest = {};
}

void AppSummaries::add(const MessageRow& row, qint64 lastReadId)
{
    Summary& s = m_summaries[row.applicationId];
    ++s.count;
    if (ListRules::isUnread(row.id, lastReadId))
        countUnread(row, 1);
    if (!s.latestRemoved && (!s.latest || RowStore::newer(row, *s.latest)))
        s.latest = row;
}

void AppSummaries::remove(const MessageRow& row, qint64 lastReadId)
{
    const auto found = m_summaries.find(row.applicationId);
    if (found == m_summaries.end())
        return;
    Summary& s = *found;
    if (ListRules::isUnread(row.id, lastReadId))
        countUnread(row, -1);
    if (--s.count == 0) {
        m_summaries.erase(found);
        return;
    }
    if (s.latest && s.latest->id == row.id) {
        s.latestRemoved = true;
        m_removedLatest.append(row.applicationId);
    }
}

void AppSummaries::countUnread(const MessageRow& row, qint64 step)
{
    Summary& s = m_summaries[row.applicationId];
    s.unread += step;
    m_totalUnread += step;
    if (row.priority > 0)
        s.highPriorityUnread += step;
}

// The newest rows come last in the time order, so an application's latest is usually found after a few steps.
void AppSummaries::findRemovedLatest(const RowStore& store)
{
    qsizetype missing = 0;
    for (qint64 app : std::as_const(m_removedLatest)) {
        const auto found = m_summaries.constFind(app);
        if (found != m_summaries.constEnd() && found->latestRemoved)
            ++missing;
    }
    for (auto at = store.timeOrder.rbegin(); missing > 0 && at != store.timeOrder.rend(); ++at) {
        const MessageRow& m = store.rows[*at].m;
        const auto found = m_summaries.find(m.applicationId);
        if (found != m_summaries.end() && found->latestRemoved) {
            found->latest = m;
            found->latestRemoved = false;
            --missing;
        }
    }
    m_removedLatest.clear();
}

qint64 AppSummaries::unread(qint64 applicationId) const
{
    const auto found = m_summaries.constFind(applicationId);
    return found == m_summaries.constEnd() ? 0 : found->unread;
}

std::vector<ListProjection::AppRow> AppSummaries::appRows(
    const QList<CachedApp>& appsByName, const ApplicationSort& sort) const
{
    QHash<qint64, CachedMessage> latestByApp;
    for (const CachedApp& app : appsByName) {
        const auto found = m_summaries.constFind(app.id);
        if (found == m_summaries.constEnd() || !found->latest)
            continue;
        CachedMessage latest;
        latest.id = found->latest->id;
        latest.applicationId = found->latest->applicationId;
        latest.ts = found->latest->ts;
        latest.priority = found->latest->priority;
        latestByApp.insert(app.id, latest);
    }
    // Tens of applications: the ordering itself is cheaper than anything kept to spare it.
    std::vector<AppRow> result;
    for (const CachedApp& app : sort.ordered(appsByName, latestByApp)) {
        AppRow row;
        row.app = app;
        const auto found = m_summaries.constFind(app.id);
        if (found != m_summaries.constEnd()) {
            row.latest = found->latest;
            row.unreadCount = found->unread;
            row.highPriorityUnread = found->highPriorityUnread > 0;
        }
        result.push_back(std::move(row));
    }
    return result;
}

} // namespace tidewell
