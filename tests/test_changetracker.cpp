// SPDX-License-Identifier: GPL-3.0-or-later
#include "cache/changetracker.h"
#include "cachechangeprinting.h"

#include <QtTest>
#include <functional>

using namespace tidewell;

namespace {

using Writes = std::function<void(ChangeTracker&)>;

CacheChange change(QList<qint64> upserted, QList<qint64> removed = {}, QList<qint64> cleared = {})
{
    CacheChange c;
    c.upsertedMessages = std::move(upserted);
    c.removedMessages = std::move(removed);
    c.clearedApplications = std::move(cleared);
    return c;
}

CacheChange everything()
{
    CacheChange c;
    c.everything = true;
    return c;
}

} // namespace

class TestChangeTracker : public QObject
{
    Q_OBJECT

private slots:
    void reportsWhatTheWritesChanged_data();
    void reportsWhatTheWritesChanged();
    void takeAndClearStartAfresh();
};

void TestChangeTracker::reportsWhatTheWritesChanged_data()
{
    QTest::addColumn<qsizetype>("maxListed");
    QTest::addColumn<Writes>("writes");
    QTest::addColumn<CacheChange>("expected");

    QTest::newRow("nothing") << qsizetype(10) << Writes([](ChangeTracker&) {}) << CacheChange();
    QTest::newRow("ids in the order first written, the last write deciding") << qsizetype(
        10) << Writes([](ChangeTracker& t) {
        t.messageWritten(3, true);
        t.messageWritten(1, true);
        t.messageWritten(2, false);
        t.messageWritten(3, false);
        t.messageWritten(2, true);
    }) << change({ 1, 2 }, { 3 });
    QTest::newRow("an application cleared once is listed once") << qsizetype(10) << Writes([](ChangeTracker& t) {
        t.applicationCleared(4);
        t.applicationCleared(2);
        t.applicationCleared(4);
    }) << change({}, {}, { 4, 2 });
    CacheChange wiped = change({ 7 });
    wiped.allMessagesRemoved = true;
    QTest::newRow("removing all messages forgets what came before it") << qsizetype(10) << Writes([](ChangeTracker& t) {
        t.messageWritten(1, true);
        t.messageWritten(2, false);
        t.applicationCleared(3);
        t.allMessagesRemoved();
        t.messageWritten(7, true);
    }) << wiped;
    CacheChange apps;
    apps.appsChanged = true;
    QTest::newRow("applications") << qsizetype(10) << Writes([](ChangeTracker& t) { t.appsChanged(); }) << apps;
    QTest::newRow("as many ids as are listed") << qsizetype(2) << Writes([](ChangeTracker& t) {
        t.messageWritten(1, true);
        t.messageWritten(2, true);
        t.messageWritten(1, false);
    }) << change({ 2 }, { 1 });
    QTest::newRow("one id more reports everything") << qsizetype(2) << Writes([](ChangeTracker& t) {
        t.appsChanged();
        t.messageWritten(1, true);
        t.messageWritten(2, true);
        t.messageWritten(3, true);
        t.messageWritten(4, false);
    }) << everything();
}

void TestChangeTracker::reportsWhatTheWritesChanged()
{
    QFETCH(qsizetype, maxListed);
    QFETCH(Writes, writes);
    QFETCH(CacheChange, expected);

    ChangeTracker tracker(maxListed);
    writes(tracker);
    QCOMPARE(tracker.isEmpty(), expected.isEmpty());
    QCOMPARE(tracker.take(), expected);
}

void TestChangeTracker::takeAndClearStartAfresh()
{
    ChangeTracker tracker(2);
    tracker.messageWritten(1, true);
    tracker.messageWritten(2, true);
    tracker.messageWritten(3, true);
    QCOMPARE(tracker.take(), everything());
    QVERIFY(tracker.isEmpty());
    tracker.messageWritten(4, true);
    QCOMPARE(tracker.take(), change({ 4 }));

    tracker.messageWritten(5, false);
    tracker.appsChanged();
    tracker.applicationCleared(1);
    tracker.clear();
    QVERIFY(tracker.isEmpty());
    QCOMPARE(tracker.take(), CacheChange());
    tracker.messageWritten(5, true);
    QCOMPARE(tracker.take(), change({ 5 }));
}

QTEST_GUILESS_MAIN(TestChangeTracker)
#include "test_changetracker.moc"
