// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "notify/messagealert.h"
#include "services/notificationcentre.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QHash>
#include <QPointer>
#include <QVariantMap>
#include <optional>

namespace tidewell {

// The desktop's notification server (org.freedesktop.Notifications) as Tidewell's notification centre. Linux has
// no remote-push service, so Tidewell raises its notifications itself through post(); a click on one of them comes
// back as didReceiveResponse with the payload remembered for it. Nothing arrives from elsewhere to be presented
// while Tidewell is in front, so willPresent never fires here.
//
// The server broadcasts clicks and closes of every application's notifications, so only ids this centre posted
// are acted on, and an id is forgotten once its notification is closed. A server that leaves the bus takes its
// ids with it: the next one numbers afresh, and an old id would then name another application's notification.
//
// A server that follows version 1.2 of the notification protocol sends an activation token just before the click;
// it is what lets the window come to the front on Wayland, so it is passed on ahead of the click.
class DBusNotificationCentre : public NotificationCentre
{
    Q_OBJECT
public:
    static constexpr auto serviceName = "org.freedesktop.Notifications";
    static constexpr auto objectPath = "/org/freedesktop/Notifications";
    static constexpr auto interfaceName = "org.freedesktop.Notifications";
    static constexpr auto appName = "Tidewell";
    static constexpr auto desktopEntry = TIDEWELL_APP_ID; // the installed desktop file, without ".desktop"
    static constexpr auto defaultAction = "default"; // what servers invoke for a click on the notification itself
    // Larger icons are scaled down before they are sent: the server shows them at a fraction of this.
    static constexpr int largestIconSide = 256;

    struct Texts
    {
        static QString openAction();
    };

    explicit DBusNotificationCentre(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);

    // Authorized when a notification server is on the bus, running or startable on demand, unless the desktop's own
    // switch for Tidewell is off (Denied); Unavailable without a server. Granted exactly when Authorized. Never throw.
    QCoro::Task<bool> requestAuthorization() override;
    QCoro::Task<AuthorizationStatus> authorizationStatus() override;

    // Raises one notification and remembers its click payload ("mid", "aid") under the server's id. Answers that
    // id, or nothing when no server took the notification; never throws.
    QCoro::Task<std::optional<quint32>> post(MessageAlert alert);

    // Whether a click on the notification with this id would reach the handler.
    bool isTracking(quint32 id) const { return m_posted.contains(id); }

Q_SIGNALS:
    // The server's token for a click on one of this centre's notifications, emitted before that click's
    // didReceiveResponse.
    void activationTokenReceived(const QString& token);

private Q_SLOTS:
    void onActivationToken(uint id, const QString& token);
    void onActionInvoked(uint id, const QString& actionKey);
    void onNotificationClosed(uint id, uint reason);

private:
    static QCoro::Task<bool> serverPresent(QDBusConnection bus);
    static QCoro::Task<AuthorizationStatus> statusOn(QDBusConnection bus);
    static QCoro::Task<std::optional<quint32>> send(
        QPointer<DBusNotificationCentre> self, QDBusConnection bus, MessageAlert alert);
    void forgetServer();

    QDBusConnection m_bus;
    QDBusServiceWatcher m_watcher;
    QHash<quint32, QVariantMap> m_posted;
    // Whether the current server renders markup in bodies; unknown until it has been asked.
    std::optional<bool> m_bodyMarkup;
};

} // namespace tidewell
