// SPDX-License-Identifier: GPL-3.0-or-later
#include "cache/store.h"
#include "coro.h"
#include "fakenotificationcentre.h"
#include "fakeserver.h"
#include "memorycredentialstore.h"
#include "notify/notificationhandler.h"
#include "scriptedclient.h"
#include "scriptedservices.h"
#include "services/loginitem.h"
#include "state/appstate.h"
#include "state/checkinterval.h"
#include "sync/syncerror.h"
#include "triggeraction.h"
#include "ui/colours.h"
#include "ui/relativetime.h"
#include "ui/settingswindow.h"
#include "ui/statusitem.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QtTest>

using namespace tidewell;
using Status = NotificationCentre::AuthorizationStatus;
using Response = FakeServer::Response;

namespace {

// A start-at-login switch in memory that can refuse.
class FakeLoginItem : public LoginItem
{
public:
    bool enabled = false;
    bool refuse = false;
    QList<bool> requests;
    bool isEnabled() const override { return enabled; }
    bool setEnabled(bool on) override
    {
        requests.append(on);
        if (refuse)
            return false;
        enabled = on;
        return true;
    }
};

// What one of the link phases looks like in the connection section.
struct ConnectionView
{
    bool linkedRow;
    QString host;
    bool linkButton;
    QString linkText;
    bool waiting;
    bool pairCodeRow;
    QString pairCode;
    bool cancel;
    bool unlink;
    bool failureRow;
    QString failure;
    bool syncNow;
    bool clearCache;
};

enum class Setup
{
    Unlinked,
    Linked,
    WaitingWithoutCode,
    WaitingWithCode,
    Failed
};

} // namespace

Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(ConnectionView)
Q_DECLARE_METATYPE(StatusItemContent)

class TestSettingsWindow : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void connectionRows_data();
    void connectionRows();
    void cancelReturnsToTheLinkButton();
    void syncRows();
    void lastErrorRow();
    void permissionRows_data();
    void permissionRows();
    void turnOnNotificationsRegisters();
    void pushRegistrationRow_data();
    void pushRegistrationRow();
    void confirmations_data();
    void confirmations();
    void unlinkConfirmationKeepsItsAccount();
    void versionText_data();
    void versionText();
    void aboutAndDone();
    void closeWindowKeys();
    void statusItemActivation_data();
    void statusItemActivation();
    void checkInterval_data();
    void checkInterval();
    void startAtLogin();
    void startAtLoginHint();
    void statusItemContent_data();
    void statusItemContent();
    void statusItemFollowsTheCount_data();
    void statusItemFollowsTheCount();

private:
    void makeWindow(bool configured, QUrl serverURL = QUrl(u"https://push.example.com"_qs));
    template <typename T> T* find(const char* name) const
    {
        T* widget = m_window->findChild<T*>(QLatin1String(name));
        if (!widget)
            qWarning("no widget named %s", name);
        return widget;
    }
    bool shown(const char* name) const { return find<QWidget>(name)->isVisibleTo(m_window.get()); }
    QString text(const char* name) const { return find<QLabel>(name)->text(); }

    QTemporaryDir m_folder;
    std::unique_ptr<Preferences> m_prefs;
    MemoryCredentialStore m_credentials;
    std::shared_ptr<ScriptedClient> m_client;
    QNetworkAccessManager m_network;
    NotificationHandler m_handler;
    FakeNotificationCentre m_centre;
    FakeLoginItem m_loginItem;
    SettingsWindow::Services m_services;
    QList<QUrl> m_opened;
    int m_registrations = 0;
    int m_systemSettingsOpened = 0;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<SettingsWindow> m_window;
    std::unique_ptr<FakeServer> m_server;
};

void TestSettingsWindow::init()
{
    m_prefs = std::make_unique<Preferences>(m_folder.filePath(QUuid::createUuid().toString(QUuid::WithoutBraces)));
    m_credentials = MemoryCredentialStore();
    m_client = std::make_shared<ScriptedClient>();
    m_centre.status = Status::NotDetermined;
    m_centre.requests = 0;
    m_handler.setCentre(&m_centre);
    m_loginItem = FakeLoginItem();
    m_opened.clear();
    m_registrations = 0;
    m_systemSettingsOpened = 0;
    m_services = {};
    m_services.openURL = [this](const QUrl& url) { m_opened.append(url); };
    m_services.notifications = &m_handler;
    m_services.registerForRemoteNotifications = [this] { ++m_registrations; };
    m_services.openNotificationSettings = [this] {
        ++m_systemSettingsOpened;
        return true;
    };
    m_services.loginItem = &m_loginItem;
    m_services.preferences = m_prefs.get();
    m_services.shortVersion = u"1.4.2"_qs;
    m_services.buildVersion = u"87"_qs;
}

