// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cache/cachedapp.h"
#include "cache/cachedmessage.h"
#include "lists/messagesort.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <optional>

namespace tidewell {

// The definition of the lists: which messages the message list shows and in which order, and the per-application
// summaries beside them, as pure functions of every cached record and the user's choices, re-derived on each call.
// The product does not call the filtering and the summaries: the live projection (ListProjection) keeps the same
// results current from each commit, and the tests and the lists' benchmark hold it to these, which are written to
// be plainly right rather than fast. isUnread is the one unread rule, and the projection uses it too. What the
// views draw per row lives in ListPresentation. Texts compare and lower by the current default locale, read on
// every call.
class ListRules
{
public:
    // Everything after the read position is unread; the read position is one number for all applications.
    static bool isUnread(qint64 messageId, qint64 lastReadId) { return messageId > lastReadId; }
    static bool isUnread(const CachedMessage& message, qint64 lastReadId) { return isUnread(message.id, lastReadId); }

    // Each application's message with the greatest (ts, id), whatever the input order. Applications that are not
    // cached still get their entry.
    static QHash<qint64, CachedMessage> latestByApp(const QList<CachedMessage>& messages);
    // Unread messages per application; an application with none has no entry.
    static QHash<qint64, int> unreadByApp(const QList<CachedMessage>& messages, qint64 lastReadId);
    // Every unread message counted, those of applications that are not cached included.
    static int totalUnread(const QHash<qint64, int>& unreadByApp);
    // Applications with at least one unread message of priority 1 or more; read messages never count.
    static QSet<qint64> highPriorityUnreadApps(const QList<CachedMessage>& messages, qint64 lastReadId);
    static QHash<qint64, CachedApp> appsById(const QList<CachedApp>& apps);

    // The messages the message list shows, in display order: those of the selected application (all when none is
    // selected) whose body or title contains `searchText`, both lowered by the locale (no trimming, no accent
    // folding; an empty text keeps everything), ordered by `messageSort`. Records that the ordering leaves
    // unordered come in id-descending order, the store's query order; `all` may arrive in any order.
    static QList<CachedMessage> filtered(const QList<CachedMessage>& all, std::optional<qint64> selectedAppId,
        const QString& searchText, MessageSort messageSort);
};

} // namespace tidewell
