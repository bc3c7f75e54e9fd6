// SPDX-License-Identifier: GPL-3.0-or-later
#include "account/deviceconfig.h"
#include "base/systemlog.h"
#include "platform/systemcredentialstore.h"
#include "storeditem.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>

using namespace tidewell;
using Placement = CredentialStore::Placement;

namespace {

bool secretServiceRegistered()
{
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    return bus && bus->isServiceRegistered(u"org.freedesktop.secrets"_qs).value();
}

// A secret store that refuses every write and holds nothing, as a locked keyring does once its unlock prompt is
// dismissed; whether a store is on the bus at all is the test's to say.
class RefusingSecretStore : public SystemCredentialStore
{
public:
    static constexpr int refusal = 4; // what QtKeychain reports when the user denies access

    RefusingSecretStore(const QString& folder, bool storePresent)
        : SystemCredentialStore(folder, {}, [storePresent] { return storePresent; })
    { }

protected:
    QCoro::Task<Item> readSecret(QString, QString) override { co_return Item { Item::Status::Missing, {} }; }
    QCoro::Task<int> writeSecret(QString, QString, QByteArray) override { co_return refusal; }
    QCoro::Task<bool> deleteSecret(QString, QString) override { co_return true; }
};

struct FileIdentity
{
    ino_t inode = 0;
    mode_t mode = 0;
};

std::optional<FileIdentity> identityOf(const QString& path)
{
    struct stat status
    { };
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return FileIdentity { status.st_ino, mode_t(status.st_mode & 07777) };
}

} // namespace

// The real placements: the Secret Service on the session bus (the test script starts an unlocked keyring on a
// private bus) and the private fallback file, whose privacy and whole replacement test_secrets covers.
class TestSystemCredentialStore : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void secretStoreRoundTrip();
    void profilesKeepSeparateItems();
    void callerGoesOnWhileTheStoreWorks_data();
    void callerGoesOnWhileTheStoreWorks();
    void fileOnlyWithoutASecretStore_data();
    void fileOnlyWithoutASecretStore();
    void fallbackFileStillLoadsWhileTheStoreRefuses();

private:
    QStringList m_log;
    SystemLog::Sink m_previousSink;
};

void TestSystemCredentialStore::init()
{
    m_log.clear();
    m_previousSink = SystemLog::setSink([this](const QString& line) { m_log.append(line); });
}

void TestSystemCredentialStore::cleanup()
{
    SystemLog::setSink(m_previousSink);
}

void TestSystemCredentialStore::secretStoreRoundTrip()
{
    if (!secretServiceRegistered()) {
        if (qEnvironmentVariableIsSet("TIDEWELL_REQUIRE_SECRET_SERVICE"))
            QFAIL("no Secret Service on the session bus");
        QSKIP("no Secret Service on the session bus; scripts/test provides one");
    }
    QVERIFY(SystemCredentialStore::secretStoreOnSessionBus());
    QTemporaryDir folder;
    SystemCredentialStore store(folder.path());
    QCoro::waitFor(DeviceConfig::clear(store));

    const DeviceConfig config { QUrl(u"https://push.example.com"_qs), u"secret with spaces ✓"_qs };
    QVERIFY(QCoro::waitFor(config.save(store)));
    QVERIFY(storedItem(store, Placement::Primary));
    QVERIFY(!QFileInfo::exists(store.fallbackPath(DeviceConfig::service, DeviceConfig::account)));
    QCOMPARE(QCoro::waitFor(DeviceConfig::load(store)), config);

    const DeviceConfig second { QUrl(u"https://other.example.com/"_qs), u"two"_qs };
    QVERIFY(QCoro::waitFor(second.save(store)));
    QCOMPARE(QCoro::waitFor(DeviceConfig::load(store)), second);

    QCoro::waitFor(DeviceConfig::clear(store));
    QCOMPARE(QCoro::waitFor(DeviceConfig::load(store)), std::nullopt);
}

// The demo profile must never read or replace the real link.
void TestSystemCredentialStore::profilesKeepSeparateItems()
{
    QTemporaryDir folder;
    // Told that no secret store is on the bus, so that the file half can be checked beside a running keyring.
    const auto noStore = [] { return false; };
    SystemCredentialStore real(folder.path(), {}, noStore);
    SystemCredentialStore demo(folder.path(), u"demo"_qs, noStore);
    QVERIFY(real.fallbackPath(DeviceConfig::service, DeviceConfig::account)
        != demo.fallbackPath(DeviceConfig::service, DeviceConfig::account));
    QCOMPARE(addItem(real, Placement::Fallback, "real"), 0);
    QCOMPARE(addItem(demo, Placement::Fallback, "demo"), 0);
    QCOMPARE(storedItem(real, Placement::Fallback), QByteArray("real"));
    removeItem(demo, Placement::Fallback);
    QCOMPARE(storedItem(real, Placement::Fallback), QByteArray("real"));

    if (!secretServiceRegistered())
        return; // the secret-store half needs the test script's keyring
    const DeviceConfig realLink { QUrl(u"https://real.example.com"_qs), u"real"_qs };
    const DeviceConfig demoLink { QUrl(u"http://127.0.0.1:9"_qs), u"demo"_qs };
    QVERIFY(QCoro::waitFor(realLink.save(real)));
    QVERIFY(QCoro::waitFor(demoLink.save(demo)));
    QCOMPARE(QCoro::waitFor(DeviceConfig::load(real)), realLink);
    QCoro::waitFor(DeviceConfig::clear(demo));
    QCOMPARE(QCoro::waitFor(DeviceConfig::load(demo)), std::nullopt);
    QCOMPARE(QCoro::waitFor(DeviceConfig::load(real)), realLink);
    QCoro::waitFor(DeviceConfig::clear(real));
}