void TestSettingsWindow::cleanup()
{
    m_window.reset();
    m_state.reset();
    m_server.reset();
}

void TestSettingsWindow::makeWindow(bool configured, QUrl serverURL)
{
    if (configured)
        QVERIFY((QCoro::waitFor(DeviceConfig { serverURL, u"secret"_qs }.save(m_credentials))));
    AppState::Services services = scriptedServices(m_credentials, *m_prefs, m_client);
    services.network = &m_network;
    services.notifications = &m_handler;
    services.linkPollInterval = std::chrono::milliseconds(20);
    m_state = std::make_unique<AppState>(false, services);
    if (!m_services.serverURL.isValid())
        m_services.serverURL = QUrl(u"https://tidewell.example"_qs);
    m_window = std::make_unique<SettingsWindow>(*m_state, m_services);
}

void TestSettingsWindow::connectionRows_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<ConnectionView>("view");
    const QString link = u"Link this Computer"_qs;
    const QString relink = u"Re-link this Computer"_qs;
    QTest::newRow("unlinked") << Setup::Unlinked
                              << ConnectionView { false, {}, true, link, false, false, {}, false, false, false, {},
                                     false, false };
    QTest::newRow("linked, host without port or path") << Setup::Linked
                                                       << ConnectionView { true, u"push.example.com"_qs, true, relink,
                                                              false, false, {}, false, true, false, {}, true, true };
    QTest::newRow("waiting before the server answers")
        << Setup::WaitingWithoutCode
        << ConnectionView { false, {}, false, link, true, false, {}, true, false, false, {}, false, false };
    QTest::newRow("waiting with a code") << Setup::WaitingWithCode
                                         << ConnectionView { false, {}, false, link, true, true, u"K7MX3Q"_qs, true,
                                                false, false, {}, false, false };
    QTest::newRow("failed") << Setup::Failed
                            << ConnectionView { false, {}, true, link, false, false, {}, false, false, true,
                                   u"Linking failed: the server answered with status 500."_qs, false, false };
}

void TestSettingsWindow::connectionRows()
{
    QFETCH(Setup, setup);
    QFETCH(ConnectionView, view);
    m_server = std::make_unique<FakeServer>();
    m_server->setHandler([setup](const FakeServer::Request& request) {
        if (request.target == "/api/link" && setup == Setup::Failed)
            return Response::empty(500);
        if (request.target == "/api/link")
            return Response::json(R"({"code":"K7MX3Q","poll_token":"pt-1","expires_in":600})");
        if (request.target == "/api/link/poll")
            return Response::json(R"({"status":"pending"})");
        return Response::empty(404);
    });
    m_services.serverURL = m_server->url();
    makeWindow(setup == Setup::Linked, QUrl(u"https://push.example.com:8443/base/"_qs));
    if (setup != Setup::Unlinked && setup != Setup::Linked) {
        QTest::mouseClick(find<QPushButton>("linkButton"), Qt::LeftButton);
        QCOMPARE(m_state->linkPhase().kind, LinkPhase::Kind::Waiting);
    }
    if (setup == Setup::WaitingWithCode)
        QTRY_COMPARE(text("pairCode"), view.pairCode);
    if (setup == Setup::Failed) {
        QTRY_COMPARE(m_state->linkPhase().kind, LinkPhase::Kind::Failed);
        view.failure = m_state->linkPhase().message; // the state's own wording; the window only shows it
        QVERIFY(!view.failure.isEmpty());
    }

    QCOMPARE(shown("linkedRow"), view.linkedRow);
    QCOMPARE(text("linkedLabel"), u"Linked"_qs);
    QCOMPARE(find<QLabel>("linkedLabel")->palette().color(QPalette::WindowText), Colours::positive());
    QCOMPARE(text("linkedHost"), view.host);
    QCOMPARE(shown("linkButton"), view.linkButton);
    QCOMPARE(find<QPushButton>("linkButton")->text(), view.linkText);
    QCOMPARE(shown("waitingGroup"), view.waiting);
    QCOMPARE(shown("waitingProgress"), view.waiting);
    QCOMPARE(text("waitingLabel"), u"Waiting for approval in your browser\u2026"_qs);
    QCOMPARE(shown("pairCodeRow"), view.pairCodeRow);
    QCOMPARE(shown("pairCodeHint"), view.pairCodeRow);
    QCOMPARE(text("pairCode"), view.pairCode);
    QVERIFY(find<QLabel>("pairCode")->textInteractionFlags() & Qt::TextSelectableByMouse);
    QCOMPARE(shown("cancelLinkButton"), view.cancel);
    QCOMPARE(shown("unlinkButton"), view.unlink);
    QCOMPARE(shown("linkFailureRow"), view.failureRow);
    if (view.failureRow) {
        QCOMPARE(text("linkFailure"), view.failure);
        QCOMPARE(find<QLabel>("linkFailure")->palette().color(QPalette::WindowText), Colours::negative());
    }
    QCOMPARE(find<QPushButton>("syncNowButton")->isEnabled(), view.syncNow);
    QCOMPARE(find<QPushButton>("clearCacheButton")->isEnabled(), view.clearCache);
    QCOMPARE(text("connectionFooter"),
        u"Links this computer to your Tidewell account through your web browser \u2014 no codes to copy."_qs);
    if (setup == Setup::WaitingWithCode)
        QCOMPARE(m_opened, QList<QUrl> { QUrl(m_server->url().toString() + u"/#pair/K7MX3Q"_qs) });
}

