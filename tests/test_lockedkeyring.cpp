// SPDX-License-Identifier: GPL-3.0-or-later
#include "account/deviceconfig.h"
#include "base/systemlog.h"
#include "coro.h"
#include "keyringprompter.h"
#include "platform/systemcredentialstore.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace tidewell;
using Reply = KeyringPrompter::Reply;
using Placement = CredentialStore::Placement;

namespace {

// What scripts/with-test-services unlocks its keyring with, and so what an answered prompt types.
const QString keyringPassword = u"test"_qs;
// Long enough for any prompt this test holds on a slow sanitizer build, short enough that a caller which blocks on
// the prompt gets it dismissed, returns and fails the test instead of hanging it.
constexpr int prompterGivesUpAfterSeconds = 15;
constexpr int waitMs = 20000;

// How an operation ended. Shared with the coroutine, which outlives a test function that failed while it waited.
template <typename T> struct Outcome
{
    bool done = false;
    std::optional<T> value;
};

QCoro::Task<> saveInto(
    std::shared_ptr<SystemCredentialStore> store, DeviceConfig config, std::shared_ptr<Outcome<bool>> outcome)
{
    outcome->value = co_await config.save(*store);
    outcome->done = true;
}

QCoro::Task<> readInto(std::shared_ptr<SystemCredentialStore> store, std::shared_ptr<Outcome<StoredConfig>> outcome)
{
    outcome->value = co_await DeviceConfig::read(*store);
    outcome->done = true;
}

} // namespace

// The secret store as it is after a login without the keyring's password, or after a screen lock: the default
// collection locked, so that each operation on it makes gnome-keyring prompt. The prompt is played by
// KeyringPrompter, which answers it, dismisses it or holds it open. Each test holds the prompt first and looks at
// the caller's thread while it is open.
class TestLockedKeyring : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void operationWaitsForThePrompt_data();
    void operationWaitsForThePrompt();
    void heldPromptHoldsNothingElseUp();

private:
    QString fallbackPath() const { return m_store->fallbackPath(DeviceConfig::service, DeviceConfig::account); }

    std::unique_ptr<KeyringPrompter> m_prompter;
    std::unique_ptr<QTemporaryDir> m_folder;
    std::shared_ptr<SystemCredentialStore> m_store;
    const DeviceConfig m_before { QUrl(u"https://push.example.com"_qs), u"stored before the lock"_qs };
    QStringList m_log;
    SystemLog::Sink m_previousSink;
};

void TestLockedKeyring::initTestCase()
{
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    if (!bus || !bus->isServiceRegistered(u"org.freedesktop.secrets"_qs).value()) {
        if (qEnvironmentVariableIsSet("TIDEWELL_REQUIRE_SECRET_SERVICE"))
            QFAIL("no Secret Service on the session bus");
        QSKIP("no Secret Service on the session bus; scripts/test provides one");
    }
    m_prompter = std::make_unique<KeyringPrompter>(keyringPassword, prompterGivesUpAfterSeconds);
    const QString error = m_prompter->start();
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

// Each test starts with the link stored and the collection locked, whatever the test before left.
void TestLockedKeyring::init()
{
    m_log.clear();
    m_previousSink = SystemLog::setSink([this](const QString& line) { m_log.append(line); });
    QVERIFY(m_prompter->setReply(Reply::Answer));
    QVERIFY(m_prompter->release(Reply::Dismiss) >= 0);
    m_folder = std::make_unique<QTemporaryDir>();
    m_store = std::make_shared<SystemCredentialStore>(m_folder->path() + u"/config"_qs);
    // Written as the stored item reads, so that every test starts from the same keyring whatever save() does.
    const QByteArray before = R"({"url":"https://push.example.com","secret":"stored before the lock"})";
    QCOMPARE(await(m_store->add(Placement::Primary, DeviceConfig::service, DeviceConfig::account, before)), 0);
    QCOMPARE(KeyringPrompter::lockDefaultCollection(), QString());
    QCOMPARE(KeyringPrompter::defaultCollectionLocked(), true);
    QVERIFY(m_prompter->setReply(Reply::Hold));
    m_log.clear();
}

void TestLockedKeyring::cleanup()
{
    // A held prompt left by a failed test must not wait for the next test's prompts.
    m_prompter->release(Reply::Dismiss);
    SystemLog::setSink(m_previousSink);
}

void TestLockedKeyring::operationWaitsForThePrompt_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<Reply>("reply");

    QTest::newRow("save, prompt answered") << u"save"_qs << Reply::Answer;
    QTest::newRow("save, prompt dismissed") << u"save"_qs << Reply::Dismiss;
    QTest::newRow("read, prompt answered") << u"read"_qs << Reply::Answer;
    QTest::newRow("read, prompt dismissed") << u"read"_qs << Reply::Dismiss;
}

