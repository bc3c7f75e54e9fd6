// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/messagefilter.h"

namespace tidewell {

size_t MessageFilter::sliceCount(size_t count)
{
    const size_t cores = std::clamp<size_t>(std::thread::hardware_concurrency(), 1, maxSlices);
    return count < rowsPerSlice * 2 ? 1 : std::min(cores, count / rowsPerSlice);
}

void MessageFilter::apply(RowStore& store) const
{
    inSlices(store.rows.size(), [this, &store](size_t begin, size_t end) {
        for (size_t position = begin; position < end; ++position) {
            quint8& flag = store.flags[position];
            flag &= quint8(~RowStore::Listed);
            if ((flag & RowStore::Alive) && passes(store, store.rows[position]))
                flag |= RowStore::Listed;
        }
    });
}

void MessageFilter::narrow(RowStore& store) const
{
    inSlices(store.rows.size(), [this, &store](size_t begin, size_t end) {
        for (size_t position = begin; position < end; ++position) {
            if ((store.flags[position] & RowStore::Listed) && !matchesSearch(store, store.rows[position]))
                store.flags[position] &= quint8(~RowStore::Listed);
        }
    });
}

} // namespace tidewell