void TestSettingsWindow::cancelReturnsToTheLinkButton()
{
    m_server = std::make_unique<FakeServer>();
    m_server->setHandler([](const FakeServer::Request& request) {
        if (request.target == "/api/link")
            return Response::json(R"({"code":"K7MX3Q","poll_token":"pt-1","expires_in":600})");
        return Response::json(R"({"status":"pending"})");
    });
    m_services.serverURL = m_server->url();
    makeWindow(false);
    QTest::mouseClick(find<QPushButton>("linkButton"), Qt::LeftButton);
    QTRY_COMPARE(text("pairCode"), u"K7MX3Q"_qs);
    QTest::mouseClick(find<QPushButton>("cancelLinkButton"), Qt::LeftButton);
    QCOMPARE(m_state->linkPhase(), LinkPhase::idle());
    QVERIFY(shown("linkButton"));
    QVERIFY(!shown("waitingGroup"));
    QVERIFY(!shown("cancelLinkButton"));
}

void TestSettingsWindow::syncRows()
{
    m_client->addMessage(makeMessage(1, 1));
    makeWindow(true);
    QCOMPARE(text("lastSyncedValue"), u"Never"_qs);
    QVERIFY(shown("lastSyncedValue"));
    QVERIFY(!shown("syncProgress"));
    QVERIFY(!shown("lastErrorRow"));

    m_client->latency = std::chrono::hours(1); // held until the test lets go
    QTest::mouseClick(find<QPushButton>("syncNowButton"), Qt::LeftButton);
    QTRY_VERIFY(m_state->isSyncing());
    QVERIFY(shown("syncProgress"));
    QVERIFY(!shown("lastSyncedValue"));
    QVERIFY(!find<QPushButton>("syncNowButton")->isEnabled());
    QVERIFY(find<QPushButton>("clearCacheButton")->isEnabled());
    QCOMPARE(m_client->count(u"messages"_qs), 1);

    m_client->latency = std::chrono::milliseconds(0);
    await(m_state->unlink()); // stops the held pass; then link again and sync for real
    QVERIFY(await(m_state->configure(QUrl(u"https://push.example.com"_qs), u"secret"_qs)));
    await(m_state->sync());
    QTRY_VERIFY(!m_state->isSyncing());
    QVERIFY(m_state->lastSyncDate().has_value());
    QCOMPARE(text("lastSyncedValue"), RelativeTime::dateText(*m_state->lastSyncDate()));
    QVERIFY(text("lastSyncedValue") != u"Never"_qs);
    QVERIFY(find<QPushButton>("syncNowButton")->isEnabled());
}

void TestSettingsWindow::lastErrorRow()
{
    m_client->failures.insert(u"messages"_qs, failWith(SyncError::paginationDidNotAdvance()));
    makeWindow(true);
    await(m_state->sync());
    QVERIFY(m_state->lastSyncError().has_value());
    QVERIFY(shown("lastErrorRow"));
    QCOMPARE(text("lastErrorValue"), *m_state->lastSyncError());
    QCOMPARE(find<QLabel>("lastErrorValue")->palette().color(QPalette::WindowText), Colours::negative());
    m_state->dismissSyncError();
    QVERIFY(!shown("lastErrorRow"));
}

void TestSettingsWindow::permissionRows_data()
{
    QTest::addColumn<Status>("status");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("green");
    QTest::addColumn<bool>("openSettings");
    QTest::addColumn<bool>("turnOn");
    QTest::addColumn<bool>("hint");
    QTest::newRow("not determined") << Status::NotDetermined << u"Not set"_qs << false << false << true << false;
    QTest::newRow("denied") << Status::Denied << u"Off"_qs << false << true << false << true;
    QTest::newRow("authorized") << Status::Authorized << u"On"_qs << true << false << false << false;
    QTest::newRow("provisional") << Status::Provisional << u"Provisional"_qs << false << false << false << false;
    QTest::newRow("ephemeral") << Status::Ephemeral << u"Ephemeral"_qs << false << false << false << false;
    // Nothing to ask and nothing to open: the row says why instead.
    QTest::newRow("no notification server")
        << Status::Unavailable << u"No notification service running"_qs << false << false << false << true;
}

