// SPDX-License-Identifier: GPL-3.0-or-later
#include "account/browserlinkflow.h"
#include "api/apiclient.h"
#include "base/cancellederror.h"
#include "cache/store.h"
#include "coro.h"
#include "fakenotificationcentre.h"
#include "fakeserver.h"
#include "memorycredentialstore.h"
#include "notify/notificationhandler.h"
#include "notify/taprouting.h"
#include "scriptedclient.h"
#include "scriptedservices.h"
#include "services/badge.h"
#include "state/appstate.h"

#include <QNetworkAccessManager>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace tidewell;
using Response = FakeServer::Response;

namespace {

// A link server: /api/link answers with `code` and `expiresIn`; /api/link/poll first serves `pollFaults`, then
// answers from `pollAnswers` in turn and then keeps giving the last one.
struct LinkServer
{
    FakeServer http;
    QByteArray code = "K7MX3Q";
    QByteArray expiresIn = "600";
    QList<Response> pollFaults;
    QList<QByteArray> pollAnswers { R"({"status":"pending"})" };
    int startStatus = 200;

    LinkServer()
    {
        http.setHandler([this](const FakeServer::Request& request) {
            if (request.target == "/api/link") {
                return Response::json(
                    R"({"code":")" + code + R"(","poll_token":"pt-1","expires_in":)" + expiresIn + "}", startStatus);
            }
            if (request.target == "/api/link/poll" && !pollFaults.isEmpty())
                return pollFaults.takeFirst();
            if (request.target == "/api/link/poll")
                return Response::json(pollAnswers.size() > 1 ? pollAnswers.takeFirst() : pollAnswers.first());
            return Response::empty(404);
        });
    }

    int polls() const
    {
        return int(std::count_if(http.requests().begin(), http.requests().end(),
            [](const FakeServer::Request& r) { return r.target == "/api/link/poll"; }));
    }
};

// A scripted server that also tells how its page requests ended, so that a test can see whether a sync pass was
// stopped and whether it had finished by a given moment.
class TrackedClient : public ScriptedClient
{
public:
    int pagesInFlight = 0;
    int pagesCancelled = 0;

    QCoro::Task<SyncResponse> messages(qint64 since, qint64 limit, std::stop_token stop = {}) override
    {
        ++pagesInFlight;
        try {
            SyncResponse page = co_await ScriptedClient::messages(since, limit, stop);
            --pagesInFlight;
            co_return page;
        } catch (const CancelledError&) {
            --pagesInFlight;
            ++pagesCancelled;
            throw;
        }
    }
};

// Installs `config` and notes, at the moment configure answers, whether `previous` still had a page in flight.
QCoro::Task<> configureObservingPass(
    AppState* state, DeviceConfig config, std::shared_ptr<TrackedClient> previous, bool* answered, bool* passWasOver)
{
    const bool saved = co_await state->configure(config.serverURL, config.deviceSecret);
    *passWasOver = previous->pagesInFlight == 0;
    *answered = saved;
}

} // namespace

Q_DECLARE_METATYPE(FakeServer::Response)

class TestLinkFlow : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void approvedForAnotherAccount();
    void approvedForTheSameAccount();
    void endsInFailure_data();
    void endsInFailure();
    void pollFailuresAreRetried_data();
    void pollFailuresAreRetried();
    void deadlineIsExpiresInSeconds();
    void anotherAccountStopsAndAwaitsTheRunningPass();
    void unsavedCredentialFailsTheFlow();
    void cancelDuringPolling();
    void secondBeginOverridesTheFirst();
    void linkURLWaitsForConfirmation();
    void linkConfirmedDuringASlowUnlinkStays();
    void tapSelectsAndMarksRead();
    void tapWithoutApplicationKeepsTheSelection();
    void pushToken();
    void notificationWiring();
    void flowHandsTheApprovedCredentialOn_data();
    void flowHandsTheApprovedCredentialOn();
    void tapRoutingOrderAndLifetime();

