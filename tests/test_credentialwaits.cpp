// SPDX-License-Identifier: GPL-3.0-or-later
#include "cache/store.h"
#include "coro.h"
#include "memorycredentialstore.h"
#include "notify/notificationhandler.h"
#include "scriptedclient.h"
#include "scriptedservices.h"
#include "state/appstate.h"
#include "storeditem.h"

#include <QNetworkAccessManager>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace tidewell;
using namespace std::chrono_literals;
using Placement = CredentialStore::Placement;

// A credential store may take as long as its user takes to answer an unlock prompt, or never answer. Meanwhile the
// state goes on showing what is cached, and whatever else happens, the credential stored at the end is the one
// installed.
class TestCredentialWaits : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void startGoesOnWhileTheCredentialLoads();
    void unreadableStoreSaysWhy();
    void saveThatOutlastsItsBoundFailsThenLinksWhenItLands();
    void eventsDuringAHeldSaveEndConsistent_data();
    void eventsDuringAHeldSaveEndConsistent();
    void linkMadeWhileTheStartUpReadHangsWins();
    void shutDownDoesNotWaitForTheStore();

private:
    std::unique_ptr<AppState> makeState();
    std::optional<DeviceConfig> stored() { return QCoro::waitFor(DeviceConfig::load(m_credentials)); }

    const DeviceConfig m_first { QUrl(u"https://first.example.com"_qs), u"first-secret"_qs };
    const DeviceConfig m_second { QUrl(u"https://second.example.com"_qs), u"second-secret"_qs };
    QTemporaryDir m_folder;
    std::unique_ptr<Preferences> m_prefs;
    MemoryCredentialStore m_credentials;
    std::shared_ptr<ScriptedClient> m_client;
    QNetworkAccessManager m_nam;
    NotificationHandler m_handler;
};

void TestCredentialWaits::init()
{
    m_prefs = std::make_unique<Preferences>(m_folder.filePath(QUuid::createUuid().toString(QUuid::WithoutBraces)));
    m_credentials = MemoryCredentialStore();
    m_client = std::make_shared<ScriptedClient>();
    for (qint64 id = 1; id <= 3; ++id)
        m_client->addMessage(makeMessage(id, 1));
}

// Whatever a test left held goes on, so that no operation is left suspended on a store that is going away.
void TestCredentialWaits::cleanup()
{
    m_credentials.release();
    QTRY_COMPARE(m_credentials.pending(), 0);
}

std::unique_ptr<AppState> TestCredentialWaits::makeState()
{
    AppState::Services services = scriptedServices(m_credentials, *m_prefs, m_client);
    services.network = &m_nam;
    services.notifications = &m_handler;
    services.credentialBounds = CredentialBounds { 100ms, 300ms };
    return std::make_unique<AppState>(false, services);
}

void TestCredentialWaits::startGoesOnWhileTheCredentialLoads()
{
    QVERIFY(QCoro::waitFor(m_first.save(m_credentials)));
    m_credentials.hold();
    auto state = makeState();
    QSignalSpy loaded(state.get(), &AppState::credentialLoaded);

    // Constructed while the read waits: nothing installed yet, and nothing to complain of either.
    QVERIFY(state->isLoadingCredential());
    QVERIFY(!state->isConfigured());
    QCOMPARE(state->credentialProblem(), std::nullopt);

    // Past the bound it says why, and keeps waiting.
    QTRY_COMPARE(state->credentialProblem(), std::optional(AppState::Texts::credentialNotAnswering()));
    QVERIFY(state->isLoadingCredential());
    QCOMPARE(loaded.count(), 0);

    // The answer, however late, links.
    m_credentials.release();
    QTRY_COMPARE(loaded.count(), 1);
    QCOMPARE(state->config(), m_first);
    QVERIFY(!state->isLoadingCredential());
    QCOMPARE(state->credentialProblem(), std::nullopt);
    state->startSync();
    QTRY_COMPARE(state->cache().fetchMessages().size(), 3);
}

void TestCredentialWaits::unreadableStoreSaysWhy()
{
    QVERIFY(QCoro::waitFor(m_first.save(m_credentials)));
    m_credentials.failReads(Placement::Primary, true);
    auto state = makeState();
    QVERIFY(!state->isConfigured());
    QVERIFY(!state->isLoadingCredential());
    QCOMPARE(state->credentialProblem(), std::optional(AppState::Texts::credentialUnreadable()));
    // Nothing was written over the item that could not be read.
    m_credentials.failReads(Placement::Primary, false);
    QCOMPARE(stored(), m_first);
}

