// SPDX-License-Identifier: GPL-3.0-or-later
#include "api/apiclient.h"
#include "api/decodingerror.h"
#include "api/wiredecoder.h"
#include "cache/store.h"
#include "coro.h"
#include "fakenotificationcentre.h"
#include "fakeserver.h"
#include "memorycredentialstore.h"
#include "notify/notificationhandler.h"
#include "scriptedclient.h"
#include "scriptedservices.h"
#include "state/appstate.h"
#include "sync/syncerror.h"
#include "textwalk.h"
#include "triggeraction.h"
#include "ui/applistmodel.h"
#include "ui/applistpane.h"
#include "ui/emptystate.h"
#include "ui/mainwindow.h"
#include "ui/messagelistmodel.h"
#include "ui/messagelistpane.h"
#include "ui/settingswindow.h"
#include "ui/statusitem.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTranslator>
#include <QTreeView>
#include <QtTest>

using namespace tidewell;
using Status = NotificationCentre::AuthorizationStatus;
using Response = FakeServer::Response;

namespace {

const DeviceConfig linked { QUrl(u"https://push.example.com"_qs), u"secret"_qs };
const QString linkSecret = u"abcdefghijklmnopqrstuvwxyz0123456789ABCD"_qs;

// Everything the fixture's server says: names, titles, messages, link titles, host names and the pairing code. These
// reach the windows as they came and are never translated.
const QStringList serverTexts { u"Backups"_qs, u"Deploys"_qs, u"Silent"_qs, u"Nightly run"_qs, u"All volumes copied"_qs,
    u"Release rolled out to every region"_qs, u"Pipeline"_qs, u"Disk almost full"_qs, u"Volume at ninety percent"_qs,
    u"Rollback"_qs, u"Canary failed its checks"_qs, u"push.example.com"_qs, u"other.example"_qs, u"K7MX3Q"_qs };

enum class MainScene
{
    NotConfigured,
    OfflineBanner,
    ErrorBanner,
    NoMessages,
    NoResults,
    List,
    LinkConfirmation,
    MessageMenu,
    ApplicationMenu,
    ClearHistory,
};

enum class SettingsScene
{
    Unlinked,
    Waiting,
    WaitingWithCode,
    Linked,
    LinkFailed,
    CredentialProblem,
    SyncError,
    NotificationsOff,
    NoNotificationService,
    UnlinkConfirmation,
    ClearConfirmation,
};

const std::pair<const char*, MainScene> mainScenes[] = {
    { "not configured", MainScene::NotConfigured },
    { "offline banner", MainScene::OfflineBanner },
    { "error banner", MainScene::ErrorBanner },
    { "no messages", MainScene::NoMessages },
    { "no results", MainScene::NoResults },
    { "list", MainScene::List },
    { "link confirmation", MainScene::LinkConfirmation },
    { "message menu", MainScene::MessageMenu },
    { "application menu", MainScene::ApplicationMenu },
    { "clear history confirmation", MainScene::ClearHistory },
};

const std::pair<const char*, SettingsScene> settingsScenes[] = {
    { "unlinked", SettingsScene::Unlinked },
    { "waiting for the server", SettingsScene::Waiting },
    { "waiting with a code", SettingsScene::WaitingWithCode },
    { "linked, no push service", SettingsScene::Linked },
    { "link failed", SettingsScene::LinkFailed },
    { "credential unreadable", SettingsScene::CredentialProblem },
    { "sync error", SettingsScene::SyncError },
    { "notifications off", SettingsScene::NotificationsOff },
    { "no notification service", SettingsScene::NoNotificationService },
    { "unlink confirmation", SettingsScene::UnlinkConfirmation },
    { "clear confirmation", SettingsScene::ClearConfirmation },
};

// The failures a sync can end in, each with the words its own code gives it.
enum class SyncFailure
{
    RepeatedPage,
    ServerStatus,
    BadAddress,
    BadSecret,
    UnreadableData,
};

std::function<void()> failure(SyncFailure kind)
{
    switch (kind) {
    case SyncFailure::RepeatedPage:
        return failWith(SyncError::paginationDidNotAdvance());
    case SyncFailure::ServerStatus:
        return failWith(APIClient::APIError::http(503));
    case SyncFailure::BadAddress:
        return failWith(APIClient::APIError::badURL());
    case SyncFailure::BadSecret:
        return failWith(APIClient::APIError::badCredential());
    case SyncFailure::UnreadableData:
        try {
            WireDecoder::appList("{}");
        } catch (const DecodingError& error) {
            return failWith(error);
        }
        break;
    }
    return {};
}

} // namespace

