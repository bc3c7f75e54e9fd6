// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/projectionloader.h"

#include "lists/appsummaries.h"
#include "lists/titleranks.h"

#include <QHash>

#include <algorithm>
#include <exception>
#include <new>
#include <numeric>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace tidewell {

namespace {

// A large cache is read in two halves only where each half has at least this many ids.
constexpr qint64 idsPerHalf = 50000;
// No stored message takes fewer bytes in the cache's file than this: a bound on how many rows a file can hold.
constexpr qint64 minStoredRowBytes = 16;

// Reserves room for `count` elements where the system grants that much address space. A reservation only spares
// copies; without it the buffer grows as it fills, so a cache too large to reserve for still loads.
template <typename Buffer> void reserveIfPossible(Buffer& buffer, size_t count)
{
    try {
        buffer.reserve(count);
    } catch (const std::bad_alloc&) {
        // grows as it fills
    } catch (const std::length_error&) {
        // grows as it fills
    }
}

} // namespace

void ProjectionLoader::readPart(
    Part& part, const KeyLowering& lowering, const std::function<void(const StoredMessageVisit&)>& read)
{
    // Titles repeat: each distinct stored form is converted and looked up once.
    QHash<QByteArray, qint32> titleOfStored;
    read([&](const StoredMessage& message) {
        RowStore::Row row;
        row.m = { message.id, message.applicationId, message.ts, message.priority };
        row.key = qint64(part.keys.size());
        row.bodyLength = lowering.append(message.message, part.keys);
        row.hasTitle = message.title.has_value();
        if (row.hasTitle)
            row.titleLength = lowering.append(*message.title, part.keys);
        const QByteArrayView title = message.title.value_or(QByteArrayView());
        auto known = titleOfStored.constFind(QByteArray::fromRawData(title.data(), title.size()));
        if (known == titleOfStored.constEnd()) {
            known = titleOfStored.insert(title.toByteArray(), qint32(part.titles.size()));
            part.titles.push_back(QString::fromUtf8(title));
            part.titleUses.push_back(0);
        }
        row.text = *known;
        ++part.titleUses[size_t(row.text)];
        part.rows.push_back(row);
    });
    part.timeOrder.resize(part.rows.size());
    std::iota(part.timeOrder.begin(), part.timeOrder.end(), quint32(0));
    RowStore::sortByTime(part.rows, part.timeOrder);
}

void ProjectionLoader::read(const CacheContext& cache, const KeyLowering& lowering, Part& lower, Part& upper) const
{
    // The keys take at most what the texts take in the file (lowering keeps the length of all but a few
    // characters), and there are no more rows than ids or than the file has room for. Reserving that spares
    // the copies of growing buffers, and the lower part then takes the upper one's rows in place; what stays
    // untouched of a reservation is never given memory.
    const qint64 stored = cache.storedBytes();
    reserveIfPossible(lower.keys, size_t(stored) + size_t(RowStore::deadKeyBytesBeforePacking));
    const std::optional<qint64> first = cache.minMessageId();
    const std::optional<qint64> last = cache.maxMessageId();
    if (!first || !last)
        return;
    // Room for an eighth more, so that the first syncs after start append in place rather than move every row.
    const size_t rowBound = size_t(std::min(*last - *first + 1, stored / minStoredRowBytes + 1));
    reserveIfPossible(lower.rows, rowBound + rowBound / 8 + 64);
    const bool inHalves = !cache.isInMemory() && !cache.hasChanges() && *last - *first >= idsPerHalf * 2
        && std::thread::hardware_concurrency() > 1;
    if (!inHalves) {
        readPart(lower, lowering, [&cache](const StoredMessageVisit& visit) { cache.forEachMessage(visit); });
        return;
    }
    const qint64 middle = *first + (*last - *first) / 2;
    reserveIfPossible(upper.keys, size_t(stored) + size_t(RowStore::deadKeyBytesBeforePacking));
    const auto readUpper = [&cache, &upper, &lowering, middle, last] {
        readPart(upper, lowering, [&cache, middle, last](const StoredMessageVisit& visit) {
            cache.forEachCommittedMessageOnCallingThread(middle + 1, *last, visit);
        });
    };
    std::exception_ptr upperFailed;
    {
        std::jthread reader;
        try {
            reader = std::jthread([&] {
                try {
                    readUpper();
                } catch (...) {
                    upperFailed = std::current_exception();
                }
            });
        } catch (const std::system_error&) {
            readUpper(); // no thread to be had: this one reads both halves
        }
        readPart(lower, lowering,
            [&cache, first, middle](const StoredMessageVisit& visit) { cache.forEachMessage(*first, middle, visit); });
    } // the reader joins here, also when this thread's read threw
    if (upperFailed)
        std::rethrow_exception(upperFailed);
}

void ProjectionLoader::adopt(
    Part& lower, Part& upper, RowStore& store, TitleRanks& titles, AppSummaries& summaries, qint64 lastReadId)
{
    const size_t lowerRows = lower.rows.size();
    store.rows = std::move(lower.rows);
    store.keys = std::move(lower.keys);
    store.upperKeys = std::move(upper.keys);
    for (RowStore::Row row : upper.rows) {
        row.upperKey = true;
        store.rows.push_back(row);
    }
    upper.rows = {};
    const auto partTitles = [&titles](const Part& part) {
        std::vector<qint32> texts(part.titles.size());
        for (size_t title = 0; title < part.titles.size(); ++title)
            texts[title] = titles.acquire(part.titles[title], true, part.titleUses[title]);
        return texts;
    };
    const std::vector<qint32> lowerTexts = partTitles(lower);
    const std::vector<qint32> upperTexts = partTitles(upper);
    for (size_t position = 0; position < store.rows.size(); ++position) {
        RowStore::Row& row = store.rows[position];
        row.text = (position < lowerRows ? lowerTexts : upperTexts)[size_t(row.text)];
        summaries.add(row.m, lastReadId);
    }
    reserveIfPossible(store.flags, store.rows.capacity());
    store.flags.assign(store.rows.size(), RowStore::Alive);
    for (quint32& position : upper.timeOrder)
        position += quint32(lowerRows);
    reserveIfPossible(store.timeOrder, store.rows.capacity());
    store.timeOrder.resize(store.rows.size());
    const auto& rows = store.rows;
    std::merge(lower.timeOrder.begin(), lower.timeOrder.end(), upper.timeOrder.begin(), upper.timeOrder.end(),
        store.timeOrder.begin(),
        [&rows](quint32 left, quint32 right) { return RowStore::newer(rows[right].m, rows[left].m); });
}

} // namespace tidewell
