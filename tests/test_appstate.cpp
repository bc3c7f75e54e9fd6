// SPDX-License-Identifier: GPL-3.0-or-later
#include "api/apiclient.h"
#include "cache/store.h"
#include "cache/storeerror.h"
#include "coro.h"
#include "memorycredentialstore.h"
#include "net/transporterror.h"
#include "scriptedclient.h"
#include "services/badge.h"
#include "state/appstate.h"
#include "sync/syncengine.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <sqlite3.h>

using namespace tidewell;

namespace {

struct RecordingBadge : Badge
{
    QList<qint64> counts;
    void setCount(qint64 count) override { counts.append(count); }
};

const DeviceConfig linked { QUrl(u"https://push.example.com"_qs), u"secret"_qs };

// Runs `task` on and raises `done` when it has ended, so that a test can wait for an end that may never come
// without blocking on it.
QCoro::Task<> markDone(QCoro::Task<> task, bool& done)
{
    co_await std::move(task);
    done = true;
}

} // namespace

class TestAppState : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void requestsDuringAPassGiveOneMorePass();
    void deleteHoldsThePassesAndRunsTheAskedOneAfter();
    void errorIsShownThenClearedByAGoodPass();
    void unlinkedSyncDoesNothing();
    void firstStartTakesTheBaseline();
    void throwAwayInstanceKeepsNothing();
    void sortRawValues_data();
    void sortRawValues();
    void recountCallbackRules();
    void markRead();
    void markReadFailureChangesNothing();
    void writeBackFailureSentences_data();
    void writeBackFailureSentences();
    void clearCacheKeepsTheReadPosition();
    void unlinkWithTheServerUnreachable();
    void selectionRules();
    void unlinkDuringASlowWriteBack_data();
    void unlinkDuringASlowWriteBack();
    void sameAccountLinkedAgainDuringASync();
    void stateDestroyedWhileOperationsWait();
    void unexpectedExceptionReleasesTheSyncSlot();
    void readPositionNeverMovesBack();
    void readPositionReplyAfterUnlinkIsDropped();
    void wipeStepsStandAlone();
    void shutDownDuringASyncClosesTheCache();
    void readRulesOfTheState();

private:
    // A persistent instance over the test's preferences, credential store and (pre-filled) in-memory cache.
    std::unique_ptr<AppState> makeState(bool inMemory = false, std::unique_ptr<CacheContext> cache = nullptr);
    std::unique_ptr<CacheContext> filledCache(qint64 lastId);

    QTemporaryDir m_folder;
    std::unique_ptr<Preferences> m_prefs;
    MemoryCredentialStore m_credentials;
    RecordingBadge m_badge;
    std::shared_ptr<ScriptedClient> m_client;
};

void TestAppState::init()
{
    m_prefs = std::make_unique<Preferences>(m_folder.filePath(QUuid::createUuid().toString(QUuid::WithoutBraces)));
    m_credentials = MemoryCredentialStore();
    QVERIFY(QCoro::waitFor(linked.save(m_credentials)));
    m_badge.counts.clear();
    m_client = std::make_shared<ScriptedClient>();
}

std::unique_ptr<AppState> TestAppState::makeState(bool inMemory, std::unique_ptr<CacheContext> cache)
{
    auto shared = std::make_shared<std::unique_ptr<CacheContext>>(std::move(cache));
    AppState::Services services;
    services.credentials = &m_credentials;
    services.preferences = m_prefs.get();
    services.badge = &m_badge;
    services.openCache = [shared](bool) { return *shared ? std::move(*shared) : Store::openCache(true); };
    services.makeClient = [client = m_client](const DeviceConfig&) { return client; };
    return std::make_unique<AppState>(inMemory, services);
}

std::unique_ptr<CacheContext> TestAppState::filledCache(qint64 lastId)
{
    auto cache = Store::openCache(true);
    for (qint64 id = 1; id <= lastId; ++id)
        cache->insert(CachedMessage(makeMessage(id, 1)));
    cache->save();
    return cache;
}

