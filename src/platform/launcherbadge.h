#pragma once

#include "services/badge.h"

#include <QString>

namespace tidewell {

// The unread count on Tidewell's launcher entry, through the LauncherEntry D-Bus signal that docks and task
// managers of the common Linux desktops read. Without a listener the signal simply goes nowhere.
class LauncherBadge : public Badge
{
public:
    explicit LauncherBadge(QString desktopFile = QStringLiteral("tidewell.desktop"));
    void setCount(qint64 count) override;

private:
    QString m_appUri;
};

} // namespace tidewell