void TestSettingsWindow::permissionRows()
{
    QFETCH(Status, status);
    QFETCH(QString, text);
    QFETCH(bool, green);
    QFETCH(bool, openSettings);
    QFETCH(bool, turnOn);
    QFETCH(bool, hint);
    m_centre.status = status;
    makeWindow(false);
    QSignalSpy read(m_window.get(), &SettingsWindow::notificationStatusRead);
    m_window->show();
    QTRY_COMPARE(read.size(), 1);
    QCOMPARE(m_window->notificationStatus(), status);
    QCOMPARE(this->text("permissionValue"), text);
    auto* value = find<QLabel>("permissionValue");
    QCOMPARE(value->palette().color(value->foregroundRole()) == Colours::positive(), green);
    QCOMPARE(shown("openSystemSettingsButton"), openSettings);
    QCOMPARE(shown("turnOnNotificationsButton"), turnOn);
    QCOMPARE(!value->toolTip().isEmpty(), hint);
    if (openSettings) {
        QTest::mouseClick(find<QPushButton>("openSystemSettingsButton"), Qt::LeftButton);
        QCOMPARE(m_systemSettingsOpened, 1);
    }
}

void TestSettingsWindow::turnOnNotificationsRegisters()
{
    makeWindow(false);
    QSignalSpy read(m_window.get(), &SettingsWindow::notificationStatusRead);
    m_window->show();
    QTRY_COMPARE(read.size(), 1);
    m_centre.status = Status::Authorized; // what the desktop reports once the request is granted
    QTest::mouseClick(find<QPushButton>("turnOnNotificationsButton"), Qt::LeftButton);
    QTRY_COMPARE(read.size(), 2);
    QCOMPARE(m_centre.requests, 1);
    QCOMPARE(m_registrations, 1);
    QCOMPARE(text("permissionValue"), u"On"_qs);
    QVERIFY(!shown("turnOnNotificationsButton"));

    // Refused: the status stays as the desktop reports it and nothing registers.
    m_window->hide();
    m_centre.status = Status::NotDetermined;
    m_window->show();
    QTRY_COMPARE(read.size(), 3);
    m_centre.grant = false;
    QTest::mouseClick(find<QPushButton>("turnOnNotificationsButton"), Qt::LeftButton);
    QTRY_COMPARE(read.size(), 4);
    QCOMPARE(m_registrations, 1);
    QCOMPARE(text("permissionValue"), u"Not set"_qs);
    m_centre.grant = true;
}

void TestSettingsWindow::pushRegistrationRow_data()
{
    QTest::addColumn<bool>("available");
    QTest::addColumn<bool>("registered");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("hint");
    QTest::newRow("pending") << true << false << u"Pending"_qs << false;
    QTest::newRow("registered") << true << true << u"Registered"_qs << false;
    QTest::newRow("no push service") << false << false << u"Not available"_qs << true;
}

void TestSettingsWindow::pushRegistrationRow()
{
    QFETCH(bool, available);
    QFETCH(bool, registered);
    QFETCH(QString, text);
    QFETCH(bool, hint);
    m_services.pushServiceAvailable = available;
    makeWindow(true);
    if (registered)
        m_state->markPushRegistered();
    QCOMPARE(this->text("pushRegistrationValue"), text);
    const QString toolTip = find<QLabel>("pushRegistrationValue")->toolTip();
    QCOMPARE(toolTip.contains(u"every few minutes"_qs), hint);
}

void TestSettingsWindow::confirmations_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("destructive");
    QTest::addColumn<QString>("answer"); // confirm, cancel, escape
    const QString unlinkMessage = u"Removes this device from the server, clears the saved secret and local messages. "
                                  u"You can link again anytime."_qs;
    const QString clearMessage = u"Deletes cached messages and apps on this device, then re-syncs from the server."_qs;
    for (const QString& answer : { u"confirm"_qs, u"cancel"_qs, u"escape"_qs }) {
        QTest::addRow("unlink, %s", qPrintable(answer))
            << u"unlinkButton"_qs << u"unlinkConfirmation"_qs << u"Unlink this device?"_qs << unlinkMessage
            << u"Unlink"_qs << answer;
        QTest::addRow("clear, %s", qPrintable(answer))
            << u"clearCacheButton"_qs << u"clearConfirmation"_qs << u"Clear local cache?"_qs << clearMessage
            << u"Clear"_qs << answer;
    }
}