private:
    using MakeClient = std::function<std::shared_ptr<APIClientProtocol>(const DeviceConfig&)>;
    std::unique_ptr<AppState> makeState(
        std::chrono::milliseconds pollInterval = std::chrono::milliseconds(20), MakeClient makeClient = {});
    void link(AppState& state, const DeviceConfig& config);

    QTemporaryDir m_folder;
    std::unique_ptr<Preferences> m_prefs;
    MemoryCredentialStore m_credentials;
    std::shared_ptr<ScriptedClient> m_client;
    QNetworkAccessManager m_nam;
    NotificationHandler m_handler;
    FakeNotificationCentre m_centre;
    QList<QUrl> m_opened;
};

void TestLinkFlow::init()
{
    m_prefs = std::make_unique<Preferences>(m_folder.filePath(QUuid::createUuid().toString(QUuid::WithoutBraces)));
    m_credentials = MemoryCredentialStore();
    m_client = std::make_shared<ScriptedClient>();
    m_opened.clear();
    m_handler.setCentre(&m_centre);
}

std::unique_ptr<AppState> TestLinkFlow::makeState(std::chrono::milliseconds pollInterval, MakeClient makeClient)
{
    AppState::Services services = scriptedServices(m_credentials, *m_prefs, m_client);
    services.network = &m_nam;
    if (makeClient)
        services.makeClient = std::move(makeClient);
    services.notifications = &m_handler;
    services.linkPollInterval = pollInterval;
    services.tapSelectionLifetime = std::chrono::milliseconds(100);
    return std::make_unique<AppState>(false, services);
}

// Links `state` to `config` with some history cached and a read position.
void TestLinkFlow::link(AppState& state, const DeviceConfig& config)
{
    for (qint64 id = 1; id <= 5; ++id)
        m_client->addMessage(makeMessage(id, 1));
    QVERIFY(await(state.configure(config.serverURL, config.deviceSecret)));
    QTRY_COMPARE(state.cache().fetchMessages().size(), 5);
    QTRY_VERIFY(!state.isSyncing());
    await(state.markRead(3));
    state.setSelectedAppId(1);
    state.markPushRegistered();
}

void TestLinkFlow::approvedForAnotherAccount()
{
    LinkServer server;
    server.pollAnswers
        = { R"({"status":"pending"})", R"({"status":"pending"})", R"({"status":"approved","secret":"new-secret"})" };
    auto state = makeState();
    link(*state, { QUrl(u"https://old.example.com"_qs), u"old"_qs });
    int linked = 0;
    connect(state.get(), &AppState::onLinked, [&linked] { ++linked; });
    QSignalSpy codes(state.get(), &AppState::linkCodeChanged);

    state->beginBrowserLink(server.http.url(), [this](const QUrl& url) { m_opened.append(url); });
    QCOMPARE(state->linkPhase(), LinkPhase::waiting());
    QTRY_COMPARE(state->linkCode(), std::optional<QString>(u"K7MX3Q"_qs));
    QCOMPARE(m_opened, QList<QUrl> { QUrl(server.http.url().toString() + u"/#pair/K7MX3Q"_qs) });

    QTRY_COMPARE(state->linkPhase(), LinkPhase::idle());
    QCOMPARE(state->linkCode(), std::nullopt);
    QCOMPARE(server.polls(), 3);
    QCOMPARE(server.http.requests().last().header("Authorization"), QByteArray("Bearer pt-1"));
    QCOMPARE(state->config(), (DeviceConfig { server.http.url(), u"new-secret"_qs }));
    QCOMPARE(QCoro::waitFor(DeviceConfig::load(m_credentials)), state->config());
    QCOMPARE(linked, 1);
    // Nothing of the old account survives.
    QCOMPARE(state->lastReadId(), 0);
    QVERIFY(!m_prefs->file().contains("lastReadId"));
    QCOMPARE(m_prefs->file().value("pushRegistered").toBool(), false);
    QCOMPARE(state->selectedAppId(), std::nullopt);
    QTRY_VERIFY(!state->isSyncing());
    QCOMPARE(state->cache().fetchMessages().size(), 5); // refilled by the sync the link started
}

