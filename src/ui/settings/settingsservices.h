// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

namespace tidewell {

class LoginItem;
class NotificationHandler;
class Preferences;

// What the settings reach beyond the state; tests hand in fakes.
struct SettingsServices
{
    // The server of browser linking and the web dashboard.
    QUrl serverURL;
    // Opens an address in the browser; by default the desktop's.
    std::function<void(const QUrl&)> openURL;
    // Permission requests and status; by default the process's shared handler.
    NotificationHandler* notifications = nullptr;
    // Asked once permission is granted from this window.
    std::function<void()> registerForRemoteNotifications;
    // Opens the desktop's notification settings; true when something opened.
    std::function<bool()> openNotificationSettings;
    // False where the system has no remote-push service: registration then never leaves "Pending".
    bool pushServiceAvailable = true;
    // Without one, starting at login is not offered.
    LoginItem* loginItem = nullptr;
    // Where the check interval is kept; without one it is not offered.
    Preferences* preferences = nullptr;
    std::optional<QString> shortVersion;
    std::optional<QString> buildVersion;
};

} // namespace tidewell