void TestSettingsWindow::confirmations()
{
    QFETCH(QString, button);
    QFETCH(QString, box);
    QFETCH(QString, title);
    QFETCH(QString, message);
    QFETCH(QString, destructive);
    QFETCH(QString, answer);
    for (qint64 id = 1; id <= 3; ++id)
        m_client->addMessage(makeMessage(id, 1));
    makeWindow(true);
    await(m_state->sync());
    const int pagesBefore = m_client->count(u"messages"_qs);
    m_window->show();

    QTest::mouseClick(m_window->findChild<QPushButton*>(button), Qt::LeftButton);
    auto* dialog = m_window->findChild<QMessageBox*>(box);
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->windowModality(), Qt::WindowModal);
    QCOMPARE(dialog->text(), title);
    QCOMPARE(dialog->informativeText(), message);
    const QList<QAbstractButton*> buttons = dialog->buttons();
    QCOMPARE(buttons.size(), 2);
    auto* confirm = dialog->findChild<QPushButton*>(box + u"Confirm"_qs);
    auto* cancel = dialog->findChild<QPushButton*>(box + u"Cancel"_qs);
    QCOMPARE(confirm->text(), destructive);
    QCOMPARE(dialog->buttonRole(confirm), QMessageBox::DestructiveRole);
    QCOMPARE(cancel->text(), u"Cancel"_qs);
    QCOMPARE(dialog->buttonRole(cancel), QMessageBox::RejectRole);
    QCOMPARE(dialog->escapeButton(), cancel);

    const QPointer<QMessageBox> watched(dialog);
    if (answer == u"confirm")
        QTest::mouseClick(confirm, Qt::LeftButton);
    else if (answer == u"cancel")
        QTest::mouseClick(cancel, Qt::LeftButton);
    else
        QTest::keyClick(dialog, Qt::Key_Escape);
    QTRY_VERIFY(!watched);
    QVERIFY(m_window->isVisible()); // Escape answered the question; the settings stay open

    const bool unlinking = box == u"unlinkConfirmation";
    if (answer == u"confirm" && unlinking) {
        QTRY_VERIFY(!m_state->isConfigured());
        QCOMPARE(m_client->count(u"revokeDevice"_qs), 1);
    } else if (answer == u"confirm") {
        // Cleared, then pulled again from the start.
        QTRY_VERIFY(m_client->count(u"messages"_qs) > pagesBefore);
        QTRY_VERIFY(!m_state->isSyncing());
        const auto fromStart = [this] {
            return std::count_if(m_client->calls.begin(), m_client->calls.end(),
                [](const ScriptedClient::Call& call) { return call.op == u"messages" && call.argument == 0; });
        };
        QCOMPARE(fromStart(), 2);
        QVERIFY(m_state->isConfigured());
        QCOMPARE(m_client->count(u"revokeDevice"_qs), 0);
        QCOMPARE(m_state->cache().fetchMessages().size(), 3);
    } else {
        await(m_state->sync()); // gives anything wrongly started the time to act
        QVERIFY(m_state->isConfigured());
        QCOMPARE(m_client->count(u"revokeDevice"_qs), 0);
        QCOMPARE(m_state->cache().fetchMessages().size(), 3);
    }
}

// The question was asked about the account linked then; a browser link that completes while it is open installs
// another, which the answer must leave alone.
void TestSettingsWindow::unlinkConfirmationKeepsItsAccount()
{
    auto approved = std::make_shared<bool>(false);
    m_server = std::make_unique<FakeServer>();
    m_server->setHandler([approved](const FakeServer::Request& request) {
        if (request.target == "/api/link")
            return Response::json(R"({"code":"K7MX3Q","poll_token":"pt-1","expires_in":600})");
        if (request.target == "/api/link/poll" && *approved)
            return Response::json(R"({"status":"approved","secret":"new-secret"})");
        if (request.target == "/api/link/poll")
            return Response::json(R"({"status":"pending"})");
        return Response::empty(404);
    });
    m_services.serverURL = m_server->url();
    makeWindow(true);
    m_window->show();
    QTest::mouseClick(find<QPushButton>("linkButton"), Qt::LeftButton);
    QTRY_COMPARE(text("pairCode"), u"K7MX3Q"_qs);

    QTest::mouseClick(find<QPushButton>("unlinkButton"), Qt::LeftButton);
    auto* dialog = m_window->findChild<QMessageBox*>(u"unlinkConfirmation"_qs);
    QVERIFY(dialog);
    *approved = true;
    QTRY_COMPARE(m_state->config().value_or(DeviceConfig {}).deviceSecret, u"new-secret"_qs);

    const QPointer<QMessageBox> watched(dialog);
    QTest::mouseClick(dialog->findChild<QPushButton*>(u"unlinkConfirmationConfirm"_qs), Qt::LeftButton);
    QTRY_VERIFY(!watched);
    await(m_state->sync()); // gives a wrongly started unlink the time to act
    QVERIFY(m_state->isConfigured());
    QCOMPARE(m_state->config()->deviceSecret, u"new-secret"_qs);
    QCOMPARE(m_client->count(u"revokeDevice"_qs), 0);
    const std::optional<DeviceConfig> stored = await(DeviceConfig::load(m_credentials));
    QCOMPARE(stored.value_or(DeviceConfig {}).deviceSecret, u"new-secret"_qs);
}