void TestLinkFlow::approvedForTheSameAccount()
{
    LinkServer server;
    server.pollAnswers = { R"({"status":"approved","secret":"same"})" };
    auto state = makeState();
    link(*state, { server.http.url(), u"same"_qs });
    const int syncsBefore = m_client->count(u"messages"_qs);
    int linked = 0;
    connect(state.get(), &AppState::onLinked, [&linked] { ++linked; });

    state->beginBrowserLink(server.http.url(), [this](const QUrl& url) { m_opened.append(url); });
    QTRY_COMPARE(linked, 1);
    QCOMPARE(state->linkPhase(), LinkPhase::idle());
    QCOMPARE(state->lastReadId(), 3);
    QCOMPARE(state->selectedAppId(), std::optional<qint64>(1));
    QVERIFY(state->pushRegistered());
    QTRY_COMPARE(m_client->count(u"messages"_qs), syncsBefore + 1);
    QCOMPARE(state->cache().fetchMessages().size(), 5);
}

void TestLinkFlow::endsInFailure_data()
{
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QByteArray>("expiresIn");
    QTest::addColumn<QByteArray>("poll");
    QTest::addColumn<int>("startStatus");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("opened");
    QTest::addColumn<int>("polls");

    QTest::newRow("expired") << QByteArray("K7MX3Q") << QByteArray("600") << QByteArray(R"({"status":"expired"})")
                             << 200 << u"Link request expired \u2014 try again."_qs << true << 1;
    QTest::newRow("no time at all") << QByteArray("K7MX3Q") << QByteArray("0") << QByteArray(R"({"status":"pending"})")
                                    << 200 << u"Link request timed out \u2014 try again."_qs << true << 0;
    QTest::newRow("code outside the alphabet")
        << QByteArray("K7-MX3") << QByteArray("600") << QByteArray(R"({"status":"pending"})") << 200
        << u"Invalid pair code from server \u2014 try again."_qs << false << 0;
    QTest::newRow("start refused") << QByteArray("K7MX3Q") << QByteArray("600") << QByteArray(R"({"status":"pending"})")
                                   << 503 << u"Server returned HTTP 503"_qs << false << 0;
}

void TestLinkFlow::endsInFailure()
{
    QFETCH(QByteArray, code);
    QFETCH(QByteArray, expiresIn);
    QFETCH(QByteArray, poll);
    QFETCH(int, startStatus);
    QFETCH(QString, text);
    QFETCH(bool, opened);
    QFETCH(int, polls);
    LinkServer server;
    server.code = code;
    server.expiresIn = expiresIn;
    server.pollAnswers = { poll };
    server.startStatus = startStatus;
    auto state = makeState();

    state->beginBrowserLink(server.http.url(), [this](const QUrl& url) { m_opened.append(url); });
    QTRY_COMPARE(state->linkPhase(), LinkPhase::failed(text));
    QCOMPARE(state->linkCode(), std::nullopt);
    QCOMPARE(m_opened.size(), opened ? 1 : 0);
    QCOMPARE(server.polls(), polls);
    QVERIFY(!state->isConfigured());
}

void TestLinkFlow::pollFailuresAreRetried_data()
{
    QTest::addColumn<Response>("fault");
    QTest::newRow("server error") << Response::json(R"({"status":"expired"})", 500);
    QTest::newRow("not JSON") << Response::json("<html>busy</html>");
    QTest::newRow("wrong shape") << Response::json(R"({"status":"approved"})");
    QTest::newRow("bad request") << Response::json(R"({"status":"expired"})", 400);
}

