// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/commitapplier.h"

#include "cache/cachecontext.h"
#include "lists/appsummaries.h"
#include "lists/keylowering.h"
#include "lists/messagefilter.h"
#include "lists/titleranks.h"

#include <algorithm>

namespace tidewell {

CommitApplier::CommitApplier(RowStore& store, TitleRanks& titles, AppSummaries& summaries, const MessageFilter& filter,
    const KeyLowering& lowering, qint64 lastReadId)
    : m_store(store)
    , m_titles(titles)
    , m_summaries(summaries)
    , m_filter(filter)
    , m_lowering(lowering)
    , m_lastReadId(lastReadId)
{ }

void CommitApplier::remove(size_t position, Outcome& outcome)
{
    const RowStore::Row& row = m_store.rows[position];
    if (m_store.flags[position] & RowStore::Listed)
        outcome.previous.push_back(row.m);
    m_summaries.remove(row.m, m_lastReadId);
    m_titles.release(row.text);
    m_store.markDead(position);
}

CommitApplier::Outcome CommitApplier::apply(const CacheChange& change, const CacheContext& cache)
{
    RowStore& store = m_store;
    Outcome outcome;
    qsizetype removed = 0;
    if (!change.clearedApplications.isEmpty()) {
        for (size_t position = 0; position < store.rows.size(); ++position) {
            if ((store.flags[position] & RowStore::Alive)
                && change.clearedApplications.contains(store.rows[position].m.applicationId)) {
                remove(position, outcome);
                ++removed;
            }
        }
    }
    for (qint64 id : change.removedMessages) {
        if (const auto position = store.livePositionOf(id)) {
            remove(*position, outcome);
            ++removed;
        }
    }

    std::vector<RowStore::Row> added;
    std::vector<quint32> moved;
    bool replacedAny = false;
    for (qint64 id : change.upsertedMessages) {
        const std::optional<CachedMessage> record = cache.fetchMessage(id);
        const std::optional<size_t> position = store.livePositionOf(id);
        if (!record) {
            if (position) {
                remove(*position, outcome);
                ++removed;
            }
            continue;
        }
        if (!position) {
            added.push_back(store.make(*record, m_lowering, m_titles));
            m_summaries.add(added.back().m, m_lastReadId);
            continue;
        }
        replacedAny = true;
        RowStore::Row& row = store.rows[*position];
        const bool wasListed = store.flags[*position] & RowStore::Listed;
        m_summaries.remove(row.m, m_lastReadId);
        m_titles.release(row.text);
        store.discardKeys(row);
        const qint64 oldTs = row.m.ts;
        if (wasListed)
            outcome.previous.push_back(row.m);
        row = store.make(*record, m_lowering, m_titles);
        m_summaries.add(row.m, m_lastReadId);
        const bool listed = m_filter.passes(store, row);
        store.flags[*position] = quint8(RowStore::Alive | (listed ? RowStore::Listed : 0));
        if (row.m.ts != oldTs) {
            store.flags[*position] |= RowStore::Moved;
            moved.push_back(quint32(*position));
        }
        if (wasListed || listed)
            outcome.listedRowsTouched = true;
        if (listed && (!wasListed || row.m.ts != oldTs))
            outcome.entered.push_back(id);
        else if (listed)
            outcome.replaced.push_back(id);
    }

    if (removed > 0 || !moved.empty()) {
        std::erase_if(store.timeOrder, [&](quint32 position) {
            return (store.flags[position] & (RowStore::Alive | RowStore::Moved)) != RowStore::Alive;
        });
        for (quint32 position : moved)
            store.flags[position] &= quint8(~RowStore::Moved);
    }

    std::sort(added.begin(), added.end(),
        [](const RowStore::Row& left, const RowStore::Row& right) { return left.m.id < right.m.id; });
    const bool appendable = added.empty() || store.rows.empty() || added.front().m.id > store.rows.back().m.id;
    std::vector<quint32> addedPositions;
    const bool packed = !appendable || store.packingDue();
    if (packed) {
        addedPositions = store.pack(added, moved);
    } else {
        for (const RowStore::Row& row : added) {
            addedPositions.push_back(quint32(store.rows.size()));
            store.append(row);
        }
    }
    for (quint32 position : addedPositions) {
        if (m_filter.passes(store, store.rows[position])) {
            store.flags[position] |= RowStore::Listed;
            outcome.entered.push_back(store.rows[position].m.id);
        }
    }
    addedPositions.insert(addedPositions.end(), moved.begin(), moved.end());
    const bool newestOnly = store.insertIntoTimeOrder(addedPositions);
    if (newestOnly && !packed && !replacedAny && removed == 0 && !change.allMessagesRemoved
        && change.clearedApplications.isEmpty())
        outcome.newestAdded = std::move(addedPositions);
    m_summaries.findRemovedLatest(store);
    const auto byId
        = [](const RowStore::MessageRow& left, const RowStore::MessageRow& right) { return left.id < right.id; };
    std::sort(outcome.previous.begin(), outcome.previous.end(), byId);
    std::sort(outcome.entered.begin(), outcome.entered.end());
    std::sort(outcome.replaced.begin(), outcome.replaced.end());
    return outcome;
}

} // namespace tidewell
