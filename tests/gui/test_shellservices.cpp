// SPDX-License-Identifier: GPL-3.0-or-later
#include "cache/store.h"
#include "coro.h"
#include "memorycredentialstore.h"
#include "platform/launcherbadge.h"
#include "platform/notificationsettings.h"
#include "platform/synctriggers.h"
#include "platform/xdgautostart.h"
#include "scriptedclient.h"
#include "scriptedservices.h"
#include "state/appstate.h"
#include "ui/settingswindow.h"

#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QGuiApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace tidewell;
using Reachability = QNetworkInformation::Reachability;
using Command = NotificationSettings::Command;

namespace {

// Listens for launcher-entry updates on its own connection, as a dock would.
class BadgeListener : public QObject
{
    Q_OBJECT
public:
    QList<QPair<QString, QVariantMap>> updates;
    QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"dock"_qs);

    BadgeListener()
    {
        bus.connect(QString(), QString(), QString::fromLatin1(LauncherBadge::interface),
            QString::fromLatin1(LauncherBadge::signalName), this, SLOT(update(QString, QVariantMap)));
        bus.interface()->isServiceRegistered(u"org.freedesktop.DBus"_qs); // the match is in place once this answers
    }
    ~BadgeListener() override { QDBusConnection::disconnectFromBus(u"dock"_qs); }

public slots:
    void update(const QString& appUri, const QVariantMap& properties) { updates.append({ appUri, properties }); }
};

} // namespace

Q_DECLARE_METATYPE(QList<Reachability>)

class TestShellServices : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void badgeSignal_data();
    void badgeSignal();
    void recountUpdatesTheBadge();
    void autostartEntry();
    void autostartFromTheSettingsWindow();
    void execLineQuoting_data();
    void execLineQuoting();
    void resumeSyncsOnce();
    void reachability_data();
    void reachability();
    void networkReturnSyncsOnce();
    void notificationSettingsOrder_data();
    void notificationSettingsOrder();
    void notificationSettingsStopsAtTheFirstThatStarts();

private:
    std::unique_ptr<AppState> makeState(Badge* badge = nullptr);
    // Counts the passes the state starts.
    void countPasses(AppState& state);

    QTemporaryDir m_folder;
    std::unique_ptr<Preferences> m_prefs;
    MemoryCredentialStore m_credentials;
    std::shared_ptr<ScriptedClient> m_client;
    int m_passes = 0;
};

void TestShellServices::initTestCase()
{
    QGuiApplication::setDesktopFileName(u"app.tidewell.Test"_qs);
    QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run under dbus-run-session");
}

void TestShellServices::init()
{
    m_prefs = std::make_unique<Preferences>(m_folder.filePath(QUuid::createUuid().toString(QUuid::WithoutBraces)));
    m_credentials = MemoryCredentialStore();
    m_client = std::make_shared<ScriptedClient>();
    m_passes = 0;
}

void TestShellServices::cleanup() { }

std::unique_ptr<AppState> TestShellServices::makeState(Badge* badge)
{
    [this] {
        QVERIFY(
            (QCoro::waitFor(DeviceConfig { QUrl(u"https://push.example.com"_qs), u"secret"_qs }.save(m_credentials))));
    }();
    AppState::Services services = scriptedServices(m_credentials, *m_prefs, m_client);
    services.badge = badge;
    return std::make_unique<AppState>(false, services);
}

void TestShellServices::countPasses(AppState& state)
{
    connect(&state, &AppState::isSyncingChanged, this, [this, &state] {
        if (state.isSyncing())
            ++m_passes;
    });
}

void TestShellServices::badgeSignal_data()
{
    QTest::addColumn<qint64>("count");
    QTest::addColumn<qint64>("shown");
    QTest::addColumn<bool>("visible");
    QTest::newRow("none") << qint64(0) << qint64(0) << false;
    QTest::newRow("negative") << qint64(-3) << qint64(0) << false;
    QTest::newRow("one") << qint64(1) << qint64(1) << true;
    QTest::newRow("many") << qint64(250) << qint64(250) << true;
}

void TestShellServices::badgeSignal()
{
    QFETCH(qint64, count);
    QFETCH(qint64, shown);
    QFETCH(bool, visible);
    BadgeListener dock;
    LauncherBadge badge;
    badge.setCount(count);
    QTRY_COMPARE(dock.updates.size(), 1);
    QCOMPARE(dock.updates.first().first, u"application://app.tidewell.Test.desktop"_qs);
    const QVariantMap properties = dock.updates.first().second;
    QCOMPARE(properties.value(u"count"_qs).toLongLong(), shown);
    QCOMPARE(properties.value(u"count"_qs).metaType(), QMetaType::fromType<qint64>()); // "x", as docks expect
    QCOMPARE(properties.value(u"count-visible"_qs).toBool(), visible);
}

