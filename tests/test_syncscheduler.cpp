// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/cancellablesleep.h"
#include "coro.h"
#include "sync/syncscheduler.h"

#include <QtTest>
#include <new>

using namespace tidewell;

namespace {

// A pass that takes `duration` unless stopped, counting how often it ran and how it ended.
struct Passes
{
    int started = 0;
    int stopped = 0;
    std::chrono::milliseconds duration { 50 };
    bool throwUnexpected = false;

    static QCoro::Task<> run(Passes* self, std::stop_token stop)
    {
        ++self->started;
        if (self->throwUnexpected)
            throw std::bad_alloc();
        const bool completed = co_await sleepFor(self->duration, stop);
        if (!completed)
            ++self->stopped;
    }

    SyncScheduler::Pass pass()
    {
        return [this](std::stop_token stop) { return run(this, stop); };
    }
};

QCoro::Task<> markDone(QCoro::Task<> task, bool& done)
{
    co_await std::move(task);
    done = true;
}

} // namespace

class TestSyncScheduler : public QObject
{
    Q_OBJECT
private slots:
    void requestsDuringAPassCollapseIntoOne_data();
    void requestsDuringAPassCollapseIntoOne();
    void cancelAndJoinDropsPendingRequests();
    void unexpectedExceptionEndsThePass();
    void destroyedWhileRequestsWait();
    void requestsDuringAHoldRunOnceAfterIt();
    void overlappingHolds();
    void holdStopsTheRunningPass();
    void destroyedWhileARequestWaitsOnAHold();
};

void TestSyncScheduler::requestsDuringAPassCollapseIntoOne_data()
{
    QTest::addColumn<int>("extraRequests");
    QTest::addColumn<int>("passes");
    QTest::newRow("none") << 0 << 1;
    QTest::newRow("one") << 1 << 2;
    QTest::newRow("many") << 25 << 2;
}

void TestSyncScheduler::requestsDuringAPassCollapseIntoOne()
{
    QFETCH(int, extraRequests);
    QFETCH(int, passes);
    Passes counter;
    SyncScheduler scheduler(counter.pass());
    std::vector<QCoro::Task<>> requests;
    requests.push_back(scheduler.request());
    QVERIFY(scheduler.isRunning());
    for (int i = 0; i < extraRequests; ++i)
        requests.push_back(scheduler.request());
    for (auto& request : requests)
        await(std::move(request));
    QCOMPARE(counter.started, passes);
    QVERIFY(!scheduler.isRunning());
}

void TestSyncScheduler::cancelAndJoinDropsPendingRequests()
{
    Passes counter;
    counter.duration = std::chrono::seconds(30);
    SyncScheduler scheduler(counter.pass());
    auto running = scheduler.request();
    auto pending = scheduler.request();
    await(scheduler.cancelAndJoin());
    QVERIFY(!scheduler.isRunning());
    await(std::move(running));
    await(std::move(pending));
    QTest::qWait(20);
    QCOMPARE(counter.started, 1);
    QCOMPARE(counter.stopped, 1);

    counter.duration = std::chrono::milliseconds(1);
    await(scheduler.request()); // a request after the join starts a new pass
    QCOMPARE(counter.started, 2);
}

void TestSyncScheduler::unexpectedExceptionEndsThePass()
{
    Passes counter;
    counter.throwUnexpected = true;
    SyncScheduler scheduler(counter.pass());
    bool done = false;
    auto request = markDone(scheduler.request(), done);
    QTRY_VERIFY(done);
    QVERIFY(!scheduler.isRunning());

    counter.throwUnexpected = false;
    counter.duration = std::chrono::milliseconds(1);
    await(scheduler.request());
    QCOMPARE(counter.started, 2);
}