void TestAppState::requestsDuringAPassGiveOneMorePass()
{
    auto state = makeState();
    m_client->latency = std::chrono::milliseconds(30);
    QSignalSpy syncing(state.get(), &AppState::isSyncingChanged);
    auto first = state->sync();
    QVERIFY(state->isSyncing());
    auto second = state->sync();
    auto third = state->sync();
    auto fourth = state->sync();
    await(std::move(first));
    await(std::move(second));
    await(std::move(third));
    await(std::move(fourth));
    QCOMPARE(m_client->count(u"messages"_qs), 2);
    QVERIFY(!state->isSyncing());

    // With the slot free again, a new request starts a new pass.
    await(state->sync());
    QCOMPARE(m_client->count(u"messages"_qs), 3);
}

void TestAppState::deleteHoldsThePassesAndRunsTheAskedOneAfter()
{
    m_client->addMessage(makeMessage(1, 1));
    auto state = makeState();
    await(state->sync());
    const CachedMessage message = state->cache().fetchMessages().first();
    m_client->calls.clear();

    m_client->latency = std::chrono::milliseconds(200);
    auto running = state->sync();
    auto pending = state->sync();
    QVERIFY(state->isSyncing());
    m_client->latency = std::chrono::milliseconds(0);
    await(state->deleteMessage(message)); // stops and joins the pass first, and holds the syncs until done
    await(std::move(running));
    await(std::move(pending));
    QTRY_VERIFY(!state->isSyncing());

    // The stopped pass, the delete, then one pass for both the stopped pass and the request that waited.
    QStringList order;
    for (const ScriptedClient::Call& call : m_client->calls)
        order.append(call.op);
    QCOMPARE(order.mid(0, 3), (QStringList { u"messages"_qs, u"deleteMessage"_qs, u"messages"_qs }));
    QCOMPARE(m_client->count(u"messages"_qs), 2);
    QVERIFY(!state->isSyncing());
    QCOMPARE(state->lastSyncError(), std::nullopt);
}

void TestAppState::errorIsShownThenClearedByAGoodPass()
{
    auto state = makeState();
    m_client->failures.insert(u"messages"_qs, failWith(APIClient::APIError::http(500)));
    await(state->sync());
    QCOMPARE(state->lastSyncError(), std::optional<QString>(u"Server returned HTTP 500"_qs));
    QCOMPARE(state->lastSyncDate(), std::nullopt);

    m_client->failures.clear();
    m_client->addMessage(makeMessage(3, 1));
    await(state->sync());
    QCOMPARE(state->lastSyncError(), std::nullopt);
    QVERIFY(state->lastSyncDate().has_value());
    QCOMPARE(state->unreadCount(), 1);
    QCOMPARE(m_badge.counts.last(), 1);
}

void TestAppState::unlinkedSyncDoesNothing()
{
    QCoro::waitFor(DeviceConfig::clear(m_credentials));
    auto state = makeState();
    QVERIFY(!state->isConfigured());
    QSignalSpy syncing(state.get(), &AppState::isSyncingChanged);
    await(state->sync());
    QCOMPARE(syncing.size(), 0);
    QVERIFY(m_client->calls.isEmpty());
}

void TestAppState::firstStartTakesTheBaseline()
{
    auto state = makeState(false, filledCache(5));
    QCOMPARE(state->lastReadId(), 5);
    QCOMPARE(m_prefs->file().value("lastReadId").toLongLong(), 5);
    QCOMPARE(state->unreadCount(), 0);

    // Later starts take the stored position, whatever the cache holds.
    m_prefs->file().setValue("lastReadId", 3);
    auto again = makeState(false, filledCache(5));
    QCOMPARE(again->lastReadId(), 3);
    QCOMPARE(again->unreadCount(), 2);
}

