// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/shownorder.h"

#include "lists/titleranks.h"

#include <QHash>

#include <algorithm>
#include <functional>
#include <numeric>

namespace tidewell {

void ShownOrder::compute(const RowStore& store, TitleRanks& titles, const MessageSort& sort)
{
    std::swap(m_ids, m_previousIds);
    m_positions.clear();
    switch (sort.value()) {
    case MessageSort::Newest:
        for (auto at = store.timeOrder.rbegin(); at != store.timeOrder.rend(); ++at) {
            if (store.flags[*at] & RowStore::Listed)
                m_positions.push_back(*at);
        }
        break;
    case MessageSort::Oldest:
        for (quint32 position : store.timeOrder) {
            if (store.flags[position] & RowStore::Listed)
                m_positions.push_back(position);
        }
        break;
    case MessageSort::Title:
        computeTitleOrder(store, titles);
        break;
    }
    m_ids.resize(m_positions.size());
    for (size_t i = 0; i < m_positions.size(); ++i)
        m_ids[i] = store.rows[m_positions[i]].m.id;
}

void ShownOrder::keepListed(const RowStore& store)
{
    std::erase_if(m_positions, [&](quint32 position) { return !(store.flags[position] & RowStore::Listed); });
    takeIds(store);
}

void ShownOrder::takeIds(const RowStore& store)
{
    std::swap(m_ids, m_previousIds);
    m_ids.resize(m_positions.size());
    for (size_t i = 0; i < m_positions.size(); ++i)
        m_ids[i] = store.rows[m_positions[i]].m.id;
}

std::vector<quint32> ShownOrder::joining(const RowStore& store, const std::vector<quint32>& newest)
{
    std::vector<quint32> listed;
    for (quint32 position : newest) {
        if (store.flags[position] & RowStore::Listed)
            listed.push_back(position);
    }
    return listed;
}

void ShownOrder::extend(const RowStore& store, const std::vector<quint32>& listed, const MessageSort& sort)
{
    std::vector<qint64> ids(listed.size());
    for (size_t i = 0; i < listed.size(); ++i)
        ids[i] = store.rows[listed[i]].m.id;
    if (extendsAtFront(sort)) {
        m_positions.insert(m_positions.begin(), listed.rbegin(), listed.rend());
        m_ids.insert(m_ids.begin(), ids.rbegin(), ids.rend());
    } else {
        m_positions.insert(m_positions.end(), listed.begin(), listed.end());
        m_ids.insert(m_ids.end(), ids.begin(), ids.end());
    }
}

qsizetype ShownOrder::rowOf(const RowStore& store, size_t position, const MessageSort& sort) const
{
    const RowStore::MessageRow& target = store.rows[position].m;
    const auto& rows = store.rows;
    switch (sort.value()) {
    case MessageSort::Newest: {
        const auto at = std::lower_bound(m_positions.begin(), m_positions.end(), target,
            [&](quint32 listed, const RowStore::MessageRow& value) { return RowStore::newer(rows[listed].m, value); });
        return qsizetype(at - m_positions.begin());
    }
    case MessageSort::Oldest: {
        const auto at = std::lower_bound(m_positions.begin(), m_positions.end(), target,
            [&](quint32 listed, const RowStore::MessageRow& value) { return RowStore::newer(value, rows[listed].m); });
        return qsizetype(at - m_positions.begin());
    }
    case MessageSort::Title:
        break;
    }
    const auto at = std::find(m_positions.begin(), m_positions.end(), quint32(position));
    return qsizetype(at - m_positions.begin());
}

// Rank by rank. Within a rank the titles that are equal as strings go newest first, while titles that differ only
// in case keep the id-descending base order; where both meet and the times run against the ids, the result depends
// on the sort's inner steps, so that case takes the very sort the rules use. Ranks are taken from the time order,
// newest first, so that a rank of one title (the usual case) needs no sorting at all.
void ShownOrder::computeTitleOrder(const RowStore& store, TitleRanks& titles)
{
    const auto& rows = store.rows;
    titles.renumber();
    std::vector<quint32> newestFirst;
    for (auto at = store.timeOrder.rbegin(); at != store.timeOrder.rend(); ++at) {
        if (store.flags[*at] & RowStore::Listed)
            newestFirst.push_back(*at);
    }
    const qint32 ranks = titles.rankCount();
    std::vector<qsizetype> starts(size_t(ranks) + 1, 0);
    for (quint32 position : newestFirst)
        ++starts[size_t(titles.rank(rows[position].text)) + 1];
    std::partial_sum(starts.begin(), starts.end(), starts.begin());
    m_positions.resize(newestFirst.size());
    std::vector<qsizetype> next(starts.begin(), starts.end() - 1);
    for (quint32 position : newestFirst)
        m_positions[size_t(next[size_t(titles.rank(rows[position].text))]++)] = position;

    QHash<qint32, qint64> lastTsOfText;
    for (qint32 rank = 0; rank < ranks; ++rank) {
        const auto begin = m_positions.begin() + starts[size_t(rank)];
        const auto end = m_positions.begin() + starts[size_t(rank) + 1];
        if (end - begin < 2)
            continue;
        const qint32 firstText = rows[*begin].text;
        if (std::all_of(begin, end, [&](quint32 position) { return rows[position].text == firstText; }))
            continue;
        // Rows are stored by id, so the base order of positions is the descending one.
        std::sort(begin, end, std::greater<quint32>());
        lastTsOfText.clear();
        for (auto at = begin; at != end; ++at) {
            const RowStore::Row& row = rows[*at];
            const auto last = lastTsOfText.find(row.text);
            if (last != lastTsOfText.end() && row.m.ts > *last) {
                std::vector<quint32> idDescending(newestFirst);
                std::sort(idDescending.begin(), idDescending.end(), std::greater<quint32>());
                titleOrderAsTheRules(store, titles, idDescending);
                return;
            }
            lastTsOfText.insert(row.text, row.m.ts);
        }
    }
}

void ShownOrder::titleOrderAsTheRules(
    const RowStore& store, const TitleRanks& titles, const std::vector<quint32>& candidates)
{
    QList<CachedMessage> records;
    records.reserve(qsizetype(candidates.size()));
    for (quint32 position : candidates) {
        const RowStore::Row& row = store.rows[position];
        CachedMessage record;
        record.id = row.m.id;
        record.ts = row.m.ts;
        record.title = titles.text(row.text);
        records.append(record);
    }
    QList<qsizetype> positions(records.size());
    std::iota(positions.begin(), positions.end(), qsizetype(0));
    m_positions.clear();
    for (qsizetype index : MessageSort(MessageSort::Title).orderedPositions(records, positions))
        m_positions.push_back(candidates[size_t(index)]);
}

} // namespace tidewell
