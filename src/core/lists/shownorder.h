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
//
// While a view is told of a change a range at a time, the list it sees is between the two: the new list's rows
// above a boundary, the old list's rows below it. Each step moves the boundary past the rows it told of.
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
    // the list again. `listed` are those of the new rows that are Listed, in time order; `joining` gives them.
    static std::vector<quint32> joining(const RowStore& store, const std::vector<quint32>& newest);
    void extend(const RowStore& store, const std::vector<quint32>& listed, const MessageSort& sort);
    // Where rows added by extend() go: at the front for the newest first, else at the back.
    static bool extendsAtFront(const MessageSort& sort) { return sort == MessageSort::Newest; }

    // The list between the old and the new one: the new list's first `newRows` rows, then the old list's rows from
    // `oldFrom` on. Without a boundary the list is the new one.
    void setBoundary(size_t newRows, size_t oldFrom) { m_boundary = Boundary { newRows, oldFrom }; }
    void clearBoundary() { m_boundary.reset(); }
    bool hasBoundary() const { return m_boundary.has_value(); }
    // The rows seen, and of a row below the boundary, the old list's id; none for a row of the new list.
    size_t seenSize() const
    {
        return m_boundary ? m_boundary->newRows + (m_previousIds.size() - m_boundary->oldFrom) : m_positions.size();
    }
    std::optional<qint64> oldIdAt(size_t row) const
    {
        if (!m_boundary || row < m_boundary->newRows)
            return std::nullopt;
        return m_previousIds[row - m_boundary->newRows + m_boundary->oldFrom];
    }
    const std::vector<qint64>& ids() const { return m_ids; }
    const std::vector<qint64>& previousIds() const { return m_previousIds; }

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

    struct Boundary
    {
        size_t newRows = 0;
        size_t oldFrom = 0;
    };

    std::vector<quint32> m_positions;
    std::vector<qint64> m_ids;
    std::vector<qint64> m_previousIds;
    std::optional<Boundary> m_boundary;
};

} // namespace tidewell
