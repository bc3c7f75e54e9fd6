#include "lists/listprojection.h"

#include "base/error.h"
#include "base/logging.h"
#include "cache/cachecontext.h"
#include "lists/collationranks.h"
#include "lists/largeblockallocator.h"

#include <QCache>
#include <QCollator>
#include <QHash>
#include <QLocale>

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <new>
#include <numeric>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace tidewell {

namespace {

using MessageRow = ListProjection::MessageRow;
using AppRow = ListProjection::AppRow;

// Records a view showed lately, so that repainting the same rows does not go back to the cache each time.
constexpr int recentRecordCount = 256;
// Removed rows stay in place (dead) until they are a quarter of all rows, or their keys half of all key bytes;
// then the rows and their keys are packed again in one pass. The floors spare small caches the passes.
constexpr qsizetype deadRowsBeforePacking = 64;
constexpr qsizetype deadKeyBytesBeforePacking = 4096;
// A filter pass is split between cores only where each slice has this many rows: below it, starting a thread
// costs more than it saves.
constexpr size_t rowsPerSlice = 50000;
constexpr size_t maxSlices = 4;
// No stored message takes fewer bytes in the cache's file than this: a bound on how many rows a file can hold.
constexpr qint64 minStoredRowBytes = 16;

enum RowFlag : quint8
{
    Alive = 0x1,
    Listed = 0x2, // passes the current message filter
    Moved = 0x4, // its time changed in this commit, so its place in the time order must be found again
};

// The greater (ts, id) first: the order of the newest ordering and of the latest message per application.
bool newer(const MessageRow& left, const MessageRow& right)
{
    return left.ts != right.ts ? left.ts > right.ts : left.id > right.id;
}

bool sameRow(const MessageRow& left, const MessageRow& right)
{
    return left.id == right.id && left.applicationId == right.applicationId && left.ts == right.ts
        && left.priority == right.priority;
}

bool sameAppRow(const AppRow& left, const AppRow& right)
{
    if (left.latest.has_value() != right.latest.has_value())
        return false;
    if (left.latest && !sameRow(*left.latest, *right.latest))
        return false;
    return left.app == right.app && left.unreadCount == right.unreadCount
        && left.highPriorityUnread == right.highPriorityUnread;
}

// Search keys hold each UTF-16 code unit as its own UTF-8-style sequence (a surrogate too, as three bytes). Lead
// and continuation bytes differ and every unit has exactly one encoding, so a byte substring of two such keys is
// exactly a code-unit substring of the texts: the plain, case-sensitive test the search asks for, on half the
// memory for most text, and with no exception for unpaired surrogates.
using KeyBuffer = std::vector<char, LargeBlockAllocator<char>>;

template <typename Buffer> void appendKeyBytes(QStringView text, Buffer& out)
{
    for (QChar c : text) {
        const char16_t unit = c.unicode();
        if (unit < 0x80) {
            out.push_back(char(unit));
        } else if (unit < 0x800) {
            out.push_back(char(0xC0 | (unit >> 6)));
            out.push_back(char(0x80 | (unit & 0x3F)));
        } else {
            out.push_back(char(0xE0 | (unit >> 12)));
            out.push_back(char(0x80 | ((unit >> 6) & 0x3F)));
            out.push_back(char(0x80 | (unit & 0x3F)));
        }
    }
}

QByteArray keyBytes(QStringView text)
{
    std::vector<char> bytes;
    appendKeyBytes(text, bytes);
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

// A plain substring test tuned for a search box: short needles, haystacks of a few hundred bytes, called once
// per row. A general search spends more on its set-up than most rows take to scan; here sixteen starting places
// at once are kept only when both the first and the last byte of the needle are in place, and only those are
// compared in full.
bool containsBytes(const char* haystack, size_t length, const QByteArray& needle)
{
    const size_t needleLength = size_t(needle.size());
    if (needleLength == 0)
        return true;
    if (needleLength > length)
        return false;
    const char* wanted = needle.constData();
    if (needleLength == 1)
        return std::memchr(haystack, wanted[0], length) != nullptr;
    const size_t places = length - needleLength + 1; // starting places that leave room for the whole needle
    size_t at = 0;
#ifdef __SSE2__
    const __m128i first = _mm_set1_epi8(wanted[0]);
    const __m128i last = _mm_set1_epi8(wanted[needleLength - 1]);
    for (; at + 16 <= places; at += 16) {
        const __m128i starts = _mm_loadu_si128(reinterpret_cast<const __m128i*>(haystack + at));
        const __m128i ends = _mm_loadu_si128(reinterpret_cast<const __m128i*>(haystack + at + needleLength - 1));
        unsigned mask
            = unsigned(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(starts, first), _mm_cmpeq_epi8(ends, last))));
        while (mask != 0) {
            const size_t place = at + size_t(__builtin_ctz(mask));
            if (needleLength == 2 || std::memcmp(haystack + place + 1, wanted + 1, needleLength - 2) == 0)
                return true;
            mask &= mask - 1;
        }
    }
#endif
    for (; at < places; ++at) {
        if (haystack[at] == wanted[0] && haystack[at + needleLength - 1] == wanted[needleLength - 1]
            && std::memcmp(haystack + at + 1, wanted + 1, needleLength - 2) == 0)
            return true;
    }
    return false;
}

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

// How search keys are lowered: by the locale, with ASCII text lowered directly where the locale lowers ASCII
// letters as ASCII does. Safe to use from several threads at once.
struct Lowering
{
    QLocale locale;
    bool ascii = false;

    explicit Lowering(const QLocale& forLocale = QLocale())
        : locale(forLocale)
    {
        const QString upper = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
        ascii = locale.toLower(upper) == upper.toLower();
    }

