// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cache/cachedapp.h"
#include "lists/applicationsort.h"
#include "lists/listprojection.h"

#include <QHash>
#include <QList>
#include <optional>
#include <vector>

namespace tidewell {

class RowStore;

// Per-application summaries of the cached messages (how many, how many unread, whether any unread one is of high
// priority, the latest) kept current row by row as rows come and go and as the read position moves, instead of
// being counted again over every message. Unread means what ListRules::isUnread says.
class AppSummaries
{
public:
    using MessageRow = ListProjection::MessageRow;
    using AppRow = ListProjection::AppRow;

    void clear();
    void add(const MessageRow& row, qint64 lastReadId);
    void remove(const MessageRow& row, qint64 lastReadId);
    // The read position moved over `row`: +1 when it became unread, -1 when it became read.
    void countUnread(const MessageRow& row, qint64 step);
    // Finds the latest of applications whose latest was removed, once the commit's rows are in their time order.
    void findRemovedLatest(const RowStore& store);

    qint64 unread(qint64 applicationId) const;
    qint64 totalUnread() const { return m_totalUnread; }
    // The application rows of `appsByName` (in the application query's order), ordered by `sort`.
    std::vector<AppRow> appRows(const QList<CachedApp>& appsByName, const ApplicationSort& sort) const;

private:
    struct Summary
    {
        qint64 count = 0;
        qint64 unread = 0;
        qint64 highPriorityUnread = 0;
        std::optional<MessageRow> latest;
        bool latestRemoved = false; // found again once the commit is in
    };

    QHash<qint64, Summary> m_summaries;
    qint64 m_totalUnread = 0;
    QList<qint64> m_removedLatest;
};

} // namespace tidewell
