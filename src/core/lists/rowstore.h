// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cache/cachedmessage.h"
#include "lists/keylowering.h"
#include "lists/largeblockallocator.h"
#include "lists/listprojection.h"
#include "lists/searchkey.h"

#include <optional>
#include <vector>

namespace tidewell {

class TitleRanks;

// Every cached message as a compact row, by ascending id, with the lowered search keys of its body and title in
// one buffer and the rows' time order. A removed row stays in place, dead, so that positions stay put while a
// commit is applied; once the dead rows or their keys are a large enough share, the live ones are packed together.
// Members are open: the filter, the orderings and the summaries walk them once per row, and nothing may stand
// between those loops and the bytes.
class RowStore
{
public:
    using MessageRow = ListProjection::MessageRow;

    struct Row
    {
        MessageRow m;
        qint64 key = 0; // offset of the lowered body in its key buffer, the lowered title right after it
        quint32 bodyLength = 0;
        quint32 titleLength = 0;
        qint32 text = 0; // the title among the TitleRanks' texts; an absent title is the empty text
        bool hasTitle = false;
        bool upperKey = false; // its keys are in `upperKeys`
    };
    using Rows = std::vector<Row, LargeBlockAllocator<Row>>;

    enum Flag : quint8
    {
        Alive = 0x1,
        Listed = 0x2, // passes the current message filter
        Moved = 0x4, // its time changed in this commit, so its place in the time order must be found again
    };

    // Removed rows stay in place until they are a quarter of all rows, or their keys half of all key bytes. The
    // floors spare small caches the passes.
    static constexpr qsizetype deadRowsBeforePacking = 64;
    static constexpr qsizetype deadKeyBytesBeforePacking = 4096;

    // The greater (ts, id) first: the order of the newest ordering and of the latest message per application.
    static bool newer(const MessageRow& left, const MessageRow& right)
    {
        return left.ts != right.ts ? left.ts > right.ts : left.id > right.id;
    }

    // Sorts positions into `rows` by ascending (ts, id).
    static void sortByTime(const Rows& rows, std::vector<quint32>& positions);

    void clear();

    // The row of a record, its keys appended and its title acquired.
    Row make(const CachedMessage& message, const KeyLowering& lowering, TitleRanks& titles);
    void append(const Row& row);
    // Marks a row dead; its summaries and title are the caller's to release.
    void markDead(size_t position);
    // Counts the keys of a row about to be replaced as dead bytes.
    void discardKeys(const Row& row) { deadKeyBytes += qsizetype(row.bodyLength) + row.titleLength; }
    bool packingDue() const;
    // Packs the live rows and their keys together, merging in rows not stored yet (sorted by id, keys already
    // appended); the time order and `moved` follow the rows to their new positions. Returns the new rows'
    // positions.
    std::vector<quint32> pack(const std::vector<Row>& added, std::vector<quint32>& moved);

    // Puts positions of rows that are not in the time order yet into it, each after a binary search, copying the
    // stretches between them once. `added` ends up in time order. Says whether all of it went after every row
    // already in the order.
    bool insertIntoTimeOrder(std::vector<quint32>& added);

    // The position of the row with this id, dead or alive; none when there is none.
    std::optional<size_t> positionOf(qint64 id) const;
    std::optional<size_t> livePositionOf(qint64 id) const;

    const char* keyOf(const Row& row) const { return (row.upperKey ? upperKeys.data() : keys.data()) + row.key; }
    qsizetype keyByteCount() const { return qsizetype(keys.size() + upperKeys.size()); }

    Rows rows;
    std::vector<quint8>
        flags; // Flag per row, in a vector of their own so that walks over an order touch one byte a row
    std::vector<quint32> timeOrder; // positions of the live rows by ascending (ts, id)
    SearchKey::Buffer keys;
    // The keys the second reader made at the last load, where it made them: copying them after the others would
    // cost the start as much again. The next packing joins them with the rest.
    SearchKey::Buffer upperKeys;
    qsizetype deadRows = 0;
    qsizetype deadKeyBytes = 0;
};

} // namespace tidewell
