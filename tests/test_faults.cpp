// SPDX-License-Identifier: GPL-3.0-or-later
// A sync against a server that misbehaves part-way: an error status, a connection dropped in the middle of a body,
// a body cut short or not JSON at all, a page that repeats, a server that never stops saying there is more, an
// answer slower than the client waits. Whatever the fault, the pages saved before it stay, nothing is stored
// twice, the user sees the failure's own line, and the next sync picks up from the highest cached id and ends
// with exactly the server's messages. The same holds when the cache itself fails, at any one of its statements.
#include "accountserver.h"
#include "api/apiclient.h"
#include "cache/sqlstatement.h"
#include "cache/store.h"
#include "coro.h"
#include "memorycredentialstore.h"
#include "messageids.h"
#include "state/appstate.h"
#include "sync/syncengine.h"

#include <QNetworkAccessManager>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace tidewell;
using Response = FakeServer::Response;

namespace {

constexpr qint64 accountSize = 1000; // five of the client's pages
constexpr auto clientTimeout = std::chrono::milliseconds(300);
const QString repeatedPage
    = u"Sync stopped because the server returned a repeated page. Try again after checking the server."_qs;

enum class Fault
{
    ServerError,
    DroppedMidBody,
    TruncatedJson,
    NotJson,
    RepeatedPage,
    MoreForever,
    SlowAnswer,
};

} // namespace

Q_DECLARE_METATYPE(Fault)

class TestFaults : public QObject
{
    Q_OBJECT

    // CTest runs these by name, in two parts (see tests/CMakeLists.txt): a new test function goes into one of them.
private slots:
    void init();
    void cleanup();
    void faultDuringSync_data();
    void faultDuringSync();
    void endlessServerStopsAtThePageCap();
    void everyCacheStepFailingInTurn();

private:
    std::unique_ptr<AppState> makeState(std::chrono::milliseconds timeout = clientTimeout);
    void expectInStepWithServer(AppState& state);

    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<AccountServer> m_server;
    std::unique_ptr<Preferences> m_prefs;
    MemoryCredentialStore m_credentials;
    QNetworkAccessManager m_network;
};

void TestFaults::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    m_server = std::make_unique<AccountServer>(accountSize);
    m_prefs = std::make_unique<Preferences>(m_folder->filePath(u"preferences.conf"_qs));
    m_credentials = MemoryCredentialStore();
    QVERIFY(
        (QCoro::waitFor(DeviceConfig { m_server->url(), u"device-secret-for-fault-tests"_qs }.save(m_credentials))));
}

void TestFaults::cleanup()
{
    m_server.reset();
    m_folder.reset();
}

std::unique_ptr<AppState> TestFaults::makeState(std::chrono::milliseconds timeout)
{
    AppState::Services services;
    services.network = &m_network;
    services.credentials = &m_credentials;
    services.preferences = m_prefs.get();
    const QString path = m_folder->filePath(u"cache.sqlite"_qs);
    services.openCache = [path](bool) { return Store::open(path); };
    services.makeClient = [network = &m_network, timeout](const DeviceConfig& config) {
        return std::make_shared<APIClient>(config, network, timeout);
    };
    return std::make_unique<AppState>(false, services);
}

void TestFaults::expectInStepWithServer(AppState& state)
{
    QVERIFY(state.syncEngine());
    const QList<CachedMessage> cached = state.syncEngine()->context().fetchMessages();
    QCOMPARE(ids(cached), range(1, m_server->messageCount()));
    for (const CachedMessage& message : cached) {
        if (message != AccountServer::message(message.id))
            QFAIL(qPrintable(u"message %1 differs from the server's"_qs.arg(message.id)));
    }
    QCOMPARE(state.syncEngine()->context().fetchApps(), AccountServer::apps());
}

void TestFaults::faultDuringSync_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<int>("faultyPage"); // the page request that misbehaves, from 1
    QTest::addColumn<qint64>("saved"); // messages cached when the failing pass ends
    QTest::addColumn<QString>("errorLine");

    QTest::newRow("500 on the third page") << Fault::ServerError << 3 << qint64(400) << u"Server returned HTTP 500"_qs;
    QTest::newRow("500 on the first page") << Fault::ServerError << 1 << qint64(0) << u"Server returned HTTP 500"_qs;
    QTest::newRow("connection dropped mid-body")
        << Fault::DroppedMidBody << 3 << qint64(400) << u"Connection closed"_qs;
    const QString notJson = u"The server's data could not be read: the body is not valid JSON (%1)"_qs;
    QTest::newRow("truncated JSON") << Fault::TruncatedJson << 4 << qint64(600)
                                    << notJson.arg(u"A string is opened, but never closed."_qs);
    QTest::newRow("body not JSON") << Fault::NotJson << 2 << qint64(200)
                                   << notJson.arg(u"The JSON document has an improper structure: missing or "
                                                  "superfluous commas, braces, missing keys, etc."_qs);
    QTest::newRow("a page repeats") << Fault::RepeatedPage << 3 << qint64(400) << repeatedPage;
    QTest::newRow("more forever") << Fault::MoreForever << 1 << accountSize << repeatedPage;
    QTest::newRow("answer slower than the time-out")
        << Fault::SlowAnswer << 5 << qint64(800) << u"The server did not answer within 0.3 seconds."_qs;
}

