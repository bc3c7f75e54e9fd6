// SPDX-License-Identifier: GPL-3.0-or-later
#include "cache/store.h"
#include "coro.h"
#include "memorycredentialstore.h"
#include "notify/notificationhandler.h"
#include "scriptedclient.h"
#include "scriptedservices.h"
#include "state/appstate.h"

#include <QNetworkAccessManager>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <sqlite3.h>

using namespace tidewell;
using namespace std::chrono_literals;

namespace {

enum class Operation
{
    Link,
    Unlink,
    ClearCache,
    ClearApplication, // the first account's application 2, on the server and then in the cache
};

// Where in the operation a pass is asked for.
enum class When
{
    BeforeTheSave, // a pass is under way when the operation begins
    DuringTheSave, // the credential store has not answered yet
    DuringTheRequest, // the server has not answered the clear of an application yet
    DuringTheJoin, // a slow pass is being stopped and waited for
    DuringTheBackgroundDelete, // a clear of an application has not committed yet
    AfterTheWipe, // from the wipe's own commit
};

// SQLite's one write lock, taken by a connection of the test's own: a delete in the background waits for it.
class WriteLock
{
public:
    explicit WriteLock(const QString& path)
    {
        if (sqlite3_open(QFile::encodeName(path).constData(), &m_db) == SQLITE_OK)
            m_held = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~WriteLock()
    {
        release();
        sqlite3_close(m_db);
    }
    bool isHeld() const { return m_held; }
    void release()
    {
        if (std::exchange(m_held, false))
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }

private:
    sqlite3* m_db = nullptr;
    bool m_held = false;
};

// Each message as (id, application): enough to tell one account's messages from the other's.
using Listing = QList<std::pair<qint64, qint64>>;

Listing listing(const QList<CachedMessage>& messages)
{
    Listing result;
    for (const CachedMessage& message : messages)
        result.append({ message.id, message.applicationId });
    return result;
}

Listing listing(const QList<Message>& messages)
{
    Listing result;
    for (const Message& message : messages)
        result.append({ message.id, message.applicationId });
    return result;
}

QCoro::Task<> linking(QCoro::Task<bool> configuring)
{
    co_await std::move(configuring);
}

} // namespace

Q_DECLARE_METATYPE(Operation)
Q_DECLARE_METATYPE(When)

// Linking another account, unlinking and clearing the cache replace or wipe what the cache holds. Whenever a pass is
// asked for while one of them works, the cache ends with the installed account's messages alone, and that account
// gets one pass afterwards.
class TestAccountSwitch : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void passRequestedDuringAnOperation_data();
    void passRequestedDuringAnOperation();
    void linkDuringALateReadOfTheFallback();

private:
    std::unique_ptr<AppState> makeState(
        CredentialStore& credentials, const QString& cachePath, CredentialBounds bounds);
    std::optional<DeviceConfig> stored() { return QCoro::waitFor(DeviceConfig::load(m_credentials)); }
    // The passes that began from an empty cache since the call numbered `since` of each server.
    int passesFromScratch(qsizetype firstSince, qsizetype secondSince) const;

    const DeviceConfig m_first { QUrl(u"https://first.example.com"_qs), u"first-secret"_qs };
    const DeviceConfig m_second { QUrl(u"https://second.example.com"_qs), u"second-secret"_qs };
    QTemporaryDir m_folder;
    QString m_cachePath;
    std::unique_ptr<Preferences> m_prefs;
    MemoryCredentialStore m_credentials;
    std::shared_ptr<ScriptedClient> m_firstServer;
    std::shared_ptr<ScriptedClient> m_secondServer;
    QNetworkAccessManager m_nam;
    NotificationHandler m_handler;
    std::unique_ptr<AppState> m_state;
};

// Linked to the first account, its messages cached; the second account's ids overlap the first's, so that a pass
// of the first account that lands after the wipe would also hide the second's from its cursor.
void TestAccountSwitch::init()
{
    const QString name = QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_prefs = std::make_unique<Preferences>(m_folder.filePath(name + u".ini"_qs));
    m_cachePath = m_folder.filePath(name + u".sqlite"_qs);
    m_credentials = MemoryCredentialStore();
    QVERIFY(QCoro::waitFor(m_first.save(m_credentials)));
    m_firstServer = std::make_shared<ScriptedClient>();
    m_secondServer = std::make_shared<ScriptedClient>();
    for (qint64 id = 1; id <= 6; ++id)
        m_firstServer->addMessage(makeMessage(id, 1 + id % 2));
    for (qint64 id = 1; id <= 4; ++id)
        m_secondServer->addMessage(makeMessage(id, 10));
    m_firstServer->suspends = true;
    m_secondServer->suspends = true;

    m_state = makeState(m_credentials, m_cachePath, {});
    QTRY_COMPARE(m_state->config(), m_first);
    await(m_state->sync());
    QCOMPARE(listing(m_state->cache().fetchMessages()), listing(m_firstServer->serverMessages));
    // What a pass of the first account would bring in from now on.
    m_firstServer->addMessage(makeMessage(7, 1));
    m_firstServer->addMessage(makeMessage(8, 2));
}

