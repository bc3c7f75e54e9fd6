// SPDX-License-Identifier: GPL-3.0-or-later
#include "api/apiclient.h"
#include "base/cancellederror.h"
#include "cache/cachecontext.h"
#include "cache/store.h"
#include "coro.h"
#include "fakeserver.h"
#include "messageids.h"
#include "scriptedclient.h"
#include "sync/syncengine.h"
#include "sync/syncerror.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QtTest>

using namespace tidewell;

namespace {

std::optional<CachedApp> cachedApp(const CacheContext& context, qint64 id)
{
    for (const CachedApp& app : context.fetchApps()) {
        if (app.id == id)
            return app;
    }
    return std::nullopt;
}

} // namespace

class TestSyncEngine : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void pullsEveryPageFromTheHighestCachedId();
    void resumesFromTheHighestCachedId();
    void repeatedPageStops();
    void emptyPage_data();
    void emptyPage();
    void pageCapStops();
    void repeatedIdUpdatesTheRecord();
    void failedPageKeepsEarlierPages();
    void failedAppRefreshKeepsPages();
    void vanishedApplicationGoesWithItsMessages();
    void iconRules();
    void stopBetweenPagesLeavesNothingUnsaved();
    void stopDuringIconFetchRollsBack();
    void stoppedAppRefreshWithoutErrorChangesNothing_data();
    void stoppedAppRefreshWithoutErrorChangesNothing();
    void noUnsavedWriteWhileAnIconIsAwaited();
    void markReadThresholds_data();
    void markReadThresholds();
    void deleteIsServerFirst();
    void clearAppIsServerFirstAndKeepsTheApp();
    void syncRightAfterAClear_data();
    void syncRightAfterAClear();
    void clearAllEmptiesTheCache();
    void throughTheRealClient();

private:
    std::shared_ptr<ScriptedClient> m_client;
    std::shared_ptr<CacheContext> m_cache;
    std::unique_ptr<SyncEngine> m_engine;
};

void TestSyncEngine::init()
{
    m_client = std::make_shared<ScriptedClient>();
    m_cache = Store::openCache(true);
    m_engine = std::make_unique<SyncEngine>(m_client, m_cache);
}

void TestSyncEngine::pullsEveryPageFromTheHighestCachedId()
{
    for (qint64 id = 1; id <= 450; ++id)
        m_client->addMessage(makeMessage(id, id % 3 + 1));
    m_client->serverApps = { { 1, u"One"_qs, u"#ff0000"_qs, false }, { 2, u"Two"_qs, u"blue"_qs, true },
        { 3, u"Three"_qs, u""_qs, false } };
    m_client->icons.insert(2, "PNG2");

    QCOMPARE(await(m_engine->syncNow()), 450);
    QCOMPARE(m_client->count(u"messages"_qs), 3);
    QCOMPARE(m_client->calls[0].argument, 0);
    QCOMPARE(m_client->calls[0].limit, 200);
    QCOMPARE(m_client->calls[1].argument, 200);
    QCOMPARE(m_client->calls[2].argument, 400);
    QCOMPARE(ids(m_cache->fetchMessages()), range(1, 450));
    QCOMPARE(m_cache->fetchApps().size(), 3);
    QCOMPARE(cachedApp(*m_cache, 2)->icon, std::optional<QByteArray>("PNG2"));
    QCOMPARE(m_engine->maxLocalId(), 450);
    QVERIFY(!m_cache->hasChanges());
}

void TestSyncEngine::resumesFromTheHighestCachedId()
{
    for (qint64 id : { 3, 10, 11 })
        m_client->addMessage(makeMessage(id, 1));
    QCOMPARE(await(m_engine->syncNow()), 3);
    m_client->addMessage(makeMessage(12, 1));
    m_client->addMessage(makeMessage(5, 1)); // below the cursor: never pulled
    m_client->calls.clear();
    QCOMPARE(await(m_engine->syncNow()), 1);
    QCOMPARE(m_client->calls[0].argument, 11);
    QCOMPARE(ids(m_cache->fetchMessages()), (QList<qint64> { 3, 10, 11, 12 }));
}

