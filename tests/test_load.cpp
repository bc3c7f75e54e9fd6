// SPDX-License-Identifier: GPL-3.0-or-later
// The application state under load: a burst of sync requests from every source while a pass runs, and a long run
// of notification clicks each followed by a sync.

#include "accountserver.h"
#include "api/apiclient.h"
#include "cache/cachecontext.h"
#include "coro.h"
#include "loaddriver.h"
#include "objectcensus.h"
#include "scriptedclient.h"
#include "state/appstate.h"

#include <QNetworkAccessManager>
#include <QtTest>

using namespace tidewell;

namespace {

constexpr int slow = 30000; // ms; generous, for a loaded machine or a sanitizer build

} // namespace

class TestLoad : public QObject
{
    Q_OBJECT
private slots:
    void burstDuringAPassCostsOneMorePass();
    void clicksAndSyncsLeaveNothingBehind();
};

// The real client against a server on loopback, which counts the passes: the first pass is held on its first page
// while 1,000 requests arrive from the timer, the user, activation, foreground notifications and clicks.
void TestLoad::burstDuringAPassCostsOneMorePass()
{
    AccountServer server(3);
    server.holdFirstPage(std::chrono::seconds(1));
    QNetworkAccessManager network;
    auto client = std::make_shared<APIClient>(DeviceConfig { server.url(), u"secret"_qs }, &network);
    LoadDriver driver(client, std::chrono::milliseconds(50));
    AppState& state = driver.state();
    QSignalSpy syncing(&state, &AppState::isSyncingChanged);

    driver.request(LoadDriver::Source::Timer); // the pass the burst finds running
    QVERIFY(state.isSyncing());
    for (int i = 0; i < 1000; ++i)
        driver.request(LoadDriver::Source(i % LoadDriver::sourceCount), i % 3 + 1);

    QTRY_COMPARE_WITH_TIMEOUT(driver.returnedRequests(), driver.awaitedRequests(), slow);
    QTRY_VERIFY_WITH_TIMEOUT(!state.isSyncing(), slow);
    QCOMPARE(server.pageRequests().size(), 2); // the account fits in one page: one page request per pass
    QCOMPARE(server.appListRequests(), 2);
    QCOMPARE(syncing.size(), 4); // on and off once for each of the two passes
    QCOMPARE(state.cache().fetchMessages().size(), 3);
    QCOMPARE(state.lastSyncError(), std::nullopt);

    // No request is left pending: with the slot free, one more costs exactly one more pass.
    await(state.sync());
    QCOMPARE(server.pageRequests().size(), 3);
    QCOMPARE(server.appListRequests(), 3);
}

// Every QObject of the test's thread is counted after a warm-up and again after 10,000 more clicks and syncs, both
// times while the stream still runs (one more click's pass is under way), so that nothing has had a chance to
// unwind; a pass, awaiter, timer or pending deselection kept per click or per pass shows as a class that grew.
void TestLoad::clicksAndSyncsLeaveNothingBehind()
{
    auto client = std::make_shared<ScriptedClient>();
    client->suspends = true; // the click's pass is still running when the sync after it is asked for
    for (qint64 id = 1; id <= 3; ++id)
        client->addMessage(makeMessage(id, 1));
    client->serverApps = { AppInfo { 1, u"Backups"_qs, u"#336699"_qs, false } };
    ObjectCensus census;
    // Longer than the run: every click's deselection is still due at the end, so one kept per click would show.
    LoadDriver driver(client, std::chrono::minutes(10));
    AppState& state = driver.state();
    // Clicks go to the three messages in turn; answers the last one clicked.
    const auto clickAndSync = [&](int times) {
        qint64 messageId = 0;
        for (int i = 0; i < times; ++i) {
            messageId = i % 3 + 1;
            driver.clickThenSync(messageId);
            client->calls.clear();
        }
        // Each sync above returns once the pass that served it has ended; this click's pass is still running.
        driver.request(LoadDriver::Source::Click, messageId);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return messageId;
    };

    clickAndSync(100); // warm-up: the cache's statements, the first mark-read, the deselection timer
    QVERIFY(state.isSyncing());
    const ObjectCensus::Counts before = census.take();
    const qsizetype children = state.children().size();

    const qint64 lastClicked = clickAndSync(10000);
    QVERIFY(state.isSyncing());
    const QString grown = ObjectCensus::difference(before, census.take());
    QVERIFY2(grown.isEmpty(), qPrintable(u"live objects changed:\n"_qs + grown));
    QCOMPARE(state.children().size(), children);

    // When the stream stops, the state comes to rest with no pass left and everything read.
    QTRY_VERIFY_WITH_TIMEOUT(!state.isSyncing(), slow);
    QCOMPARE(census.take().value("tidewell::SyncPass"), 0);
    QCOMPARE(state.lastReadId(), 3);
    QCOMPARE(state.selectedMessageId(), std::optional<qint64>(lastClicked)); // its lifetime is not over
}

QTEST_GUILESS_MAIN(TestLoad)
#include "test_load.moc"
