// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "lists/messagesort.h"
#include "lists/rowstore.h"

#include <optional>
#include <vector>

namespace tidewell {

class TitleRanks;

// The filtered message list in display order: positions of the Listed rows of a RowStore, and their ids, with the
// ids of the list before the last change kept to compare with. The ids are made anew into the other of two
// buffers each time, so that neither is copied nor allocated again.
class ShownOrder
{
public:
    void clear() { m_positions.clear(); }

    // The list from scratch, from the rows' Listed flags.
    void compute(const RowStore& store, TitleRanks& titles, const MessageSort& sort);
    // Drops the rows no longer Listed: for the time orderings, which are total, what remains keeps its order.
    void keepListed(const RowStore& store);
    // After a commit that only added rows newer than all the others (what a sync does), the list grows at one end:
    // for the time orderings, the new Listed rows go to the front (newest first) or to the back, without walking
    // the list again. `newest` is in time order. Says whether it could, and whether the list grew.
    std::optional<bool> extend(const RowStore& store, const std::vector<quint32>& newest, const MessageSort& sort);

    // The row of the Listed row at `position`.
    qsizetype rowOf(const RowStore& store, size_t position, const MessageSort& sort) const;

    size_t size() const { return m_positions.size(); }
    quint32 at(size_t row) const { return m_positions[row]; }
    bool changed() const { return m_ids != m_previousIds; }
    bool isEmpty() const { return m_ids.empty(); }

private:
    void computeTitleOrder(const RowStore& store, TitleRanks& titles);
    void titleOrderAsTheRules(const RowStore& store, const TitleRanks& titles, const std::vector<quint32>& candidates);
    void takeIds(const RowStore& store);

    std::vector<quint32> m_positions;
    std::vector<qint64> m_ids;
    std::vector<qint64> m_previousIds;
};

} // namespace tidewell