void TestSyncEngine::repeatedPageStops()
{
    m_client->pages = [](qint64, qint64) { return SyncResponse { { makeMessage(1, 1), makeMessage(2, 1) }, true }; };
    const auto error = awaitError<SyncError>(m_engine->syncNow());
    QCOMPARE(error.description(),
        u"Sync stopped because the server returned a repeated page. Try again after checking the server."_qs);
    QCOMPARE(m_client->count(u"messages"_qs), 2);
    QCOMPARE(ids(m_cache->fetchMessages()), (QList<qint64> { 1, 2 }));
    QCOMPARE(m_client->count(u"apps"_qs), 0);
}

void TestSyncEngine::emptyPage_data()
{
    QTest::addColumn<bool>("hasMore");
    QTest::newRow("with more") << true;
    QTest::newRow("without more") << false;
}

void TestSyncEngine::emptyPage()
{
    QFETCH(bool, hasMore);
    m_client->pages = [hasMore](qint64, qint64) { return SyncResponse { {}, hasMore }; };
    if (hasMore) {
        awaitError<SyncError>(m_engine->syncNow());
        QCOMPARE(m_client->count(u"apps"_qs), 0);
    } else {
        QCOMPARE(await(m_engine->syncNow()), 0);
        QCOMPARE(m_client->count(u"apps"_qs), 1);
    }
    QCOMPARE(m_client->count(u"messages"_qs), 1);
}

void TestSyncEngine::pageCapStops()
{
    // A server that always has more, and whose every page does advance.
    m_client->pages = [](qint64 since, qint64) { return SyncResponse { { makeMessage(since + 1, 1) }, true }; };
    awaitError<SyncError>(m_engine->syncNow());
    QCOMPARE(m_client->count(u"messages"_qs), SyncEngine::pageCap);
    QCOMPARE(m_engine->maxLocalId(), SyncEngine::pageCap);
}

void TestSyncEngine::repeatedIdUpdatesTheRecord()
{
    m_client->addMessage(makeMessage(7, 1, 100, u"body"_qs, u"Old"_qs));
    await(m_engine->syncNow());
    m_client->pages = [](qint64, qint64) {
        return SyncResponse { { makeMessage(7, 1, 100, u"body"_qs, u"New"_qs), makeMessage(8, 1) }, false };
    };
    QCOMPARE(await(m_engine->syncNow()), 2);
    const QList<CachedMessage> cached = m_cache->fetchMessages();
    QCOMPARE(ids(cached), (QList<qint64> { 7, 8 }));
    QCOMPARE(cached.first().title, std::optional<QString>(u"New"_qs));
}

void TestSyncEngine::failedPageKeepsEarlierPages()
{
    for (qint64 id = 1; id <= 500; ++id)
        m_client->addMessage(makeMessage(id, 1));
    m_client->failures.insert(u"messages"_qs, [this] {
        if (m_client->calls.last().argument >= 200)
            throw APIClient::APIError::http(502);
    });
    const auto error = awaitError<APIClient::APIError>(m_engine->syncNow());
    QCOMPARE(error.status(), 502);
    QCOMPARE(ids(m_cache->fetchMessages()), range(1, 200));
    QVERIFY(!m_cache->hasChanges());

    // The next sync resumes where the saved pages end.
    m_client->failures.clear();
    m_client->calls.clear();
    QCOMPARE(await(m_engine->syncNow()), 300);
    QCOMPARE(m_client->calls[0].argument, 200);
    QCOMPARE(ids(m_cache->fetchMessages()), range(1, 500));
}

void TestSyncEngine::failedAppRefreshKeepsPages()
{
    for (qint64 id = 1; id <= 250; ++id)
        m_client->addMessage(makeMessage(id, 1));
    m_client->failures.insert(u"apps"_qs, failWith(APIClient::APIError::http(500)));
    const auto error = awaitError<APIClient::APIError>(m_engine->syncNow());
    QCOMPARE(error.description(), u"Server returned HTTP 500"_qs);
    QCOMPARE(m_cache->fetchMessages().size(), 250);
}

