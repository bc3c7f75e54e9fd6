// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/liststeps.h"

#include <QtTest>

#include <algorithm>

using namespace tidewell;

namespace {

using Ids = QList<qint64>;

// The steps applied one after another to the list before, as a view applies ranges it is told.
Ids applied(Ids list, const Ids& after, const std::vector<ListSteps::Step>& steps)
{
    for (const ListSteps::Step& step : steps) {
        if (step.kind == ListSteps::Step::Remove)
            list.remove(step.newFrom, step.count);
        else
            list.insert(step.newFrom, step.count, 0);
        if (step.kind == ListSteps::Step::Insert) {
            for (qsizetype row = step.newFrom; row < step.newFrom + step.count; ++row)
                list[row] = after[row];
        }
    }
    return list;
}

} // namespace

class TestListSteps : public QObject
{
    Q_OBJECT
private slots:
    void between_data();
    void between();
};

void TestListSteps::between_data()
{
    QTest::addColumn<Ids>("before");
    QTest::addColumn<Ids>("after");
    QTest::addColumn<Ids>("moved"); // ids said to have both departed and entered
    QTest::addColumn<int>("steps"); // -1: no steps, the list is told anew

    QTest::newRow("unchanged") << Ids { 5, 4, 3 } << Ids { 5, 4, 3 } << Ids {} << 0;
    QTest::newRow("newest at the top") << Ids { 5, 4, 3 } << Ids { 7, 6, 5, 4, 3 } << Ids {} << 1;
    QTest::newRow("oldest at the bottom") << Ids { 3, 4, 5 } << Ids { 3, 4, 5, 6, 7 } << Ids {} << 1;
    QTest::newRow("one deleted") << Ids { 5, 4, 3 } << Ids { 5, 3 } << Ids {} << 1;
    QTest::newRow("last deleted") << Ids { 5, 4, 3 } << Ids { 5, 4 } << Ids {} << 1;
    QTest::newRow("everything deleted") << Ids { 5, 4, 3 } << Ids {} << Ids {} << 1;
    QTest::newRow("into an empty list") << Ids {} << Ids { 2, 1 } << Ids {} << 1;
    QTest::newRow("one application cleared") << Ids { 8, 7, 6, 5, 4, 3 } << Ids { 8, 6, 4 } << Ids {} << 3;
    QTest::newRow("removed and inserted in one place") << Ids { 5, 4, 3 } << Ids { 5, 9, 3 } << Ids {} << 2;
    QTest::newRow("one moved down") << Ids { 5, 4, 3, 2 } << Ids { 4, 3, 5, 2 } << Ids { 5 } << 2;
    QTest::newRow("one moved, still between the same neighbours")
        << Ids { 5, 4, 3 } << Ids { 5, 4, 3 } << Ids { 4 } << 0;
    QTest::newRow("rows that stay swapped") << Ids { 5, 4, 3 } << Ids { 4, 5, 3 } << Ids {} << -1;
}

void TestListSteps::between()
{
    QFETCH(Ids, before);
    QFETCH(Ids, after);
    QFETCH(Ids, moved);
    QFETCH(int, steps);

    const auto departed = [&](qint64 id) { return !after.contains(id) || moved.contains(id); };
    const auto entered = [&](qint64 id) { return !before.contains(id) || moved.contains(id); };
    const std::vector<qint64> from(before.begin(), before.end());
    const std::vector<qint64> to(after.begin(), after.end());
    const std::optional<std::vector<ListSteps::Step>> found = ListSteps::between(from, to, departed, entered, 100);
    QCOMPARE(found ? int(found->size()) : -1, steps);
    if (found)
        QCOMPARE(applied(before, after, *found), after);
    // More steps than allowed: the list is told anew.
    if (steps > 0)
        QVERIFY(!ListSteps::between(from, to, departed, entered, size_t(steps) - 1));
}

QTEST_GUILESS_MAIN(TestListSteps)
#include "test_liststeps.moc"
