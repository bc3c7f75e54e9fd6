// SPDX-License-Identifier: GPL-3.0-or-later
#include "cache/store.h"
#include "memorycredentialstore.h"
#include "mockcalls.h"
#include "platform/trayhostwatcher.h"
#include "scriptedservices.h"
#include "state/appstate.h"
#include "testchild.h"
#include "ui/statusitem.h"
#include "ui/statusitempresence.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>

using namespace tidewell;

namespace {

const QString watcherService = QString::fromLatin1(TrayHostWatcher::serviceName);
const QString watcherPath = QString::fromLatin1(TrayHostWatcher::objectPath);

bool onBus(const QString& name)
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(name).value();
}

// A status area's watcher run as its own process, so that it can come after Tidewell and leave before it.
class FakeWatcher
{
public:
    explicit FakeWatcher(bool host)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        startsAsTestChild(m_process);
        m_process.start(u"/usr/bin/python3"_qs,
            { u"-m"_qs, u"dbusmock"_qs, u"--session"_qs, u"-t"_qs, QStringLiteral(TIDEWELL_TRAY_WATCHER_TEMPLATE),
                u"-p"_qs, host ? u"{\"host\": true}"_qs : u"{\"host\": false}"_qs });
    }
    ~FakeWatcher() { stop(); }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        m_process.waitForFinished(10000);
    }

    // The item names handed to RegisterStatusNotifierItem, oldest first.
    static QStringList registeredItems()
    {
        QStringList items;
        const auto calls = mockedCalls(watcherService, watcherPath, u"RegisterStatusNotifierItem"_qs);
        for (const QVariantList& args : calls.value_or(QList<QVariantList> {}))
            items.append(args.value(0).toString());
        return items;
    }

    // Changes whether a host is registered and tells listeners, as a watcher does when a panel comes or goes.
    static void setHost(bool present)
    {
        QDBusMessage set = QDBusMessage::createMethodCall(
            watcherService, watcherPath, u"org.freedesktop.DBus.Properties"_qs, u"Set"_qs);
        set << QString::fromLatin1(TrayHostWatcher::interfaceName) << u"IsStatusNotifierHostRegistered"_qs
            << QVariant::fromValue(QDBusVariant(present));
        QDBusConnection::sessionBus().call(set);
        QDBusMessage emitSignal = QDBusMessage::createMethodCall(
            watcherService, watcherPath, u"org.freedesktop.DBus.Mock"_qs, u"EmitSignal"_qs);
        emitSignal << QString::fromLatin1(TrayHostWatcher::interfaceName)
                   << (present ? u"StatusNotifierHostRegistered"_qs : u"StatusNotifierHostUnregistered"_qs) << QString()
                   << QVariantList();
        QDBusConnection::sessionBus().call(emitSignal);
    }

private:
    QProcess m_process;
};

} // namespace

class TestTrayHost : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void hostFollowed_data();
    void hostFollowed();
    void itemRegistersWithALateHost();
    void itemFollowsPresence();

private:
    QTemporaryDir m_folder;
    std::unique_ptr<Preferences> m_prefs;
    MemoryCredentialStore m_credentials;
    std::unique_ptr<AppState> m_state;
};

void TestTrayHost::init()
{
    QVERIFY(m_folder.isValid());
    QVERIFY2(!onBus(watcherService), "a watcher from an earlier test is still on the bus");
    m_prefs = std::make_unique<Preferences>(m_folder.filePath(u"prefs.ini"_qs));
    m_state = std::make_unique<AppState>(false, scriptedServices(m_credentials, *m_prefs));
}

void TestTrayHost::cleanup()
{
    m_state.reset();
    m_prefs.reset();
    QTRY_VERIFY_WITH_TIMEOUT(!onBus(watcherService), 20000);
}

// How a watcher arrives and leaves: with a host already registered, or bare and joined by a host later.
void TestTrayHost::hostFollowed_data()
{
    QTest::addColumn<bool>("hostAtStart");
    QTest::newRow("watcher with a host") << true;
    QTest::newRow("bare watcher, host later") << false;
}

void TestTrayHost::hostFollowed()
{
    QFETCH(bool, hostAtStart);
    TrayHostWatcher host;
    QSignalSpy changes(&host, &TrayHostWatcher::hostPresentChanged);
    {
        FakeWatcher watcher(hostAtStart);
        QTRY_VERIFY_WITH_TIMEOUT(onBus(watcherService), 20000);
        if (!hostAtStart) {
            FakeWatcher::setHost(true);
        }
        QTRY_VERIFY(host.hostPresent());
        FakeWatcher::setHost(false);
        QTRY_VERIFY(!host.hostPresent());
        FakeWatcher::setHost(true);
        QTRY_VERIFY(host.hostPresent());
        watcher.stop(); // a panel that quits takes its watcher along
    }
    QTRY_VERIFY(!host.hostPresent());
    QCOMPARE(changes.count(), 4);
    for (int i = 0; i < changes.count(); ++i)
        QCOMPARE(changes.at(i).constFirst().toBool(), i % 2 == 0);
}

// The panel starts after Tidewell, as at login: the item still reaches it, leaves the bus with it, and reaches the
// next one after a restart.
void TestTrayHost::itemRegistersWithALateHost()
{
    TrayHostWatcher host;
    StatusItemPresence presence(*m_state);
    connect(&host, &TrayHostWatcher::hostPresentChanged, &presence, &StatusItemPresence::setHostPresent);
    QVERIFY(!presence.isShown());

    for (int run = 0; run < 2; ++run) {
        FakeWatcher watcher(true);
        QTRY_VERIFY_WITH_TIMEOUT(onBus(watcherService), 20000);
        QTRY_VERIFY(presence.isShown());
        QTRY_COMPARE(FakeWatcher::registeredItems().size(), 1);
        const QString item = FakeWatcher::registeredItems().constFirst();
        QVERIFY2(onBus(item), qPrintable(item));
        QVERIFY(presence.statusItem()->trayIcon()->isVisible());

        watcher.stop();
        QTRY_VERIFY(!presence.isShown());
        QTRY_VERIFY2(!onBus(item), qPrintable(item)); // gone from the bus, not left for the next host to find
    }
}

void TestTrayHost::itemFollowsPresence()
{
    StatusItemPresence presence(*m_state);
    QSignalSpy shown(&presence, &StatusItemPresence::shownChanged);
    QSignalSpy open(&presence, &StatusItemPresence::openRequested);
    QSignalSpy quit(&presence, &StatusItemPresence::quitRequested);
    presence.setHostPresent(false);
    QCOMPARE(shown.count(), 0);
    QVERIFY(!presence.statusItem());

    presence.setHostPresent(true);
    QVERIFY(presence.statusItem());
    StatusItem* first = presence.statusItem();
    presence.setHostPresent(true); // a repeated report keeps the item
    QCOMPARE(presence.statusItem(), first);
    emit first->openRequested();
    emit first->quitRequested();
    QCOMPARE(open.count(), 1);
    QCOMPARE(quit.count(), 1);

    presence.setHostPresent(false);
    QVERIFY(!presence.statusItem());
    QCOMPARE(shown.count(), 2);
    QCOMPARE(shown.at(0).constFirst().toBool(), true);
    QCOMPARE(shown.at(1).constFirst().toBool(), false);
}

QTEST_MAIN(TestTrayHost)
#include "test_trayhost.moc"