// While the keyring asks, the operation waits and the caller's thread runs on; the user's reply decides how it
// ends: an answered prompt unlocks the keyring for it, a dismissed one fails it and changes nothing.
void TestLockedKeyring::operationWaitsForThePrompt()
{
    QFETCH(QString, operation);
    QFETCH(Reply, reply);
    const bool answered = reply == Reply::Answer;
    const DeviceConfig next { QUrl(u"https://other.example.com/"_qs), u"saved while locked"_qs };

    QSignalSpy prompted(m_prompter.get(), &KeyringPrompter::prompted);
    int ticks = 0;
    QTimer ticker;
    ticker.setInterval(5);
    connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
    ticker.start();

    auto saved = std::make_shared<Outcome<bool>>();
    auto read = std::make_shared<Outcome<StoredConfig>>();
    if (operation == u"save")
        saveInto(m_store, next, saved);
    else
        readInto(m_store, read);
    const auto done = [&saved, &read] { return saved->done || read->done; };

    QVERIFY(prompted.wait(waitMs));
    QCOMPARE(prompted.first().at(0).toString(), u"password"_qs);
    QCOMPARE(prompted.first().at(2).toBool(), false); // the existing keyring's password, not a new one
    const int ticksAtPrompt = ticks;
    QTRY_VERIFY_WITH_TIMEOUT(ticks >= ticksAtPrompt + 3, waitMs);
    QVERIFY(!done());
    QCOMPARE(m_prompter->held(), 1);

    QCOMPARE(m_prompter->release(reply), 1);
    QTRY_VERIFY_WITH_TIMEOUT(done(), waitMs);
    QCOMPARE(prompted.size(), 1); // one prompt, answered or dismissed, is all it takes
    // The keyring answers the operation before it has settled its own state; asked at once, under load, it can
    // fail to name its collection for a moment.
    QTRY_COMPARE_WITH_TIMEOUT(KeyringPrompter::defaultCollectionLocked(), std::optional<bool>(!answered), waitMs);
    // Nothing goes to the fallback file while a secret store is there, refused or not.
    QVERIFY(!QFileInfo::exists(fallbackPath()));
    QVERIFY(QDir(m_folder->path()).isEmpty());

    if (operation == u"save") {
        QCOMPARE(saved->value, answered);
        const QStringList refused { u"DeviceConfig.save keychain write failed: OSStatus "_qs
            + QString::number(SystemCredentialStore::refusedWhileSecretStorePresent) };
        QCOMPARE(m_log, answered ? QStringList {} : refused);
    } else {
        QVERIFY(read->value);
        QCOMPARE(read->value->config, answered ? std::optional(m_before) : std::nullopt);
        // A dismissed prompt is not taken for "no link": the link may well be there.
        QCOMPARE(read->value->unavailable, !answered);
    }

    // What the keyring holds now, read with the prompt answered: a dismissed save left the earlier link alone.
    QVERIFY(m_prompter->setReply(Reply::Answer));
    const bool replaced = operation == u"save" && answered;
    QCOMPARE(await(DeviceConfig::load(*m_store)), replaced ? next : m_before);
}

// A prompt the user leaves open holds up only the operation that asked for it: timers and signals of the caller's
// thread are delivered, the store's other placement answers, and the save completes when the prompt is answered,
// however late.
void TestLockedKeyring::heldPromptHoldsNothingElseUp()
{
    QSignalSpy prompted(m_prompter.get(), &KeyringPrompter::prompted);
    int ticks = 0;
    QTimer ticker;
    ticker.setInterval(5);
    connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
    ticker.start();

    const DeviceConfig next { QUrl(u"https://other.example.com/"_qs), u"saved after a long prompt"_qs };
    auto saved = std::make_shared<Outcome<bool>>();
    saveInto(m_store, next, saved);
    QVERIFY(prompted.wait(waitMs));

    const int ticksAtPrompt = ticks;
    QTRY_VERIFY_WITH_TIMEOUT(ticks >= ticksAtPrompt + 20, waitMs);
    QObject source;
    bool delivered = false;
    connect(
        &source, &QObject::objectNameChanged, this, [&delivered] { delivered = true; }, Qt::QueuedConnection);
    source.setObjectName(u"meanwhile"_qs);
    QTRY_VERIFY_WITH_TIMEOUT(delivered, waitMs);
    const CredentialStore::Item fallback
        = await(m_store->copy(Placement::Fallback, DeviceConfig::service, DeviceConfig::account));
    QCOMPARE(fallback.status, CredentialStore::Item::Status::Missing);
    QVERIFY(!saved->done);
    QCOMPARE(m_prompter->held(), 1);

    QCOMPARE(m_prompter->release(Reply::Answer), 1);
    QTRY_VERIFY_WITH_TIMEOUT(saved->done, waitMs);
    QCOMPARE(saved->value, true);
    QCOMPARE(await(DeviceConfig::load(*m_store)), next);
}

QTEST_GUILESS_MAIN(TestLockedKeyring)
#include "test_lockedkeyring.moc"
