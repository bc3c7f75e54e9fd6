// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cache/cachecontext.h"
#include "lists/keylowering.h"
#include "lists/rowstore.h"
#include "lists/searchkey.h"

#include <QString>
#include <functional>
#include <vector>

namespace tidewell {

class AppSummaries;
class TitleRanks;

// Reads every cached message into rows with their keys at start or on a reload. Over a large cache in a file it
// reads the upper half of the ids on a second thread meanwhile, through a connection of its own: reading and
// lowering a million messages is most of what a window over them waits for at start, and a second core halves it.
// What the reader thread throws, anything at all, is thrown again on the calling thread.
class ProjectionLoader
{
public:
    // What one reader builds from its part of the cache: rows with their keys, the titles they use with how
    // often, and the rows' time order.
    struct Part
    {
        RowStore::Rows rows;
        SearchKey::Buffer keys;
        std::vector<QString> titles;
        std::vector<qint32> titleUses;
        std::vector<quint32> timeOrder;
    };

    virtual ~ProjectionLoader() = default;

    // Fills `lower` and, when the cache is read in two halves, `upper` with the higher ids.
    virtual void read(const CacheContext& cache, const KeyLowering& lowering, Part& lower, Part& upper) const;

    // Takes the parts' rows as the store's, the upper part's after the lower one's, with their titles and
    // summaries.
    static void adopt(
        Part& lower, Part& upper, RowStore& store, TitleRanks& titles, AppSummaries& summaries, qint64 lastReadId);

protected:
    // Fills `part` from what `read` visits. Touches nothing else, so that it may run on another thread.
    static void readPart(
        Part& part, const KeyLowering& lowering, const std::function<void(const StoredMessageVisit&)>& read);
};

} // namespace tidewell
