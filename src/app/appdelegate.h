// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "notify/newmessagealerts.h"
#include "platform/dbusnotificationcentre.h"
#include "platform/launcherbadge.h"
#include "platform/linuxpushregistrar.h"
#include "platform/synctriggers.h"
#include "platform/systemcredentialstore.h"
#include "state/appstate.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QTimer>
#include <memory>

namespace tidewell {

// Owns the application state and connects it to the desktop: the credential store, preferences, the launcher
// badge, desktop notifications, remote-push registration, the periodic sync and the syncs after waking from sleep
// or coming back online.
class AppDelegate : public QObject
{
    Q_OBJECT
public:
    struct Texts
    {
        static QString pushRegistrationFailed(const QString& reason);
    };

    // `profile` keeps a separate link, cache and preferences (the demo uses one); empty for the real ones.
    explicit AppDelegate(const QString& profile, QObject* parent = nullptr);

    AppState& state() { return *m_state; }
    Preferences& preferences() { return m_preferences; }
    DBusNotificationCentre& notifications() { return m_notifications; }
    PushRegistrar& pushRegistrar() { return m_pushRegistrar; }
    std::chrono::milliseconds pollInterval() const { return m_pollTimer.intervalAsDuration(); }
    // Wires notifications and push registration and starts the periodic sync.
    void launch();
    // Syncs and then marks everything read, as when the user comes back to Tidewell.
    void becameActive();
    // Ends the program once the running pass has stopped and the cache is closed (or after shutDownLimit).
    void quit();

    static constexpr std::chrono::seconds shutDownLimit { 5 };

signals:
    // A notification was clicked: the main window should come to the front.
    void activationRequested();

private:
    static QCoro::Task<> syncThenMarkRead(QPointer<AppState> state);
    static QCoro::Task<> shutDownThenQuit(QPointer<AppState> state);
    static QCoro::Task<> uploadToken(QPointer<AppState> state, QByteArray token);

    QNetworkAccessManager m_network;
    SystemCredentialStore m_credentials;
    Preferences m_preferences;
    LauncherBadge m_badge;
    DBusNotificationCentre m_notifications;
    LinuxPushRegistrar m_pushRegistrar;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<NewMessageAlerts> m_alerts;
    QTimer m_pollTimer;
    SyncTriggers m_syncTriggers;
    bool m_reportedPushFailure = false;
    bool m_quitting = false;
};

} // namespace tidewell
