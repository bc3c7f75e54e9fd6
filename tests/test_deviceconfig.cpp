// SPDX-License-Identifier: GPL-3.0-or-later
#include "account/deviceconfig.h"
#include "base/systemlog.h"
#include "memorycredentialstore.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using namespace tidewell;
using Placement = CredentialStore::Placement;

namespace {
const QString itemKey = u"com.quorvek.pushclient/device-config"_qs;

QJsonObject storedObject(const MemoryCredentialStore& store, Placement placement)
{
    return QJsonDocument::fromJson(store.items(placement).value(itemKey)).object();
}
} // namespace

class TestDeviceConfig : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void saveThenLoad();
    void loadRejects_data();
    void loadRejects();
    void fallbackItemIsMigrated();
    void fallbackStaysWhenPrimaryRefuses();
    void saveTwiceKeepsOneItem();
    void saveFallsBackAndClearsStalePrimary();
    void failedSaveKeepsPreviousItemAndLogs();
    void clearRemovesBoth();
    void defaultURLIsUsable();

private:
    QStringList m_log;
    SystemLog::Sink m_previousSink;
};

void TestDeviceConfig::init()
{
    m_log.clear();
    m_previousSink = SystemLog::setSink([this](const QString& line) { m_log.append(line); });
}

void TestDeviceConfig::cleanup()
{
    SystemLog::setSink(m_previousSink);
}

void TestDeviceConfig::saveThenLoad()
{
    MemoryCredentialStore store;
    const DeviceConfig config { QUrl(u"https://push.example.com:8443/"_qs), u"sec ret"_qs };
    QVERIFY(QCoro::waitFor(config.save(store)));
    QCOMPARE(store.items(Placement::Primary).size(), 1);
    QVERIFY(store.items(Placement::Fallback).isEmpty());
    const QJsonObject stored = storedObject(store, Placement::Primary);
    QCOMPARE(stored, (QJsonObject { { "url", "https://push.example.com:8443/" }, { "secret", "sec ret" } }));
    QVERIFY(!store.items(Placement::Primary).value(itemKey).contains('\n'));

    const auto loaded = QCoro::waitFor(DeviceConfig::load(store));
    QVERIFY(loaded);
    QCOMPARE(*loaded, config);
    QVERIFY(loaded->serverURL.toString().endsWith(u'/'));
    QVERIFY(m_log.isEmpty());
}