void TestAppState::throwAwayInstanceKeepsNothing()
{
    m_prefs->file().setValue("messageSort", "Oldest");
    m_prefs->file().setValue("pushRegistered", true);
    auto state = makeState(true, filledCache(4));
    QVERIFY(!state->isConfigured());
    QVERIFY(!state->pushRegistered());
    QCOMPARE(state->messageSort(), MessageSort(MessageSort::Newest));
    QCOMPARE(state->lastReadId(), 0);
    QCOMPARE(state->unreadCount(), 4);
    QVERIFY(!m_prefs->file().contains("lastReadId"));

    state->recomputeUnreadCount(true);
    QVERIFY(m_badge.counts.isEmpty());
    QVERIFY(!m_prefs->file().contains("lastReadId"));

    state->setMessageSort(MessageSort::Title);
    QCOMPARE(m_prefs->file().value("messageSort").toString(), u"Title (A\u2013Z)"_qs);
}

void TestAppState::sortRawValues_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("expected");
    QTest::newRow("third ordering") << QVariant(u"Title (A\u2013Z)"_qs) << int(MessageSort::Title);
    QTest::newRow("second ordering") << QVariant(u"Oldest"_qs) << int(MessageSort::Oldest);
    QTest::newRow("other case") << QVariant(u"title (a\u2013z)"_qs) << int(MessageSort::Newest);
    QTest::newRow("hyphen-minus") << QVariant(u"Title (A-Z)"_qs) << int(MessageSort::Newest);
    QTest::newRow("missing") << QVariant() << int(MessageSort::Newest);
}

void TestAppState::sortRawValues()
{
    QFETCH(QVariant, stored);
    QFETCH(int, expected);
    if (stored.isValid())
        m_prefs->file().setValue("messageSort", stored);
    m_prefs->file().setValue("applicationSort", u"Name (A\u2013Z)"_qs);
    auto state = makeState();
    QCOMPARE(int(state->messageSort().value()), expected);
    QCOMPARE(state->applicationSort(), ApplicationSort(ApplicationSort::Alphabetical));

    // Assigning stores the raw value even when nothing changes, and notifies only on a change.
    QSignalSpy changed(state.get(), &AppState::messageSortChanged);
    m_prefs->file().remove("messageSort");
    state->setMessageSort(state->messageSort());
    QCOMPARE(m_prefs->file().value("messageSort").toString(), state->messageSort().rawValue());
    QCOMPARE(changed.size(), 0);
}

void TestAppState::recountCallbackRules()
{
    auto state = makeState(false, filledCache(3));
    QList<qint64> reported;
    connect(state.get(), &AppState::onUnreadCountChanged, [&reported](qint64 count) { reported.append(count); });
    state->recomputeUnreadCount(false);
    QVERIFY(reported.isEmpty());
    QVERIFY(m_badge.counts.isEmpty());
    state->recomputeUnreadCount(true);
    QCOMPARE(reported, QList<qint64> { 0 });
    QCOMPARE(m_badge.counts, QList<qint64> { 0 });

    state->cache().insert(CachedMessage(makeMessage(9, 1)));
    state->cache().save();
    state->recomputeUnreadCount(false); // a change always reports, the badge only when asked
    QCOMPARE(reported, (QList<qint64> { 0, 1 }));
    QCOMPARE(m_badge.counts, QList<qint64> { 0 });
}

void TestAppState::markRead()
{
    m_prefs->file().setValue("lastReadId", 25);
    auto state = makeState(false, filledCache(40));
    QCOMPARE(state->unreadCount(), 15);
    QList<qint64> reported;
    connect(state.get(), &AppState::onUnreadCountChanged, [&reported](qint64 count) { reported.append(count); });

    await(state->markRead());
    QCOMPARE(m_client->lastReadId, std::optional<qint64>(40));
    QCOMPARE(state->lastReadId(), 40);
    QCOMPARE(m_prefs->file().value("lastReadId").toLongLong(), 40);
    QCOMPARE(state->unreadCount(), 0);
    QCOMPARE(reported, QList<qint64> { 0 });

    // At or below the read position: nothing is sent, but the recount still reports.
    await(state->markRead(12));
    QCOMPARE(m_client->count(u"markRead"_qs), 1);
    QCOMPARE(state->lastReadId(), 40);
    QCOMPARE(reported, (QList<qint64> { 0, 0 }));
}

