// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/notificationsettings.h"

#include "base/logging.h"

#include <QProcess>

namespace tidewell {

QList<NotificationSettings::Command> NotificationSettings::candidates(const QString& currentDesktop)
{
    const Command gnome { u"gnome-control-center"_qs, { u"notifications"_qs } };
    const Command plasma { u"systemsettings"_qs, { u"kcm_notifications"_qs } };
    const Command plasma5 { u"systemsettings5"_qs, { u"kcm_notifications"_qs } };
    const Command cinnamon { u"cinnamon-settings"_qs, { u"notifications"_qs } };
    const Command xfce { u"xfce4-notifyd-config"_qs, {} };

    const QStringList desktops = currentDesktop.toLower().split(u':', Qt::SkipEmptyParts);
    QList<Command> ordered;
    const auto add = [&ordered](const Command& command) {
        if (!ordered.contains(command)) // "ubuntu:GNOME" names one desktop twice
            ordered.append(command);
    };
    for (const QString& desktop : desktops) {
        if (desktop == u"kde") {
            add(plasma);
            add(plasma5);
        } else if (desktop == u"gnome" || desktop == u"unity" || desktop == u"ubuntu") {
            add(gnome);
        } else if (desktop == u"x-cinnamon" || desktop == u"cinnamon") {
            add(cinnamon);
        } else if (desktop == u"xfce") {
            add(xfce);
        }
    }
    for (const Command& command : { gnome, plasma, plasma5, cinnamon, xfce })
        add(command);
    return ordered;
}

bool NotificationSettings::open(const QString& currentDesktop, const Starter& start)
{
    for (const Command& command : candidates(currentDesktop)) {
        if (start(command.program, command.arguments))
            return true;
    }
    qCWarning(lcPlatform) << "no notification settings program of a known desktop could be started";
    return false;
}

bool NotificationSettings::open()
{
    return open(qEnvironmentVariable("XDG_CURRENT_DESKTOP"), [](const QString& program, const QStringList& arguments) {
        return QProcess::startDetached(program, arguments);
    });
}

} // namespace tidewell
