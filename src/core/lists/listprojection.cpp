// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/listprojection.h"

#include "base/error.h"
#include "base/logging.h"
#include "cache/cachecontext.h"
#include "lists/appsummaries.h"
#include "lists/commitapplier.h"
#include "lists/keylowering.h"
#include "lists/liststeps.h"
#include "lists/messagefilter.h"
#include "lists/projectionloader.h"
#include "lists/rowstore.h"
#include "lists/shownorder.h"
#include "lists/titleranks.h"

#include <QCache>
#include <QHash>
#include <QLocale>

#include <algorithm>
#include <vector>

namespace tidewell {

namespace {

// Records a view showed lately, so that repainting the same rows does not go back to the cache each time.
constexpr int recentRecordCount = 256;
// Beyond this many ranges a change is told as a new list: each range costs a view a pass over its own state, and a
// change that scatters so many rows (clearing an application whose messages interleave with all the others) is as
// good as a new list to whoever looks at it.
constexpr size_t maxSteps = 512;
// Replaced rows whose rows are looked up one by one; beyond them, every row is said to have changed.
constexpr size_t maxRowsLookedUp = 64;

bool sameRow(const ListProjection::MessageRow& left, const ListProjection::MessageRow& right)
{
    return left.id == right.id && left.applicationId == right.applicationId && left.ts == right.ts
        && left.priority == right.priority;
}

bool sameAppRow(const ListProjection::AppRow& left, const ListProjection::AppRow& right)
{
    if (left.latest.has_value() != right.latest.has_value())
        return false;
    if (left.latest && !sameRow(*left.latest, *right.latest))
        return false;
    return left.app == right.app && left.unreadCount == right.unreadCount
        && left.highPriorityUnread == right.highPriorityUnread;
}

} // namespace

struct ListProjection::Data
{
    std::shared_ptr<CacheContext> cache;
    std::unique_ptr<const ProjectionLoader> loader;

    qint64 lastReadId = 0;
    MessageFilter filter;
    MessageSort messageSort;
    ApplicationSort applicationSort;

    RowStore store;
    TitleRanks titles;
    KeyLowering lowering; // by the locale the keys were lowered and the titles ranked by
    AppSummaries summaries;
    ShownOrder shown;

    QList<CachedApp> appsByName;
    QHash<qint64, CachedApp> appsById;
    std::vector<AppRow> appRows;

    mutable QCache<qint64, CachedMessage> recent { recentRecordCount };
    bool stale = false; // the last update failed: the next commit reloads everything
    // While a change is told a range at a time, the rows below the boundary are read as they were: those the commit
    // removed or replaced from here (by id), the others from the store.
    std::vector<MessageRow> previous;
    mutable MessageRow gone; // a row read below the boundary that is nowhere any more

    const MessageRow& rowBeforeChange(qint64 id) const
    {
        const auto kept = std::lower_bound(
            previous.begin(), previous.end(), id, [](const MessageRow& row, qint64 value) { return row.id < value; });
        if (kept != previous.end() && kept->id == id)
            return *kept;
        if (const std::optional<size_t> position = store.livePositionOf(id))
            return store.rows[*position].m;
        gone = MessageRow { id, 0, 0, 0 };
        return gone;
    }

    void clearMessages()
    {
        store.clear();
        titles.reset(lowering.locale());
        summaries.clear();
        shown.clear();
        recent.clear();
    }

    CommitApplier::Outcome applyCommit(const CacheChange& change)
    {
        if (change.allMessagesRemoved)
            clearMessages();
        if (!change.clearedApplications.isEmpty())
            recent.clear();
        for (qint64 id : change.removedMessages)
            recent.remove(id);
        for (qint64 id : change.upsertedMessages)
            recent.remove(id);
        return CommitApplier(store, titles, summaries, filter, lowering, lastReadId).apply(change, *cache);
    }

    bool localeChanged() const { return QLocale() != lowering.locale(); }
    void refilter() { filter.apply(store); }
    void computeShown() { shown.compute(store, titles, messageSort); }

    // What replacing the application rows changed: nothing, the rows between two (the same applications in the
    // same order, some with other summaries), or the list as a whole.
    struct AppRowsChange
    {
        bool whole = false;
        std::optional<std::pair<qsizetype, qsizetype>> rows;
    };

