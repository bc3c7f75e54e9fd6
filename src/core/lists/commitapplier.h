// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cache/cachechange.h"
#include "lists/rowstore.h"

#include <optional>
#include <vector>

namespace tidewell {

class AppSummaries;
class CacheContext;
class KeyLowering;
class MessageFilter;
class TitleRanks;

// Applies what one commit changed to the projection's rows, their titles and summaries: rows of cleared
// applications and removed messages leave, upserted ones are read back and come in or are replaced, the time order
// follows, and the rows are packed when enough of them are dead. The caller has already emptied everything when the
// commit removed every message.
class CommitApplier
{
public:
    // What the commit did to the listed rows, so that the lists can say which of their rows changed.
    struct Outcome
    {
        bool listedRowsTouched = false; // a listed row was replaced: what it shows may differ
        // The commit only added rows, all newer than every other, and none moved: their positions, in time order.
        std::optional<std::vector<quint32>> newestAdded;
        // Listed rows as they were before the commit, of those it removed or replaced, by ascending id: a view told
        // of the change a range at a time still reads them until it is told they are gone.
        std::vector<RowStore::MessageRow> previous;
        // Rows listed now that were not listed before, or whose time changed so that they may have moved; by id.
        std::vector<qint64> entered;
        // Rows listed before and now, replaced where they are: what they show may differ. By id.
        std::vector<qint64> replaced;
    };

    CommitApplier(RowStore& store, TitleRanks& titles, AppSummaries& summaries, const MessageFilter& filter,
        const KeyLowering& lowering, qint64 lastReadId);

    Outcome apply(const CacheChange& change, const CacheContext& cache);

private:
    // A row leaves: its summaries, title and keys with it.
    void remove(size_t position, Outcome& outcome);

    RowStore& m_store;
    TitleRanks& m_titles;
    AppSummaries& m_summaries;
    const MessageFilter& m_filter;
    const KeyLowering& m_lowering;
    qint64 m_lastReadId;
};

} // namespace tidewell