void TestSettingsWindow::versionText_data()
{
    QTest::addColumn<std::optional<QString>>("shortVersion");
    QTest::addColumn<std::optional<QString>>("build");
    QTest::addColumn<QString>("text");
    QTest::newRow("both") << std::optional<QString>(u"1.4.2"_qs) << std::optional<QString>(u"87"_qs)
                          << u"1.4.2 (87)"_qs;
    QTest::newRow("no build") << std::optional<QString>(u"1.4.2"_qs) << std::optional<QString>() << u"1.4.2 (?)"_qs;
    QTest::newRow("neither") << std::optional<QString>() << std::optional<QString>() << u"? (?)"_qs;
    QTest::newRow("the build is the version")
        << std::optional<QString>(u"1.4.2"_qs) << std::optional<QString>(u"1.4.2"_qs) << u"1.4.2"_qs;
}

void TestSettingsWindow::versionText()
{
    QFETCH(std::optional<QString>, shortVersion);
    QFETCH(std::optional<QString>, build);
    QFETCH(QString, text);
    m_services.shortVersion = shortVersion;
    m_services.buildVersion = build;
    makeWindow(false);
    QCOMPARE(this->text("versionValue"), text);
}

void TestSettingsWindow::aboutAndDone()
{
    makeWindow(false);
    QCOMPARE(m_window->minimumSize(), QSize(480, 560));
    QCOMPARE(m_window->windowTitle(), u"Settings"_qs);
    QTest::mouseClick(find<QPushButton>("webDashboardLink"), Qt::LeftButton);
    QCOMPARE(m_opened, QList<QUrl> { m_services.serverURL });

    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QTest::mouseClick(find<QPushButton>("doneButton"), Qt::LeftButton);
    QVERIFY(!m_window->isVisible());
    m_window->showAndRaise();
    QVERIFY(m_window->isVisible());
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QTest::keyClick(m_window.get(), Qt::Key_Escape);
    QVERIFY(!m_window->isVisible());

    // Every widget of the form can be named by a screenshot script or an accessibility tool.
    auto* content = find<QWidget>("settingsContent");
    const QList<QWidget*> widgets = content->findChildren<QWidget*>();
    QVERIFY(widgets.size() > 40);
    for (QWidget* widget : widgets) {
        const bool ours = qobject_cast<QLabel*>(widget) || qobject_cast<QAbstractButton*>(widget)
            || qobject_cast<QComboBox*>(widget) || qobject_cast<QProgressBar*>(widget)
            || widget->metaObject() == &QWidget::staticMetaObject;
        QVERIFY2(!ours || !widget->objectName().isEmpty(),
            qPrintable(widget->metaObject()->className() + (u" in "_qs + widget->parent()->objectName())));
    }
}

// Ctrl+W closes the settings as it closes the main window.
void TestSettingsWindow::closeWindowKeys()
{
    makeWindow(false);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QTest::keyClick(m_window.get(), Qt::Key_W, Qt::ControlModifier);
    QVERIFY(!m_window->isVisible());
}

// Every click on the status item but the one for its menu brings the window back.
void TestSettingsWindow::statusItemActivation_data()
{
    QTest::addColumn<QSystemTrayIcon::ActivationReason>("reason");
    QTest::addColumn<bool>("opens");
    QTest::newRow("left click") << QSystemTrayIcon::Trigger << true;
    QTest::newRow("middle click") << QSystemTrayIcon::MiddleClick << true;
    QTest::newRow("double click") << QSystemTrayIcon::DoubleClick << true;
    QTest::newRow("unknown") << QSystemTrayIcon::Unknown << true;
    QTest::newRow("menu") << QSystemTrayIcon::Context << false;
}

void TestSettingsWindow::statusItemActivation()
{
    QFETCH(QSystemTrayIcon::ActivationReason, reason);
    QFETCH(bool, opens);
    makeWindow(false);
    StatusItem item(*m_state);
    QSignalSpy opened(&item, &StatusItem::openRequested);
    emit item.trayIcon()->activated(reason);
    QCOMPARE(opened.size(), opens ? 1 : 0);
}