// A poll that fails is not shown and does not end the flow: the next poll's approval still links.
void TestLinkFlow::pollFailuresAreRetried()
{
    QFETCH(Response, fault);
    LinkServer server;
    server.pollFaults = { fault, fault };
    server.pollAnswers = { R"({"status":"approved","secret":"after-failures"})" };
    auto state = makeState();
    QList<LinkPhase> phases;
    connect(state.get(), &AppState::linkPhaseChanged, state.get(),
        [&phases, s = state.get()] { phases.append(s->linkPhase()); });

    state->beginBrowserLink(server.http.url(), {});
    QTRY_VERIFY(state->isConfigured());
    QCOMPARE(state->config()->deviceSecret, u"after-failures"_qs);
    QCOMPARE(server.polls(), 3);
    QCOMPARE(state->linkPhase(), LinkPhase::idle());
    QCOMPARE(phases, (QList<LinkPhase> { LinkPhase::waiting(), LinkPhase::idle() }));
    QCOMPARE(state->lastSyncError(), std::nullopt);
}

// The deadline is the start's expires_in, in seconds, from the moment the browser was opened. Every round waits
// at least one poll interval, so polls within 2 s at one every 200 ms can be at most 10; a deadline read in the
// wrong unit, or not read at all, gives none or never ends.
void TestLinkFlow::deadlineIsExpiresInSeconds()
{
    LinkServer server;
    server.expiresIn = "2";
    auto state = makeState(std::chrono::milliseconds(200));
    state->beginBrowserLink(server.http.url(), [this](const QUrl& url) { m_opened.append(url); });
    QTRY_COMPARE_WITH_TIMEOUT(
        state->linkPhase(), LinkPhase::failed(u"Link request timed out \u2014 try again."_qs), 60000);
    QCOMPARE(m_opened.size(), 1);
    QVERIFY2(server.polls() >= 2 && server.polls() <= 10, qPrintable(QString::number(server.polls())));
    QCOMPARE(state->linkCode(), std::nullopt);
    QVERIFY(!state->isConfigured());
}

// Installing another account's credential stops the pass that is running for the old one and waits for it to end
// before the cache is wiped, so nothing of the old account can be written afterwards.
void TestLinkFlow::anotherAccountStopsAndAwaitsTheRunningPass()
{
    auto previous = std::make_shared<TrackedClient>();
    auto next = std::make_shared<TrackedClient>();
    previous->addMessage(makeMessage(1, 1));
    previous->latency = std::chrono::hours(1); // only a stop ends its pages
    next->addMessage(makeMessage(100, 2));
    const DeviceConfig old { QUrl(u"https://old.example.com"_qs), u"old"_qs };
    const DeviceConfig fresh { QUrl(u"https://new.example.com"_qs), u"new"_qs };
    auto state = makeState(std::chrono::milliseconds(20),
        [previous, next, old](const DeviceConfig& config) -> std::shared_ptr<APIClientProtocol> {
            return config == old ? previous : next;
        });

    QVERIFY(await(state->configure(old.serverURL, old.deviceSecret)));
    QTRY_COMPARE(previous->pagesInFlight, 1);
    QVERIFY(state->isSyncing());

    bool answered = false;
    bool passWasOver = false;
    auto installing = configureObservingPass(state.get(), fresh, previous, &answered, &passWasOver);
    QTRY_VERIFY(answered);
    QVERIFY(passWasOver);
    QCOMPARE(previous->pagesCancelled, 1);
    QCOMPARE(state->config(), fresh);
    QTRY_VERIFY(!state->isSyncing());
    QCOMPARE(state->cache().fetchMessages().size(), 1);
    QCOMPARE(state->cache().fetchMessages().first().id, 100);
}

void TestLinkFlow::unsavedCredentialFailsTheFlow()
{
    LinkServer server;
    server.pollAnswers = { R"({"status":"approved","secret":"s"})" };
    m_credentials.failAdds(CredentialStore::Placement::Primary, 1);
    m_credentials.failAdds(CredentialStore::Placement::Fallback, 2);
    auto state = makeState();
    state->beginBrowserLink(server.http.url(), {});
    const QString text = u"Couldn't save the device credential to the keyring \u2014 try linking again."_qs;
    QTRY_COMPARE(state->linkPhase(), LinkPhase::failed(text));
    QCOMPARE(state->lastSyncError(), std::optional<QString>(text));
    QVERIFY(!state->isConfigured());
}