void TestDeviceConfig::loadRejects_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("no secret") << QByteArray(R"({"url":"https://a.example"})");
    QTest::newRow("no url") << QByteArray(R"({"secret":"x"})");
    QTest::newRow("url does not parse") << QByteArray(R"({"url":"http://exa mple.com","secret":"x"})");
    QTest::newRow("empty url") << QByteArray(R"({"url":"","secret":"x"})");
    QTest::newRow("non-string member") << QByteArray(R"({"url":"https://a.example","secret":"x","v":2})");
    QTest::newRow("not JSON") << QByteArray("url=https://a.example");
    QTest::newRow("array") << QByteArray(R"(["https://a.example","x"])");
}

// A bad primary item loads as nothing, and the fallback placement is consulted in its place.
void TestDeviceConfig::loadRejects()
{
    QFETCH(QByteArray, data);
    MemoryCredentialStore store;
    store.put(Placement::Primary, data);
    QCOMPARE(QCoro::waitFor(DeviceConfig::load(store)), std::nullopt);

    store.put(Placement::Fallback, R"({"url":"https://b.example","secret":"fallback","note":"extra"})");
    const auto loaded = QCoro::waitFor(DeviceConfig::load(store));
    QVERIFY(loaded);
    QCOMPARE(loaded->deviceSecret, u"fallback"_qs);
}

void TestDeviceConfig::fallbackItemIsMigrated()
{
    MemoryCredentialStore store;
    store.put(Placement::Fallback, R"({"url":"https://b.example","secret":"old"})");
    const auto loaded = QCoro::waitFor(DeviceConfig::load(store));
    QCOMPARE(loaded, (DeviceConfig { QUrl(u"https://b.example"_qs), u"old"_qs }));
    QVERIFY(store.items(Placement::Fallback).isEmpty());
    QCOMPARE(storedObject(store, Placement::Primary).value("secret").toString(), u"old"_qs);
    QCOMPARE(QCoro::waitFor(DeviceConfig::load(store)), loaded);
}

void TestDeviceConfig::fallbackStaysWhenPrimaryRefuses()
{
    MemoryCredentialStore store;
    store.failAdds(Placement::Primary, -25308);
    store.put(Placement::Fallback, R"({"url":"https://b.example","secret":"old"})");
    QVERIFY(QCoro::waitFor(DeviceConfig::load(store)));
    QCOMPARE(store.items(Placement::Fallback).size(), 1);
    QVERIFY(store.items(Placement::Primary).isEmpty());
}

void TestDeviceConfig::saveTwiceKeepsOneItem()
{
    MemoryCredentialStore store;
    QVERIFY((QCoro::waitFor(DeviceConfig { QUrl(u"https://a.example"_qs), u"one"_qs }.save(store))));
    QVERIFY((QCoro::waitFor(DeviceConfig { QUrl(u"https://a.example"_qs), u"two"_qs }.save(store))));
    QCOMPARE(store.items(Placement::Primary).size() + store.items(Placement::Fallback).size(), 1);
    QCOMPARE(QCoro::waitFor(DeviceConfig::load(store))->deviceSecret, u"two"_qs);
}

void TestDeviceConfig::saveFallsBackAndClearsStalePrimary()
{
    MemoryCredentialStore store;
    QVERIFY((QCoro::waitFor(DeviceConfig { QUrl(u"https://a.example"_qs), u"one"_qs }.save(store))));
    store.failAdds(Placement::Primary, 5);
    QVERIFY((QCoro::waitFor(DeviceConfig { QUrl(u"https://a.example"_qs), u"two"_qs }.save(store))));
    QVERIFY(store.items(Placement::Primary).isEmpty());
    QCOMPARE(storedObject(store, Placement::Fallback).value("secret").toString(), u"two"_qs);
    QCOMPARE(QCoro::waitFor(DeviceConfig::load(store))->deviceSecret, u"two"_qs);
    QVERIFY(m_log.isEmpty());
}

void TestDeviceConfig::failedSaveKeepsPreviousItemAndLogs()
{
    MemoryCredentialStore store;
    const DeviceConfig previous { QUrl(u"https://a.example"_qs), u"kept"_qs };
    QVERIFY(QCoro::waitFor(previous.save(store)));
    store.failAdds(Placement::Primary, 7);
    store.failAdds(Placement::Fallback, -34);

    QVERIFY(!(QCoro::waitFor(DeviceConfig { QUrl(u"https://b.example"_qs), u"new"_qs }.save(store))));
    QCOMPARE(m_log, QStringList { u"DeviceConfig.save keychain write failed: OSStatus -34"_qs });
    QCOMPARE(QCoro::waitFor(DeviceConfig::load(store)), previous);
}

void TestDeviceConfig::clearRemovesBoth()
{
    MemoryCredentialStore store;
    QCoro::waitFor(DeviceConfig::clear(store)); // nothing stored: nothing happens
    store.put(Placement::Primary, R"({"url":"https://a.example","secret":"p"})");
    store.put(Placement::Fallback, R"({"url":"https://a.example","secret":"f"})");
    QCoro::waitFor(DeviceConfig::clear(store));
    QVERIFY(store.items(Placement::Primary).isEmpty());
    QVERIFY(store.items(Placement::Fallback).isEmpty());
    QCOMPARE(QCoro::waitFor(DeviceConfig::load(store)), std::nullopt);
    QVERIFY(m_log.isEmpty());
}

void TestDeviceConfig::defaultURLIsUsable()
{
    const QUrl& url = tidewellDefaultURL();
    QVERIFY(url.isValid());
    QVERIFY(!url.host().isEmpty());
    QVERIFY(url.scheme() == u"https" || url.scheme() == u"http");
    QCOMPARE(&tidewellDefaultURL(), &url);
}

QTEST_GUILESS_MAIN(TestDeviceConfig)
#include "test_deviceconfig.moc"