// A prompt nobody answers: the link fails with the usual words after the bound. When the store takes the credential
// after all, it is installed, since nothing else was meanwhile.
void TestCredentialWaits::saveThatOutlastsItsBoundFailsThenLinksWhenItLands()
{
    auto state = makeState();
    QVERIFY(!state->isConfigured());
    m_credentials.hold();
    QSignalSpy linked(state.get(), &AppState::onLinked);
    QCOMPARE(await(state->configure(m_first.serverURL, m_first.deviceSecret)), false);
    QCOMPARE(state->lastSyncError(), std::optional(AppState::Texts::credentialNotSaved()));
    QVERIFY(!state->isConfigured());

    m_credentials.release();
    QTRY_COMPARE(linked.count(), 1);
    QCOMPARE(state->config(), m_first);
    QCOMPARE(stored(), m_first);
    QTRY_COMPARE(state->cache().fetchMessages().size(), 3);
    QTRY_COMPARE(state->lastSyncError(), std::nullopt);
}

void TestCredentialWaits::eventsDuringAHeldSaveEndConsistent_data()
{
    QTest::addColumn<QString>("event");
    QTest::addColumn<bool>("answeredInTime");
    for (const bool inTime : { true, false }) {
        const char* when = inTime ? "answered in time" : "answered late";
        for (const char* event : { "second link", "unlink", "sync", "tap" })
            QTest::addRow("%s, %s", event, when) << QString::fromLatin1(event) << inTime;
    }
}

// Linked to `first`; a save of `second` waits on the store while something else happens. However the store answers
// and in whatever order, the end is one consistent state: the stored credential is the installed one.
void TestCredentialWaits::eventsDuringAHeldSaveEndConsistent()
{
    QFETCH(QString, event);
    QFETCH(bool, answeredInTime);
    auto state = makeState();
    QVERIFY(await(state->configure(m_first.serverURL, m_first.deviceSecret)));
    QTRY_VERIFY(!state->isSyncing());

    m_credentials.hold();
    QCoro::Task<bool> saving = state->configure(m_second.serverURL, m_second.deviceSecret);
    std::optional<QCoro::Task<bool>> secondLink;
    std::optional<QCoro::Task<>> unlinking;
    const DeviceConfig third { QUrl(u"https://third.example.com"_qs), u"third-secret"_qs };
    if (event == u"second link")
        secondLink.emplace(state->configure(third.serverURL, third.deviceSecret));
    else if (event == u"unlink")
        unlinking.emplace(state->unlink());
    else if (event == u"sync")
        state->startSync();
    else
        state->handleNotificationTap(2, 1);

    if (!answeredInTime)
        QTRY_VERIFY_WITH_TIMEOUT(saving.isReady(), 5000); // failed at the bound, still held
    m_credentials.release();
    QTRY_VERIFY(saving.isReady());
    QTRY_VERIFY(!secondLink || secondLink->isReady());
    QTRY_VERIFY(!unlinking || unlinking->isReady());
    QTRY_COMPARE(m_credentials.pending(), 0);
    QTRY_VERIFY(!state->isSyncing());

    QCOMPARE(stored(), state->config());
    // The later link wins; an unlink of the first account gives way to a link that went in before it, but not to
    // one that had already failed; a sync or a tap changes nothing, and a save that lands late links after all.
    if (event == u"second link")
        QCOMPARE(state->config(), third);
    else if (event == u"unlink")
        QCOMPARE(state->config(), answeredInTime ? std::optional(m_second) : std::nullopt);
    else
        QCOMPARE(state->config(), m_second);
}

// The keyring never answers the start-up read, but the user links meanwhile: that link goes in once the read has
// given up its turn, and a read answering later does not undo it.
void TestCredentialWaits::linkMadeWhileTheStartUpReadHangsWins()
{
    QVERIFY(QCoro::waitFor(m_first.save(m_credentials)));
    m_credentials.hold();
    auto state = makeState();
    QCoro::Task<bool> linking = state->configure(m_second.serverURL, m_second.deviceSecret);
    // The link's own save waits on the held store too; it is let through once the read has given up its turn.
    QTRY_VERIFY(state->credentialProblem().has_value());
    m_credentials.release();
    QTRY_VERIFY(linking.isReady());
    QTRY_COMPARE(m_credentials.pending(), 0);
    QCOMPARE(state->config(), m_second);
    QCOMPARE(stored(), m_second);
}

void TestCredentialWaits::shutDownDoesNotWaitForTheStore()
{
    auto state = makeState();
    m_credentials.hold();
    QCoro::Task<bool> linking = state->configure(m_first.serverURL, m_first.deviceSecret);
    QCoro::Task<> closing = state->shutDown();
    QTRY_VERIFY_WITH_TIMEOUT(closing.isReady(), 1000);
    QVERIFY(!linking.isReady() || !QCoro::waitFor(std::move(linking)));
}

QTEST_GUILESS_MAIN(TestCredentialWaits)
#include "test_credentialwaits.moc"