Q_DECLARE_METATYPE(SyncFailure)
Q_DECLARE_METATYPE(MainScene)
Q_DECLARE_METATYPE(SettingsScene)

// Under a pseudo-translation that wraps every one of Tidewell's texts in markers and makes it a third longer, each
// state of each window shows no text that did not come through the translator, and cuts none off at its smallest.
class TestPseudoTranslation : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void textRule_data();
    void textRule();
    void mainWindowTexts_data();
    void mainWindowTexts();
    void mainWindowFits_data();
    void mainWindowFits();
    void settingsTexts_data();
    void settingsTexts();
    void settingsFit_data();
    void settingsFit();
    void statusItemTexts_data();
    void statusItemTexts();
    void syncFailureTexts_data();
    void syncFailureTexts();

private:
    // The German translation in place of the pseudo-translation, until the test function ends.
    void useGerman();
    void serve();
    void makeState(bool configured);
    // The main window in a scene, shown; the windows it opened for the scene (a question, a menu) are its children.
    void showMainWindow(MainScene scene);
    void showSettings(SettingsScene scene);

    QTranslator m_translator;
    QTranslator m_german;
    QTemporaryDir m_folder;
    std::unique_ptr<Preferences> m_prefs;
    MemoryCredentialStore m_credentials;
    std::shared_ptr<ScriptedClient> m_client;
    QNetworkAccessManager m_network;
    NotificationHandler m_handler;
    FakeNotificationCentre m_centre;
    std::unique_ptr<FakeServer> m_server;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<MainWindow> m_main;
    std::unique_ptr<SettingsWindow> m_settings;
};

void TestPseudoTranslation::initTestCase()
{
    // A locale whose times have words of their own (AM, PM), so that the rule for them is exercised.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QVERIFY2(m_translator.load(QStringLiteral(TIDEWELL_PSEUDO_TRANSLATION)), TIDEWELL_PSEUDO_TRANSLATION);
    QVERIFY(QCoreApplication::installTranslator(&m_translator));
    QVERIFY(m_german.load(QDir(QStringLiteral(TIDEWELL_TRANSLATIONS_BUILD_DIR)).filePath(u"tidewell_de.qm"_qs)));
}

void TestPseudoTranslation::init()
{
    m_prefs = std::make_unique<Preferences>(m_folder.filePath(QUuid::createUuid().toString(QUuid::WithoutBraces)));
    m_credentials = MemoryCredentialStore();
    m_client = std::make_shared<ScriptedClient>();
    m_centre.status = Status::Authorized;
    m_handler.setCentre(&m_centre);
}

void TestPseudoTranslation::cleanup()
{
    m_main.reset();
    m_settings.reset();
    QCoreApplication::removeTranslator(&m_german);
    QCoreApplication::installTranslator(&m_translator);
    m_state.reset();
    m_server.reset();
}

void TestPseudoTranslation::useGerman()
{
    QCoreApplication::removeTranslator(&m_translator);
    QCoreApplication::installTranslator(&m_german);
    const QString settings = MainWindow::Texts::settings();
    QVERIFY2(settings != u"Settings"_qs && !settings.contains(markOpen), qPrintable(settings));
}

