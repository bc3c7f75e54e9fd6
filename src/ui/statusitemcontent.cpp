// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/statusitemcontent.h"

namespace tidewell {

QString StatusItemContent::Texts::noUnread()
{
    return tr("Tidewell \u2014 no unread");
}

QString StatusItemContent::Texts::oneUnread()
{
    return tr("1 unread notification");
}

QString StatusItemContent::Texts::unread(qint64 count)
{
    return tr("%n unread notifications", nullptr, int(count));
}

QString StatusItemContent::Texts::open()
{
    return tr("Open Tidewell");
}

QString StatusItemContent::Texts::markOneRead()
{
    return tr("Mark 1 Read");
}

QString StatusItemContent::Texts::markAllRead(qint64 count)
{
    return tr("Mark All %n Read", nullptr, int(count));
}

QString StatusItemContent::Texts::quit()
{
    return tr("Quit Tidewell");
}

StatusItemContent StatusItemContent::forCount(qint64 count)
{
    using Kind = MenuEntry::Kind;
    StatusItemContent content;
    if (count <= 0) {
        content.toolTip = Texts::noUnread();
    } else {
        content.title = count >= 100 ? QStringLiteral(" 99+") : u' ' + QString::number(count);
        content.toolTip = count == 1 ? Texts::oneUnread() : Texts::unread(count);
    }
    content.menu.append({ Kind::Open, Texts::open() });
    if (count >= 1)
        content.menu.append({ Kind::MarkAllRead, count == 1 ? Texts::markOneRead() : Texts::markAllRead(count) });
    content.menu.append({ Kind::Separator, {} });
    content.menu.append({ Kind::Quit, Texts::quit() });
    return content;
}

} // namespace tidewell
