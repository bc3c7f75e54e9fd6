// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QtGlobal>

namespace tidewell {

// What the status item shows for an unread count: the text beside the bell, the tooltip and the menu. One pure
// rule, so that the tray, its menu and the tests read the same thresholds.
struct StatusItemContent
{
    Q_DECLARE_TR_FUNCTIONS(StatusItemContent)

public:
    struct Texts
    {
        static QString noUnread();
        static QString oneUnread();
        static QString unread(qint64 count);
        static QString open();
        static QString markOneRead();
        static QString markAllRead(qint64 count);
        static QString quit();
    };

    struct MenuEntry
    {
        enum class Kind
        {
            Open,
            MarkAllRead,
            Separator,
            Quit
        };
        Kind kind;
        QString text; // empty for the separator
        friend bool operator==(const MenuEntry&, const MenuEntry&) = default;
    };

    QString title; // empty, or a blank and the count, capped at " 99+"
    QString toolTip;
    QList<MenuEntry> menu;

    static StatusItemContent forCount(qint64 count);
    friend bool operator==(const StatusItemContent&, const StatusItemContent&) = default;
};

} // namespace tidewell
