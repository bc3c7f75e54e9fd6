// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "services/badge.h"

#include <QString>

namespace tidewell {

// The unread count on Tidewell's launcher entry, through the LauncherEntry D-Bus signal that docks and task
// managers of the common Linux desktops read. Without a listener the signal simply goes nowhere.
class LauncherBadge : public Badge
{
public:
    // `desktopFileId` names the launcher entry (without ".desktop"); empty means the application's own, as set
    // on QGuiApplication at the time of each update.
    explicit LauncherBadge(QString desktopFileId = {});
    void setCount(qint64 count) override;

    static constexpr auto interface = "com.canonical.Unity.LauncherEntry";
    static constexpr auto signalName = "Update";
    QString appUri() const;
    QString objectPath() const;

private:
    QString m_desktopFileId;
    bool m_warned = false; // a missing bus is reported once, not at every recount
};

} // namespace tidewell
