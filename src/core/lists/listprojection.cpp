// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/listprojection.h"

#include "base/error.h"
#include "base/logging.h"
#include "cache/cachecontext.h"
#include "lists/appsummaries.h"
#include "lists/commitapplier.h"
#include "lists/keylowering.h"
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

    // Replaces the application rows; says whether anything a view shows changed.
    bool updateAppRows()
    {
        std::vector<AppRow> fresh = summaries.appRows(appsByName, applicationSort);
        const bool same
            = fresh.size() == appRows.size() && std::equal(fresh.begin(), fresh.end(), appRows.begin(), sameAppRow);
        appRows = std::move(fresh);
        return !same;
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
    bool listedRowsTouched = change.appsChanged;
    const bool rebuilding = d->stale || change.everything || d->localeChanged();
    // A commit of applications alone leaves the message list as it is: nothing to compare.
    const bool messagesTouched = rebuilding || change.allMessagesRemoved || !change.clearedApplications.isEmpty()
        || !change.removedMessages.isEmpty() || !change.upsertedMessages.isEmpty();
    ShownList shownList = messagesTouched ? NeedsRecompute : Unchanged;
    // A failure here would otherwise leave the slot; the lists then show nothing rather than something half done.
    try {
        if (rebuilding) {
            reload();
        } else {
            if (change.appsChanged)
                loadApps();
            if (messagesTouched) {
                CommitApplier::Outcome outcome = d->applyCommit(change);
                listedRowsTouched |= outcome.listedRowsTouched;
                if (outcome.newestAdded) {
                    if (const std::optional<bool> grew
                        = d->shown.extend(d->store, *outcome.newestAdded, d->messageSort))
                        shownList = *grew ? Grown : Unchanged;
                }
            }
        }
    } catch (const std::exception& error) {
        failed(error);
        shownList = NeedsRecompute;
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
    if (shownList == NeedsRecompute)
        d->computeShown();
    const bool appsDiffer = appsTouched && d->updateAppRows();
    const bool listChanged
        = shownList == Grown || ((shownList == Rebuilt || shownList == NeedsRecompute) && d->shown.changed());
    if (listChanged)
        emit messagesReset();
    else if (contentTouched && !d->shown.isEmpty())
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
    if (d->updateAppRows())
        emit appsReset();
    if (listedRowsTouched)
        emit messagesUpdated();
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
        if (d->updateAppRows())
            emit appsReset();
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
    return qsizetype(d->shown.size());
}

const ListProjection::MessageRow& ListProjection::messageAt(qsizetype row) const
{
    return d->store.rows[d->shown.at(size_t(row))].m;
}

std::optional<qsizetype> ListProjection::rowOfMessage(qint64 id) const
{
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
