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
    struct Outcome
    {
        bool listedRowsTouched = false; // a listed row was replaced: what it shows may differ
        // The commit only added rows, all newer than every other, and none moved: their positions, in time order.
        std::optional<std::vector<quint32>> newestAdded;
    };

    CommitApplier(RowStore& store, TitleRanks& titles, AppSummaries& summaries, const MessageFilter& filter,
        const KeyLowering& lowering, qint64 lastReadId);

    Outcome apply(const CacheChange& change, const CacheContext& cache);

private:
    // A row leaves: its summaries, title and keys with it.
    void remove(size_t position);

    RowStore& m_store;
    TitleRanks& m_titles;
    AppSummaries& m_summaries;
    const MessageFilter& m_filter;
    const KeyLowering& m_lowering;
    qint64 m_lastReadId;
};

} // namespace tidewell
