// SPDX-License-Identifier: GPL-3.0-or-later
#include "coro.h"
#include "memorycredentialstore.h"
#include "notify/notificationhandler.h"
#include "scriptedclient.h"
#include "scriptedservices.h"
#include "state/appstate.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace tidewell;
using Placement = CredentialStore::Placement;

// An unlink revokes the device on the server; a store that will not let the item go must not bring the revoked
// device back at the next start.
class TestKeptCredential : public QObject
{
    Q_OBJECT
private slots:
    void unlinkHoldsAcrossARestart_data();
    void unlinkHoldsAcrossARestart();

private:
    std::unique_ptr<AppState> start(Preferences& prefs);

    MemoryCredentialStore m_credentials;
    std::shared_ptr<ScriptedClient> m_client = std::make_shared<ScriptedClient>();
    QNetworkAccessManager m_nam;
    NotificationHandler m_handler;
};

std::unique_ptr<AppState> TestKeptCredential::start(Preferences& prefs)
{
    AppState::Services services = scriptedServices(m_credentials, prefs, m_client);
    services.network = &m_nam;
    services.notifications = &m_handler;
    auto state = std::make_unique<AppState>(false, services);
    [&state] { QTRY_VERIFY(!state->isLoadingCredential()); }();
    return state;
}

void TestKeptCredential::unlinkHoldsAcrossARestart_data()
{
    QTest::addColumn<bool>("refusedAgain");
    QTest::newRow("removed at the next start") << false;
    QTest::newRow("refused at the next start too") << true;
}

void TestKeptCredential::unlinkHoldsAcrossARestart()
{
    QFETCH(bool, refusedAgain);
    QTemporaryDir folder;
    const QString prefsPath = folder.filePath(u"prefs.ini"_qs);
    Preferences prefs(prefsPath);
    m_credentials = MemoryCredentialStore();
    m_client = std::make_shared<ScriptedClient>();
    const DeviceConfig revoked { QUrl(u"https://push.example.com"_qs), u"the-revoked-secret"_qs };
    QVERIFY(await(revoked.save(m_credentials)));

    std::unique_ptr<AppState> state = start(prefs);
    QCOMPARE(state->config(), std::optional(revoked));
    m_credentials.failRemoves(Placement::Primary, true);
    QSignalSpy problem(state.get(), &AppState::credentialProblemChanged);
    await(state->unlink());
    QVERIFY(!state->isConfigured());
    QCOMPARE(m_client->count(u"revokeDevice"_qs), 1);
    QVERIFY(!m_credentials.items(Placement::Primary).isEmpty()); // the store kept it
    QCOMPARE(state->credentialProblem(), std::optional(AppState::Texts::credentialKeptAfterUnlink()));
    QCOMPARE(problem.size(), 1);
    prefs.file().sync();
    QFile written(prefsPath);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QVERIFY(!written.readAll().contains("the-revoked-secret"));
    state.reset();

    m_credentials.failRemoves(Placement::Primary, refusedAgain);
    state = start(prefs);
    QVERIFY(!state->isConfigured());
    QVERIFY(!state->credentialProblem()); // said once, when it happened
    if (refusedAgain) {
        QTRY_COMPARE(m_credentials.pending(), 0);
        QVERIFY(!m_credentials.items(Placement::Primary).isEmpty());
        state.reset();
        m_credentials.failRemoves(Placement::Primary, false);
        state = start(prefs);
        QVERIFY(!state->isConfigured());
    }
    QTRY_VERIFY(m_credentials.items(Placement::Primary).isEmpty());
    QTRY_VERIFY(!prefs.file().contains(u"unlinkedCredential"_qs));

    // Linking again afterwards is not held against the new credential.
    QVERIFY(await(state->configure(QUrl(u"https://push.example.com"_qs), u"a-new-secret"_qs)));
    state.reset();
    state = start(prefs);
    QCOMPARE(state->config().value_or(DeviceConfig {}).deviceSecret, u"a-new-secret"_qs);
}

QTEST_GUILESS_MAIN(TestKeptCredential)
#include "test_keptcredential.moc"
