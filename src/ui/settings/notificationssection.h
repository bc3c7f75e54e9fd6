// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "services/notificationcentre.h"

#include <QCoroTask>
#include <QGroupBox>
#include <QPointer>

class QLabel;
class QPushButton;

namespace tidewell {

class AppState;
class NotificationHandler;
struct SettingsServices;

// The notification permission, the ways to change it, and whether the push token reached the server.
class NotificationsSection : public QGroupBox
{
    Q_OBJECT
public:
    NotificationsSection(AppState& state, const SettingsServices& services, QWidget* parent);

    NotificationCentre::AuthorizationStatus status() const { return m_status; }
    // Reads the permission anew: a change made in the desktop's settings shows on the next opening.
    void readStatus();

signals:
    void statusRead();

private:
    static QCoro::Task<> read(QPointer<NotificationsSection> self, NotificationHandler* handler);
    static QCoro::Task<> request(QPointer<NotificationsSection> self, NotificationHandler* handler);

    void refresh();
    void setStatus(NotificationCentre::AuthorizationStatus status);

    AppState& m_state;
    const SettingsServices& m_services;
    NotificationCentre::AuthorizationStatus m_status = NotificationCentre::AuthorizationStatus::NotDetermined;
    QLabel* m_permission = nullptr;
    QPushButton* m_openSystemSettings = nullptr;
    QPushButton* m_turnOn = nullptr;
    QLabel* m_push = nullptr;
};

} // namespace tidewell
