// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/settingstexts.h"

#include "base/platformwords.h"

namespace tidewell {

using Status = NotificationCentre::AuthorizationStatus;

QString SettingsTexts::windowTitle()
{
    return tr("Settings");
}

QString SettingsTexts::connection()
{
    return tr("Connection");
}

QString SettingsTexts::connectionFooter()
{
    //: %1 is the word for this machine inside a sentence, "computer".
    return tr("Links this %1 to your Tidewell account through your web browser \u2014 no codes to copy.")
        .arg(PlatformWords::computerInSentence());
}

QString SettingsTexts::linked()
{
    return tr("Linked");
}

QString SettingsTexts::linkThisComputer()
{
    //: %1 is the word for this machine in a title, "Computer".
    return tr("Link this %1").arg(PlatformWords::computerTitle());
}

QString SettingsTexts::relinkThisComputer()
{
    //: %1 is the word for this machine in a title, "Computer".
    return tr("Re-link this %1").arg(PlatformWords::computerTitle());
}

QString SettingsTexts::waitingForApproval()
{
    return tr("Waiting for approval in your browser\u2026");
}

QString SettingsTexts::pairCode()
{
    return tr("Pair code");
}

QString SettingsTexts::pairCodeHint()
{
    return tr("Confirm this code matches the one on the dashboard before approving.");
}

QString SettingsTexts::cancel()
{
    return tr("Cancel");
}

QString SettingsTexts::unlinkReset()
{
    return tr("Unlink / Reset");
}

QString SettingsTexts::notifications()
{
    return tr("Notifications");
}

QString SettingsTexts::permission()
{
    return tr("Permission");
}

QString SettingsTexts::permissionStatus(Status status)
{
    switch (status) {
    case Status::NotDetermined:
        return tr("Not set");
    case Status::Denied:
        return tr("Off");
    case Status::Authorized:
        return tr("On");
    case Status::Provisional:
        return tr("Provisional");
    case Status::Ephemeral:
        return tr("Ephemeral");
    case Status::Unavailable:
        return tr("No notification service running");
    }
    return tr("Unknown");
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
    return tr("Open System Settings");
}

QString SettingsTexts::turnOnNotifications()
{
    return tr("Turn On Notifications");
}

QString SettingsTexts::pushRegistration()
{
    return tr("Push registration");
}

QString SettingsTexts::registered()
{
    return tr("Registered");
}

QString SettingsTexts::pending()
{
    return tr("Pending");
}

QString SettingsTexts::notAvailable()
{
    return tr("Not available");
}

QString SettingsTexts::notAvailableHint()
{
    return tr("This system has no push service, so Tidewell fetches new messages every few minutes.");
}

QString SettingsTexts::sync()
{
    return tr("Sync");
}

QString SettingsTexts::syncFooter()
{
    return tr(
        "Deletes on other devices are not pulled automatically \u2014 use Clear Local Cache if histories diverge.");
}

QString SettingsTexts::lastSynced()
{
    return tr("Last synced");
}

QString SettingsTexts::never()
{
    return tr("Never");
}

QString SettingsTexts::lastError()
{
    return tr("Last error");
}

QString SettingsTexts::syncNow()
{
    return tr("Sync Now");
}

QString SettingsTexts::clearLocalCache()
{
    return tr("Clear Local Cache");
}

QString SettingsTexts::checkEvery()
{
    return tr("Check every");
}

QString SettingsTexts::minutes(qint64 count)
{
    //: A choice of how often to check for messages.
    return count == 1 ? tr("1 minute") : tr("%n minutes", nullptr, int(count));
}

QString SettingsTexts::startAtLogin()
{
    return tr("Start at login");
}

QString SettingsTexts::startAtLoginHint()
{
    return tr("Tidewell starts in the background with its status icon, syncing and notifying.");
}

// Where the desktop shows no status icon, the window is the only way in, and it is not open after the start.
QString SettingsTexts::startAtLoginHintWithoutStatusIcon()
{
    return tr("Tidewell starts in the background, syncing and notifying. Launch it again to open its window.");
}

QString SettingsTexts::about()
{
    return tr("About");
}

QString SettingsTexts::version()
{
    return tr("Version");
}

QString SettingsTexts::webDashboard()
{
    return tr("Web Dashboard");
}

QString SettingsTexts::done()
{
    return tr("Done");
}

QString SettingsTexts::unlinkTitle()
{
    return tr("Unlink this device?");
}

QString SettingsTexts::unlinkMessage()
{
    return tr(
        "Removes this device from the server, clears the saved secret and local messages. You can link again anytime.");
}

QString SettingsTexts::unlink()
{
    return tr("Unlink");
}

QString SettingsTexts::clearTitle()
{
    return tr("Clear local cache?");
}

QString SettingsTexts::clearMessage()
{
    return tr("Deletes cached messages and apps on this device, then re-syncs from the server.");
}

QString SettingsTexts::clear()
{
    return tr("Clear");
}

} // namespace tidewell
