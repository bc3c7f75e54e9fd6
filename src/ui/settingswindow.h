// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "services/notificationcentre.h"
#include "ui/settings/settingsservices.h"
#include "ui/settings/settingstexts.h"

#include <QMessageBox>
#include <QWidget>
#include <chrono>

namespace tidewell {

class AboutSection;
class AppState;
class ConnectionSection;
class NotificationsSection;
class SyncSection;

// The settings window: one per process, opened from the main window and by Ctrl+,. The link to the account, the
// notification permission, syncing by hand, clearing the cache, the check interval, starting at login and the
// version. It keeps only what it shows; every action goes to the shared state or to a service handed in.
class SettingsWindow : public QWidget
{
    Q_OBJECT
public:
    using Texts = SettingsTexts;
    using Services = SettingsServices;

    SettingsWindow(AppState& state, Services services, QWidget* parent = nullptr);
    ~SettingsWindow() override;

    void showAndRaise();

    NotificationCentre::AuthorizationStatus notificationStatus() const;
    QMessageBox* unlinkConfirmation() const;
    QMessageBox* clearConfirmation() const;

public slots:
    // Whether the desktop shows Tidewell's status icon; the texts that mention it follow.
    void setStatusIconShown(bool shown);

signals:
    void checkIntervalChanged(std::chrono::seconds interval);
    // The permission status has been read anew (after showing, after a request).
    void notificationStatusRead();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void addCloseKeys();

    Services m_services;
    ConnectionSection* m_connection = nullptr;
    NotificationsSection* m_notifications = nullptr;
    SyncSection* m_sync = nullptr;
    AboutSection* m_about = nullptr;
};

} // namespace tidewell
