// SPDX-License-Identifier: GPL-3.0-or-later
#include "coro.h"
#include "platform/keyringthread.h"
#include "platform/systemcredentialstore.h"
#include "testchild.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QSemaphore>
#include <QtTest>

#include <future>

using namespace tidewell;
using namespace std::chrono_literals;

namespace {

// The default collection of a secret service, answering its Locked property from this very thread: a question
// that blocks this thread cannot be answered.
class FakeCollection : public QDBusVirtualObject
{
public:
    bool locked = false;
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.member() != u"Get")
            return false;
        connection.send(message.createReply(QVariant::fromValue(QDBusVariant(locked))));
        return true;
    }
};

} // namespace

// What the secret store waits for never holds the windows' thread, and never holds the program's end for long.
class TestKeyringWaits : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void lockedQuestionLeavesTheThreadFree_data();
    void lockedQuestionLeavesTheThreadFree();
    void stoppingAWedgedThreadEndsWithinItsBound();

private:
    QProcess m_bus;
    QString m_address;
};

// A bus of this test's own, with no secret service but the fake below.
void TestKeyringWaits::initTestCase()
{
    startsAsTestChild(m_bus);
    m_bus.start(u"dbus-daemon"_qs, { u"--session"_qs, u"--nofork"_qs, u"--print-address=1"_qs });
    QVERIFY(m_bus.waitForStarted());
    QTRY_VERIFY(m_bus.canReadLine());
    m_address = QString::fromUtf8(m_bus.readLine().trimmed());
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
    QVERIFY(QDBusConnection::sessionBus().isConnected());
}

void TestKeyringWaits::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(u"secrets"_qs);
    m_bus.kill();
    m_bus.waitForFinished();
}

void TestKeyringWaits::lockedQuestionLeavesTheThreadFree_data()
{
    QTest::addColumn<bool>("locked");
    QTest::newRow("locked") << true;
    QTest::newRow("unlocked") << false;
}

void TestKeyringWaits::lockedQuestionLeavesTheThreadFree()
{
    QFETCH(bool, locked);
    FakeCollection collection;
    collection.locked = locked;
    QDBusConnection service = QDBusConnection::connectToBus(m_address, u"secrets"_qs);
    QVERIFY(service.registerService(u"org.freedesktop.secrets"_qs));
    QVERIFY(service.registerVirtualObject(u"/org/freedesktop/secrets/aliases/default"_qs, &collection));
    const auto unregister = qScopeGuard([&service] {
        service.unregisterObject(u"/org/freedesktop/secrets/aliases/default"_qs);
        service.unregisterService(u"org.freedesktop.secrets"_qs);
    });

    QCOMPARE(await(SystemCredentialStore::defaultCollectionLocked()), locked);
}

// A secret service that never answers can hold the job thread inside one of the library's blocking calls; here a
// job that cannot even be made until the test lets it.
void TestKeyringWaits::stoppingAWedgedThreadEndsWithinItsBound()
{
    KeyringThread thread;
    auto entered = std::make_shared<QSemaphore>();
    auto wedge = std::make_shared<QSemaphore>();
    QCoro::Task<KeyringThread::Outcome> running = thread.run([entered, wedge]() -> QKeychain::Job* {
        entered->release();
        wedge->acquire();
        return nullptr;
    });
    entered->acquire(); // the job thread is inside the call now

    std::future<bool> stopping = std::async(std::launch::async, [&thread] { return thread.stop(200ms); });
    QTRY_VERIFY_WITH_TIMEOUT(stopping.wait_for(0s) == std::future_status::ready, 60000);
    QCOMPARE(stopping.get(), false); // the bound ended the wait, not the thread

    wedge->release();
    QVERIFY(thread.stop(60s));
    const KeyringThread::Outcome outcome = await(std::move(running));
    QCOMPARE(outcome.error, QKeychain::OtherError);
}

QTEST_GUILESS_MAIN(TestKeyringWaits)
#include "test_keyringwaits.moc"
