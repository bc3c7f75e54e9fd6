// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "services/notificationcentre.h"

#include <QCoreApplication>
#include <QString>

namespace tidewell {

// Every sentence and label of the settings window.
class SettingsTexts
{
    Q_DECLARE_TR_FUNCTIONS(SettingsTexts)

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
    // What the permission means where its one word cannot say it; empty where it can.
    static QString permissionHint(NotificationCentre::AuthorizationStatus status);
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
    static QString startAtLoginHintWithoutStatusIcon();
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