void TestAppState::markReadFailureChangesNothing()
{
    m_prefs->file().setValue("lastReadId", 25);
    auto state = makeState(false, filledCache(40));
    QList<qint64> reported;
    connect(state.get(), &AppState::onUnreadCountChanged, [&reported](qint64 count) { reported.append(count); });
    m_client->failures.insert(u"markRead"_qs, failWith(APIClient::APIError::http(503)));
    await(state->markRead());
    QCOMPARE(state->lastReadId(), 25);
    QCOMPARE(m_prefs->file().value("lastReadId").toLongLong(), 25);
    QCOMPARE(state->unreadCount(), 15);
    QCOMPARE(state->lastSyncError(), std::nullopt);
    QVERIFY(reported.isEmpty());

    // Empty cache, nothing given: nothing to send, only a recount.
    auto empty = makeState(false, Store::openCache(true));
    await(empty->markRead());
    QCOMPARE(m_client->count(u"markRead"_qs), 1);
}

void TestAppState::writeBackFailureSentences_data()
{
    QTest::addColumn<bool>("clear");
    QTest::addColumn<QString>("sentence");
    QTest::newRow("delete") << false
                            << u"Delete didn't reach the server \u2014 the message is still on your other devices."_qs;
    QTest::newRow("clear")
        << true << u"Clear didn't reach the server \u2014 those messages are still on your other devices."_qs;
}

void TestAppState::writeBackFailureSentences()
{
    QFETCH(bool, clear);
    QFETCH(QString, sentence);
    auto state = makeState(false, filledCache(3));
    const CachedMessage message = state->cache().fetchMessages().first();
    const auto unreachable = failWith(TransportError(QNetworkReply::ConnectionRefusedError, u"refused"_qs));
    m_client->failures.insert(u"deleteMessage"_qs, unreachable);
    m_client->failures.insert(u"clearApp"_qs, unreachable);

    await(clear ? state->clearApp(1) : state->deleteMessage(message));
    QCOMPARE(state->lastSyncError(), std::optional<QString>(sentence));
    QCOMPARE(state->cache().fetchMessages().size(), 3);

    // A later success clears the sentence.
    m_client->failures.clear();
    await(clear ? state->clearApp(1) : state->deleteMessage(message));
    QCOMPARE(state->lastSyncError(), std::nullopt);
    QCOMPARE(state->cache().fetchMessages().size(), clear ? 0 : 2);
}

void TestAppState::clearCacheKeepsTheReadPosition()
{
    for (qint64 id = 1; id <= 10; ++id)
        m_client->addMessage(makeMessage(id, 1));
    m_prefs->file().setValue("lastReadId", 7);
    auto state = makeState();
    await(state->sync());
    QCOMPARE(state->unreadCount(), 3);

    await(state->clearCache());
    QCOMPARE(state->lastReadId(), 7);
    QTRY_COMPARE(state->cache().fetchMessages().size(), 10); // the re-sync it started
    QTRY_VERIFY(!state->isSyncing());
    QCOMPARE(state->unreadCount(), 3);
    QCOMPARE(m_prefs->file().value("lastReadId").toLongLong(), 7);
}