    // Appends the key of `text` and returns its length.
    template <typename Buffer> quint32 append(const QString& text, Buffer& keys) const
    {
        const size_t start = keys.size();
        if (ascii) {
            bool plain = true;
            for (QChar c : text) {
                const char16_t unit = c.unicode();
                if (unit >= 0x80) {
                    plain = false;
                    break;
                }
                keys.push_back(char(unit >= u'A' && unit <= u'Z' ? unit + (u'a' - u'A') : unit));
            }
            if (plain)
                return quint32(keys.size() - start);
            keys.resize(start);
        }
        appendKeyBytes(locale.toLower(text), keys);
        return quint32(keys.size() - start);
    }

    // The same from the stored UTF-8 form: ASCII text, the usual case, is lowered as it is read, the rest goes
    // through QString.
    template <typename Buffer> quint32 append(QByteArrayView utf8, Buffer& keys) const
    {
        if (ascii) {
            unsigned char seen = 0;
            for (const char c : utf8)
                seen |= static_cast<unsigned char>(c);
            if (seen < 0x80) {
                const size_t start = keys.size();
                keys.insert(keys.end(), utf8.begin(), utf8.end());
                for (auto at = keys.begin() + qsizetype(start); at != keys.end(); ++at) {
                    if (unsigned(*at - 'A') < 26u)
                        *at = char(*at + ('a' - 'A'));
                }
                return quint32(utf8.size());
            }
        }
        return append(QString::fromUtf8(utf8), keys);
    }
};

} // namespace

struct ListProjection::Data
{
    struct Row
    {
        MessageRow m;
        qint64 key = 0; // offset of the lowered body in its key buffer, the lowered title right after it
        quint32 bodyLength = 0;
        quint32 titleLength = 0;
        qint32 text = 0; // the title among `texts`; an absent title is the empty text
        bool hasTitle = false;
        bool upperKey = false; // its keys are in `upperKeys`
    };

    struct AppStats
    {
        qint64 count = 0;
        qint64 unread = 0;
        qint64 highPriorityUnread = 0;
        std::optional<MessageRow> latest;
        bool latestStale = false; // the latest was removed; found again once the commit is in
    };

    std::shared_ptr<CacheContext> cache;

    qint64 lastReadId = 0;
    std::optional<qint64> selectedAppId;
    QString searchText;
    QByteArray query; // the search text lowered, as key bytes
    MessageSort messageSort;
    ApplicationSort applicationSort;

    // Every cached message by ascending id. A removed one stays until packing, dead, so that positions stay put.
    using Rows = std::vector<Row, LargeBlockAllocator<Row>>;
    Rows rows;
    std::vector<quint8> flags; // RowFlag per row, apart so that walks over an order touch one byte per row
    qsizetype deadRows = 0;
    qsizetype killedInCommit = 0;
    KeyBuffer keys;
    // The keys the second reader made at the last build, where it made them: copying them after the others would
    // cost the start as much again. The next packing joins them with the rest.
    KeyBuffer upperKeys;
    qsizetype deadKeyBytes = 0;
    std::vector<quint32> timeOrder; // positions of the live rows by ascending (ts, id)

    // Distinct titles, each with its collation rank; an absent title and an empty one share the empty text.
    std::vector<QString> texts;
    std::vector<qint32> textUses;
    std::vector<qint32> textRank;
    std::vector<qint32> freeTexts;
    QHash<QString, qint32> textIndex;
    std::vector<qint32> sortedTexts; // texts in collation order
    std::vector<quint8> startsRank; // per sortedTexts position: differs from the text before it
    bool ranksStale = false;
    Lowering lowering; // by the locale the keys were lowered and the titles ranked by
    QCollator collator;

    QHash<qint64, AppStats> stats;
    qint64 totalUnread = 0;
    QList<qint64> staleLatest;

    QList<CachedApp> appsByName;
    QHash<qint64, CachedApp> appsById;
    std::vector<AppRow> appRows;

    std::vector<quint32> shown; // positions of the filtered list, in display order
    std::vector<qint64> shownIds;
    // The filtered list before the change being published, to compare with: the ids are made anew into the other
    // of these two buffers each time, so that neither is copied nor allocated again.
    std::vector<qint64> previousIds;

    mutable QCache<qint64, CachedMessage> recent { recentRecordCount };
    bool stale = false; // the last update failed: the next commit reloads everything

    // Loading -------------------------------------------------------------------------------------------------

    void adoptLocale()
    {
        lowering = Lowering(QLocale());
        collator = QCollator(lowering.locale);
        collator.setCaseSensitivity(Qt::CaseInsensitive);
    }

    bool localeChanged() const { return QLocale() != lowering.locale; }

    void clearMessages()
    {
        rows = {};
        flags = {};
        deadRows = 0;
        keys = {};
        upperKeys = {};
        deadKeyBytes = 0;
        timeOrder = {};
        texts = {};
        textUses = {};
        textRank = {};
        freeTexts = {};
        textIndex = {};
        sortedTexts = {};
        startsRank = {};
        ranksStale = false;
        stats = {};
        totalUnread = 0;
        staleLatest = {};
        shown = {};
        recent.clear();
    }

    void loadApps()
    {
        appsByName = cache->fetchApps();
        // The list's query order: by name, code unit by code unit, equal names in id order.
        std::stable_sort(appsByName.begin(), appsByName.end(),
            [](const CachedApp& left, const CachedApp& right) { return left.name < right.name; });
        appsById = {};
        for (const CachedApp& app : std::as_const(appsByName))
            appsById.insert(app.id, app);
    }

    // What one reader builds from its share of the cache: rows with their keys, the titles they use with how
    // often, and the rows' time order.
    struct Share
    {
        Rows rows;
        KeyBuffer keys;
        std::vector<QString> titles;
        std::vector<qint32> titleUses;
        std::vector<quint32> timeOrder;
    };
    using Visit = std::function<void(const CacheContext::StoredMessage&)>;

