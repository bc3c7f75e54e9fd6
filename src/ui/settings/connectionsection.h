// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QGroupBox>
#include <QMessageBox>
#include <QPointer>

class QLabel;
class QPushButton;

namespace tidewell {

class AppState;
struct SettingsServices;

// The link to the account: linked or not, linking through the browser with its pair code, and unlinking.
class ConnectionSection : public QGroupBox
{
    Q_OBJECT
public:
    ConnectionSection(AppState& state, const SettingsServices& services, QWidget* parent);

    QMessageBox* unlinkConfirmation() const { return m_unlinkConfirmation; }

private:
    void refresh();
    void confirmUnlink();

    AppState& m_state;
    const SettingsServices& m_services;
    QWidget* m_linkedRow = nullptr;
    QLabel* m_linkedHost = nullptr;
    QPushButton* m_linkButton = nullptr;
    QLabel* m_credentialProblem = nullptr;
    QWidget* m_linkFailureRow = nullptr;
    QLabel* m_linkFailure = nullptr;
    QWidget* m_waiting = nullptr;
    QWidget* m_pairCodeRow = nullptr;
    QLabel* m_pairCode = nullptr;
    QLabel* m_pairCodeHint = nullptr;
    QPushButton* m_cancelLink = nullptr;
    QPushButton* m_unlink = nullptr;
    QPointer<QMessageBox> m_unlinkConfirmation;
};

} // namespace tidewell