std::unique_ptr<AppState> TestAccountSwitch::makeState(
    CredentialStore& credentials, const QString& cachePath, CredentialBounds bounds)
{
    AppState::Services services = scriptedServices(credentials, *m_prefs);
    services.network = &m_nam;
    services.notifications = &m_handler;
    services.credentialBounds = bounds;
    services.openCache = [cachePath](bool) { return Store::open(cachePath); };
    services.makeClient = [first = m_firstServer, second = m_secondServer, url = m_first.serverURL](
                              const DeviceConfig& config) -> std::shared_ptr<APIClientProtocol> {
        return config.serverURL == url ? first : second;
    };
    return std::make_unique<AppState>(false, services);
}

void TestAccountSwitch::cleanup()
{
    m_state.reset();
    m_credentials.release();
}

int TestAccountSwitch::passesFromScratch(qsizetype firstSince, qsizetype secondSince) const
{
    const std::pair<const ScriptedClient*, qsizetype> servers[]
        = { { m_firstServer.get(), firstSince }, { m_secondServer.get(), secondSince } };
    int passes = 0;
    for (const auto& [server, since] : servers) {
        for (qsizetype i = since; i < server->calls.size(); ++i)
            passes += server->calls[i].op == u"messages" && server->calls[i].argument == 0;
    }
    return passes;
}

void TestAccountSwitch::passRequestedDuringAnOperation_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<When>("when");
    const std::pair<const char*, Operation> operations[]
        = { { "link", Operation::Link }, { "unlink", Operation::Unlink }, { "clear cache", Operation::ClearCache },
              { "clear application", Operation::ClearApplication } };
    const std::pair<const char*, When> moments[] = { { "with a pass under way", When::BeforeTheSave },
        { "during the save", When::DuringTheSave }, { "during the request", When::DuringTheRequest },
        { "during the join", When::DuringTheJoin }, { "during the background delete", When::DuringTheBackgroundDelete },
        { "after the wipe", When::AfterTheWipe } };
    for (const auto& [operationName, operation] : operations) {
        for (const auto& [momentName, when] : moments) {
            // Clearing saves no credential; only the clear of an application asks the server first.
            const bool clears = operation == Operation::ClearCache || operation == Operation::ClearApplication;
            if ((clears && when == When::DuringTheSave)
                || (operation == Operation::ClearCache && when == When::BeforeTheSave)
                || (operation != Operation::ClearApplication && when == When::DuringTheRequest))
                continue;
            QTest::addRow("%s, %s", operationName, momentName) << operation << when;
        }
    }
}