    // Fills `share` from what `read` visits. Touches nothing else, so that it may run on another thread.
    static void readShare(Share& share, const Lowering& lowering, const std::function<void(const Visit&)>& read)
    {
        // Titles repeat: each distinct stored form is converted and looked up once.
        QHash<QByteArray, qint32> titleOfStored;
        read([&](const CacheContext::StoredMessage& message) {
            Row row;
            row.m = { message.id, message.applicationId, message.ts, message.priority };
            row.key = qint64(share.keys.size());
            row.bodyLength = lowering.append(message.message, share.keys);
            row.hasTitle = message.title.has_value();
            if (row.hasTitle)
                row.titleLength = lowering.append(*message.title, share.keys);
            const QByteArrayView title = message.title.value_or(QByteArrayView());
            auto known = titleOfStored.constFind(QByteArray::fromRawData(title.data(), title.size()));
            if (known == titleOfStored.constEnd()) {
                known = titleOfStored.insert(title.toByteArray(), qint32(share.titles.size()));
                share.titles.push_back(QString::fromUtf8(title));
                share.titleUses.push_back(0);
            }
            row.text = *known;
            ++share.titleUses[size_t(row.text)];
            share.rows.push_back(row);
        });
        share.timeOrder.resize(share.rows.size());
        std::iota(share.timeOrder.begin(), share.timeOrder.end(), quint32(0));
        sortByTime(share.rows, share.timeOrder);
    }