void TestSyncEngine::vanishedApplicationGoesWithItsMessages()
{
    m_client->serverApps = { { 1, u"Stays"_qs, u"red"_qs, false }, { 2, u"Goes"_qs, u"red"_qs, false } };
    for (qint64 id = 1; id <= 6; ++id)
        m_client->addMessage(makeMessage(id, id % 2 + 1));
    await(m_engine->syncNow());
    QCOMPARE(m_cache->fetchApps().size(), 2);

    m_client->serverApps.removeLast();
    m_client->serverApps.first().name = u"Renamed"_qs;
    await(m_engine->syncNow());
    const QList<CachedApp> apps = m_cache->fetchApps();
    QCOMPARE(apps.size(), 1);
    QCOMPARE(apps.first().name, u"Renamed"_qs);
    for (const CachedMessage& m : m_cache->fetchMessages())
        QCOMPARE(m.applicationId, 1);
    QCOMPARE(m_cache->fetchMessages().size(), 3);
}

void TestSyncEngine::iconRules()
{
    m_client->serverApps = { { 1, u"Loses icon"_qs, u""_qs, true }, { 2, u"Icon fails"_qs, u""_qs, true },
        { 3, u"No icon answered"_qs, u""_qs, true } };
    m_client->icons = { { 1, "one" }, { 2, "two" }, { 3, "three" } };
    await(m_engine->syncApps());
    QCOMPARE(cachedApp(*m_cache, 3)->icon, std::optional<QByteArray>("three"));

    m_client->serverApps[0].hasIcon = false;
    m_client->icons.remove(3);
    m_client->serverApps.append({ 4, u"New, icon fails"_qs, u""_qs, true });
    m_client->icons.insert(4, "four");
    int iconCalls = 0;
    m_client->failures.insert(u"appIcon"_qs, [this, &iconCalls] {
        const qint64 id = m_client->calls.last().argument;
        ++iconCalls;
        if (id == 2 || id == 4)
            throw APIClient::APIError::http(500);
    });
    m_client->calls.clear();
    await(m_engine->syncApps());

    QCOMPARE(cachedApp(*m_cache, 1)->icon, std::nullopt); // has_icon turned false
    QCOMPARE(cachedApp(*m_cache, 2)->icon, std::optional<QByteArray>("two")); // request failed: kept
    QCOMPARE(cachedApp(*m_cache, 3)->icon, std::optional<QByteArray>("three")); // no icon answered: kept
    QCOMPARE(cachedApp(*m_cache, 4)->icon, std::nullopt); // new, request failed
    QCOMPARE(iconCalls, 3); // one at a time, only for applications with an icon
    QCOMPARE(m_client->calls[1].argument, 2);
    QCOMPARE(m_client->calls[3].argument, 4);
}

void TestSyncEngine::stopBetweenPagesLeavesNothingUnsaved()
{
    for (qint64 id = 1; id <= 600; ++id)
        m_client->addMessage(makeMessage(id, 1));
    std::stop_source source;
    m_client->failures.insert(u"messages"_qs, [this, &source] {
        if (m_client->count(u"messages"_qs) == 2)
            source.request_stop(); // the second page arrives after the stop
    });
    const qint64 applied = await(m_engine->syncNow(source.get_token()));
    QCOMPARE(applied, 200);
    QCOMPARE(ids(m_cache->fetchMessages()), range(1, 200));
    QVERIFY(!m_cache->hasChanges());
    QCOMPARE(m_client->count(u"apps"_qs), 0);
}

void TestSyncEngine::stopDuringIconFetchRollsBack()
{
    m_client->serverApps = { { 1, u"Old"_qs, u""_qs, false } };
    await(m_engine->syncApps());
    m_client->serverApps = { { 1, u"New"_qs, u""_qs, false }, { 2, u"Slow icon"_qs, u""_qs, true } };
    m_client->icons.insert(2, "png");
    std::stop_source source;
    m_client->failures.insert(u"appIcon"_qs, [&source] {
        source.request_stop();
        throw CancelledError();
    });
    awaitError<CancelledError>(m_engine->syncApps(source.get_token()));
    QVERIFY(!m_cache->hasChanges());
    const QList<CachedApp> apps = m_cache->fetchApps();
    QCOMPARE(apps.size(), 1);
    QCOMPARE(apps.first().name, u"Old"_qs);
}

