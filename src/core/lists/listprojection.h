// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cache/cachechange.h"
#include "cache/cachedapp.h"
#include "cache/cachedmessage.h"
#include "lists/applicationsort.h"
#include "lists/listquery.h"
#include "lists/messagesort.h"

#include <QObject>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

namespace tidewell {

class CacheContext;
class ProjectionLoader;

// The live, in-memory projection of the cache that the main window's lists read. It gives the same results as the
// list rules (ListRules), which re-derive everything from every record, but it is built once from the cache and
// then kept current from the change details of each commit: compact rows instead of records, orderings kept
// rather than re-sorted, per-application summaries updated rather than recounted, and a message's text read from
// the cache only when a view shows it. It is the façade over the units that do this (loading, row storage, title
// ranks, summaries, the filter, the shown order, applying a commit): it hands each change to them and publishes
// what changed to the views. UI thread only.
class ListProjection : public QObject
{
    Q_OBJECT
public:
    // One message as the lists need it; its text is read on demand through message().
    struct MessageRow
    {
        qint64 id = 0;
        qint64 applicationId = 0;
        qint64 ts = 0;
        qint64 priority = 0;
    };

    // One application of the sidebar with its summaries.
    struct AppRow
    {
        CachedApp app;
        std::optional<MessageRow> latest; // greatest (ts, id) of the application's messages
        qint64 unreadCount = 0;
        bool highPriorityUnread = false;
    };

    // What changed in rows that stayed where they were.
    enum RowChange
    {
        Content = 0x1, // anything a row shows: its record, or its application's name, colour or icon
        Unread = 0x2, // only whether it is unread
    };
    Q_DECLARE_FLAGS(RowChanges, RowChange)
    Q_FLAG(RowChanges)

    explicit ListProjection(std::shared_ptr<CacheContext> cache, QObject* parent = nullptr);
    // The same, reading the cache through `loader` at start and on every reload.
    ListProjection(
        std::shared_ptr<CacheContext> cache, std::unique_ptr<const ProjectionLoader> loader, QObject* parent = nullptr);
    ~ListProjection() override;

    // Inputs: the read position, and what the lists show in which order. A query that changes several of its
    // parts at once is applied, and published, once.
    void setLastReadId(qint64 id);
    qint64 lastReadId() const;
    void setQuery(const ListQuery& query);
    ListQuery query() const;

    // The message list: the list rules' `filtered`, in display order.
    qsizetype messageCount() const;
    const MessageRow& messageAt(qsizetype row) const;
    std::optional<qsizetype> rowOfMessage(qint64 id) const; // position in the filtered list; none when not listed
    // The whole record, read from the cache (recently shown rows are kept); none when it is gone.
    std::optional<CachedMessage> message(qint64 id) const;
    // Unread messages of one application, or of all when none is given, over the whole cache (no search).
    qint64 unreadCount(std::optional<qint64> applicationId) const;
    bool hasMessages() const; // the cache holds at least one message

    // The application list: every cached application in `applicationSort` order, with its summaries.
    qsizetype appCount() const;
    const AppRow& appAt(qsizetype row) const;
    std::optional<qsizetype> rowOfApp(qint64 applicationId) const;
    const CachedApp* app(qint64 applicationId) const; // appsById; nullptr when not cached
    qint64 totalUnread() const; // every unread message, those of applications not cached included

signals:
    // What a commit did to the message list, told as ranges so that a model can pass each on as it is: every
    // "about to" signal comes while the rows still read the list before that range changes, and its pair once they
    // read the list after it. A commit may take several ranges, one after the other, each in the rows as the ranges
    // before it left them.
    void messagesAboutToBeInserted(qsizetype first, qsizetype last);
    void messagesInserted();
    void messagesAboutToBeRemoved(qsizetype first, qsizetype last);
    void messagesRemoved();
    // The rows from `first` to `last` stayed, but what they show may differ in `what`.
    void messagesChanged(qsizetype first, qsizetype last, ListProjection::RowChanges what);
    // The list was replaced as a whole (another application, search or order, the cache read again or emptied, or a
    // change too scattered to tell as ranges); its rows already read the new list.
    void messagesReset();
    // The same applications in the same order; the summaries of the rows from `first` to `last` changed.
    void appsChanged(qsizetype first, qsizetype last);
    // Applications came or went, or their order changed.
    void appsReset();

private:
    enum ShownList
    {
        Rebuilt, // the list was made anew beside the one before, which is kept to compare with
        NeedsRecompute // the list must be made anew from the rows' flags
    };

    void apply(const CacheChange& change);
    void reload();
    void loadApps();
    void failed(const std::exception& error);
    // A list made anew: told as a whole when its rows differ from the list before, else as changed when
    // `contentTouched`.
    void publish(ShownList shownList, bool contentTouched, bool appsTouched);
    void publishApps();
    void tellJoined(const std::vector<quint32>& listed);
    // `previous` are the listed rows the commit removed or replaced, as they were; `entered` the rows it listed anew.
    void tellSteps(std::vector<MessageRow> previous, const std::vector<qint64>& entered);
    void tellReplaced(const std::vector<qint64>& ids);
    void tellUnreadChanged(qint64 low, qint64 high);
    bool reloadIfLocaleChanged();

    struct Data;
    std::unique_ptr<Data> d;
};

} // namespace tidewell

Q_DECLARE_OPERATORS_FOR_FLAGS(tidewell::ListProjection::RowChanges)
