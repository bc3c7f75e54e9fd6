// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/rowstore.h"

#include "lists/titleranks.h"

#include <algorithm>
#include <limits>

namespace tidewell {

void RowStore::sortByTime(const Rows& rows, std::vector<quint32>& positions)
{
    const auto earlier = [&](quint32 left, quint32 right) { return newer(rows[right].m, rows[left].m); };
    if (!std::is_sorted(positions.begin(), positions.end(), earlier))
        std::sort(positions.begin(), positions.end(), earlier);
}

void RowStore::clear()
{
    *this = RowStore();
}

RowStore::Row RowStore::make(const CachedMessage& message, const KeyLowering& lowering, TitleRanks& titles)
{
    Row row;
    row.m = { message.id, message.applicationId, message.ts, message.priority };
    row.key = qint64(keys.size());
    row.bodyLength = lowering.append(message.message, keys);
    row.hasTitle = message.title.has_value();
    if (row.hasTitle)
        row.titleLength = lowering.append(*message.title, keys);
    row.text = titles.acquire(message.title.value_or(QString()), false);
    return row;
}

void RowStore::append(const Row& row)
{
    rows.push_back(row);
    flags.push_back(Alive);
}

void RowStore::markDead(size_t position)
{
    discardKeys(rows[position]);
    flags[position] = 0;
    ++deadRows;
}

bool RowStore::packingDue() const
{
    return (deadRows >= deadRowsBeforePacking && deadRows * 4 >= qsizetype(rows.size()))
        || (deadKeyBytes >= deadKeyBytesBeforePacking && deadKeyBytes * 2 >= keyByteCount());
}

std::vector<quint32> RowStore::pack(const std::vector<Row>& added, std::vector<quint32>& moved)
{
    const size_t live = rows.size() - size_t(deadRows);
    Rows packed;
    packed.reserve(live + added.size());
    std::vector<quint8> packedFlags;
    packedFlags.reserve(live + added.size());
    SearchKey::Buffer packedKeys;
    packedKeys.reserve(size_t(keyByteCount() - deadKeyBytes));
    std::vector<quint32> newPosition(rows.size(), std::numeric_limits<quint32>::max());
    std::vector<quint32> addedPositions;
    addedPositions.reserve(added.size());

    const auto take = [&](Row row, quint8 flag) {
        const char* key = keyOf(row);
        row.key = qint64(packedKeys.size());
        row.upperKey = false;
        packedKeys.insert(packedKeys.end(), key, key + row.bodyLength + row.titleLength);
        packed.push_back(row);
        packedFlags.push_back(flag);
        return quint32(packed.size() - 1);
    };
    size_t next = 0;
    for (size_t position = 0; position < rows.size(); ++position) {
        if (!(flags[position] & Alive))
            continue;
        while (next < added.size() && added[next].m.id < rows[position].m.id)
            addedPositions.push_back(take(added[next++], Alive));
        newPosition[position] = take(rows[position], flags[position]);
    }
    while (next < added.size())
        addedPositions.push_back(take(added[next++], Alive));

    for (quint32& position : timeOrder)
        position = newPosition[position];
    for (quint32& position : moved)
        position = newPosition[position];
    rows = std::move(packed);
    flags = std::move(packedFlags);
    keys = std::move(packedKeys);
    upperKeys = {};
    deadRows = 0;
    deadKeyBytes = 0;
    return addedPositions;
}

bool RowStore::insertIntoTimeOrder(std::vector<quint32>& added)
{
    if (added.empty())
        return true;
    sortByTime(rows, added);
    const auto earlier = [&](quint32 left, quint32 right) { return newer(rows[right].m, rows[left].m); };
    if (timeOrder.empty() || earlier(timeOrder.back(), added.front())) {
        timeOrder.insert(timeOrder.end(), added.begin(), added.end());
        return true;
    }
    std::vector<quint32> merged;
    merged.reserve(timeOrder.size() + added.size());
    auto from = timeOrder.begin();
    for (quint32 position : added) {
        const auto to = std::upper_bound(from, timeOrder.end(), position, earlier);
        merged.insert(merged.end(), from, to);
        merged.push_back(position);
        from = to;
    }
    merged.insert(merged.end(), from, timeOrder.end());
    timeOrder = std::move(merged);
    return false;
}

std::optional<size_t> RowStore::positionOf(qint64 id) const
{
    const auto at
        = std::lower_bound(rows.begin(), rows.end(), id, [](const Row& row, qint64 value) { return row.m.id < value; });
    if (at == rows.end() || at->m.id != id)
        return std::nullopt;
    return size_t(at - rows.begin());
}

std::optional<size_t> RowStore::livePositionOf(qint64 id) const
{
    const auto position = positionOf(id);
    if (position && (flags[*position] & Alive))
        return position;
    return std::nullopt;
}

} // namespace tidewell