// Another operation's save while an icon is awaited would commit half of the refresh, and its rollback would undo
// it: the refresh may hold no unsaved write while it waits.
void TestSyncEngine::noUnsavedWriteWhileAnIconIsAwaited()
{
    m_client->serverApps = { { 1, u"One"_qs, u"red"_qs, true }, { 2, u"Two"_qs, u"blue"_qs, true },
        { 3, u"Three"_qs, u"green"_qs, true } };
    for (qint64 id = 1; id <= 3; ++id)
        m_client->icons.insert(id, "PNG" + QByteArray::number(id));
    bool pendingWhileWaiting = false;
    m_client->failures.insert(
        u"appIcon"_qs, [this, &pendingWhileWaiting] { pendingWhileWaiting |= m_cache->hasChanges(); });
    m_client->suspends = true;

    await(m_engine->syncApps());
    QCOMPARE(m_client->count(u"appIcon"_qs), 3);
    QVERIFY(!pendingWhileWaiting);
    QCOMPARE(cachedApp(*m_cache, 3)->icon, std::optional<QByteArray>("PNG3"));
}

void TestSyncEngine::stoppedAppRefreshWithoutErrorChangesNothing_data()
{
    QTest::addColumn<QString>("stoppedDuring"); // the request whose answer arrives after the stop
    QTest::addColumn<qint64>("argument"); // of that request
    QTest::newRow("application list") << u"apps"_qs << qint64(0);
    QTest::newRow("last icon") << u"appIcon"_qs << qint64(3);
}

// A request may complete normally although a stop was asked for while it ran. When no request is left to raise a
// cancellation, the refresh ends without an error, and it must end without touching the cache either.
void TestSyncEngine::stoppedAppRefreshWithoutErrorChangesNothing()
{
    QFETCH(QString, stoppedDuring);
    QFETCH(qint64, argument);
    m_client->serverApps = { { 1, u"Old"_qs, u"red"_qs, true }, { 2, u"Goes"_qs, u"blue"_qs, false } };
    m_client->icons = { { 1, "old-png" } };
    for (qint64 id = 1; id <= 4; ++id)
        m_client->addMessage(makeMessage(id, id % 2 + 1));
    await(m_engine->syncNow());
    const QList<CachedApp> appsBefore = m_cache->fetchApps();
    QCOMPARE(appsBefore.size(), 2);

    // The server renames one application, replaces its icon, drops the other and adds a third.
    m_client->serverApps = { { 1, u"New"_qs, u"green"_qs, true }, { 3, u"Added"_qs, u"grey"_qs, true } };
    m_client->icons = { { 1, "new-png" }, { 3, "three-png" } };
    m_client->calls.clear();
    std::stop_source source;
    m_client->failures.insert(stoppedDuring, [this, &source, argument] {
        if (m_client->calls.last().argument == argument)
            source.request_stop();
    });
    try {
        await(m_engine->syncApps(source.get_token()));
    } catch (const CancelledError&) {
        QFAIL("the refresh raised a cancellation although no request was left to raise one");
    }

    QCOMPARE(m_client->calls.last().op, stoppedDuring);
    QCOMPARE(m_client->calls.last().argument, argument);
    QVERIFY(!m_cache->hasChanges());
    QCOMPARE(m_cache->fetchApps(), appsBefore);
    QCOMPARE(m_cache->fetchMessages().size(), 4); // the dropped application's messages too
}