void TestAccountSwitch::passRequestedDuringAnOperation()
{
    QFETCH(Operation, operation);
    QFETCH(When, when);
    AppState& state = *m_state;
    const qsizetype firstCalls = m_firstServer->calls.size();
    const qsizetype secondCalls = m_secondServer->calls.size();

    std::optional<WriteLock> lock;
    std::optional<QCoro::Task<>> clearing;
    if (when == When::DuringTheBackgroundDelete) {
        lock.emplace(m_cachePath);
        QVERIFY(lock->isHeld());
        // The clear of an application is its own background delete; the other operations wait for one.
        if (operation != Operation::ClearApplication) {
            clearing.emplace(state.clearApp(2));
            QTRY_VERIFY(state.cache().isDeletingInBackground());
        }
    } else if (when == When::DuringTheRequest) {
        m_firstServer->delay = [](const QString& op, qint64) { return op == u"clearApp" ? 300ms : 0ms; };
    } else if (when == When::DuringTheJoin) {
        m_firstServer->delay
            = [](const QString& op, qint64 since) { return op == u"messages" && since > 0 ? 10s : 0ms; };
        state.startSync();
    } else if (when == When::BeforeTheSave) {
        state.startSync();
    } else if (when == When::DuringTheSave) {
        m_credentials.hold();
    } else if (when == When::AfterTheWipe) {
        connect(
            &state.cache(), &CacheContext::committed, this, [&state] { state.startSync(); }, Qt::SingleShotConnection);
    }
    QCOMPARE(state.isSyncRunning(), when == When::BeforeTheSave || when == When::DuringTheJoin);
    // From here on every answer of the first server comes at once, so that the operation runs on to the wait the
    // row is about before the pass is asked for.
    m_firstServer->suspends = false;

    QCoro::Task<> operating = operation == Operation::Link
        ? linking(state.configure(m_second.serverURL, m_second.deviceSecret))
        : operation == Operation::Unlink     ? state.unlink()
        : operation == Operation::ClearCache ? state.clearCache()
                                             : state.clearApp(2);
    if (operation == Operation::ClearApplication && when == When::DuringTheBackgroundDelete)
        QTRY_VERIFY(state.cache().isDeletingInBackground());
    if (when == When::DuringTheRequest)
        QTRY_COMPARE(m_firstServer->count(u"clearApp"_qs), 1);
    QCOMPARE(operating.isReady(), when == When::AfterTheWipe && operation != Operation::ClearApplication);
    if (when == When::DuringTheSave)
        QCOMPARE(m_credentials.pending(), 1);
    if (when == When::DuringTheSave || when == When::DuringTheJoin || when == When::DuringTheBackgroundDelete
        || when == When::DuringTheRequest)
        state.startSync();
    m_firstServer->delay = nullptr; // what is under way keeps its wait; the passes after the operation take none
    if (lock)
        lock->release();
    m_credentials.release();
    await(std::move(operating));
    if (clearing)
        await(std::move(*clearing));
    QTRY_VERIFY(!state.isSyncRunning());

    const ScriptedClient* installed = operation == Operation::Link ? m_secondServer.get()
        : operation == Operation::Unlink                           ? nullptr
                                                                   : m_firstServer.get();
    QCOMPARE(state.config(),
        operation == Operation::Link         ? std::optional(m_second)
            : operation == Operation::Unlink ? std::nullopt
                                             : std::optional(m_first));
    QCOMPARE(stored(), state.config());
    QCOMPARE(listing(state.cache().fetchMessages()), installed ? listing(installed->serverMessages) : Listing());
    // A clear of an application keeps the cursor: the pass after it goes on from there.
    QCOMPARE(passesFromScratch(firstCalls, secondCalls), installed && operation != Operation::ClearApplication ? 1 : 0);
    if (operation == Operation::ClearApplication) {
        const auto& calls = m_firstServer->calls;
        const auto clear
            = std::find_if(calls.begin(), calls.end(), [](const auto& call) { return call.op == u"clearApp"; });
        QVERIFY(std::any_of(clear, calls.end(), [](const auto& call) { return call.op == u"messages"; }));
    }
}

// The first account's credential is in the fallback placement alone, and the keyring answers one job at a time, in
// the order asked, too late for the start-up read's bound; the user links the second account meanwhile. The read's
// move of the first credential into the keyring must not land after the link's save, and the load ends.
void TestAccountSwitch::linkDuringALateReadOfTheFallback()
{
    MemoryCredentialStore credentials;
    credentials.failAdds(CredentialStore::Placement::Primary, -25308);
    QVERIFY(QCoro::waitFor(m_first.save(credentials)));
    credentials.failAdds(CredentialStore::Placement::Primary, 0);
    QVERIFY(credentials.items(CredentialStore::Placement::Primary).isEmpty());
    credentials.answerInOrder();
    credentials.hold();

    auto state = makeState(credentials, m_folder.filePath(u"late-read.sqlite"_qs), CredentialBounds { 50ms, 60s });
    QSignalSpy loaded(state.get(), &AppState::credentialLoaded);
    QTRY_COMPARE(state->credentialProblem(), std::optional(AppState::Texts::credentialNotAnswering()));
    QCoro::Task<bool> linking = state->configure(m_second.serverURL, m_second.deviceSecret);
    credentials.release();
    QTRY_VERIFY(linking.isReady());
    QVERIFY(await(std::move(linking)));
    QTRY_COMPARE(credentials.pending(), 0);
    QTRY_VERIFY(!state->isSyncRunning());

    QCOMPARE(state->config(), m_second);
    QCOMPARE(QCoro::waitFor(DeviceConfig::load(credentials)), m_second);
    QVERIFY(credentials.items(CredentialStore::Placement::Fallback).isEmpty());
    QCOMPARE(loaded.size(), 1);
    QVERIFY(!state->isLoadingCredential());
    QCOMPARE(state->credentialProblem(), std::nullopt);
}

QTEST_GUILESS_MAIN(TestAccountSwitch)
#include "test_accountswitch.moc"