    AppRowsChange updateAppRows()
    {
        std::vector<AppRow> fresh = summaries.appRows(appsByName, applicationSort);
        AppRowsChange change;
        if (fresh.size() != appRows.size()) {
            change.whole = true;
        } else {
            for (size_t row = 0; row < fresh.size(); ++row) {
                if (sameAppRow(fresh[row], appRows[row]))
                    continue;
                if (fresh[row].app.id != appRows[row].app.id) {
                    change.whole = true;
                    break;
                }
                if (!change.rows)
                    change.rows = std::pair(qsizetype(row), qsizetype(row));
                change.rows->second = qsizetype(row);
            }
        }
        appRows = std::move(fresh);
        return change;
    }
};

ListProjection::ListProjection(std::shared_ptr<CacheContext> cache, QObject* parent)
    : ListProjection(std::move(cache), std::make_unique<const ProjectionLoader>(), parent)
{ }

ListProjection::ListProjection(
    std::shared_ptr<CacheContext> cache, std::unique_ptr<const ProjectionLoader> loader, QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Data>())
{
    d->cache = std::move(cache);
    d->loader = std::move(loader);
    // The reader thread may throw anything, and a buffer that cannot grow throws std::bad_alloc: the lists then
    // start empty, as they become after a later failure, rather than end the program.
    try {
        reload();
    } catch (const std::exception& error) {
        failed(error);
    }
    d->computeShown();
    d->updateAppRows();
    connect(d->cache.get(), &CacheContext::committed, this, [this](const CacheChange& change) { apply(change); });
}

ListProjection::~ListProjection() = default;

void ListProjection::loadApps()
{
    d->appsByName = d->cache->fetchApps();
    // The list's query order: by name, code unit by code unit, equal names in id order.
    std::stable_sort(d->appsByName.begin(), d->appsByName.end(),
        [](const CachedApp& left, const CachedApp& right) { return left.name < right.name; });
    d->appsById = {};
    for (const CachedApp& app : std::as_const(d->appsByName))
        d->appsById.insert(app.id, app);
}

// Keys and title ranks follow the locale they were made in, which a reload takes afresh.
void ListProjection::reload()
{
    d->lowering = KeyLowering(QLocale());
    d->clearMessages();
    d->appsByName = {};
    d->appsById = {};
    d->filter.needle = d->lowering.needle(d->filter.searchText);
    d->stale = false;
    {
        ProjectionLoader::Part lower;
        ProjectionLoader::Part upper;
        d->loader->read(*d->cache, d->lowering, lower, upper);
        ProjectionLoader::adopt(lower, upper, d->store, d->titles, d->summaries, d->lastReadId);
    }
    d->titles.rankAll();
    loadApps();
    d->refilter();
}

void ListProjection::apply(const CacheChange& change)
{
    const bool rebuilding = d->stale || change.everything || d->localeChanged();
    // A commit of applications alone leaves the message list as it is: nothing to compare.
    const bool messagesTouched = rebuilding || change.allMessagesRemoved || !change.clearedApplications.isEmpty()
        || !change.removedMessages.isEmpty() || !change.upsertedMessages.isEmpty();
    // Every row shows its application's name, colour and icon; a sync stores the applications again each time,
    // mostly as they were.
    bool contentTouched = false;
    std::optional<CommitApplier::Outcome> outcome;
    bool failedNow = false;
    // A failure here would otherwise leave the slot; the lists then show nothing rather than something half done.
    try {
        if (rebuilding) {
            reload();
        } else {
            if (change.appsChanged) {
                const QList<CachedApp> before = d->appsByName;
                loadApps();
                contentTouched = d->appsByName != before;
            }
            if (messagesTouched)
                outcome = d->applyCommit(change);
        }
    } catch (const std::exception& error) {
        failed(error);
        outcome.reset();
        failedNow = true;
    }
    if (!messagesTouched && !failedNow) {
        // The list is as it was.
    } else if (!outcome || change.allMessagesRemoved) {
        // Read again, wiped or emptied by a failure: a new list, or the same rows showing what they may not have
        // shown before.
        publish(NeedsRecompute, true, false);
        contentTouched = false;
    } else if (outcome->newestAdded && d->messageSort != MessageSort::Title) {
        tellJoined(ShownOrder::joining(d->store, *outcome->newestAdded));
    } else {
        tellSteps(std::move(outcome->previous), outcome->entered);
    }
    if (contentTouched) {
        if (messageCount() > 0)
            emit messagesChanged(0, messageCount() - 1, Content);
    } else if (outcome && !outcome->replaced.empty()) {
        tellReplaced(outcome->replaced);
    }
    publishApps();
}

// Rows newer than all the others that join the list at one end, the rows already there staying as they are.
void ListProjection::tellJoined(const std::vector<quint32>& listed)
{
    if (listed.empty())
        return;
    const qsizetype first = ShownOrder::extendsAtFront(d->messageSort) ? 0 : messageCount();
    emit messagesAboutToBeInserted(first, first + qsizetype(listed.size()) - 1);
    d->shown.extend(d->store, listed, d->messageSort);
    emit messagesInserted();
}

// The list made anew, then told as the ranges that turn the list before into it, each announced while the rows
// still read what the view shows; when no such ranges are worth telling, as a new list.
void ListProjection::tellSteps(std::vector<MessageRow> previous, const std::vector<qint64>& entered)
{
    d->computeShown();
    const auto hasEntered = [&entered](qint64 id) { return std::binary_search(entered.begin(), entered.end(), id); };
    const RowStore& store = d->store;
    const auto departed = [&](qint64 id) {
        const std::optional<size_t> position = store.livePositionOf(id);
        return !position || !(store.flags[*position] & RowStore::Listed) || hasEntered(id);
    };
    const std::optional<std::vector<ListSteps::Step>> steps
        = ListSteps::between(d->shown.previousIds(), d->shown.ids(), departed, hasEntered, maxSteps);
    if (!steps) {
        if (d->shown.changed())
            emit messagesReset();
        return;
    }
    d->previous = std::move(previous);
    for (const ListSteps::Step& step : *steps) {
        d->shown.setBoundary(size_t(step.newFrom), size_t(step.oldFrom));
        const qsizetype first = step.newFrom;
        const qsizetype last = step.newFrom + step.count - 1;
        if (step.kind == ListSteps::Step::Remove) {
            emit messagesAboutToBeRemoved(first, last);
            d->shown.setBoundary(size_t(step.newFrom), size_t(step.oldFrom + step.count));
            emit messagesRemoved();
        } else {
            emit messagesAboutToBeInserted(first, last);
            d->shown.setBoundary(size_t(step.newFrom + step.count), size_t(step.oldFrom));
            emit messagesInserted();
        }
    }
    d->shown.clearBoundary();
    d->previous.clear();
}

// Rows replaced where they are: one range from the first to the last of them, so that a view is told once.
void ListProjection::tellReplaced(const std::vector<qint64>& ids)
{
    if (messageCount() == 0)
        return;
    if (ids.size() > maxRowsLookedUp) {
        emit messagesChanged(0, messageCount() - 1, Content);
        return;
    }
    std::optional<std::pair<qsizetype, qsizetype>> range;
    for (qint64 id : ids) {
        const std::optional<qsizetype> row = rowOfMessage(id);
        if (!row)
            continue;
        range = range ? std::pair(std::min(range->first, *row), std::max(range->second, *row)) : std::pair(*row, *row);
    }
    if (range)
        emit messagesChanged(range->first, range->second, Content);
}

void ListProjection::failed(const std::exception& error)
{
    qCWarning(lcCache) << "lists empty until the next commit, the cache could not be read:" << error.what();
    d->clearMessages();
    d->appsByName = {};
    d->appsById = {};
    d->stale = true;
}

// For a list made anew (another selection, search or order, or a cache read again): told as a whole when its rows
// differ, or as changed rows when only what they show may.
void ListProjection::publish(ShownList shownList, bool contentTouched, bool appsTouched)
{
    if (shownList == NeedsRecompute)
        d->computeShown();
    if (d->shown.changed())
        emit messagesReset();
    else if (contentTouched && !d->shown.isEmpty())
        emit messagesChanged(0, messageCount() - 1, Content);
    if (appsTouched)
        publishApps();
}

void ListProjection::publishApps()
{
    const Data::AppRowsChange change = d->updateAppRows();
    if (change.whole)
        emit appsReset();
    else if (change.rows)
        emit appsChanged(change.rows->first, change.rows->second);
}

// Keys and title ranks follow the locale they were made in; a new default locale needs them made again.
bool ListProjection::reloadIfLocaleChanged()
{
    if (!d->localeChanged())
        return false;
    try {
        reload();
    } catch (const std::exception& error) {
        failed(error);
    }
    publish(NeedsRecompute, true, true);
    return true;
}

void ListProjection::setLastReadId(qint64 id)
{
    if (id == d->lastReadId)
        return;
    const qint64 low = std::min(id, d->lastReadId);
    const qint64 high = std::max(id, d->lastReadId);
    const qint64 step = id > d->lastReadId ? -1 : 1; // moving forward reads messages, backward unreads them
    const RowStore& store = d->store;
    const auto first = std::upper_bound(store.rows.begin(), store.rows.end(), low,
        [](qint64 value, const RowStore::Row& row) { return value < row.m.id; });
    bool listedRowsTouched = false;
    for (auto at = first; at != store.rows.end() && at->m.id <= high; ++at) {
        const quint8 flag = store.flags[size_t(at - store.rows.begin())];
        if (!(flag & RowStore::Alive))
            continue;
        d->summaries.countUnread(at->m, step);
        listedRowsTouched |= (flag & RowStore::Listed) != 0;
    }
    d->lastReadId = id;
    publishApps();
    if (listedRowsTouched)
        tellUnreadChanged(low, high);
}

// One range from the first row to the last whose message lies between the two read positions: the ids are walked
// from each end, which stops soon when, as usual, the messages read are the newest.
void ListProjection::tellUnreadChanged(qint64 low, qint64 high)
{
    const std::vector<qint64>& ids = d->shown.ids();
    const auto between = [low, high](qint64 id) { return id > low && id <= high; };
    const auto first = std::find_if(ids.begin(), ids.end(), between);
    if (first == ids.end())
        return;
    const auto last = std::find_if(ids.rbegin(), ids.rend(), between);
    emit messagesChanged(qsizetype(first - ids.begin()), qsizetype(ids.rend() - last) - 1, Unread);
}

ListQuery ListProjection::query() const
{
    return ListQuery { d->filter.applicationId, d->filter.searchText, d->messageSort, d->applicationSort };
}

void ListProjection::setQuery(const ListQuery& query)
{
    const ListQuery current = this->query();
    if (query == current)
        return;
    const bool appsReordered = !(query.applicationSort == current.applicationSort);
    d->applicationSort = query.applicationSort;
    if (query.applicationId == current.applicationId && query.searchText == current.searchText
        && query.messageSort == current.messageSort) {
        publishApps();
        return;
    }
    const bool appChanged = query.applicationId != current.applicationId;
    const bool sortChanged = !(query.messageSort == current.messageSort);
    const QByteArray previousNeedle = d->filter.needle;
    d->filter.applicationId = query.applicationId;
    d->filter.searchText = query.searchText;
    d->messageSort = query.messageSort;
    if (reloadIfLocaleChanged())
        return;
    if (query.searchText == current.searchText && !appChanged) {
        publish(NeedsRecompute, false, appsReordered);
        return;
    }
    d->filter.needle = d->lowering.needle(query.searchText);
    // Every message that holds the longer text holds the shorter one, so only what is listed needs testing, in
    // storage order, which reads the keys front to back. The time orderings are total, so what remains keeps its
    // order; the title ordering of a subset can differ (a rank left with one distinct title goes newest first), so
    // that one is ordered again.
    if (!appChanged && !current.searchText.isEmpty() && !query.searchText.isEmpty()
        && d->filter.needle.contains(previousNeedle)) {
        d->filter.narrow(d->store);
        if (sortChanged || d->messageSort == MessageSort::Title) {
            publish(NeedsRecompute, false, appsReordered);
            return;
        }
        d->shown.keepListed(d->store);
        publish(Rebuilt, false, appsReordered);
        return;
    }
    d->refilter();
    publish(NeedsRecompute, false, appsReordered);
}

qsizetype ListProjection::messageCount() const
{
    return qsizetype(d->shown.seenSize());
}

const ListProjection::MessageRow& ListProjection::messageAt(qsizetype row) const
{
    if (const std::optional<qint64> id = d->shown.oldIdAt(size_t(row)))
        return d->rowBeforeChange(*id);
    return d->store.rows[d->shown.at(size_t(row))].m;
}

qint64 ListProjection::lastReadId() const
{
    return d->lastReadId;
}

std::optional<qsizetype> ListProjection::rowOfMessage(qint64 id) const
{
    // Between two steps of a change, rows are looked for one by one: only a view's own handling of a step asks.
    if (d->shown.hasBoundary()) {
        for (qsizetype row = 0; row < messageCount(); ++row) {
            if (messageAt(row).id == id)
                return row;
        }
        return std::nullopt;
    }
    const std::optional<size_t> position = d->store.livePositionOf(id);
    if (!position || !(d->store.flags[*position] & RowStore::Listed))
        return std::nullopt;
    return d->shown.rowOf(d->store, *position, d->messageSort);
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
    return applicationId ? d->summaries.unread(*applicationId) : d->summaries.totalUnread();
}

bool ListProjection::hasMessages() const
{
    return !d->store.timeOrder.empty();
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
    return d->summaries.totalUnread();
}

} // namespace tidewell