void TestSyncEngine::markReadThresholds_data()
{
    QTest::addColumn<bool>("filled");
    QTest::addColumn<std::optional<qint64>>("given");
    QTest::addColumn<std::optional<qint64>>("sent");
    QTest::newRow("no id, empty cache") << false << std::optional<qint64>() << std::optional<qint64>();
    QTest::newRow("no id, filled cache") << true << std::optional<qint64>() << std::optional<qint64>(30);
    QTest::newRow("zero") << true << std::optional<qint64>(0) << std::optional<qint64>();
    QTest::newRow("negative") << true << std::optional<qint64>(-5) << std::optional<qint64>();
    QTest::newRow("one") << false << std::optional<qint64>(1) << std::optional<qint64>(1);
    QTest::newRow("given wins") << true << std::optional<qint64>(12) << std::optional<qint64>(12);
}

void TestSyncEngine::markReadThresholds()
{
    QFETCH(bool, filled);
    QFETCH(std::optional<qint64>, given);
    QFETCH(std::optional<qint64>, sent);
    if (filled) {
        m_client->addMessage(makeMessage(30, 1));
        await(m_engine->syncNow());
    }
    await(m_engine->markRead(given));
    QCOMPARE(m_client->count(u"markRead"_qs), sent ? 1 : 0);
    QCOMPARE(m_client->lastReadId, sent);
}

void TestSyncEngine::deleteIsServerFirst()
{
    m_client->addMessage(makeMessage(1, 1));
    m_client->addMessage(makeMessage(2, 1));
    await(m_engine->syncNow());
    const CachedMessage first = m_cache->fetchMessages().first();

    m_client->failures.insert(u"deleteMessage"_qs, failWith(APIClient::APIError::http(403)));
    awaitError<APIClient::APIError>(m_engine->deleteMessage(first));
    QCOMPARE(ids(m_cache->fetchMessages()), (QList<qint64> { 1, 2 }));

    m_client->failures.clear();
    QSignalSpy changed(m_cache.get(), &CacheContext::committed);
    await(m_engine->deleteMessage(first));
    QCOMPARE(ids(m_cache->fetchMessages()), (QList<qint64> { 2 }));
    QCOMPARE(changed.size(), 1);
}

void TestSyncEngine::clearAppIsServerFirstAndKeepsTheApp()
{
    m_client->serverApps = { { 1, u"A"_qs, u""_qs, false }, { 2, u"B"_qs, u""_qs, false } };
    for (qint64 id = 1; id <= 6; ++id)
        m_client->addMessage(makeMessage(id, id % 2 + 1));
    await(m_engine->syncNow());

    m_client->failures.insert(u"clearApp"_qs, failWith(APIClient::APIError::http(500)));
    awaitError<APIClient::APIError>(m_engine->clearApp(2));
    QCOMPARE(m_cache->fetchMessages().size(), 6);

    m_client->failures.clear();
    await(m_engine->clearApp(2));
    QCOMPARE(ids(m_cache->fetchMessages()), (QList<qint64> { 2, 4, 6 }));
    QCOMPARE(m_cache->fetchApps().size(), 2);
}

void TestSyncEngine::syncRightAfterAClear_data()
{
    QTest::addColumn<bool>("together");
    QTest::newRow("after the clear has ended") << false;
    QTest::newRow("while the clear deletes") << true;
}