void TestAppState::unlinkWithTheServerUnreachable()
{
    m_client->addMessage(makeMessage(1, 1));
    m_client->addMessage(makeMessage(2, 1));
    m_prefs->file().setValue("lastReadId", 1);
    m_prefs->file().setValue("pushRegistered", true);
    auto state = makeState();
    await(state->sync());
    state->setSelectedAppId(1);
    state->setSearchText(u"x"_qs);
    QVERIFY(state->pushRegistered());

    m_client->failures.insert(
        u"revokeDevice"_qs, failWith(TransportError(QNetworkReply::HostNotFoundError, u"Host not found"_qs)));
    await(state->unlink());

    QCOMPARE(m_client->count(u"revokeDevice"_qs), 1);
    QVERIFY(!state->isConfigured());
    QVERIFY(!state->syncEngine());
    QCOMPARE(state->unreadCount(), 0);
    QCOMPARE(state->lastReadId(), 0);
    QVERIFY(!m_prefs->file().contains("lastReadId"));
    QVERIFY(m_prefs->file().contains("pushRegistered"));
    QCOMPARE(m_prefs->file().value("pushRegistered").toBool(), false);
    QVERIFY(!state->pushRegistered());
    QCOMPARE(QCoro::waitFor(DeviceConfig::load(m_credentials)), std::nullopt);
    QVERIFY(state->cache().fetchMessages().isEmpty());
    QCOMPARE(state->selectedAppId(), std::nullopt);
    QCOMPARE(state->searchText(), QString());
    QCOMPARE(state->linkPhase(), LinkPhase::idle());
    QCOMPARE(m_badge.counts.last(), 0);
}

void TestAppState::selectionRules()
{
    auto state = makeState();
    QSignalSpy messageChanged(state.get(), &AppState::selectedMessageIdChanged);
    state->setSearchText(u"a"_qs);
    state->setSelectedMessageId(5);
    state->setSearchText(u"ab"_qs);
    QCOMPARE(state->selectedMessageId(), std::nullopt);
    state->setSelectedMessageId(5);
    state->setSearchText(u"ab"_qs);
    QCOMPARE(state->selectedMessageId(), std::optional<qint64>(5));

    state->setSelectedAppId(2);
    QCOMPARE(state->selectedMessageId(), std::nullopt);
    state->setSelectedMessageId(6);
    QSignalSpy appChanged(state.get(), &AppState::selectedAppIdChanged);
    state->setSelectedAppId(2);
    QCOMPARE(state->selectedMessageId(), std::optional<qint64>(6));
    QCOMPARE(appChanged.size(), 0);
    state->setSelectedAppId(std::nullopt);
    QCOMPARE(state->selectedMessageId(), std::nullopt);
    QCOMPARE(messageChanged.size(), 6);
}

// The engine goes while a write-back waits on the server: the operation must resume on what it holds itself, and
// the old account's outcome must not show under the unlinked state.
void TestAppState::unlinkDuringASlowWriteBack_data()
{
    QTest::addColumn<bool>("clear");
    QTest::newRow("delete") << false;
    QTest::newRow("clear") << true;
}

void TestAppState::unlinkDuringASlowWriteBack()
{
    QFETCH(bool, clear);
    m_client->addMessage(makeMessage(1, 1));
    m_client->addMessage(makeMessage(2, 1));
    auto state = makeState();
    await(state->sync());
    const CachedMessage message = state->cache().fetchMessages().first();

    const QString op = clear ? u"clearApp"_qs : u"deleteMessage"_qs;
    m_client->delay = [op](const QString& called, qint64) {
        return called == op ? std::chrono::milliseconds(300) : std::chrono::milliseconds(0);
    };
    auto writeBack = clear ? state->clearApp(1) : state->deleteMessage(message);
    QTRY_COMPARE(m_client->count(op), 1);
    await(state->unlink());
    QVERIFY(!state->isConfigured());
    await(std::move(writeBack));

    QCOMPARE(state->lastSyncError(), std::nullopt);
    QVERIFY(state->cache().fetchMessages().isEmpty());
    QCOMPARE(state->unreadCount(), 0);
}

// Confirming a link of the account already linked replaces the engine but lets the running pass finish on the old
// one; the sync it asks for runs after it.
void TestAppState::sameAccountLinkedAgainDuringASync()
{
    for (qint64 id = 1; id <= 3; ++id)
        m_client->addMessage(makeMessage(id, 1));
    auto state = makeState();
    m_client->latency = std::chrono::milliseconds(100);
    auto pass = state->sync();
    QVERIFY(state->isSyncing());
    const SyncEngine* before = state->syncEngine();

    QVERIFY(await(state->configure(linked.serverURL, linked.deviceSecret)));
    QVERIFY(state->syncEngine() != before);
    await(std::move(pass));

    QTRY_COMPARE(m_client->count(u"messages"_qs), 2); // the running pass, then the one the link asked for
    QTRY_VERIFY(!state->isSyncing());
    QCOMPARE(state->cache().fetchMessages().size(), 3);
    QCOMPARE(state->lastSyncError(), std::nullopt);
    QVERIFY(state->lastSyncDate());
}