void TestLinkFlow::cancelDuringPolling()
{
    LinkServer server;
    auto state = makeState();
    state->beginBrowserLink(server.http.url(), {});
    QTRY_VERIFY(server.polls() >= 2);
    state->cancelBrowserLink();
    QCOMPARE(state->linkPhase(), LinkPhase::idle());
    QCOMPARE(state->linkCode(), std::nullopt);

    server.pollAnswers = { R"({"status":"approved","secret":"late"})" };
    const int polls = server.polls();
    QTest::qWait(150);
    QVERIFY(server.polls() <= polls + 1); // at most the poll that was already on its way
    QCOMPARE(state->linkPhase(), LinkPhase::idle());
    QVERIFY(!state->isConfigured());
}

void TestLinkFlow::secondBeginOverridesTheFirst()
{
    LinkServer first;
    LinkServer second;
    second.code = "S2CND9";
    second.pollAnswers = { R"({"status":"pending"})", R"({"status":"pending"})", R"({"status":"pending"})",
        R"({"status":"approved","secret":"second-secret"})" };
    auto state = makeState();
    state->beginBrowserLink(first.http.url(), {});
    QTRY_VERIFY(first.polls() >= 1);
    state->beginBrowserLink(second.http.url(), {});
    first.pollAnswers = { R"({"status":"expired"})" }; // what the first flow would see if it still polled

    QTRY_COMPARE(state->linkCode(), std::optional<QString>(u"S2CND9"_qs));
    QTRY_VERIFY(state->isConfigured());
    QCOMPARE(state->config()->deviceSecret, u"second-secret"_qs);
    QTest::qWait(100);
    QCOMPARE(state->linkPhase(), LinkPhase::idle());
}

void TestLinkFlow::linkURLWaitsForConfirmation()
{
    auto state = makeState();
    state->confirmPendingLink(); // nothing pending: nothing happens
    QVERIFY(!state->isConfigured());

    state->handleIncomingURL(QUrl(u"http://public.example.com/link#s=abcdefghijklmnopqrstuvwxyz012345"_qs));
    QCOMPARE(state->pendingLink(), std::nullopt);
    const QUrl link(u"http://127.0.0.1:8123/link#s=abcdefghijklmnopqrstuvwxyz012345"_qs);
    state->handleIncomingURL(link);
    QVERIFY(state->pendingLink());
    QVERIFY(!state->isConfigured());

    state->confirmPendingLink();
    QCOMPARE(state->pendingLink(), std::nullopt);
    QTRY_VERIFY(state->isConfigured());
    QCOMPARE(state->config()->serverURL, QUrl(u"http://127.0.0.1:8123"_qs));
    QCOMPARE(QCoro::waitFor(DeviceConfig::load(m_credentials)), state->config());
}

// The server answers the revocation slowly; a link URL confirmed meanwhile installs another account. The unlink
// belongs to the account it began with: it must not wipe the new one or forget its credential.
void TestLinkFlow::linkConfirmedDuringASlowUnlinkStays()
{
    auto state = makeState();
    link(*state, { QUrl(u"https://a.example"_qs), u"old"_qs });
    m_client->delay = [](const QString& op, qint64) {
        return op == u"revokeDevice"_qs ? std::chrono::milliseconds(300) : std::chrono::milliseconds(0);
    };
    QCoro::Task<> unlinking = state->unlink();
    const DeviceConfig next { QUrl(u"https://b.example"_qs), u"new"_qs };
    QVERIFY(await(state->configure(next.serverURL, next.deviceSecret)));
    await(std::move(unlinking));

    QCOMPARE(m_client->count(u"revokeDevice"_qs), 1);
    QVERIFY(state->isConfigured());
    QCOMPARE(*state->config(), next);
    QVERIFY(state->syncEngine());
    QCOMPARE(QCoro::waitFor(DeviceConfig::load(m_credentials)), std::optional<DeviceConfig>(next));
    QTRY_VERIFY(!state->isSyncing());
    QCOMPARE(state->cache().fetchMessages().size(), 5); // the new account's own sync, not wiped afterwards
}