// The cache deletes a cleared application's messages on a thread of its own. A sync that comes then finds the
// server's state: its page goes in after the delete has committed, so the application's new message stays, and
// the lists hear of the two changes in that order. No write of the engine waits on the UI thread.
void TestSyncEngine::syncRightAfterAClear()
{
    QFETCH(bool, together);
    QTest::failOnWarning(QRegularExpression(u"waits on the UI thread"_qs));
    QTemporaryDir folder;
    m_cache = Store::open(folder.filePath(u"cache.sqlite"_qs));
    m_engine = std::make_unique<SyncEngine>(m_client, m_cache);
    m_client->serverApps = { { 1, u"A"_qs, u""_qs, false }, { 2, u"B"_qs, u""_qs, false } };
    for (qint64 id = 1; id <= 6; ++id)
        m_client->addMessage(makeMessage(id, 2 - id % 2));
    await(m_engine->syncNow());
    m_client->suspends = true; // the two calls below overlap as they would over a network

    // What the server has after the clear: the application's next message and another one's.
    bool pageMetTheDelete = false;
    m_client->pages = [this, &pageMetTheDelete](qint64, qint64) {
        pageMetTheDelete = m_cache->isDeletingInBackground();
        return SyncResponse { { makeMessage(7, 2), makeMessage(8, 1) }, false };
    };

    QSignalSpy details(m_cache.get(), &CacheContext::committed);
    QCoro::Task<> clear = m_engine->clearApp(2);
    qint64 applied = 0;
    if (together) {
        // Both requests answer in the order they were sent: the clear's, whose delete then starts, and the page's.
        QCoro::Task<qint64> sync = m_engine->syncNow();
        applied = await(std::move(sync));
        await(std::move(clear));
    } else {
        await(std::move(clear));
        applied = await(m_engine->syncNow());
    }

    QCOMPARE(pageMetTheDelete, together);
    QCOMPARE(applied, 2);
    QCOMPARE(ids(m_cache->fetchMessages()), (QList<qint64> { 1, 3, 5, 7, 8 }));
    QCOMPARE(m_cache->countMessagesAbove(0), 5);
    QVERIFY(!m_cache->isDeletingInBackground());
    QVERIFY(!m_cache->hasChanges());
    QVERIFY(details.size() >= 2);
    CacheChange cleared;
    cleared.clearedApplications = { 2 };
    CacheChange synced;
    synced.upsertedMessages = { 7, 8 };
    QVERIFY(details.at(0).first().value<CacheChange>() == cleared);
    QVERIFY(details.at(1).first().value<CacheChange>() == synced);
}

void TestSyncEngine::clearAllEmptiesTheCache()
{
    m_client->serverApps = { { 1, u"A"_qs, u""_qs, false } };
    m_client->addMessage(makeMessage(1, 1));
    await(m_engine->syncNow());
    m_engine->clearAll();
    QVERIFY(m_cache->fetchMessages().isEmpty());
    QVERIFY(m_cache->fetchApps().isEmpty());
    QVERIFY(m_client->calls.size() == 2); // messages and apps of the sync; nothing for the clear
}

// The same pull through HTTP: pages, applications and icons as the real client requests them.
void TestSyncEngine::throughTheRealClient()
{
    FakeServer server;
    server.setHandler([](const FakeServer::Request& request) {
        const QUrlQuery query(QUrl(QString::fromLatin1(request.target)));
        if (request.target.startsWith("/api/messages?")) {
            const qint64 since = query.queryItemValue(u"since"_qs).toLongLong();
            QJsonArray page;
            for (qint64 id = since + 1; id <= std::min<qint64>(since + 200, 300); ++id) {
                page.append(QJsonObject { { "id", id }, { "application_id", 1 }, { "message", "m" }, { "priority", 0 },
                    { "ts", id }, { "sound", "ping" } });
            }
            return FakeServer::Response::json(
                QJsonDocument(QJsonObject { { "messages", page }, { "has_more", since + 200 < 300 } }).toJson());
        }
        if (request.target == "/api/apps")
            return FakeServer::Response::json(R"([{"id":1,"name":"CI","color":"#00ff00","has_icon":1}])");
        if (request.target == "/api/apps/1/icon")
            return FakeServer::Response::json("\x89PNG-bytes");
        return FakeServer::Response::empty(404);
    });
    QNetworkAccessManager nam;
    auto client = std::make_shared<APIClient>(DeviceConfig { server.url(), u"k"_qs }, &nam);
    SyncEngine engine(client, m_cache);
    QCOMPARE(await(engine.syncNow()), 300);
    QCOMPARE(ids(m_cache->fetchMessages()), range(1, 300));
    QCOMPARE(cachedApp(*m_cache, 1)->icon, std::optional<QByteArray>("\x89PNG-bytes"));
    QStringList targets;
    for (const auto& request : server.requests())
        targets.append(QString::fromLatin1(request.target));
    QCOMPARE(targets,
        (QStringList { u"/api/messages?since=0&limit=200"_qs, u"/api/messages?since=200&limit=200"_qs, u"/api/apps"_qs,
            u"/api/apps/1/icon"_qs }));
}

QTEST_GUILESS_MAIN(TestSyncEngine)
#include "test_syncengine.moc"