void TestSettingsWindow::checkInterval_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("nothing stored") << QVariant() << u"5 minutes"_qs;
    QTest::newRow("one minute") << QVariant(60) << u"1 minute"_qs;
    QTest::newRow("fifteen minutes") << QVariant(900) << u"15 minutes"_qs;
    QTest::newRow("not a choice") << QVariant(42) << u"5 minutes"_qs;
    QTest::newRow("not a number") << QVariant(u"often"_qs) << u"5 minutes"_qs;
}

void TestSettingsWindow::checkInterval()
{
    QFETCH(QVariant, stored);
    QFETCH(QString, shown);
    if (stored.isValid())
        m_prefs->file().setValue(u"checkInterval"_qs, stored);
    makeWindow(false);
    auto* combo = find<QComboBox>("checkInterval");
    QCOMPARE(combo->currentText(), shown);
    QCOMPARE(combo->count(), 3);

    QSignalSpy changed(m_window.get(), &SettingsWindow::checkIntervalChanged);
    const int target = combo->findText(shown == u"15 minutes" ? u"1 minute"_qs : u"15 minutes"_qs);
    combo->setCurrentIndex(target);
    QCOMPARE(changed.size(), 1);
    const auto chosen = changed.first().first().value<std::chrono::seconds>();
    QCOMPARE(chosen.count(), combo->itemData(target).toLongLong());
    QCOMPARE(m_prefs->file().value(u"checkInterval"_qs).toLongLong(), chosen.count());
    QCOMPARE(CheckInterval::load(*m_prefs), chosen);
}

void TestSettingsWindow::startAtLogin()
{
    makeWindow(false);
    auto* box = find<QCheckBox>("startAtLogin");
    QVERIFY(shown("startAtLogin"));
    QVERIFY(!box->isChecked()); // off until the user asks
    QTest::mouseClick(box, Qt::LeftButton);
    QCOMPARE(m_loginItem.requests, QList<bool> { true });
    QVERIFY(m_loginItem.enabled);
    QVERIFY(box->isChecked());

    // Refused: the box shows what the desktop kept.
    m_loginItem.refuse = true;
    QTest::mouseClick(box, Qt::LeftButton);
    QCOMPARE(m_loginItem.requests, (QList<bool> { true, false }));
    QVERIFY(box->isChecked());

    // Without a way to start at login, it is not offered.
    m_window.reset();
    m_services.loginItem = nullptr;
    m_services.preferences = nullptr;
    m_window = std::make_unique<SettingsWindow>(*m_state, m_services);
    QVERIFY(!shown("startAtLogin"));
    QVERIFY(!shown("checkIntervalRow"));
}

// The hint promises a status icon only while the desktop shows one, and follows it as a panel comes and goes.
void TestSettingsWindow::startAtLoginHint()
{
    makeWindow(false);
    auto* box = find<QCheckBox>("startAtLogin");
    const QString withoutIcon
        = u"Tidewell starts in the background, syncing and notifying. Launch it again to open its window."_qs;
    const QString withIcon = u"Tidewell starts in the background with its status icon, syncing and notifying."_qs;
    QCOMPARE(box->toolTip(), withoutIcon);
    m_window->setStatusIconShown(true);
    QCOMPARE(box->toolTip(), withIcon);
    m_window->setStatusIconShown(false);
    QCOMPARE(box->toolTip(), withoutIcon);
}

void TestSettingsWindow::statusItemContent_data()
{
    QTest::addColumn<qint64>("count");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<QStringList>("menu");
    const QString sep;
    QTest::newRow("0") << qint64(0) << QString() << u"Tidewell \u2014 no unread"_qs
                       << QStringList { u"Open Tidewell"_qs, sep, u"Quit Tidewell"_qs };
    QTest::newRow("negative") << qint64(-4) << QString() << u"Tidewell \u2014 no unread"_qs
                              << QStringList { u"Open Tidewell"_qs, sep, u"Quit Tidewell"_qs };
    QTest::newRow("1") << qint64(1) << u" 1"_qs << u"1 unread notification"_qs
                       << QStringList { u"Open Tidewell"_qs, u"Mark 1 Read"_qs, sep, u"Quit Tidewell"_qs };
    QTest::newRow("99") << qint64(99) << u" 99"_qs << u"99 unread notifications"_qs
                        << QStringList { u"Open Tidewell"_qs, u"Mark All 99 Read"_qs, sep, u"Quit Tidewell"_qs };
    QTest::newRow("100") << qint64(100) << u" 99+"_qs << u"100 unread notifications"_qs
                         << QStringList { u"Open Tidewell"_qs, u"Mark All 100 Read"_qs, sep, u"Quit Tidewell"_qs };
    QTest::newRow("250") << qint64(250) << u" 99+"_qs << u"250 unread notifications"_qs
                         << QStringList { u"Open Tidewell"_qs, u"Mark All 250 Read"_qs, sep, u"Quit Tidewell"_qs };
}