void TestLinkFlow::tapSelectsAndMarksRead()
{
    auto state = makeState();
    link(*state, { QUrl(u"https://a.example"_qs), u"s"_qs });
    state->setSearchText(u"disk"_qs);
    const int syncs = m_client->count(u"messages"_qs);

    state->handleNotificationTap(4, 9);
    QCOMPARE(state->selectedAppId(), std::optional<qint64>(9));
    QCOMPARE(state->searchText(), QString());
    QCOMPARE(state->selectedMessageId(), std::optional<qint64>(4));
    QTRY_COMPARE(m_client->count(u"messages"_qs), syncs + 1);
    QTRY_COMPARE(state->lastReadId(), 5); // everything cached is read
    QTRY_COMPARE(state->selectedMessageId(), std::nullopt); // the tap's selection is transient

    // A selection the user made meanwhile is kept.
    state->handleNotificationTap(4, 9);
    state->setSelectedMessageId(2);
    QTest::qWait(200);
    QCOMPARE(state->selectedMessageId(), std::optional<qint64>(2));
}

void TestLinkFlow::tapWithoutApplicationKeepsTheSelection()
{
    auto state = makeState(); // unlinked: nothing is marked read
    state->setSelectedAppId(3);
    state->handleNotificationTap(8, std::nullopt);
    QCOMPARE(state->selectedAppId(), std::optional<qint64>(3));
    QCOMPARE(state->selectedMessageId(), std::optional<qint64>(8));
    QTest::qWait(20);
    QCOMPARE(m_client->count(u"markRead"_qs), 0);
}

void TestLinkFlow::pushToken()
{
    QByteArray token;
    for (int i = 0; i < 32; ++i)
        token.append(char(i * 8 + 1));
    auto state = makeState();
    await(state->uploadPushToken(token)); // unlinked: nothing is sent
    QCOMPARE(m_client->count(u"registerPushToken"_qs), 0);
    QVERIFY(!state->pushRegistered());

    link(*state, { QUrl(u"https://a.example"_qs), u"s"_qs });
    m_prefs->file().setValue("pushRegistered", false);
    state->configure(QUrl(u"https://b.example"_qs), u"other"_qs); // a new account starts unregistered
    QTRY_VERIFY(!state->pushRegistered());

    m_client->failures.insert(u"registerPushToken"_qs, failWith(APIClient::APIError::http(500)));
    await(state->uploadPushToken(token));
    QVERIFY(!state->pushRegistered());
    QCOMPARE(m_prefs->file().value("pushRegistered").toBool(), false);

    m_client->failures.clear();
    await(state->uploadPushToken(token));
    QCOMPARE(m_client->pushToken.size(), 64);
    QCOMPARE(m_client->pushToken, QString::fromLatin1(token.toHex()));
    QVERIFY(m_client->pushToken.startsWith(u"01091119"_qs));
    QCOMPARE(m_client->pushToken, m_client->pushToken.toLower());
    QVERIFY(state->pushRegistered());
    QCOMPARE(m_prefs->file().value("pushRegistered").toBool(), true);
}

void TestLinkFlow::notificationWiring()
{
    auto state = makeState();
    link(*state, { QUrl(u"https://a.example"_qs), u"s"_qs });
    int registrations = 0;
    m_centre.grant = true;
    state->configureNotifications([&registrations] { ++registrations; });
    QTRY_COMPARE(registrations, 1);

    const int syncs = m_client->count(u"messages"_qs);
    emit m_centre.willPresent();
    QTRY_COMPARE(m_client->count(u"messages"_qs), syncs + 1);

    emit m_centre.didReceiveResponse({ { "mid", u"5"_qs }, { "aid", 1 } });
    QCOMPARE(state->selectedMessageId(), std::optional<qint64>(5));

    // Refused permission: no registration at launch, but linking still asks for one.
    m_centre.grant = false;
    state->configureNotifications([&registrations] { ++registrations; });
    QTest::qWait(20);
    QCOMPARE(registrations, 1);
    await(state->configure(QUrl(u"https://a.example"_qs), u"s"_qs));
    QCOMPARE(registrations, 2);
}

