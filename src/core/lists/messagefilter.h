// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "lists/rowstore.h"
#include "lists/searchkey.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace tidewell {

// Which rows the message list shows: those of the selected application (all when none is) whose lowered body or
// title holds the lowered search text. It marks them Listed in a RowStore, over a large cache in slices, one a
// core: a search over many rows is bound by reading their keys, which two cores do faster than one.
class MessageFilter
{
public:
    // A pass is split between cores only where each slice has this many rows: below it, starting a thread costs
    // more than it saves.
    static constexpr size_t rowsPerSlice = 50000;
    static constexpr size_t maxSlices = 4;

    std::optional<qint64> applicationId;
    QString searchText;
    QByteArray needle; // the search text lowered, as key bytes

    bool matchesSearch(const RowStore& store, const RowStore::Row& row) const
    {
        const char* key = store.keyOf(row);
        if (SearchKey::contains(key, row.bodyLength, needle))
            return true;
        return row.hasTitle && SearchKey::contains(key + row.bodyLength, row.titleLength, needle);
    }

    bool passes(const RowStore& store, const RowStore::Row& row) const
    {
        if (applicationId && row.m.applicationId != *applicationId)
            return false;
        return searchText.isEmpty() || matchesSearch(store, row);
    }

    // Marks Listed exactly the live rows that pass.
    void apply(RowStore& store) const;
    // Keeps Listed only the Listed rows that match the search: enough when the search text grew.
    void narrow(RowStore& store) const;

    // How many slices a pass over `count` rows takes.
    static size_t sliceCount(size_t count);

private:
    // Runs `work(begin, end)` over the positions [0, count) in slices, the calling thread taking the first and
    // waiting for the rest; each slice writes only its own rows' flags.
    template <typename Work> static void inSlices(size_t count, const Work& work)
    {
        const size_t slices = sliceCount(count);
        const size_t step = (count + slices - 1) / slices;
        std::vector<std::jthread> helpers;
        for (size_t slice = 1; slice < slices; ++slice) {
            const size_t begin = std::min(count, slice * step);
            const size_t end = std::min(count, begin + step);
            try {
                helpers.emplace_back([&work, begin, end] { work(begin, end); });
            } catch (const std::system_error&) {
                work(begin, end); // no thread to be had: this one does the slice
            }
        }
        work(0, std::min(count, step));
    }
};

} // namespace tidewell