// The recount's badge step reaches the launcher entry.
void TestShellServices::recountUpdatesTheBadge()
{
    for (qint64 id = 1; id <= 7; ++id)
        m_client->addMessage(makeMessage(id, 1));
    BadgeListener dock;
    LauncherBadge badge;
    auto state = makeState(&badge);
    await(state->sync());
    QCOMPARE(state->unreadCount(), 7);
    QTRY_VERIFY(!dock.updates.isEmpty());
    QTRY_COMPARE(dock.updates.last().second.value(u"count"_qs).toLongLong(), 7);
    await(state->markRead());
    QTRY_COMPARE(dock.updates.last().second.value(u"count"_qs).toLongLong(), 0);
    QCOMPARE(dock.updates.last().second.value(u"count-visible"_qs).toBool(), false);
}

void TestShellServices::autostartEntry()
{
    QTemporaryDir config;
    XdgAutostart autostart(config.path(), u"/opt/tide well/tidewell"_qs);
    const QString path = config.filePath(u"autostart/app.tidewell.Test.desktop"_qs);
    QCOMPARE(autostart.entryPath(), path);
    QVERIFY(!autostart.isEnabled());

    QVERIFY(autostart.setEnabled(true));
    QVERIFY(autostart.isEnabled());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    file.close();
    QCOMPARE(lines.first(), u"[Desktop Entry]"_qs);
    QVERIFY(lines.contains(u"Type=Application"_qs));
    QVERIFY(lines.contains(u"Exec=\"/opt/tide well/tidewell\" --background"_qs));

    // Switched off in the desktop's own start-up settings.
    QVERIFY(file.open(QIODevice::Append | QIODevice::Text));
    file.write("Hidden=true\n");
    file.close();
    QVERIFY(!autostart.isEnabled());

    QVERIFY(autostart.setEnabled(false));
    QVERIFY(!QFile::exists(path));
    QVERIFY(!autostart.isEnabled());
    QVERIFY(autostart.setEnabled(false)); // nothing to remove is no failure
}

void TestShellServices::autostartFromTheSettingsWindow()
{
    QTemporaryDir config;
    XdgAutostart autostart(config.path(), u"/usr/bin/tidewell"_qs);
    auto state = makeState();
    SettingsWindow::Services services;
    services.loginItem = &autostart;
    SettingsWindow window(*state, services);
    auto* box = window.findChild<QCheckBox*>(u"startAtLogin"_qs);
    QVERIFY(!box->isChecked());
    QTest::mouseClick(box, Qt::LeftButton);
    QVERIFY(QFile::exists(autostart.entryPath()));
    QTest::mouseClick(box, Qt::LeftButton);
    QVERIFY(!QFile::exists(autostart.entryPath()));
}

void TestShellServices::execLineQuoting_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("exec");
    QTest::newRow("plain") << u"/usr/bin/tidewell"_qs << u"/usr/bin/tidewell --background"_qs;
    QTest::newRow("blank") << u"/home/a b/tidewell"_qs << u"\"/home/a b/tidewell\" --background"_qs;
    QTest::newRow("dollar and quote") << u"/x/$HOME\"q"_qs << u"\"/x/\\\\$HOME\\\\\"q\" --background"_qs;
    QTest::newRow("percent") << u"/x/100%"_qs << u"\"/x/100%%\" --background"_qs;
}

void TestShellServices::execLineQuoting()
{
    QFETCH(QString, program);
    QFETCH(QString, exec);
    QCOMPARE(XdgAutostart::execLine(program, { u"--background"_qs }), exec);
}

void TestShellServices::resumeSyncsOnce()
{
    // A stand-in for logind on a bus of its own.
    QDBusConnection logind = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"logind"_qs);
    QVERIFY(logind.registerService(u"org.freedesktop.login1"_qs));
    auto state = makeState();
    countPasses(*state);
    SyncTriggers triggers(QDBusConnection::sessionBus());
    connect(&triggers, &SyncTriggers::syncWanted, state.get(), &AppState::startSync);
    QSignalSpy wanted(&triggers, &SyncTriggers::syncWanted);
    QDBusConnection::sessionBus().interface()->isServiceRegistered(u"org.freedesktop.login1"_qs); // match in place

    // A stranger's copy of the signal is not logind's.
    QDBusConnection stranger = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"stranger"_qs);
    auto prepare = [](bool sleeping) {
        QDBusMessage signal = QDBusMessage::createSignal(
            u"/org/freedesktop/login1"_qs, u"org.freedesktop.login1.Manager"_qs, u"PrepareForSleep"_qs);
        signal << sleeping;
        return signal;
    };
    QVERIFY(stranger.send(prepare(false)));
    QVERIFY(logind.send(prepare(true)));
    QVERIFY(logind.send(prepare(false)));
    QTRY_COMPARE(wanted.size(), 1);
    QTRY_VERIFY(m_passes == 1 && !state->isSyncing());
    // Going to sleep, and the stranger sent before logind, brought nothing; one more round trip shows none is late.
    QVERIFY(logind.send(prepare(true)));
    QDBusConnection::sessionBus().interface()->isServiceRegistered(u"org.freedesktop.login1"_qs);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(wanted.size(), 1);
    QCOMPARE(m_passes, 1);
    QCOMPARE(m_client->count(u"apps"_qs), 1);
    QDBusConnection::disconnectFromBus(u"logind"_qs);
    QDBusConnection::disconnectFromBus(u"stranger"_qs);
}