    // Reads every message into `lower` and, over a large cache in a file, the upper half of the ids into `upper`
    // on a second thread meanwhile, through a connection of its own: reading and lowering a million messages is
    // most of what a window over them waits for at start, and a second core halves it.
    void readShares(Share& lower, Share& upper)
    {
        // The keys take at most what the texts take in the file (lowering keeps the length of all but a few
        // characters), and there are no more rows than ids or than the file has room for. Reserving that spares
        // the copies of growing buffers, and the lower share then takes the upper one's rows in place; what stays
        // untouched of a reservation is never given memory.
        const qint64 stored = cache->storedBytes();
        reserveIfPossible(lower.keys, size_t(stored) + size_t(deadKeyBytesBeforePacking));
        const std::optional<qint64> first = cache->minMessageId();
        const std::optional<qint64> last = cache->maxMessageId();
        if (!first || !last)
            return;
        // Room for an eighth more, so that the first syncs after start append in place rather than move every row.
        const size_t rowBound = size_t(std::min(*last - *first + 1, stored / minStoredRowBytes + 1));
        reserveIfPossible(lower.rows, rowBound + rowBound / 8 + 64);
        const Lowering& lowering = this->lowering;
        const bool apart = !cache->isInMemory() && !cache->hasChanges() && *last - *first >= qint64(rowsPerSlice) * 2
            && std::thread::hardware_concurrency() > 1;
        if (!apart) {
            readShare(lower, lowering, [this](const Visit& visit) { cache->forEachMessage(visit); });
            return;
        }
        const qint64 middle = *first + (*last - *first) / 2;
        reserveIfPossible(upper.keys, size_t(stored) + size_t(deadKeyBytesBeforePacking));
        const auto readUpper = [this, &upper, &lowering, middle, last] {
            readShare(upper, lowering, [this, middle, last](const Visit& visit) {
                cache->forEachCommittedMessageOnCallingThread(middle + 1, *last, visit);
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
            readShare(lower, lowering,
                [this, first, middle](const Visit& visit) { cache->forEachMessage(*first, middle, visit); });
        } // the reader joins here, also when this thread's read threw
        if (upperFailed)
            std::rethrow_exception(upperFailed);
    }

    // Takes the shares' rows as the projection's, the upper share's after the lower one's.
    void adoptShares(Share& lower, Share& upper)
    {
        const size_t lowerRows = lower.rows.size();
        rows = std::move(lower.rows);
        keys = std::move(lower.keys);
        upperKeys = std::move(upper.keys);
        for (Row row : upper.rows) {
            row.upperKey = true;
            rows.push_back(row);
        }
        upper.rows = {};
        const auto shareTitles = [this](const Share& share) {
            std::vector<qint32> texts(share.titles.size());
            for (size_t title = 0; title < share.titles.size(); ++title)
                texts[title] = acquireText(share.titles[title], true, share.titleUses[title]);
            return texts;
        };
        const std::vector<qint32> lowerTexts = shareTitles(lower);
        const std::vector<qint32> upperTexts = shareTitles(upper);
        for (size_t position = 0; position < rows.size(); ++position) {
            Row& row = rows[position];
            row.text = (position < lowerRows ? lowerTexts : upperTexts)[size_t(row.text)];
            addStats(row.m);
        }
        reserveIfPossible(flags, rows.capacity());
        flags.assign(rows.size(), Alive);
        for (quint32& position : upper.timeOrder)
            position += quint32(lowerRows);
        reserveIfPossible(timeOrder, rows.capacity());
        timeOrder.resize(rows.size());
        std::merge(lower.timeOrder.begin(), lower.timeOrder.end(), upper.timeOrder.begin(), upper.timeOrder.end(),
            timeOrder.begin(), [this](quint32 left, quint32 right) { return newer(rows[right].m, rows[left].m); });
    }

    void rebuild()
    {
        clearMessages();
        appsByName = {};
        appsById = {};
        adoptLocale();
        query = searchText.isEmpty() ? QByteArray() : keyBytes(lowering.locale.toLower(searchText));
        stale = false;
        {
            Share lower;
            Share upper;
            readShares(lower, upper);
            adoptShares(lower, upper);
        }
        rankAllTexts();
        loadApps();
        refilter();
    }

    // Search keys and titles --------------------------------------------------------------------------------

    Row makeRow(const CachedMessage& message)
    {
        Row row;
        row.m = { message.id, message.applicationId, message.ts, message.priority };
        row.key = qint64(keys.size());
        row.bodyLength = lowering.append(message.message, keys);
        row.hasTitle = message.title.has_value();
        if (row.hasTitle)
            row.titleLength = lowering.append(*message.title, keys);
        row.text = acquireText(message.title.value_or(QString()), false);
        return row;
    }

    // One more use (or `uses` more) of a title's text.
    qint32 acquireText(const QString& title, bool deferRanks, qint32 uses = 1)
    {
        // A null and an empty QString hash and compare equal: an absent title is the empty one.
        const auto found = textIndex.constFind(title);
        if (found != textIndex.constEnd()) {
            textUses[size_t(*found)] += uses;
            return *found;
        }
        qint32 text;
        if (!freeTexts.empty()) {
            text = freeTexts.back();
            freeTexts.pop_back();
            texts[size_t(text)] = title;
            textUses[size_t(text)] = uses;
        } else {
            text = qint32(texts.size());
            texts.push_back(title);
            textUses.push_back(uses);
            textRank.push_back(0);
        }
        textIndex.insert(title, text);
        if (!deferRanks)
            placeText(text);
        return text;
    }

    void releaseText(qint32 text)
    {
        if (--textUses[size_t(text)] > 0)
            return;
        const auto at = std::find(sortedTexts.begin(), sortedTexts.end(), text);
        const size_t position = size_t(at - sortedTexts.begin());
        // The next text starts the rank group when this one started it and was not alone in it.
        if (startsRank[position] && position + 1 < startsRank.size())
            startsRank[position + 1] = 1;
        sortedTexts.erase(at);
        startsRank.erase(startsRank.begin() + qsizetype(position));
        textIndex.remove(texts[size_t(text)]);
        texts[size_t(text)] = QString();
        freeTexts.push_back(text);
        ranksStale = true;
    }

    // A new text goes where the collator puts it: a few comparisons, and the ranks are renumbered once the commit
    // is in, not per text.
    void placeText(qint32 text)
    {
        const QString& title = texts[size_t(text)];
        const auto at = std::lower_bound(
            sortedTexts.begin(), sortedTexts.end(), title, [&](qint32 existing, const QString& value) {
                return collator.compare(texts[size_t(existing)], value) < 0;
            });
        const size_t position = size_t(at - sortedTexts.begin());
        sortedTexts.insert(at, text);
        startsRank.insert(startsRank.begin() + qsizetype(position), 1);
        if (position + 1 < sortedTexts.size())
            startsRank[position + 1] = collator.compare(title, texts[size_t(sortedTexts[position + 1])]) != 0;
        ranksStale = true;
    }

    void rankAllTexts()
    {
        QList<QString> live;
        std::vector<qint32> ids;
        for (size_t text = 0; text < texts.size(); ++text) {
            if (textUses[text] > 0) {
                live.append(texts[text]);
                ids.push_back(qint32(text));
            }
        }
        const QList<int> ranks = CollationRanks::of(live);
        sortedTexts = ids;
        std::vector<int> rankOf(texts.size(), 0);
        for (size_t i = 0; i < ids.size(); ++i)
            rankOf[size_t(ids[i])] = ranks[qsizetype(i)];
        std::stable_sort(sortedTexts.begin(), sortedTexts.end(),
            [&](qint32 left, qint32 right) { return rankOf[size_t(left)] < rankOf[size_t(right)]; });
        startsRank.assign(sortedTexts.size(), 1);
        for (size_t i = 1; i < sortedTexts.size(); ++i)
            startsRank[i] = rankOf[size_t(sortedTexts[i])] != rankOf[size_t(sortedTexts[i - 1])];
        ranksStale = true;
    }

    void renumberRanks()
    {
        if (!ranksStale)
            return;
        qint32 rank = -1;
        for (size_t i = 0; i < sortedTexts.size(); ++i) {
            if (startsRank[i] || rank < 0)
                ++rank;
            textRank[size_t(sortedTexts[i])] = rank;
        }
        ranksStale = false;
    }

    qint32 rankCount() const { return qint32(std::count(startsRank.begin(), startsRank.end(), quint8(1))); }

    // Summaries ---------------------------------------------------------------------------------------------

    void addStats(const MessageRow& m)
    {
        AppStats& s = stats[m.applicationId];
        ++s.count;
        if (m.id > lastReadId) {
            ++s.unread;
            ++totalUnread;
            if (m.priority > 0)
                ++s.highPriorityUnread;
        }
        if (!s.latestStale && (!s.latest || newer(m, *s.latest)))
            s.latest = m;
    }

    void removeStats(const MessageRow& m)
    {
        const auto found = stats.find(m.applicationId);
        if (found == stats.end())
            return;
        AppStats& s = *found;
        if (m.id > lastReadId) {
            --s.unread;
            --totalUnread;
            if (m.priority > 0)
                --s.highPriorityUnread;
        }
        if (--s.count == 0) {
            stats.erase(found);
            return;
        }
        if (s.latest && s.latest->id == m.id) {
            s.latestStale = true;
            staleLatest.append(m.applicationId);
        }
    }

    // The newest rows come last in the time order, so an application's latest is usually found after a few steps.
    void findStaleLatest()
    {
        qsizetype missing = 0;
        for (qint64 app : std::as_const(staleLatest)) {
            const auto found = stats.constFind(app);
            if (found != stats.constEnd() && found->latestStale)
                ++missing;
        }
        for (auto at = timeOrder.rbegin(); missing > 0 && at != timeOrder.rend(); ++at) {
            const MessageRow& m = rows[*at].m;
            const auto found = stats.find(m.applicationId);
            if (found != stats.end() && found->latestStale) {
                found->latest = m;
                found->latestStale = false;
                --missing;
            }
        }
        staleLatest.clear();
    }

    std::vector<AppRow> computeAppRows() const
    {
        QHash<qint64, CachedMessage> latestByApp;
        for (const CachedApp& app : appsByName) {
            const auto found = stats.constFind(app.id);
            if (found == stats.constEnd() || !found->latest)
                continue;
            CachedMessage latest;
            latest.id = found->latest->id;
            latest.applicationId = found->latest->applicationId;
            latest.ts = found->latest->ts;
            latest.priority = found->latest->priority;
            latestByApp.insert(app.id, latest);
        }
        // Tens of applications: the ordering itself is cheaper than anything kept to spare it.
        std::vector<AppRow> result;
        for (const CachedApp& app : applicationSort.ordered(appsByName, latestByApp)) {
            AppRow row;
            row.app = app;
            const auto found = stats.constFind(app.id);
            if (found != stats.constEnd()) {
                row.latest = found->latest;
                row.unreadCount = found->unread;
                row.highPriorityUnread = found->highPriorityUnread > 0;
            }
            result.push_back(std::move(row));
        }
        return result;
    }

    // Replaces the application rows; says whether anything a view shows changed.
    bool updateAppRows()
    {
        std::vector<AppRow> fresh = computeAppRows();
        const bool same
            = fresh.size() == appRows.size() && std::equal(fresh.begin(), fresh.end(), appRows.begin(), sameAppRow);
        appRows = std::move(fresh);
        return !same;
    }

    // Lookups -----------------------------------------------------------------------------------------------

    // The position of the row with this id, dead or alive; none when there is none.
    std::optional<size_t> positionOf(qint64 id) const
    {
        const auto at = std::lower_bound(
            rows.begin(), rows.end(), id, [](const Row& row, qint64 value) { return row.m.id < value; });
        if (at == rows.end() || at->m.id != id)
            return std::nullopt;
        return size_t(at - rows.begin());
    }

    std::optional<size_t> livePositionOf(qint64 id) const
    {
        const auto position = positionOf(id);
        if (position && (flags[*position] & Alive))
            return position;
        return std::nullopt;
    }

    // Filter ------------------------------------------------------------------------------------------------

    const char* keyOf(const Row& row) const { return (row.upperKey ? upperKeys.data() : keys.data()) + row.key; }
    qsizetype keyByteCount() const { return qsizetype(keys.size() + upperKeys.size()); }

    bool matchesSearch(const Row& row) const
    {
        const char* key = keyOf(row);
        if (containsBytes(key, row.bodyLength, query))
            return true;
        return row.hasTitle && containsBytes(key + row.bodyLength, row.titleLength, query);
    }

    bool passes(const Row& row) const
    {
        if (selectedAppId && row.m.applicationId != *selectedAppId)
            return false;
        return searchText.isEmpty() || matchesSearch(row);
    }

    // Runs `work(begin, end)` over the positions [0, count) in slices, one a core, the calling thread taking the
    // first and waiting for the rest. A search over a large cache is bound by reading its keys, which two cores do
    // faster than one; each slice writes only its own rows' flags.
    template <typename Work> static void inSlices(size_t count, const Work& work)
    {
        const size_t cores = std::clamp<size_t>(std::thread::hardware_concurrency(), 1, maxSlices);
        const size_t slices = count < rowsPerSlice * 2 ? 1 : std::min(cores, count / rowsPerSlice);
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

    void refilter()
    {
        inSlices(rows.size(), [this](size_t begin, size_t end) {
            for (size_t position = begin; position < end; ++position) {
                quint8& flag = flags[position];
                flag &= quint8(~Listed);
                if ((flag & Alive) && passes(rows[position]))
                    flag |= Listed;
            }
        });
    }

    // Keeps listed only the listed rows that match the current search.
    void narrowSearch()
    {
        inSlices(rows.size(), [this](size_t begin, size_t end) {
            for (size_t position = begin; position < end; ++position) {
                if ((flags[position] & Listed) && !matchesSearch(rows[position]))
                    flags[position] &= quint8(~Listed);
            }
        });
    }

    // Orders ------------------------------------------------------------------------------------------------

    static void sortByTime(const Rows& rows, std::vector<quint32>& positions)
    {
        const auto earlier = [&](quint32 left, quint32 right) { return newer(rows[right].m, rows[left].m); };
        if (!std::is_sorted(positions.begin(), positions.end(), earlier))
            std::sort(positions.begin(), positions.end(), earlier);
    }

    void sortByTime(std::vector<quint32>& positions) const { sortByTime(rows, positions); }

    // Puts positions of rows that are not in the time order yet into it, each after a binary search, copying the
    // stretches between them once.
    // `added` ends up in time order. Says whether all of it went after every row already in the order.
    bool insertIntoTimeOrder(std::vector<quint32>& added)
    {
        if (added.empty())
            return true;
        sortByTime(added);
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

    // After a commit that only added rows newer than all the others (what a sync does), the filtered list grows at
    // one end: for the time orderings, the new listed rows go to the front (newest first) or to the back, without
    // walking the list again. `newest` is in time order. Says whether it could, and whether the list grew.
    std::optional<bool> extendShown(const std::vector<quint32>& newest)
    {
        if (messageSort == MessageSort::Title)
            return std::nullopt;
        std::vector<quint32> listed;
        for (quint32 position : newest) {
            if (flags[position] & Listed)
                listed.push_back(position);
        }
        std::vector<qint64> ids(listed.size());
        for (size_t i = 0; i < listed.size(); ++i)
            ids[i] = rows[listed[i]].m.id;
        if (messageSort == MessageSort::Newest) {
            shown.insert(shown.begin(), listed.rbegin(), listed.rend());
            shownIds.insert(shownIds.begin(), ids.rbegin(), ids.rend());
        } else {
            shown.insert(shown.end(), listed.begin(), listed.end());
            shownIds.insert(shownIds.end(), ids.begin(), ids.end());
        }
        return !listed.empty();
    }

    // The filtered list from scratch, from the current Listed flags.
    void computeShown()
    {
        std::swap(shownIds, previousIds);
        shown.clear();
        switch (messageSort.value()) {
        case MessageSort::Newest:
            for (auto at = timeOrder.rbegin(); at != timeOrder.rend(); ++at) {
                if (flags[*at] & Listed)
                    shown.push_back(*at);
            }
            break;
        case MessageSort::Oldest:
            for (quint32 position : timeOrder) {
                if (flags[position] & Listed)
                    shown.push_back(position);
            }
            break;
        case MessageSort::Title:
            computeTitleOrder();
            break;
        }
        shownIds.resize(shown.size());
        for (size_t i = 0; i < shown.size(); ++i)
            shownIds[i] = rows[shown[i]].m.id;
    }

    // Rank by rank. Within a rank the titles that are equal as strings go newest first, while titles that differ
    // only in case keep the id-descending base order; where both meet and the times run against the ids, the
    // result depends on the sort's inner steps, so that case takes the very sort the rules use. Ranks are taken
    // from the time order, newest first, so that a rank of one title (the usual case) needs no sorting at all.
    void computeTitleOrder()
    {
        renumberRanks();
        std::vector<quint32> newestFirst;
        for (auto at = timeOrder.rbegin(); at != timeOrder.rend(); ++at) {
            if (flags[*at] & Listed)
                newestFirst.push_back(*at);
        }
        const qint32 ranks = rankCount();
        std::vector<qsizetype> starts(size_t(ranks) + 1, 0);
        for (quint32 position : newestFirst)
            ++starts[size_t(textRank[size_t(rows[position].text)]) + 1];
        std::partial_sum(starts.begin(), starts.end(), starts.begin());
        shown.resize(newestFirst.size());
        std::vector<qsizetype> next(starts.begin(), starts.end() - 1);
        for (quint32 position : newestFirst)
            shown[size_t(next[size_t(textRank[size_t(rows[position].text)])]++)] = position;

        QHash<qint32, qint64> lastTsOfText;
        for (qint32 rank = 0; rank < ranks; ++rank) {
            const auto begin = shown.begin() + starts[size_t(rank)];
            const auto end = shown.begin() + starts[size_t(rank) + 1];
            if (end - begin < 2)
                continue;
            const qint32 firstText = rows[*begin].text;
            if (std::all_of(begin, end, [&](quint32 position) { return rows[position].text == firstText; }))
                continue;
            // Rows are stored by id, so the base order of positions is the descending one.
            std::sort(begin, end, std::greater<quint32>());
            lastTsOfText.clear();
            for (auto at = begin; at != end; ++at) {
                const Row& row = rows[*at];
                const auto last = lastTsOfText.find(row.text);
                if (last != lastTsOfText.end() && row.m.ts > *last) {
                    std::vector<quint32> idDescending(newestFirst);
                    std::sort(idDescending.begin(), idDescending.end(), std::greater<quint32>());
                    titleOrderAsTheRules(idDescending);
                    return;
                }
                lastTsOfText.insert(row.text, row.m.ts);
            }
        }
    }

    void titleOrderAsTheRules(const std::vector<quint32>& candidates)
    {
        QList<CachedMessage> records;
        records.reserve(qsizetype(candidates.size()));
        for (quint32 position : candidates) {
            const Row& row = rows[position];
            CachedMessage record;
            record.id = row.m.id;
            record.ts = row.m.ts;
            record.title = texts[size_t(row.text)];
            records.append(record);
        }
        QList<qsizetype> positions(records.size());
        std::iota(positions.begin(), positions.end(), qsizetype(0));
        shown.clear();
        for (qsizetype index : messageSort.orderedPositions(records, positions))
            shown.push_back(candidates[size_t(index)]);
    }

    // Commits -----------------------------------------------------------------------------------------------

    void kill(size_t position)
    {
        Row& row = rows[position];
        removeStats(row.m);
        releaseText(row.text);
        deadKeyBytes += qsizetype(row.bodyLength) + row.titleLength;
        flags[position] = 0;
        ++deadRows;
        ++killedInCommit;
    }

    // Packs the live rows and their keys together, merging in rows not stored yet (sorted by id, keys already
    // appended); the time order follows the rows to their new positions. Returns the new rows' positions.
    std::vector<quint32> relayout(const std::vector<Row>& added, std::vector<quint32>& moved)
    {
        const size_t live = rows.size() - size_t(deadRows);
        Rows packed;
        packed.reserve(live + added.size());
        std::vector<quint8> packedFlags;
        packedFlags.reserve(live + added.size());
        KeyBuffer packedKeys;
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

    struct Outcome
    {
        bool listedRowsTouched = false; // a listed row was replaced: what it shows may differ
        // The commit only added rows, all newer than every other, and none moved: their positions, in time order.
        std::optional<std::vector<quint32>> newestAdded;
    };

    Outcome apply(const CacheChange& change)
    {
        Outcome outcome;
        killedInCommit = 0;
        if (change.allMessagesRemoved)
            clearMessages();
        if (!change.clearedApplications.isEmpty()) {
            recent.clear();
            for (size_t position = 0; position < rows.size(); ++position) {
                if ((flags[position] & Alive) && change.clearedApplications.contains(rows[position].m.applicationId))
                    kill(position);
            }
        }
        for (qint64 id : change.removedMessages) {
            recent.remove(id);
            if (const auto position = livePositionOf(id))
                kill(*position);
        }

        std::vector<Row> added;
        std::vector<quint32> moved;
        bool replacedAny = false;
        for (qint64 id : change.upsertedMessages) {
            recent.remove(id);
            const std::optional<CachedMessage> record = cache->fetchMessage(id);
            const std::optional<size_t> position = livePositionOf(id);
            if (!record) {
                if (position)
                    kill(*position);
                continue;
            }
            if (!position) {
                added.push_back(makeRow(*record));
                addStats(added.back().m);
                continue;
            }
            replacedAny = true;
            Row& row = rows[*position];
            const bool wasListed = flags[*position] & Listed;
            removeStats(row.m);
            releaseText(row.text);
            deadKeyBytes += qsizetype(row.bodyLength) + row.titleLength;
            const qint64 oldTs = row.m.ts;
            row = makeRow(*record);
            addStats(row.m);
            const bool listed = passes(row);
            flags[*position] = quint8(Alive | (listed ? Listed : 0));
            if (row.m.ts != oldTs) {
                flags[*position] |= Moved;
                moved.push_back(quint32(*position));
            }
            if (wasListed || listed)
                outcome.listedRowsTouched = true;
        }

        if (killedInCommit > 0 || !moved.empty()) {
            std::erase_if(timeOrder, [&](quint32 position) { return (flags[position] & (Alive | Moved)) != Alive; });
            for (quint32 position : moved)
                flags[position] &= quint8(~Moved);
        }

        std::sort(added.begin(), added.end(), [](const Row& left, const Row& right) { return left.m.id < right.m.id; });
        const bool appendable = added.empty() || rows.empty() || added.front().m.id > rows.back().m.id;
        const bool packing = (deadRows >= deadRowsBeforePacking && deadRows * 4 >= qsizetype(rows.size()))
            || (deadKeyBytes >= deadKeyBytesBeforePacking && deadKeyBytes * 2 >= keyByteCount());
        std::vector<quint32> addedPositions;
        const bool relaidOut = !appendable || packing;
        if (relaidOut) {
            addedPositions = relayout(added, moved);
        } else {
            for (const Row& row : added) {
                addedPositions.push_back(quint32(rows.size()));
                rows.push_back(row);
                flags.push_back(Alive);
            }
        }
        for (quint32 position : addedPositions) {
            if (passes(rows[position]))
                flags[position] |= Listed;
        }
        addedPositions.insert(addedPositions.end(), moved.begin(), moved.end());
        const bool newestOnly = insertIntoTimeOrder(addedPositions);
        if (newestOnly && !relaidOut && !replacedAny && killedInCommit == 0 && !change.allMessagesRemoved
            && change.clearedApplications.isEmpty())
            outcome.newestAdded = std::move(addedPositions);
        findStaleLatest();
        return outcome;
    }
};

ListProjection::ListProjection(std::shared_ptr<CacheContext> cache, QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Data>())
{
    d->cache = std::move(cache);
    try {
        d->rebuild();
    } catch (const Error& error) {
        qCWarning(lcCache) << "lists start empty, the cache could not be read:" << error.description();
        d->clearMessages();
        d->stale = true;
    }
    d->computeShown();
    d->updateAppRows();
    connect(d->cache.get(), &CacheContext::committed, this, [this](const CacheChange& change) { follow(change); });
}

ListProjection::~ListProjection() = default;

void ListProjection::follow(const CacheChange& change)
{
    bool listedRowsTouched = change.appsChanged;
    const bool rebuilding = d->stale || change.everything || d->localeChanged();
    // A commit of applications alone leaves the message list as it is: nothing to compare.
    const bool messagesTouched = rebuilding || change.allMessagesRemoved || !change.clearedApplications.isEmpty()
        || !change.removedMessages.isEmpty() || !change.upsertedMessages.isEmpty();
    ShownList shownList = messagesTouched ? Recompute : Unchanged;
    // A failure here would otherwise leave the slot; the lists then show nothing rather than something half done.
    try {
        if (rebuilding) {
            d->rebuild();
        } else {
            if (change.appsChanged)
                d->loadApps();
            if (messagesTouched) {
                Data::Outcome outcome = d->apply(change);
                listedRowsTouched |= outcome.listedRowsTouched;
                if (outcome.newestAdded) {
                    if (const std::optional<bool> grew = d->extendShown(*outcome.newestAdded))
                        shownList = *grew ? Grown : Unchanged;
                }
            }
        }
    } catch (const std::exception& error) {
        failed(error);
        shownList = Recompute;
    }
    publish(shownList, listedRowsTouched, true);
}

void ListProjection::failed(const std::exception& error)
{
    qCWarning(lcCache) << "lists empty until the next commit, the cache could not be read:" << error.what();
    d->clearMessages();
    d->appsByName = {};
    d->appsById = {};
    d->stale = true;
}

void ListProjection::publish(ShownList shownList, bool contentTouched, bool appsTouched)
{
    if (shownList == Recompute)
        d->computeShown();
    const bool appsDiffer = appsTouched && d->updateAppRows();
    const bool listChanged
        = shownList == Grown || ((shownList == Kept || shownList == Recompute) && d->shownIds != d->previousIds);
    if (listChanged)
        emit messagesReset();
    else if (contentTouched && !d->shownIds.empty())
        emit messagesUpdated();
    if (appsDiffer)
        emit appsReset();
}

// Keys and title ranks follow the locale they were made in; a new default locale needs them made again.
bool ListProjection::reloadIfLocaleChanged()
{
    if (!d->localeChanged())
        return false;
    try {
        d->rebuild();
    } catch (const std::exception& error) {
        failed(error);
    }
    publish(Recompute, true, true);
    return true;
}

void ListProjection::setLastReadId(qint64 id)
{
    if (id == d->lastReadId)
        return;
    const qint64 low = std::min(id, d->lastReadId);
    const qint64 high = std::max(id, d->lastReadId);
    const qint64 step = id > d->lastReadId ? -1 : 1; // moving forward reads messages, backward unreads them
    const auto first = std::upper_bound(
        d->rows.begin(), d->rows.end(), low, [](qint64 value, const Data::Row& row) { return value < row.m.id; });
    bool listedRowsTouched = false;
    for (auto at = first; at != d->rows.end() && at->m.id <= high; ++at) {
        const quint8 flag = d->flags[size_t(at - d->rows.begin())];
        if (!(flag & Alive))
            continue;
        Data::AppStats& stats = d->stats[at->m.applicationId];
        stats.unread += step;
        d->totalUnread += step;
        if (at->m.priority > 0)
            stats.highPriorityUnread += step;
        listedRowsTouched |= (flag & Listed) != 0;
    }
    d->lastReadId = id;
    if (d->updateAppRows())
        emit appsReset();
    if (listedRowsTouched)
        emit messagesUpdated();
}

void ListProjection::setSelectedAppId(std::optional<qint64> id)
{
    if (id == d->selectedAppId)
        return;
    d->selectedAppId = id;
    if (reloadIfLocaleChanged())
        return;
    d->refilter();
    publish(Recompute, false, false);
}

void ListProjection::setSearchText(const QString& text)
{
    if (text == d->searchText)
        return;
    const QString previous = d->searchText;
    const QByteArray previousQuery = d->query;
    d->searchText = text;
    if (reloadIfLocaleChanged())
        return;
    d->query = text.isEmpty() ? QByteArray() : keyBytes(d->lowering.locale.toLower(text));
    // Every message that holds the longer text holds the shorter one, so only what is listed needs testing, in
    // storage order, which reads the keys front to back. The time orderings are total, so what remains keeps its
    // order; the title ordering of a subset can differ (a rank left with one distinct title goes newest first), so
    // that one is ordered again.
    if (!previous.isEmpty() && !text.isEmpty() && d->query.contains(previousQuery)) {
        d->narrowSearch();
        if (d->messageSort == MessageSort::Title) {
            publish(Recompute, false, false);
            return;
        }
        std::erase_if(d->shown, [&](quint32 position) { return !(d->flags[position] & Listed); });
        std::swap(d->shownIds, d->previousIds);
        d->shownIds.resize(d->shown.size());
        for (size_t i = 0; i < d->shown.size(); ++i)
            d->shownIds[i] = d->rows[d->shown[i]].m.id;
        publish(Kept, false, false);
        return;
    }
    d->refilter();
    publish(Recompute, false, false);
}

void ListProjection::setMessageSort(MessageSort sort)
{
    if (sort == d->messageSort)
        return;
    d->messageSort = sort;
    if (reloadIfLocaleChanged())
        return;
    publish(Recompute, false, false);
}

void ListProjection::setApplicationSort(ApplicationSort sort)
{
    if (sort == d->applicationSort)
        return;
    d->applicationSort = sort;
    if (d->updateAppRows())
        emit appsReset();
}

qsizetype ListProjection::messageCount() const
{
    return qsizetype(d->shown.size());
}

const ListProjection::MessageRow& ListProjection::messageAt(qsizetype row) const
{
    return d->rows[d->shown[size_t(row)]].m;
}

std::optional<qsizetype> ListProjection::rowOfMessage(qint64 id) const
{
    const std::optional<size_t> position = d->livePositionOf(id);
    if (!position || !(d->flags[*position] & Listed))
        return std::nullopt;
    const MessageRow& target = d->rows[*position].m;
    const auto& rows = d->rows;
    switch (d->messageSort.value()) {
    case MessageSort::Newest: {
        const auto at = std::lower_bound(d->shown.begin(), d->shown.end(), target,
            [&](quint32 listed, const MessageRow& value) { return newer(rows[listed].m, value); });
        return qsizetype(at - d->shown.begin());
    }
    case MessageSort::Oldest: {
        const auto at = std::lower_bound(d->shown.begin(), d->shown.end(), target,
            [&](quint32 listed, const MessageRow& value) { return newer(value, rows[listed].m); });
        return qsizetype(at - d->shown.begin());
    }
    case MessageSort::Title:
        break;
    }
    const auto at = std::find(d->shown.begin(), d->shown.end(), quint32(*position));
    return qsizetype(at - d->shown.begin());
}

std::optional<CachedMessage> ListProjection::message(qint64 id) const
{
    if (const CachedMessage* kept = d->recent.object(id))
        return *kept;
    try {
        std::optional<CachedMessage> record = d->cache->fetchMessage(id);
        if (record)
            d->recent.insert(id, new CachedMessage(*record));
        return record;
    } catch (const Error& error) {
        qCWarning(lcCache) << "message shown without its text, the cache could not be read:" << error.description();
        return std::nullopt;
    }
}

qint64 ListProjection::unreadCount(std::optional<qint64> applicationId) const
{
    if (!applicationId)
        return d->totalUnread;
    const auto found = d->stats.constFind(*applicationId);
    return found == d->stats.constEnd() ? 0 : found->unread;
}

bool ListProjection::hasMessages() const
{
    return !d->timeOrder.empty();
}

qsizetype ListProjection::appCount() const
{
    return qsizetype(d->appRows.size());
}

const ListProjection::AppRow& ListProjection::appAt(qsizetype row) const
{
    return d->appRows[size_t(row)];
}

std::optional<qsizetype> ListProjection::rowOfApp(qint64 applicationId) const
{
    for (size_t row = 0; row < d->appRows.size(); ++row) {
        if (d->appRows[row].app.id == applicationId)
            return qsizetype(row);
    }
    return std::nullopt;
}

const CachedApp* ListProjection::app(qint64 applicationId) const
{
    const auto found = d->appsById.constFind(applicationId);
    return found == d->appsById.constEnd() ? nullptr : &*found;
}

qint64 ListProjection::totalUnread() const
{
    return d->totalUnread;
}

} // namespace tidewell
