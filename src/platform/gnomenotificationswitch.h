// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <optional>

namespace tidewell {

// GNOME's own switch for Tidewell's notifications, the one its Settings show on the Notifications page. GNOME Shell
// drops the notifications of an application switched off there, however readily its notification server answers,
// so on GNOME this switch, not the server, says whether Tidewell may notify.
//
// The switch lives in GSettings under a relocatable schema, one path per application made from its desktop id, as
// GNOME Settings makes it. It is read synchronously and only when asked: nothing here needs a GLib main loop, and
// nothing follows changes (the settings window reads it again each time it shows).
class GnomeNotificationSwitch
{
public:
    static constexpr auto schemaId = "org.gnome.desktop.notifications.application";
    static constexpr auto pathPrefix = "/org/gnome/desktop/notifications/application/";

    // The settings path of a desktop id (without ".desktop"): every character but ASCII letters, digits and "-"
    // becomes "-", and letters are lowered.
    static QString pathFor(const QString& desktopId);

    // Whether the desktop named by $XDG_CURRENT_DESKTOP (a colon-separated list) is GNOME, whose shell obeys the
    // switch. Other desktops keep their own settings and leave this one stale or unset.
    static bool appliesTo(const QString& currentDesktop);

    // The switch of this desktop id: on or off, or nothing where the schema is not installed.
    static std::optional<bool> enabled(const QString& desktopId);

    // Tidewell's switch on the running desktop; nothing off GNOME or without the schema.
    static std::optional<bool> current();
};

} // namespace tidewell