void TestFaults::faultDuringSync()
{
    QFETCH(Fault, fault);
    QFETCH(int, faultyPage);
    QFETCH(qint64, saved);
    QFETCH(QString, errorLine);

    AccountServer& server = *m_server;
    server.setPageHook([&server, fault, faultyPage](int n, qint64 since, qint64 limit) -> std::optional<Response> {
        if (fault == Fault::MoreForever) {
            Response response = server.page(since, limit);
            response.body.replace("\"has_more\":false", "\"has_more\":true");
            return response;
        }
        if (n != faultyPage)
            return std::nullopt;
        Response response = server.page(since, limit);
        switch (fault) {
        case Fault::ServerError:
            return Response::json(R"({"error":"internal"})", 500);
        case Fault::DroppedMidBody:
            response.fault = Response::Fault::CutBodyShort;
            return response;
        case Fault::TruncatedJson:
            response.body.truncate(response.body.size() / 2);
            return response;
        case Fault::NotJson: {
            Response html = Response::json("<html><body>502 Bad Gateway</body></html>");
            html.headers = { { "Content-Type", "text/html" } };
            return html;
        }
        case Fault::RepeatedPage:
            return server.page(server.pageRequests().at(n - 2), limit);
        case Fault::SlowAnswer:
            response.delay = std::chrono::seconds(2);
            return response;
        case Fault::MoreForever:
            break;
        }
        return std::nullopt;
    });

    auto state = makeState();
    await(state->sync());
    QCOMPARE(state->lastSyncError(), std::optional<QString>(errorLine));
    QVERIFY(!state->lastSyncDate());
    // Every page before the fault was saved, each message once, and nothing after it.
    const QList<CachedMessage> cached = state->syncEngine()->context().fetchMessages();
    QCOMPARE(ids(cached), range(1, saved));
    for (const CachedMessage& message : cached)
        QCOMPARE(message, AccountServer::message(message.id));
    // Applications are refreshed only after a complete pull.
    QVERIFY(state->syncEngine()->context().fetchApps().isEmpty());

    // The server mends; the next pass starts above the highest cached id and completes.
    server.setPageHook(nullptr);
    server.clearCounts();
    await(state->sync());
    QCOMPARE(state->lastSyncError(), std::nullopt);
    QVERIFY(state->lastSyncDate());
    QVERIFY(!server.pageRequests().isEmpty());
    QCOMPARE(server.pageRequests().first(), saved);
    expectInStepWithServer(*state);

    // The same data survives a restart: the file holds what the state showed.
    state.reset();
    auto reopened = makeState();
    expectInStepWithServer(*reopened);
}

void TestFaults::endlessServerStopsAtThePageCap()
{
    // Each page holds one new message and claims there is more, without end: the client stops after the page cap
    // instead of paging for ever, with everything it fetched saved.
    AccountServer& server = *m_server;
    server.setMessageCount(std::numeric_limits<qint64>::max() / 2);
    server.setPageHook([&server](int, qint64 since, qint64) { return std::optional<Response>(server.page(since, 1)); });

    auto state = makeState();
    await(state->sync());
    QCOMPARE(state->lastSyncError(), std::optional<QString>(repeatedPage));
    QCOMPARE(server.pageRequests().size(), SyncEngine::pageCap);
    QCOMPARE(ids(state->syncEngine()->context().fetchMessages()), range(1, SyncEngine::pageCap));

    server.setMessageCount(SyncEngine::pageCap + 150);
    server.setPageHook(nullptr);
    server.clearCounts();
    await(state->sync());
    QCOMPARE(state->lastSyncError(), std::nullopt);
    QCOMPARE(server.pageRequests(), QList<qint64> { SyncEngine::pageCap });
    expectInStepWithServer(*state);
}

void TestFaults::everyCacheStepFailingInTurn()
{
    // Two pages and a bit: every kind of write a pass makes, yet few enough steps to try each of them.
    constexpr qint64 messages = SyncEngine::pageSize * 2 + 10;
    constexpr int giveUpAfter = 5000;
    // Nothing here waits on the server's timing: a time-out no busy machine reaches, as this runs beside other tests.
    constexpr auto patientClient = std::chrono::seconds(60);
    struct ClearFault
    {
        ~ClearFault() { SqlStatement::setStepFault(nullptr); }
    } clearFault;

    for (int failing = 1;; ++failing) {
        QVERIFY2(failing < giveUpAfter, "a pass never ran out of steps");
        cleanup();
        init();
        m_server->setMessageCount(messages);
        auto state = makeState(patientClient);
        int steps = 0;
        SqlStatement::setStepFault([&steps, failing] { return ++steps == failing; });
        await(state->sync());
        SqlStatement::setStepFault(nullptr);
        const bool injected = steps >= failing;
        const QString context = u"step %1 failing"_qs.arg(failing);

        // Whatever was kept is the server's, each message once.
        const QList<CachedMessage> kept = state->syncEngine()->context().fetchMessages();
        for (const CachedMessage& message : kept)
            QVERIFY2(message == AccountServer::message(message.id), qPrintable(context));
        if (!injected) {
            QCOMPARE(state->lastSyncError(), std::nullopt);
            expectInStepWithServer(*state);
            break;
        }

        await(state->sync());
        QVERIFY2(!state->lastSyncError(), qPrintable(context + u": "_qs + state->lastSyncError().value_or(QString())));
        expectInStepWithServer(*state);
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(context));
        state.reset();
        auto reopened = makeState(patientClient);
        expectInStepWithServer(*reopened);
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(context + u", after reopening"_qs));
    }
}

QTEST_GUILESS_MAIN(TestFaults)
#include "test_faults.moc"