void TestSettingsWindow::statusItemContent()
{
    QFETCH(qint64, count);
    QFETCH(QString, title);
    QFETCH(QString, toolTip);
    QFETCH(QStringList, menu);
    const StatusItemContent content = StatusItemContent::forCount(count);
    QCOMPARE(content.title, title);
    QCOMPARE(content.toolTip, toolTip);
    QStringList texts;
    for (const auto& entry : content.menu)
        texts.append(entry.text);
    QCOMPARE(texts, menu);
    QCOMPARE(content.menu.at(texts.indexOf(QString())).kind, StatusItemContent::MenuEntry::Kind::Separator);
}

// The real tray item over a real state: its tooltip and icon follow the count, its menu is built when it opens.
void TestSettingsWindow::statusItemFollowsTheCount_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<QStringList>("menu");
    QTest::newRow("0") << 0 << u"Tidewell \u2014 no unread"_qs
                       << QStringList { u"Open Tidewell"_qs, QString(), u"Quit Tidewell"_qs };
    QTest::newRow("1") << 1 << u"1 unread notification"_qs
                       << QStringList { u"Open Tidewell"_qs, u"Mark 1 Read"_qs, QString(), u"Quit Tidewell"_qs };
    QTest::newRow("99") << 99 << u"99 unread notifications"_qs
                        << QStringList { u"Open Tidewell"_qs, u"Mark All 99 Read"_qs, QString(), u"Quit Tidewell"_qs };
    QTest::newRow("100") << 100 << u"100 unread notifications"_qs
                         << QStringList { u"Open Tidewell"_qs, u"Mark All 100 Read"_qs, QString(),
                                u"Quit Tidewell"_qs };
    QTest::newRow("250") << 250 << u"250 unread notifications"_qs
                         << QStringList { u"Open Tidewell"_qs, u"Mark All 250 Read"_qs, QString(),
                                u"Quit Tidewell"_qs };
}

void TestSettingsWindow::statusItemFollowsTheCount()
{
    QFETCH(int, count);
    QFETCH(QString, toolTip);
    QFETCH(QStringList, menu);
    for (qint64 id = 1; id <= count; ++id)
        m_client->addMessage(makeMessage(id, 1));
    makeWindow(true);
    StatusItem item(*m_state);
    QCOMPARE(item.trayIcon()->toolTip(), u"Tidewell \u2014 no unread"_qs);
    await(m_state->sync());
    QCOMPARE(m_state->unreadCount(), count);
    QCOMPARE(item.trayIcon()->toolTip(), toolTip);
    QCOMPARE(item.content(), StatusItemContent::forCount(count));
    QVERIFY(!item.trayIcon()->icon().isNull());

    QSignalSpy opened(&item, &StatusItem::openRequested);
    QSignalSpy quit(&item, &StatusItem::quitRequested);
    item.menu()->popup(QPoint(0, 0));
    QStringList texts;
    for (QAction* action : item.menu()->actions())
        texts.append(action->isSeparator() ? QString() : action->text());
    QCOMPARE(texts, menu);
    auto* quitAction = item.menu()->findChild<QAction*>(u"statusQuit"_qs);
    QCOMPARE(quitAction->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    TRIGGER_ACTION(item.menu(), u"statusOpen"_qs);
    QCOMPARE(opened.size(), 1);
    TRIGGER_ACTION(item.menu(), u"statusQuit"_qs);
    QCOMPARE(quit.size(), 1);

    if (count > 0) {
        TRIGGER_ACTION(item.menu(), u"statusMarkAllRead"_qs);
        QTRY_COMPARE(m_state->unreadCount(), 0);
        QCOMPARE(item.trayIcon()->toolTip(), u"Tidewell \u2014 no unread"_qs);
    }
    item.menu()->hide();
    // Opened again, the menu reads the count of that moment.
    item.menu()->popup(QPoint(0, 0));
    QVERIFY(!item.menu()->findChild<QAction*>(u"statusMarkAllRead"_qs));
    QCOMPARE(item.menu()->actions().size(), 3);
    item.menu()->hide();

    // A left click on the item brings the window back; a right click only opens the menu.
    emit item.trayIcon()->activated(QSystemTrayIcon::Trigger);
    QCOMPARE(opened.size(), 2);
    emit item.trayIcon()->activated(QSystemTrayIcon::Context);
    QCOMPARE(opened.size(), 2);
}

QTEST_MAIN(TestSettingsWindow)
#include "test_settingswindow.moc"
