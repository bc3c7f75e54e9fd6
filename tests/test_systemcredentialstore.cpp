#include "account/deviceconfig.h"
#include "systemcredentialstore.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using namespace tidewell;
using Placement = CredentialStore::Placement;

// The real placements: the Secret Service on the session bus (the test script starts an unlocked keyring on a
// private bus) and the private fallback file, whose privacy and whole replacement test_secrets covers.
class TestSystemCredentialStore : public QObject
{
    Q_OBJECT
private slots:
    void secretStoreRoundTrip();
    void profilesKeepSeparateItems();
};

void TestSystemCredentialStore::secretStoreRoundTrip()
{
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    if (!bus || !bus->isServiceRegistered(u"org.freedesktop.secrets"_qs).value()) {
        if (qEnvironmentVariableIsSet("TIDEWELL_REQUIRE_SECRET_SERVICE"))
            QFAIL("no Secret Service on the session bus");
        QSKIP("no Secret Service on the session bus; scripts/test provides one");
    }
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
    SystemCredentialStore real(folder.path());
    SystemCredentialStore demo(folder.path(), u"demo"_qs);
    QVERIFY(real.fallbackPath(DeviceConfig::service, DeviceConfig::account)
        != demo.fallbackPath(DeviceConfig::service, DeviceConfig::account));
    QCOMPARE(real.add(Placement::Fallback, DeviceConfig::service, DeviceConfig::account, "real"), 0);
    QCOMPARE(demo.add(Placement::Fallback, DeviceConfig::service, DeviceConfig::account, "demo"), 0);
    QCOMPARE(real.copy(Placement::Fallback, DeviceConfig::service, DeviceConfig::account), QByteArray("real"));
    demo.remove(Placement::Fallback, DeviceConfig::service, DeviceConfig::account);
    QCOMPARE(real.copy(Placement::Fallback, DeviceConfig::service, DeviceConfig::account), QByteArray("real"));

    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    if (!bus || !bus->isServiceRegistered(u"org.freedesktop.secrets"_qs).value())
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

QTEST_GUILESS_MAIN(TestSystemCredentialStore)
#include "test_systemcredentialstore.moc"