// Two applications with messages of every kind a row shows (with and without a title, a link, high and emergency
// priority), and a third without any.
void TestPseudoTranslation::serve()
{
    m_client->serverApps = { { 1, u"Backups"_qs, u"#336699"_qs, false }, { 2, u"Deploys"_qs, u"#aa3322"_qs, false },
        { 3, u"Silent"_qs, u"#000000"_qs, false } };
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    m_client->addMessage(makeMessage(1, 1, now - 3 * 86400, u"All volumes copied"_qs, u"Nightly run"_qs));
    Message release = makeMessage(2, 2, now - 7200, u"Release rolled out to every region"_qs, std::nullopt, 5);
    release.url = u"https://ci.example.com/pipelines/42"_qs;
    release.urlTitle = u"Pipeline"_qs;
    m_client->addMessage(release);
    m_client->addMessage(makeMessage(3, 1, now - 600, u"Volume at ninety percent"_qs, u"Disk almost full"_qs, 4));
    m_client->addMessage(makeMessage(4, 2, now - 20, u"Canary failed its checks"_qs, u"Rollback"_qs));
}

void TestPseudoTranslation::makeState(bool configured)
{
    if (configured)
        QVERIFY(QCoro::waitFor(linked.save(m_credentials)));
    AppState::Services services = scriptedServices(m_credentials, *m_prefs, m_client);
    services.network = &m_network;
    services.notifications = &m_handler;
    services.linkPollInterval = std::chrono::milliseconds(20);
    m_state = std::make_unique<AppState>(false, services);
    if (configured)
        await(m_state->sync());
}