void TestShellServices::reachability_data()
{
    QTest::addColumn<QList<Reachability>>("reports");
    QTest::addColumn<int>("syncs");
    QTest::newRow("back online") << QList<Reachability> { Reachability::Disconnected, Reachability::Online } << 1;
    QTest::newRow("online twice") << QList<Reachability> { Reachability::Disconnected, Reachability::Online,
        Reachability::Online } << 1;
    QTest::newRow("first answer after start-up") << QList<Reachability> { Reachability::Online } << 0;
    QTest::newRow("local network only") << QList<Reachability> { Reachability::Disconnected, Reachability::Local } << 0;
    QTest::newRow("two outages") << QList<Reachability> { Reachability::Disconnected, Reachability::Online,
        Reachability::Site, Reachability::Online }
                                 << 2;
    QTest::newRow("going offline") << QList<Reachability> { Reachability::Online, Reachability::Disconnected } << 0;
}

void TestShellServices::reachability()
{
    QFETCH(QList<Reachability>, reports);
    QFETCH(int, syncs);
    SyncTriggers triggers(QDBusConnection::sessionBus());
    QSignalSpy wanted(&triggers, &SyncTriggers::syncWanted);
    for (const Reachability report : reports)
        triggers.reachabilityChanged(report);
    QCOMPARE(wanted.size(), syncs);
}

void TestShellServices::networkReturnSyncsOnce()
{
    auto state = makeState();
    countPasses(*state);
    SyncTriggers triggers(QDBusConnection::sessionBus());
    connect(&triggers, &SyncTriggers::syncWanted, state.get(), &AppState::startSync);
    triggers.reachabilityChanged(Reachability::Disconnected);
    triggers.reachabilityChanged(Reachability::Online);
    QTRY_VERIFY(m_passes == 1 && !state->isSyncing());
    QCOMPARE(m_client->count(u"apps"_qs), 1);
}

void TestShellServices::notificationSettingsOrder_data()
{
    QTest::addColumn<QString>("desktop");
    QTest::addColumn<QString>("first");
    QTest::newRow("GNOME") << u"GNOME"_qs << u"gnome-control-center"_qs;
    QTest::newRow("Ubuntu") << u"ubuntu:GNOME"_qs << u"gnome-control-center"_qs;
    QTest::newRow("Plasma") << u"KDE"_qs << u"systemsettings"_qs;
    QTest::newRow("unknown") << u"sway"_qs << u"gnome-control-center"_qs;
}

void TestShellServices::notificationSettingsOrder()
{
    QFETCH(QString, desktop);
    QFETCH(QString, first);
    const QList<Command> candidates = NotificationSettings::candidates(desktop);
    QCOMPARE(candidates.first().program, first);
    QVERIFY(candidates.contains((Command { u"gnome-control-center"_qs, { u"notifications"_qs } })));
    QVERIFY(candidates.contains((Command { u"systemsettings"_qs, { u"kcm_notifications"_qs } })));
    QStringList programs;
    for (const Command& command : candidates)
        programs.append(command.program);
    programs.removeDuplicates();
    QCOMPARE(programs.size(), candidates.size()); // each tried once
}

void TestShellServices::notificationSettingsStopsAtTheFirstThatStarts()
{
    QStringList tried;
    const auto startOnly = [&tried](const QString& which) {
        return [&tried, which](const QString& program, const QStringList&) {
            tried.append(program);
            return program == which;
        };
    };
    QVERIFY(NotificationSettings::open(u"GNOME"_qs, startOnly(u"systemsettings"_qs)));
    QCOMPARE(tried, (QStringList { u"gnome-control-center"_qs, u"systemsettings"_qs }));
    tried.clear();
    QVERIFY(!NotificationSettings::open(u"GNOME"_qs, startOnly(u"nothing"_qs)));
    QCOMPARE(tried.size(), NotificationSettings::candidates(u"GNOME"_qs).size());
}

QTEST_MAIN(TestShellServices)
#include "test_shellservices.moc"