// Requests still waiting when the scheduler goes return, and none of them runs the pass function again.
void TestSyncScheduler::destroyedWhileRequestsWait()
{
    Passes counter;
    counter.duration = std::chrono::seconds(30);
    auto scheduler = std::make_unique<SyncScheduler>(counter.pass());
    auto running = scheduler->request();
    auto pending = scheduler->request();
    scheduler.reset();
    await(std::move(running));
    await(std::move(pending));
    QTest::qWait(20);
    QCOMPARE(counter.started, 1);
    QCOMPARE(counter.stopped, 1);
}

void TestSyncScheduler::requestsDuringAHoldRunOnceAfterIt()
{
    Passes counter;
    counter.duration = std::chrono::milliseconds(1);
    SyncScheduler scheduler(counter.pass());
    SyncScheduler::Hold hold = await(scheduler.hold());
    QVERIFY(scheduler.isHeld());
    bool firstDone = false;
    bool secondDone = false;
    auto first = markDone(scheduler.request(), firstDone);
    auto second = markDone(scheduler.request(), secondDone);
    QTest::qWait(20);
    QCOMPARE(counter.started, 0);
    QVERIFY(!firstDone && !secondDone);

    hold.release();
    QVERIFY(!scheduler.isHeld());
    QCOMPARE(counter.started, 1); // started as the hold ends
    QTRY_VERIFY(firstDone && secondDone);
    QCOMPARE(counter.started, 1);
    QCOMPARE(counter.stopped, 0);
}

// Holds nest: the pass asked for meanwhile waits for the last one, whatever order they end in.
void TestSyncScheduler::overlappingHolds()
{
    Passes counter;
    counter.duration = std::chrono::milliseconds(1);
    SyncScheduler scheduler(counter.pass());
    std::optional<SyncScheduler::Hold> outer = await(scheduler.hold());
    auto request = scheduler.request();
    SyncScheduler::Hold inner = await(scheduler.hold());
    outer.reset();
    QVERIFY(scheduler.isHeld());
    QTest::qWait(20);
    QCOMPARE(counter.started, 0);
    SyncScheduler::Hold moved = std::move(inner);
    inner.release(); // moved from: ends nothing
    QCOMPARE(counter.started, 0);
    moved.release();
    await(std::move(request));
    QCOMPARE(counter.started, 1);
}

// A hold stops the running pass and resumes once it has ended; a request made while it is being stopped, and those
// made before the hold that waited for a further pass, run once after the hold.
void TestSyncScheduler::holdStopsTheRunningPass()
{
    Passes counter;
    counter.duration = std::chrono::seconds(30);
    SyncScheduler scheduler(counter.pass());
    bool runningDone = false;
    bool pendingDone = false;
    bool duringDone = false;
    auto running = markDone(scheduler.request(), runningDone);
    auto pending = markDone(scheduler.request(), pendingDone);
    auto holding = scheduler.hold();
    auto during = markDone(scheduler.request(), duringDone);
    SyncScheduler::Hold hold = await(std::move(holding));
    QCOMPARE(counter.stopped, 1);
    QVERIFY(!scheduler.isRunning());
    QTRY_VERIFY(runningDone);
    QTest::qWait(20);
    QCOMPARE(counter.started, 1);
    QVERIFY(!pendingDone && !duringDone);

    counter.duration = std::chrono::milliseconds(1);
    hold.release();
    QTRY_VERIFY(pendingDone && duringDone);
    QCOMPARE(counter.started, 2);
    QCOMPARE(counter.stopped, 1);
}

// A request waiting for a hold to end returns when the scheduler goes, and the hold ending later starts nothing.
void TestSyncScheduler::destroyedWhileARequestWaitsOnAHold()
{
    Passes counter;
    auto scheduler = std::make_unique<SyncScheduler>(counter.pass());
    SyncScheduler::Hold hold = await(scheduler->hold());
    bool done = false;
    auto request = markDone(scheduler->request(), done);
    scheduler.reset();
    QTRY_VERIFY(done);
    hold.release();
    QTest::qWait(20);
    QCOMPARE(counter.started, 0);
}

QTEST_GUILESS_MAIN(TestSyncScheduler)
#include "test_syncscheduler.moc"
