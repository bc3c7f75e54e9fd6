#pragma once

#include "cache/cachedapp.h"
#include "cache/cachedmessage.h"
#include "lists/messagesort.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QUrl>
#include <optional>

namespace tidewell {

// What the main window lists and shows beside it, as pure functions of the cached records and the user's
// choices. Nothing is cached: views call these on every render, so each summary is one pass over its input.
// Texts compare and lower by the current default locale, read on every call.
class ListRules
{
public:
    enum class PriorityMark
    {
        None,
        High,
        Emergency,
    };

    struct Link
    {
        QUrl url;
        QString text;

        friend bool operator==(const Link&, const Link&) = default;
    };

    // An opaque colour as 0xffRRGGBB, the layout of QRgb, so the views hand it to QColor unchanged.
    using Rgb = quint32;

    // Everything after the read position is unread; the read position is one number for all applications.
    static bool isUnread(const CachedMessage& message, qint64 lastReadId) { return message.id > lastReadId; }

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
    // The message list's title: all messages, the selected application's name, or a generic title when the
    // selected application is not cached.
    static QString title(std::optional<qint64> selectedAppId, const QHash<qint64, CachedApp>& appsById);

    static PriorityMark priorityMark(qint64 priority);
    // No badge below 1; counts above 99 are capped so the badge keeps its width.
    static std::optional<QString> badgeText(qint64 count);
    // The message's title when it has one (even an empty one), else its application's name, else a generic word.
    // `app` is the message's application, nullptr when it is not cached.
    static QString headerText(const CachedMessage& message, const CachedApp* app);
    // A link only to web pages: other schemes (mail, files, custom handlers) are not offered from a pushed message.
    // Its text is the link title when the message has one, else the address as written.
    static std::optional<Link> link(const CachedMessage& message);
    // An application's colour as the server sends it ("#RRGGBB" or "RRGGBB"), or nothing when it does not parse,
    // in which case the views use the palette's accent colour.
    static std::optional<Rgb> colorFromHex(const QString& hex);
};

} // namespace tidewell
