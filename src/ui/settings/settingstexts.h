#pragma once

#include "services/notificationcentre.h"

#include <QString>

namespace tidewell {

// Every sentence and label of the settings window.
class SettingsTexts
{
public:
    static QString windowTitle();
    static QString connection();
    static QString connectionFooter();
    static QString linked();
    static QString linkThisComputer();
    static QString relinkThisComputer();
    static QString waitingForApproval();
    static QString pairCode();
    static QString pairCodeHint();
    static QString cancel();
    static QString unlinkReset();
    static QString notifications();
    static QString permission();
    static QString permissionStatus(NotificationCentre::AuthorizationStatus status);
    static QString openSystemSettings();
    static QString turnOnNotifications();
    static QString pushRegistration();
    static QString registered();
    static QString pending();
    static QString notAvailable();
    static QString notAvailableHint();
    static QString sync();
    static QString syncFooter();
    static QString lastSynced();
    static QString never();
    static QString lastError();
    static QString syncNow();
    static QString clearLocalCache();
    static QString checkEvery();
    static QString minutes(qint64 count);
    static QString startAtLogin();
    static QString startAtLoginHint();
    static QString about();
    static QString version();
    static QString webDashboard();
    static QString done();
    static QString unlinkTitle();
    static QString unlinkMessage();
    static QString unlink();
    static QString clearTitle();
    static QString clearMessage();
    static QString clear();
};

} // namespace tidewell