// Whatever waits on the server when the state goes resumes without touching it.
void TestAppState::stateDestroyedWhileOperationsWait()
{
    for (qint64 id = 1; id <= 3; ++id)
        m_client->addMessage(makeMessage(id, 1));
    auto state = makeState();
    await(state->sync());
    m_client->addMessage(makeMessage(4, 1));
    m_client->latency = std::chrono::milliseconds(100);

    auto pass = state->sync();
    auto waiting = state->sync();
    auto markRead = state->markRead(3);
    auto token = state->uploadPushToken(QByteArray("\x01\x02", 2));
    QVERIFY(state->isSyncing());
    state.reset();

    await(std::move(pass));
    await(std::move(waiting));
    await(std::move(markRead));
    await(std::move(token));
    QTest::qWait(150); // anything still scheduled runs now, with the state gone
    QCOMPARE(m_client->count(u"messages"_qs), 2);
}

// A pass ended by an exception outside the error hierarchy must still free the slot, or every later sync, delete,
// clear and unlink would wait for ever.
void TestAppState::unexpectedExceptionReleasesTheSyncSlot()
{
    m_client->addMessage(makeMessage(1, 1));
    auto state = makeState();
    m_client->failures.insert(u"messages"_qs, [] { throw std::bad_alloc(); });

    bool passDone = false;
    auto pass = markDone(state->sync(), passDone);
    QTRY_VERIFY(passDone);
    QVERIFY(!state->isSyncing());
    QCOMPARE(state->lastSyncError(), std::optional<QString>(u"Sync failed unexpectedly \u2014 try again."_qs));

    m_client->failures.clear();
    bool deleteDone = false;
    auto remove = markDone(state->deleteMessage(CachedMessage(makeMessage(1, 1))), deleteDone);
    QTRY_VERIFY(deleteDone);
    await(state->sync());
    QCOMPARE(m_client->count(u"messages"_qs), 2);
    QCOMPARE(state->lastSyncError(), std::nullopt);
}

// A mark-read that the server answers after a later, higher one must not move the position back.
void TestAppState::readPositionNeverMovesBack()
{
    for (qint64 id = 1; id <= 10; ++id)
        m_client->addMessage(makeMessage(id, 1));
    auto state = makeState();
    await(state->sync());
    QCOMPARE(state->unreadCount(), 10);

    m_client->delay = [](const QString& op, qint64 argument) {
        return op == u"markRead" && argument == 5 ? std::chrono::milliseconds(150) : std::chrono::milliseconds(0);
    };
    auto low = state->markRead(5);
    auto high = state->markRead(8);
    await(std::move(high));
    QCOMPARE(state->lastReadId(), 8);
    await(std::move(low));

    QCOMPARE(m_client->count(u"markRead"_qs), 2);
    QCOMPARE(state->lastReadId(), 8);
    QCOMPARE(m_prefs->file().value("lastReadId").toLongLong(), 8);
    QCOMPARE(state->unreadCount(), 2);
}

void TestAppState::readPositionReplyAfterUnlinkIsDropped()
{
    for (qint64 id = 1; id <= 4; ++id)
        m_client->addMessage(makeMessage(id, 1));
    auto state = makeState();
    await(state->sync());
    m_client->delay = [](const QString& op, qint64) {
        return op == u"markRead" ? std::chrono::milliseconds(300) : std::chrono::milliseconds(0);
    };
    auto markRead = state->markRead(4);
    QTRY_COMPARE(m_client->count(u"markRead"_qs), 1);
    await(state->unlink());
    await(std::move(markRead));

    QCOMPARE(state->lastReadId(), 0);
    QVERIFY(!m_prefs->file().contains("lastReadId"));
    QCOMPARE(state->unreadCount(), 0);
}

