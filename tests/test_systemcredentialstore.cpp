#include "account/deviceconfig.h"
#include "base/systemlog.h"
#include "platform/systemcredentialstore.h"

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
    std::optional<QByteArray> readSecret(const QString&, const QString&) override { return std::nullopt; }
    int writeSecret(const QString&, const QString&, const QByteArray&) override { return refusal; }
    void deleteSecret(const QString&, const QString&) override { }
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
    void noEventOfTheCallerRunsMeanwhile_data();
    void noEventOfTheCallerRunsMeanwhile();
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
    DeviceConfig::clear(store);

    const DeviceConfig config { QUrl(u"https://push.example.com"_qs), u"secret with spaces ✓"_qs };
    QVERIFY(config.save(store));
    QVERIFY(store.copy(Placement::Primary, DeviceConfig::service, DeviceConfig::account));
    QVERIFY(!QFileInfo::exists(store.fallbackPath(DeviceConfig::service, DeviceConfig::account)));
    QCOMPARE(DeviceConfig::load(store), config);

    const DeviceConfig second { QUrl(u"https://other.example.com/"_qs), u"two"_qs };
    QVERIFY(second.save(store));
    QCOMPARE(DeviceConfig::load(store), second);

    DeviceConfig::clear(store);
    QCOMPARE(DeviceConfig::load(store), std::nullopt);
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
    QCOMPARE(real.add(Placement::Fallback, DeviceConfig::service, DeviceConfig::account, "real"), 0);
    QCOMPARE(demo.add(Placement::Fallback, DeviceConfig::service, DeviceConfig::account, "demo"), 0);
    QCOMPARE(real.copy(Placement::Fallback, DeviceConfig::service, DeviceConfig::account), QByteArray("real"));
    demo.remove(Placement::Fallback, DeviceConfig::service, DeviceConfig::account);
    QCOMPARE(real.copy(Placement::Fallback, DeviceConfig::service, DeviceConfig::account), QByteArray("real"));

    if (!secretServiceRegistered())
        return; // the secret-store half needs the test script's keyring
    const DeviceConfig realLink { QUrl(u"https://real.example.com"_qs), u"real"_qs };
    const DeviceConfig demoLink { QUrl(u"http://127.0.0.1:9"_qs), u"demo"_qs };
    QVERIFY(realLink.save(real));
    QVERIFY(demoLink.save(demo));
    QCOMPARE(DeviceConfig::load(real), realLink);
    DeviceConfig::clear(demo);
    QCOMPARE(DeviceConfig::load(demo), std::nullopt);
    QCOMPARE(DeviceConfig::load(real), realLink);
    DeviceConfig::clear(real);
}

void TestSystemCredentialStore::noEventOfTheCallerRunsMeanwhile_data()
{
    QTest::addColumn<QString>("operation");
    QTest::newRow("load") << u"load"_qs;
    QTest::newRow("save") << u"save"_qs;
    QTest::newRow("clear") << u"clear"_qs;
}

// A timer or a queued call that runs inside a credential operation could start a sync in the middle of an unlink,
// or take a hand-over while the link is still being read.
void TestSystemCredentialStore::noEventOfTheCallerRunsMeanwhile()
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
    QVERIFY(config.save(store));

    bool timerRan = false;
    bool queuedRan = false;
    QTimer::singleShot(0, this, [&timerRan] { timerRan = true; });
    QMetaObject::invokeMethod(
        this, [&queuedRan] { queuedRan = true; }, Qt::QueuedConnection);
    if (operation == u"load")
        QCOMPARE(DeviceConfig::load(store), config);
    else if (operation == u"save")
        QVERIFY((DeviceConfig { QUrl(u"https://push.example.com"_qs), u"second"_qs }.save(store)));
    else
        DeviceConfig::clear(store);
    QVERIFY(!timerRan);
    QVERIFY(!queuedRan);

    // Both were due all along: they run as soon as the caller's loop turns again.
    QTRY_VERIFY(timerRan && queuedRan);
    if (operation == u"clear")
        QCOMPARE(DeviceConfig::load(store), std::nullopt);
    DeviceConfig::clear(store);
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

    QCOMPARE(config.save(store), saved);
    QCOMPARE(m_log, log);
    const std::optional<FileIdentity> file = identityOf(path);
    QCOMPARE(file.has_value(), saved);
    if (saved) {
        QCOMPARE(file->mode, mode_t(0600));
        QCOMPARE(DeviceConfig::load(store), config);
    } else {
        QVERIFY(QDir(folder.path()).isEmpty()); // not even the folder, nor a temporary file
        QCOMPARE(DeviceConfig::load(store), std::nullopt);
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
        QVERIFY(link.save(withoutStore));
    }
    RefusingSecretStore store(config, true);
    const QString path = store.fallbackPath(DeviceConfig::service, DeviceConfig::account);
    const std::optional<FileIdentity> before = identityOf(path);
    QVERIFY(before);

    for (int attempt = 0; attempt < 2; ++attempt) {
        QCOMPARE(DeviceConfig::load(store), link);
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
