#pragma once

#include "services/notificationcentre.h"

#include <QColor>
#include <QCoroTask>
#include <QDateTime>
#include <QMessageBox>
#include <QPointer>
#include <QUrl>
#include <QWidget>
#include <chrono>
#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSettings;

namespace tidewell {

class AppState;
class LoginItem;
class NotificationHandler;

// The settings window: one per process, opened from the main window and by Ctrl+,. The link to the account, the
// notification permission, syncing by hand, clearing the cache, the check interval, starting at login and the
// version. It keeps only what it shows; every action goes to the shared state or to a service handed in.
class SettingsWindow : public QWidget
{
    Q_OBJECT
public:
    struct Texts
    {
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

    // What the window reaches beyond the state; tests hand in fakes.
    struct Services
    {
        // The server of browser linking and the web dashboard.
        QUrl serverURL;
        // Opens an address in the browser; by default the desktop's.
        std::function<void(const QUrl&)> openURL;
        // Permission requests and status; by default the process's shared handler.
        NotificationHandler* notifications = nullptr;
        // Asked once permission is granted from this window.
        std::function<void()> registerForRemoteNotifications;
        // Opens the desktop's notification settings; true when something opened.
        std::function<bool()> openNotificationSettings;
        // False where the system has no remote-push service: registration then never leaves "Pending".
        bool pushServiceAvailable = true;
        // Without one, starting at login is not offered.
        LoginItem* loginItem = nullptr;
        // Where the check interval is kept; without one it is not offered.
        QSettings* preferences = nullptr;
        std::optional<QString> shortVersion;
        std::optional<QString> buildVersion;
    };

    static QColor positiveColour();
    static QColor negativeColour();

    // The short version, " (", the build and ")"; "?" for either that is missing. A build that is the version
    // itself gives the version alone.
    static QString versionText(const std::optional<QString>& shortVersion, const std::optional<QString>& buildVersion);
    // An abbreviated date and a short time in the user's locale.
    static QString dateText(const QDateTime& date);

    SettingsWindow(AppState& state, Services services, QWidget* parent = nullptr);
    ~SettingsWindow() override;

    void showAndRaise();

    NotificationCentre::AuthorizationStatus notificationStatus() const { return m_notifStatus; }
    QMessageBox* unlinkConfirmation() const { return m_unlinkConfirmation; }
    QMessageBox* clearConfirmation() const { return m_clearConfirmation; }

signals:
    void checkIntervalChanged(std::chrono::seconds interval);
    // The permission status has been read anew (after showing, after a request).
    void notificationStatusRead();

protected:
    void showEvent(QShowEvent* event) override;

private:
    static QCoro::Task<> readStatus(QPointer<SettingsWindow> self, NotificationHandler* handler);
    static QCoro::Task<> requestNotifs(QPointer<SettingsWindow> self, NotificationHandler* handler);

    void buildConnection(QWidget* section);
    void buildNotifications(QWidget* section);
    void buildSync(QWidget* section);
    void buildAbout(QWidget* section);
    void refresh();
    void setNotifStatus(NotificationCentre::AuthorizationStatus status);
    void beginLink();
    void confirm(QPointer<QMessageBox>& box, const QString& objectName, const QString& title, const QString& message,
        const QString& destructive, std::function<void()> action);

    AppState& m_state;
    Services m_services;
    NotificationCentre::AuthorizationStatus m_notifStatus = NotificationCentre::AuthorizationStatus::NotDetermined;

    QWidget* m_linkedRow = nullptr;
    QLabel* m_linkedHost = nullptr;
    QPushButton* m_linkButton = nullptr;
    QWidget* m_linkFailureRow = nullptr;
    QLabel* m_linkFailure = nullptr;
    QWidget* m_waiting = nullptr;
    QWidget* m_pairCodeRow = nullptr;
    QLabel* m_pairCode = nullptr;
    QLabel* m_pairCodeHint = nullptr;
    QPushButton* m_cancelLink = nullptr;
    QPushButton* m_unlink = nullptr;
    QLabel* m_permission = nullptr;
    QPushButton* m_openSystemSettings = nullptr;
    QPushButton* m_turnOn = nullptr;
    QLabel* m_push = nullptr;
    QProgressBar* m_syncProgress = nullptr;
    QLabel* m_lastSynced = nullptr;
    QWidget* m_lastErrorRow = nullptr;
    QLabel* m_lastError = nullptr;
    QPushButton* m_syncNow = nullptr;
    QPushButton* m_clearCache = nullptr;
    QComboBox* m_checkInterval = nullptr;
    QCheckBox* m_startAtLogin = nullptr;
    QPointer<QMessageBox> m_unlinkConfirmation;
    QPointer<QMessageBox> m_clearConfirmation;
};

} // namespace tidewell
