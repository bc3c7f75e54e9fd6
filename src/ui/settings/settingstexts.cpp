// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/settingstexts.h"

#include "base/platformwords.h"

namespace tidewell {

using Status = NotificationCentre::AuthorizationStatus;

QString SettingsTexts::windowTitle()
{
    return QStringLiteral("Settings");
}

QString SettingsTexts::connection()
{
    return QStringLiteral("Connection");
}

QString SettingsTexts::connectionFooter()
{
    return QStringLiteral("Links this %1 to your Tidewell account through your web browser \u2014 no codes to copy.")
        .arg(PlatformWords::computerInSentence());
}

QString SettingsTexts::linked()
{
    return QStringLiteral("Linked");
}

QString SettingsTexts::linkThisComputer()
{
    return QStringLiteral("Link this ") + PlatformWords::computerTitle();
}

QString SettingsTexts::relinkThisComputer()
{
    return QStringLiteral("Re-link this ") + PlatformWords::computerTitle();
}

QString SettingsTexts::waitingForApproval()
{
    return QStringLiteral("Waiting for approval in your browser\u2026");
}

QString SettingsTexts::pairCode()
{
    return QStringLiteral("Pair code");
}

QString SettingsTexts::pairCodeHint()
{
    return QStringLiteral("Confirm this code matches the one on the dashboard before approving.");
}

QString SettingsTexts::cancel()
{
    return QStringLiteral("Cancel");
}

QString SettingsTexts::unlinkReset()
{
    return QStringLiteral("Unlink / Reset");
}

QString SettingsTexts::notifications()
{
    return QStringLiteral("Notifications");
}

QString SettingsTexts::permission()
{
    return QStringLiteral("Permission");
}

QString SettingsTexts::permissionStatus(Status status)
{
    switch (status) {
    case Status::NotDetermined:
        return QStringLiteral("Not set");
    case Status::Denied:
        return QStringLiteral("Off");
    case Status::Authorized:
        return QStringLiteral("On");
    case Status::Provisional:
        return QStringLiteral("Provisional");
    case Status::Ephemeral:
        return QStringLiteral("Ephemeral");
    case Status::Unavailable:
        return tr("No notification service running");
    }
    return QStringLiteral("Unknown");
}

QString SettingsTexts::permissionHint(Status status)
{
    switch (status) {
    case Status::Denied:
        return tr("Tidewell\u2019s notifications are switched off in the desktop\u2019s settings.");
    case Status::Unavailable:
        return tr("This desktop runs no notification service, so Tidewell cannot show notifications. New messages "
                  "still appear in Tidewell and in its unread count.");
    default:
        return QString();
    }
}

QString SettingsTexts::openSystemSettings()
{
    return QStringLiteral("Open System Settings");
}

QString SettingsTexts::turnOnNotifications()
{
    return QStringLiteral("Turn On Notifications");
}

QString SettingsTexts::pushRegistration()
{
    return QStringLiteral("Push registration");
}

QString SettingsTexts::registered()
{
    return QStringLiteral("Registered");
}

QString SettingsTexts::pending()
{
    return QStringLiteral("Pending");
}

QString SettingsTexts::notAvailable()
{
    return QStringLiteral("Not available");
}

QString SettingsTexts::notAvailableHint()
{
    return QStringLiteral("This system has no push service, so Tidewell fetches new messages every few minutes.");
}

QString SettingsTexts::sync()
{
    return QStringLiteral("Sync");
}

QString SettingsTexts::syncFooter()
{
    return QStringLiteral(
        "Deletes on other devices are not pulled automatically \u2014 use Clear Local Cache if histories diverge.");
}

QString SettingsTexts::lastSynced()
{
    return QStringLiteral("Last synced");
}

QString SettingsTexts::never()
{
    return QStringLiteral("Never");
}

QString SettingsTexts::lastError()
{
    return QStringLiteral("Last error");
}

QString SettingsTexts::syncNow()
{
    return QStringLiteral("Sync Now");
}

QString SettingsTexts::clearLocalCache()
{
    return QStringLiteral("Clear Local Cache");
}

QString SettingsTexts::checkEvery()
{
    return QStringLiteral("Check every");
}

QString SettingsTexts::minutes(qint64 count)
{
    return count == 1 ? QStringLiteral("1 minute") : QString::number(count) + QStringLiteral(" minutes");
}

QString SettingsTexts::startAtLogin()
{
    return QStringLiteral("Start at login");
}

QString SettingsTexts::startAtLoginHint()
{
    return QStringLiteral("Tidewell starts in the background with its status icon, syncing and notifying.");
}

// Where the desktop shows no status icon, the window is the only way in, and it is not open after the start.
QString SettingsTexts::startAtLoginHintWithoutStatusIcon()
{
    return tr("Tidewell starts in the background, syncing and notifying. Launch it again to open its window.");
}

QString SettingsTexts::about()
{
    return QStringLiteral("About");
}

QString SettingsTexts::version()
{
    return QStringLiteral("Version");
}

QString SettingsTexts::webDashboard()
{
    return QStringLiteral("Web Dashboard");
}

QString SettingsTexts::done()
{
    return QStringLiteral("Done");
}

QString SettingsTexts::unlinkTitle()
{
    return QStringLiteral("Unlink this device?");
}

QString SettingsTexts::unlinkMessage()
{
    return QStringLiteral(
        "Removes this device from the server, clears the saved secret and local messages. You can link again anytime.");
}

QString SettingsTexts::unlink()
{
    return QStringLiteral("Unlink");
}

QString SettingsTexts::clearTitle()
{
    return QStringLiteral("Clear local cache?");
}

QString SettingsTexts::clearMessage()
{
    return QStringLiteral("Deletes cached messages and apps on this device, then re-syncs from the server.");
}

QString SettingsTexts::clear()
{
    return QStringLiteral("Clear");
}

} // namespace tidewell
