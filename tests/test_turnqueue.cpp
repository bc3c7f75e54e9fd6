// SPDX-License-Identifier: GPL-3.0-or-later
#include "cache/store.h"
#include "coro.h"
#include "memorycredentialstore.h"
#include "scriptedclient.h"
#include "state/accountsession.h"
#include "state/turnqueue.h"
#include "sync/syncscheduler.h"

#include <QtTest>

using namespace tidewell;

namespace {

QCoro::Task<> takeTurn(TurnQueue* queue, std::optional<bool>& answered)
{
    QCoro::Task<TurnQueue::Turn> taking = queue->take();
    const TurnQueue::Turn turn = co_await std::move(taking);
    answered = bool(turn);
}

QCoro::Task<> noPass(std::stop_token)
{
    co_return;
}

} // namespace

// What waits for a turn ends when the queue goes, or the session that owns it: it resumes then, with an empty turn,
// rather than never (its frame, and the credential it holds, would stay for as long as the process).
class TestTurnQueue : public QObject
{
    Q_OBJECT
private slots:
    void waiterEndsWhenTheQueueGoes();
    void waiterEndsWhenTheSessionGoes();
};

void TestTurnQueue::waiterEndsWhenTheQueueGoes()
{
    auto queue = std::make_unique<TurnQueue>();
    const TurnQueue::Turn first = await(queue->take());
    QVERIFY(first);
    std::optional<bool> second;
    auto waiting = takeTurn(queue.get(), second);
    QVERIFY(!second.has_value());
    queue.reset();
    QVERIFY(second.has_value());
    QCOMPARE(*second, false);
}

void TestTurnQueue::waiterEndsWhenTheSessionGoes()
{
    MemoryCredentialStore store;
    store.hold();
    SyncScheduler scheduler(&noPass);
    auto session = std::make_unique<AccountSession>(
        Store::openCache(true), &store, [](const DeviceConfig&) { return std::make_shared<ScriptedClient>(); },
        scheduler);
    // The first link keeps its turn while the store waits; the second waits for a turn.
    QCoro::Task<bool> first = session->configure(DeviceConfig { QUrl(u"https://first.example.com"_qs), u"one"_qs });
    QCoro::Task<bool> second = session->configure(DeviceConfig { QUrl(u"https://second.example.com"_qs), u"two"_qs });
    QCOMPARE(store.pending(), 1);
    QVERIFY(!second.isReady());

    session.reset();
    QVERIFY(second.isReady());
    QCOMPARE(await(std::move(second)), false);
    store.release();
    QCOMPARE(await(std::move(first)), false);
}

QTEST_GUILESS_MAIN(TestTurnQueue)
#include "test_turnqueue.moc"
