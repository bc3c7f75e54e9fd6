// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cache/cachedapp.h"
#include "cache/cachedmessage.h"

#include <QCoreApplication>
#include <QString>
#include <QUrl>
#include <optional>

namespace tidewell {

// What the views draw for a row or over a list, taken from one record at a time: a message's header text, its
// link, its priority mark, an application's colour, a count's badge and the message list's title. The views call
// these on every paint, so each is cheap and reads nothing but its arguments. Named for presentation because
// that is all it decides: which rows there are, and in which order, is ListRules' and the projection's.
class ListPresentation
{
    Q_DECLARE_TR_FUNCTIONS(ListPresentation)

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

    // What the list of every message is called, in its title and in the sidebar.
    static QString allMessagesTitle();
    // The message list's title: all messages, the selected application's name, or a generic title when the
    // selected application is not cached (`selectedApp` is then nullptr).
    static QString title(std::optional<qint64> selectedAppId, const CachedApp* selectedApp);

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