void TestSystemCredentialStore::callerGoesOnWhileTheStoreWorks_data()
{
    QTest::addColumn<QString>("operation");
    QTest::newRow("load") << u"load"_qs;
    QTest::newRow("save") << u"save"_qs;
    QTest::newRow("clear") << u"clear"_qs;
}

// The store answers on its own thread; the caller gets control back at once and its events (a repaint, a
// hand-over, SIGTERM) run while the operation waits, which a keyring that asks the user may make long.
void TestSystemCredentialStore::callerGoesOnWhileTheStoreWorks()
{
    QFETCH(QString, operation);
    if (!secretServiceRegistered()) {
        if (qEnvironmentVariableIsSet("TIDEWELL_REQUIRE_SECRET_SERVICE"))
            QFAIL("no Secret Service on the session bus");
        QSKIP("no Secret Service on the session bus; scripts/test provides one");
    }
    QTemporaryDir folder;
    SystemCredentialStore store(folder.path(), u"events"_qs);
    const DeviceConfig config { QUrl(u"https://push.example.com"_qs), u"event"_qs };
    QVERIFY(QCoro::waitFor(config.save(store)));

    const DeviceConfig second { QUrl(u"https://push.example.com"_qs), u"second"_qs };
    QCoro::Task<std::optional<DeviceConfig>> loading;
    QCoro::Task<bool> saving;
    QCoro::Task<bool> clearing;
    const auto pending = [&] {
        if (operation == u"load")
            return !loading.isReady();
        return operation == u"save" ? !saving.isReady() : !clearing.isReady();
    };
    if (operation == u"load")
        loading = DeviceConfig::load(store);
    else if (operation == u"save")
        saving = second.save(store);
    else
        clearing = DeviceConfig::clear(store);
    QVERIFY(pending()); // back before the store has answered

    bool timerRan = false;
    QTimer::singleShot(0, this, [&timerRan] { timerRan = true; });
    QTRY_VERIFY(timerRan);
    QTRY_VERIFY(!pending());
    if (operation == u"load")
        QCOMPARE(QCoro::waitFor(std::move(loading)), config);
    else if (operation == u"save")
        QVERIFY(QCoro::waitFor(std::move(saving)));
    else
        QVERIFY(QCoro::waitFor(std::move(clearing)));
    QCOMPARE(QCoro::waitFor(DeviceConfig::load(store)),
        operation == u"clear" ? std::nullopt : std::optional<DeviceConfig>(operation == u"save" ? second : config));
    QCoro::waitFor(DeviceConfig::clear(store));
}

void TestSystemCredentialStore::fileOnlyWithoutASecretStore_data()
{
    QTest::addColumn<bool>("storePresent");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<QStringList>("log");

    QTest::newRow("store on the bus refuses")
        << true << false
        << QStringList { u"DeviceConfig.save keychain write failed: OSStatus "_qs
               + QString::number(SystemCredentialStore::refusedWhileSecretStorePresent) };
    QTest::newRow("no store on the bus") << false << true << QStringList {};
}

// The file is for machines without a secret store; a store that refuses must not see the secret land beside it.
void TestSystemCredentialStore::fileOnlyWithoutASecretStore()
{
    QFETCH(bool, storePresent);
    QFETCH(bool, saved);
    QFETCH(QStringList, log);
    QTemporaryDir folder;
    RefusingSecretStore store(folder.path() + u"/config"_qs, storePresent);
    const QString path = store.fallbackPath(DeviceConfig::service, DeviceConfig::account);
    const DeviceConfig config { QUrl(u"https://push.example.com"_qs), u"secret"_qs };

    QCOMPARE(QCoro::waitFor(config.save(store)), saved);
    QCOMPARE(m_log, log);
    const std::optional<FileIdentity> file = identityOf(path);
    QCOMPARE(file.has_value(), saved);
    if (saved) {
        QCOMPARE(file->mode, mode_t(0600));
        QCOMPARE(QCoro::waitFor(DeviceConfig::load(store)), config);
    } else {
        QVERIFY(QDir(folder.path()).isEmpty()); // not even the folder, nor a temporary file
        QCOMPARE(QCoro::waitFor(DeviceConfig::load(store)), std::nullopt);
    }
}

// A link kept in the file from before still loads while the store refuses to take it over, and the file is left
// as it was rather than written again.
void TestSystemCredentialStore::fallbackFileStillLoadsWhileTheStoreRefuses()
{
    QTemporaryDir folder;
    const QString config = folder.path() + u"/config"_qs;
    const DeviceConfig link { QUrl(u"https://push.example.com/"_qs), u"kept"_qs };
    {
        RefusingSecretStore withoutStore(config, false);
        QVERIFY(QCoro::waitFor(link.save(withoutStore)));
    }
    RefusingSecretStore store(config, true);
    const QString path = store.fallbackPath(DeviceConfig::service, DeviceConfig::account);
    const std::optional<FileIdentity> before = identityOf(path);
    QVERIFY(before);

    for (int attempt = 0; attempt < 2; ++attempt) {
        QCOMPARE(QCoro::waitFor(DeviceConfig::load(store)), link);
        const std::optional<FileIdentity> after = identityOf(path);
        QVERIFY(after);
        QCOMPARE(after->inode, before->inode); // a rewrite would have renamed a new file over it
        QCOMPARE(after->mode, mode_t(0600));
    }
    // Each attempt to move it into the store failed, and said so.
    const QString refused = u"DeviceConfig.save keychain write failed: OSStatus "_qs
        + QString::number(SystemCredentialStore::refusedWhileSecretStorePresent);
    QCOMPARE(m_log, QStringList(2, refused));
}

QTEST_GUILESS_MAIN(TestSystemCredentialStore)
#include "test_systemcredentialstore.moc"