void TestPseudoTranslation::showMainWindow(MainScene scene)
{
    serve();
    if (scene == MainScene::ErrorBanner)
        m_client->failures.insert(u"messages"_qs, failWith(SyncError::paginationDidNotAdvance()));
    makeState(scene != MainScene::NotConfigured && scene != MainScene::LinkConfirmation);
    if (scene == MainScene::OfflineBanner)
        await(m_state->unlink()); // what an earlier link cached stays
    m_main = std::make_unique<MainWindow>(*m_state);
    shrink(m_main.get());
    m_main->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
    if (scene == MainScene::OfflineBanner) {
        m_state->cache().insert(CachedMessage(makeMessage(9, 1, 0, u"All volumes copied"_qs)));
        m_state->cache().save();
    }
    switch (scene) {
    case MainScene::OfflineBanner:
    case MainScene::ErrorBanner: {
        const QString name = scene == MainScene::OfflineBanner ? u"offlineBanner"_qs : u"errorBanner"_qs;
        QTRY_VERIFY(m_main->findChild<QWidget*>(name)->isVisible());
        break;
    }
    case MainScene::NoMessages:
        m_state->setSelectedAppId(3);
        QVERIFY(m_main->messageList()->emptyState()->isVisible());
        break;
    case MainScene::NoResults:
        m_main->messageList()->searchField()->setText(u"zzzz"_qs);
        QVERIFY(m_main->messageList()->emptyState()->isVisible());
        break;
    case MainScene::LinkConfirmation:
        m_state->setPendingLink(DeviceConfig { QUrl(u"https://other.example:8443"_qs), linkSecret });
        QTRY_VERIFY(m_main->linkConfirmation() && m_main->linkConfirmation()->isVisible());
        break;
    case MainScene::MessageMenu:
    case MainScene::ApplicationMenu:
    case MainScene::ClearHistory: {
        const bool messages = scene == MainScene::MessageMenu;
        QAbstractItemView* view
            = messages ? static_cast<QAbstractItemView*>(m_main->messageList()->view()) : m_main->appList()->view();
        // The message with a link, or the application "Deploys": each menu at its fullest.
        const int row = messages ? m_main->messageList()->model()->rowOf(2) : m_main->appList()->model()->rowOf(2);
        const QPoint at = view->visualRect(view->model()->index(row, 0)).center();
        QContextMenuEvent click(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
        QApplication::sendEvent(view->viewport(), &click);
        const QString name = messages ? u"messageContextMenu"_qs : u"appContextMenu"_qs;
        QTRY_VERIFY(m_main->findChild<QMenu*>(name) && m_main->findChild<QMenu*>(name)->isVisible());
        if (scene == MainScene::ClearHistory) {
            auto* menu = m_main->findChild<QMenu*>(name);
            TRIGGER_ACTION(menu, u"clearHistory"_qs);
            menu->close();
            QTRY_VERIFY(m_main->findChild<QMessageBox*>(u"clearHistoryConfirmation"_qs)
                && m_main->findChild<QMessageBox*>(u"clearHistoryConfirmation"_qs)->isVisible());
        }
        break;
    }
    default:
        break;
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
}

void TestPseudoTranslation::mainWindowTexts_data()
{
    QTest::addColumn<MainScene>("scene");
    for (const auto& [name, scene] : mainScenes)
        QTest::newRow(name) << scene;
}

void TestPseudoTranslation::mainWindowTexts()
{
    QFETCH(MainScene, scene);
    showMainWindow(scene);
    if (QTest::currentTestFailed())
        return;
    TextWalk walk(serverTexts);
    walk.window(m_main.get());
    QVERIFY(walk.texts > 10);
    QVERIFY2(walk.failures.isEmpty(), qPrintable(u"\n"_qs + walk.failures.join(u'\n')));
}

// The same states under the pseudo-translation and under the German one, whose words are the longest shipped.
void TestPseudoTranslation::mainWindowFits_data()
{
    QTest::addColumn<MainScene>("scene");
    QTest::addColumn<bool>("german");
    for (const bool german : { false, true }) {
        for (const auto& [name, scene] : mainScenes)
            QTest::addRow("%s, %s", german ? "German" : "pseudo", name) << scene << german;
    }
}

void TestPseudoTranslation::mainWindowFits()
{
    QFETCH(MainScene, scene);
    QFETCH(bool, german);
    if (german)
        useGerman();
    showMainWindow(scene);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(m_main->size(), m_main->minimumSize());
    // Nothing is squeezed below what it needs, which a window's explicit minimum would otherwise allow.
    const QWidget* central = m_main->centralWidget();
    QVERIFY2(central->minimumSizeHint().width() <= central->width(),
        qPrintable(u"needs %1, has %2"_qs.arg(central->minimumSizeHint().width()).arg(central->width())));
    QStringList cut = cutTexts(m_main.get());
    for (QWidget* window : m_main->findChildren<QWidget*>()) {
        if (window->isWindow() && window->isVisible())
            cut += cutTexts(window);
    }
    QVERIFY2(cut.isEmpty(), qPrintable(u"\n"_qs + cut.join(u'\n')));
}

void TestPseudoTranslation::showSettings(SettingsScene scene)
{
    m_server = std::make_unique<FakeServer>();
    m_server->setHandler([scene](const FakeServer::Request& request) {
        if (request.target == "/api/link" && scene == SettingsScene::LinkFailed)
            return Response::empty(500);
        if (request.target == "/api/link")
            return Response::json(R"({"code":"K7MX3Q","poll_token":"pt-1","expires_in":600})");
        return Response::json(R"({"status":"pending"})");
    });
    SettingsWindow::Services services;
    services.serverURL = m_server->url();
    services.openURL = [](const QUrl&) {};
    services.notifications = &m_handler;
    services.registerForRemoteNotifications = [] {};
    services.openNotificationSettings = [] { return true; };
    services.preferences = m_prefs.get();
    services.shortVersion = u"1.4.2"_qs;
    services.buildVersion = u"87"_qs;
    services.pushServiceAvailable = scene != SettingsScene::Linked;

    if (scene == SettingsScene::NotificationsOff)
        m_centre.status = Status::Denied;
    if (scene == SettingsScene::NoNotificationService)
        m_centre.status = Status::Unavailable;
    if (scene == SettingsScene::SyncError)
        m_client->failures.insert(u"messages"_qs, failWith(SyncError::paginationDidNotAdvance()));
    if (scene == SettingsScene::CredentialProblem) {
        QVERIFY(QCoro::waitFor(linked.save(m_credentials)));
        m_credentials.failReads(CredentialStore::Placement::Primary, true);
    }
    serve();
    const bool configured = scene == SettingsScene::Linked || scene == SettingsScene::SyncError
        || scene == SettingsScene::UnlinkConfirmation || scene == SettingsScene::ClearConfirmation;
    makeState(configured);
    if (scene == SettingsScene::CredentialProblem)
        QVERIFY(m_state->credentialProblem().has_value());
    m_settings = std::make_unique<SettingsWindow>(*m_state, services);
    QSignalSpy read(m_settings.get(), &SettingsWindow::notificationStatusRead);
    shrink(m_settings.get());
    m_settings->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_settings.get()));
    QTRY_COMPARE(read.size(), 1);

    const auto button = [this](const char* name) { return m_settings->findChild<QPushButton*>(QLatin1String(name)); };
    switch (scene) {
    case SettingsScene::Waiting:
    case SettingsScene::WaitingWithCode:
    case SettingsScene::LinkFailed:
        QTest::mouseClick(button("linkButton"), Qt::LeftButton);
        if (scene == SettingsScene::WaitingWithCode)
            QTRY_COMPARE(m_settings->findChild<QLabel*>(u"pairCode"_qs)->text(), u"K7MX3Q"_qs);
        if (scene == SettingsScene::LinkFailed)
            QTRY_COMPARE(m_state->linkPhase().kind, LinkPhase::Kind::Failed);
        else
            QCOMPARE(m_state->linkPhase().kind, LinkPhase::Kind::Waiting);
        break;
    case SettingsScene::UnlinkConfirmation:
        QTest::mouseClick(button("unlinkButton"), Qt::LeftButton);
        QTRY_VERIFY(m_settings->unlinkConfirmation() && m_settings->unlinkConfirmation()->isVisible());
        break;
    case SettingsScene::ClearConfirmation:
        QTest::mouseClick(button("clearCacheButton"), Qt::LeftButton);
        QTRY_VERIFY(m_settings->clearConfirmation() && m_settings->clearConfirmation()->isVisible());
        break;
    default:
        break;
    }
    if (scene == SettingsScene::SyncError)
        QTRY_VERIFY(m_settings->findChild<QWidget*>(u"lastErrorRow"_qs)->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
}

void TestPseudoTranslation::settingsTexts_data()
{
    QTest::addColumn<SettingsScene>("scene");
    for (const auto& [name, scene] : settingsScenes)
        QTest::newRow(name) << scene;
}

void TestPseudoTranslation::settingsTexts()
{
    QFETCH(SettingsScene, scene);
    showSettings(scene);
    if (QTest::currentTestFailed())
        return;
    TextWalk walk(serverTexts);
    walk.window(m_settings.get());
    QVERIFY(walk.texts > 20);
    QVERIFY2(walk.failures.isEmpty(), qPrintable(u"\n"_qs + walk.failures.join(u'\n')));
}

void TestPseudoTranslation::settingsFit_data()
{
    QTest::addColumn<SettingsScene>("scene");
    QTest::addColumn<bool>("german");
    for (const bool german : { false, true }) {
        for (const auto& [name, scene] : settingsScenes)
            QTest::addRow("%s, %s", german ? "German" : "pseudo", name) << scene << german;
    }
}

void TestPseudoTranslation::settingsFit()
{
    QFETCH(SettingsScene, scene);
    QFETCH(bool, german);
    if (german)
        useGerman();
    showSettings(scene);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(m_settings->size(), m_settings->minimumSize());
    QStringList cut = cutTexts(m_settings.get());
    for (QWidget* window : m_settings->findChildren<QWidget*>()) {
        if (window->isWindow() && window->isVisible())
            cut += cutTexts(window);
    }
    QVERIFY2(cut.isEmpty(), qPrintable(u"\n"_qs + cut.join(u'\n')));
}

void TestPseudoTranslation::statusItemTexts_data()
{
    QTest::addColumn<bool>("unread");
    QTest::newRow("nothing unread") << false;
    QTest::newRow("unread") << true;
}

void TestPseudoTranslation::statusItemTexts()
{
    QFETCH(bool, unread);
    if (unread)
        serve();
    makeState(true);
    StatusItem item(*m_state);
    item.menu()->popup(QPoint(0, 0));
    TextWalk walk(serverTexts);
    walk.check(u"status item"_qs, u"tool tip"_qs, item.trayIcon()->toolTip());
    walk.menu(u"status item"_qs, item.menu());
    item.menu()->hide();
    // The tool tip, and each entry's text, tool tip and icon text: the entry "Mark … Read" only with unread ones.
    QCOMPARE(walk.texts, 1 + 3 * (unread ? 3 : 2));
    QVERIFY2(walk.failures.isEmpty(), qPrintable(u"\n"_qs + walk.failures.join(u'\n')));
}

// A failed sync shows the failure's own words in the main window's banner and in the settings.
void TestPseudoTranslation::syncFailureTexts_data()
{
    QTest::addColumn<SyncFailure>("kind");
    QTest::newRow("repeated page") << SyncFailure::RepeatedPage;
    QTest::newRow("server status") << SyncFailure::ServerStatus;
    QTest::newRow("bad address") << SyncFailure::BadAddress;
    QTest::newRow("bad secret") << SyncFailure::BadSecret;
    QTest::newRow("unreadable data") << SyncFailure::UnreadableData;
}

void TestPseudoTranslation::syncFailureTexts()
{
    QFETCH(SyncFailure, kind);
    const std::function<void()> fail = failure(kind);
    QVERIFY(fail);
    m_client->failures.insert(u"messages"_qs, fail);
    makeState(true);
    QVERIFY(m_state->lastSyncError().has_value());
    MainWindow main(*m_state);
    SettingsWindow::Services services;
    services.notifications = &m_handler;
    SettingsWindow settings(*m_state, services);
    TextWalk walk(serverTexts);
    for (QWidget* window : { static_cast<QWidget*>(&main), static_cast<QWidget*>(&settings) }) {
        QLabel* shown = nullptr;
        for (QLabel* label : window->findChildren<QLabel*>()) {
            if (label->text() == *m_state->lastSyncError())
                shown = label;
        }
        QVERIFY2(shown, window->metaObject()->className());
        walk.check(pathOf(shown), u"text"_qs, shown->text());
    }
    QVERIFY2(walk.failures.isEmpty(), qPrintable(u"\n"_qs + walk.failures.join(u'\n')));
}

// The rule the walks apply, on texts as the windows might show them.
void TestPseudoTranslation::textRule_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("passes");
    QTest::newRow("translated") << u"\u27e6Sync ~~\u27e7"_qs << true;
    QTest::newRow("translated around a server text") << u"\u27e6Search Deploys ~~~\u27e7"_qs << true;
    QTest::newRow("translated inside translated") << u"\u27e6Search \u27e6All Messages ~~~~\u27e7 ~~~\u27e7"_qs << true;
    QTest::newRow("translated parts and a count") << u"\u27e6Mark ~\u27e7 42 \u27e6Read ~\u27e7"_qs << true;
    QTest::newRow("a server text") << u"Deploys"_qs << true;
    QTest::newRow("an isolated server text") << u"\u2068Deploys\u2069"_qs << true;
    QTest::newRow("a count") << u"99+"_qs << true;
    QTest::newRow("a time of day") << u"5:57 PM"_qs << true;
    QTest::newRow("a date") << u"Jan 5, 2025"_qs << true;
    QTest::newRow("not translated") << u"Sync"_qs << false;
    QTest::newRow("joined to a server text") << u"Search Deploys"_qs << false;
    QTest::newRow("a word beside a translated part") << u"\u27e6Sync ~\u27e7 now"_qs << false;
    QTest::newRow("a word beside a server text") << u"Clear the history of Backups?"_qs << false;
    QTest::newRow("an unclosed marker") << u"\u27e6Sync ~~"_qs << false;
    QTest::newRow("a month's letters inside a word") << u"Janitor"_qs << false;
}

void TestPseudoTranslation::textRule()
{
    QFETCH(QString, text);
    QFETCH(bool, passes);
    QCOMPARE(cameThroughTheTranslator(text, serverTexts), passes);
}

QTEST_MAIN(TestPseudoTranslation)
#include "test_pseudotranslation.moc"