namespace {
// What a flow's configure step was handed, and what it answers.
struct ConfigureProbe
{
    QList<DeviceConfig> handed;
    std::optional<QString> answer;
};

QCoro::Task<std::optional<QString>> answerConfigure(ConfigureProbe* probe, DeviceConfig config)
{
    probe->handed.append(config);
    co_return probe->answer;
}
} // namespace

// The flow alone, without the state: the approved credential goes to its configure step, whose answer decides
// whether the flow ends idle or failed with that line.
void TestLinkFlow::flowHandsTheApprovedCredentialOn_data()
{
    QTest::addColumn<std::optional<QString>>("answer");
    QTest::newRow("saved") << std::optional<QString>();
    QTest::newRow("not saved") << std::optional<QString>(u"no keyring"_qs);
}

void TestLinkFlow::flowHandsTheApprovedCredentialOn()
{
    QFETCH(std::optional<QString>, answer);
    LinkServer server;
    server.pollAnswers = { R"({"status":"pending"})", R"({"status":"approved","secret":"s-1"})" };
    ConfigureProbe probe;
    probe.answer = answer;
    BrowserLinkFlow flow(&m_nam, std::chrono::milliseconds(10),
        [&probe](DeviceConfig config) { return answerConfigure(&probe, std::move(config)); });
    QSignalSpy phases(&flow, &BrowserLinkFlow::phaseChanged);
    flow.begin(server.http.url(), {});
    QCOMPARE(flow.phase(), LinkPhase::waiting());
    QTRY_COMPARE(probe.handed.size(), 1);
    QCOMPARE(probe.handed.first(), (DeviceConfig { server.http.url(), u"s-1"_qs }));
    QTRY_COMPARE(flow.phase(), answer ? LinkPhase::failed(*answer) : LinkPhase::idle());
    QCOMPARE(flow.code(), std::nullopt);
    QCOMPARE(phases.size(), 2);

    // Cancelled while it polls: nothing more is configured and the phase is idle at once.
    server.pollAnswers = { R"({"status":"pending"})" };
    flow.begin(server.http.url(), {});
    QTRY_VERIFY(server.polls() >= 3);
    flow.cancel();
    QCOMPARE(flow.phase(), LinkPhase::idle());
    QTest::qWait(50);
    QCOMPARE(probe.handed.size(), 1);
}

// A tap is handed on to the state before the window is told, and only the latest tap's selection expires, once.
void TestLinkFlow::tapRoutingOrderAndLifetime()
{
    TapRouting routing(std::chrono::milliseconds(400));
    QStringList order;
    connect(&routing, &TapRouting::routed, [&order] { order.append(u"routed"_qs); });
    connect(&routing, &TapRouting::tapped, [&order, &routing](std::optional<qint64> messageId, std::optional<qint64>) {
        order.append(u"tapped"_qs);
        if (messageId)
            routing.holdSelection(*messageId);
    });
    QSignalSpy expired(&routing, &TapRouting::selectionExpired);
    routing.route(4, 9);
    QCOMPARE(order, (QStringList { u"tapped"_qs, u"routed"_qs }));
    QTest::qWait(200);
    routing.route(5, std::nullopt); // restarts the lifetime
    QTest::qWait(250); // past the first tap's end, well before the second's
    QCOMPARE(expired.size(), 0);
    QTRY_COMPARE(expired.size(), 1);
    QCOMPARE(expired.first().first().toLongLong(), 5);
    QTest::qWait(500);
    QCOMPARE(expired.size(), 1);
}

QTEST_GUILESS_MAIN(TestLinkFlow)
#include "test_linkflow.moc"