// The wipe deletes messages and applications as separate steps: one that fails is undone alone.
void TestAppState::wipeStepsStandAlone()
{
    const QString path = m_folder.filePath(QUuid::createUuid().toString(QUuid::WithoutBraces) + u".sqlite"_qs);
    m_client->addMessage(makeMessage(1, 1));
    m_client->addMessage(makeMessage(2, 1));
    m_client->serverApps = { AppInfo { 1, u"Backups"_qs, u"#336699"_qs, false } };
    auto state = makeState(false, Store::open(path));
    await(state->sync());
    QCOMPARE(state->cache().fetchApps().size(), 1);

    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    QCOMPARE(sqlite3_exec(db, "CREATE TRIGGER keep_apps BEFORE DELETE ON apps BEGIN SELECT RAISE(ABORT, 'no'); END",
                 nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);

    await(state->unlink());
    QVERIFY(state->cache().fetchMessages().isEmpty());
    QCOMPARE(state->cache().fetchApps().size(), 1); // the refused step, and only it, is undone
    QVERIFY(!state->isConfigured());
}

// Quitting while a pass waits on the server: the pass is stopped and joined, and the cache is closed, so that what
// was committed is in the cache file itself and no later write can reach it.
void TestAppState::shutDownDuringASyncClosesTheCache()
{
    for (qint64 id = 1; id <= 3 * SyncEngine::pageSize; ++id)
        m_client->addMessage(makeMessage(id, 1));
    m_client->delay = [](const QString& op, qint64 since) {
        return op == u"messages"_qs && since > 0 ? std::chrono::milliseconds(10000) : std::chrono::milliseconds(0);
    };
    const QString path = m_folder.filePath(u"shutdown.sqlite"_qs);
    auto state = makeState(false, Store::open(path));
    state->startSync();
    QTRY_COMPARE(state->cache().fetchMessages().size(), SyncEngine::pageSize); // the second page is waited for
    QVERIFY(state->isSyncing());

    await(state->shutDown());
    QVERIFY(!state->isSyncing());
    QVERIFY(!QFileInfo::exists(path + u"-wal"_qs) || QFileInfo(path + u"-wal"_qs).size() == 0);
    QVERIFY_THROWS_EXCEPTION(StoreError, state->cache().fetchMessages());
    state.reset();

    auto reopened = Store::open(path);
    QCOMPARE(reopened->fetchMessages().size(), SyncEngine::pageSize);
}

// The read rules the state answers for any list of records, and what it says of the cache.
void TestAppState::readRulesOfTheState()
{
    m_prefs->file().setValue("lastReadId", 2);
    auto state = makeState(false, filledCache(4));
    QVERIFY(state->persistsPreferences());
    QVERIFY(state->hasCachedMessages());
    const QList<CachedMessage> messages { CachedMessage(makeMessage(1, 1)), CachedMessage(makeMessage(3, 1)),
        CachedMessage(makeMessage(4, 2)), CachedMessage(makeMessage(2, 2)) };
    QVERIFY(!state->isUnread(messages[0]));
    QVERIFY(!state->isUnread(messages[3])); // the read position itself is read
    QVERIFY(state->isUnread(messages[1]));
    QCOMPARE(state->unreadCount(std::nullopt, messages), 2);
    QCOMPARE(state->unreadCount(1, messages), 1);
    QCOMPARE(state->unreadCount(7, messages), 0);

    auto empty = makeState(true);
    QVERIFY(!empty->persistsPreferences());
    QVERIFY(!empty->hasCachedMessages());
    QVERIFY(AppState::showsMessageList(false, true));
    QVERIFY(AppState::showsMessageList(true, false));
    QVERIFY(!AppState::showsMessageList(false, false));
}

QTEST_GUILESS_MAIN(TestAppState)
#include "test_appstate.moc"
