// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QGroupBox>
#include <QMessageBox>
#include <QPointer>
#include <chrono>

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace tidewell {

class AppState;
struct SettingsServices;

// The last sync and its error, syncing by hand, clearing the cache, the check interval and starting at login.
class SyncSection : public QGroupBox
{
    Q_OBJECT
public:
    SyncSection(AppState& state, const SettingsServices& services, QWidget* parent);

    QMessageBox* clearConfirmation() const { return m_clearConfirmation; }
    // The start-at-login hint speaks of the status icon only while the desktop shows one.
    void setStatusIconShown(bool shown);

signals:
    void checkIntervalChanged(std::chrono::seconds interval);

private:
    void addCheckInterval();
    void addStartAtLogin();
    void refresh();
    void confirmClear();

    AppState& m_state;
    const SettingsServices& m_services;
    QProgressBar* m_syncProgress = nullptr;
    QLabel* m_lastSynced = nullptr;
    QWidget* m_lastErrorRow = nullptr;
    QLabel* m_lastError = nullptr;
    QPushButton* m_syncNow = nullptr;
    QPushButton* m_clearCache = nullptr;
    QComboBox* m_checkInterval = nullptr;
    QCheckBox* m_startAtLogin = nullptr;
    QPointer<QMessageBox> m_clearConfirmation;
};

} // namespace tidewell
