// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace tidewell {

// Opens the desktop's own page for notification settings, where the user allows or silences Tidewell. The known
// settings programs are tried in turn, the running desktop's first, until one starts; where none is installed
// nothing happens.
class NotificationSettings
{
public:
    struct Command
    {
        QString program;
        QStringList arguments;
        friend bool operator==(const Command&, const Command&) = default;
    };
    // Starts a program without waiting for it; true when it started.
    using Starter = std::function<bool(const QString& program, const QStringList& arguments)>;

    // The commands to try, in order, for the desktop named by $XDG_CURRENT_DESKTOP (a colon-separated list).
    static QList<Command> candidates(const QString& currentDesktop);

    // True when one of the commands started.
    static bool open(const QString& currentDesktop, const Starter& start);
    static bool open();
};

} // namespace tidewell
