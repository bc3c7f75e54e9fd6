// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/appsummaries.h"
#include "lists/listrules.h"
#include "lists/rowstore.h"

#include <QRandomGenerator>
#include <QtTest>

#include <map>

using namespace tidewell;

namespace {

QList<CachedApp> appsByName()
{
    QList<CachedApp> apps;
    for (qint64 id = 1; id <= 5; ++id)
        apps.append(CachedApp { id, u"App %1"_qs.arg(id), QString(), std::nullopt });
    return apps;
}

// The summaries against the list rules over the same records. Returns an empty text when all agree.
QString difference(const AppSummaries& summaries, const std::map<qint64, CachedMessage>& live, qint64 lastReadId)
{
    QList<CachedMessage> all;
    for (const auto& [id, record] : live)
        all.append(record);
    const QHash<qint64, int> unread = ListRules::unreadByApp(all, lastReadId);
    const QHash<qint64, CachedMessage> latest = ListRules::latestByApp(all);
    const QSet<qint64> highPriority = ListRules::highPriorityUnreadApps(all, lastReadId);
    if (summaries.totalUnread() != ListRules::totalUnread(unread))
        return u"total unread %1, rules %2"_qs.arg(summaries.totalUnread()).arg(ListRules::totalUnread(unread));
    const ApplicationSort sort(ApplicationSort::NewestMessage);
    const QList<CachedApp> order = sort.ordered(appsByName(), latest);
    const std::vector<AppSummaries::AppRow> rows = summaries.appRows(appsByName(), sort);
    if (qsizetype(rows.size()) != order.size())
        return u"%1 application rows"_qs.arg(rows.size());
    for (qsizetype i = 0; i < order.size(); ++i) {
        const AppSummaries::AppRow& row = rows[size_t(i)];
        const qint64 app = order[i].id;
        if (row.app.id != app)
            return u"application row %1 is %2, rules %3"_qs.arg(i).arg(row.app.id).arg(app);
        if (row.unreadCount != unread.value(app) || summaries.unread(app) != unread.value(app))
            return u"unread of application %1: %2, rules %3"_qs.arg(app).arg(row.unreadCount).arg(unread.value(app));
        if (row.highPriorityUnread != highPriority.contains(app))
            return u"high-priority flag of application %1 differs"_qs.arg(app);
        if (row.latest.has_value() != latest.contains(app) || (row.latest && row.latest->id != latest.value(app).id))
            return u"latest of application %1 differs"_qs.arg(app);
    }
    return QString();
}

} // namespace

class TestAppSummaries : public QObject
{
    Q_OBJECT
private slots:
    void agreeWithTheRules_data();
    void agreeWithTheRules();
};

void TestAppSummaries::agreeWithTheRules_data()
{
    QTest::addColumn<quint32>("seed");

    QTest::newRow("seed 1") << 1u;
    QTest::newRow("seed 2") << 2u;
    QTest::newRow("seed 3") << 3u;
}

// Rows come and go as commits bring them and the read position moves both ways; after each step the summaries are
// what the rules count over the live records.
void TestAppSummaries::agreeWithTheRules()
{
    QFETCH(quint32, seed);

    QRandomGenerator random(seed);
    AppSummaries summaries;
    RowStore store;
    std::map<qint64, CachedMessage> live;
    qint64 lastReadId = 0;
    qint64 nextId = 1;

    for (int step = 0; step < 400; ++step) {
        switch (random.bounded(3)) {
        case 0: {
            std::vector<quint32> positions;
            for (int i = random.bounded(4); i >= 0; --i) {
                CachedMessage record;
                record.id = nextId++;
                record.applicationId = 1 + random.bounded(6); // application 6 is not cached
                record.ts = random.bounded(30); // times tie and run against the ids
                record.priority = random.bounded(4) - 1;
                live[record.id] = record;
                RowStore::Row row;
                row.m = { record.id, record.applicationId, record.ts, record.priority };
                positions.push_back(quint32(store.rows.size()));
                store.append(row);
                summaries.add(row.m, lastReadId);
            }
            store.insertIntoTimeOrder(positions);
            break;
        }
        case 1: {
            for (int i = random.bounded(3); i >= 0 && !live.empty(); --i) {
                auto victim = live.begin();
                std::advance(victim, random.bounded(int(live.size())));
                const size_t position = *store.livePositionOf(victim->first);
                summaries.remove(store.rows[position].m, lastReadId);
                store.markDead(position);
                live.erase(victim);
            }
            std::erase_if(
                store.timeOrder, [&](quint32 position) { return !(store.flags[position] & RowStore::Alive); });
            summaries.findRemovedLatest(store);
            break;
        }
        case 2: {
            const qint64 next = random.bounded(int(nextId) + 1);
            for (const auto& [id, record] : live) {
                if (ListRules::isUnread(record, lastReadId) != ListRules::isUnread(record, next)) {
                    const RowStore::Row& row = store.rows[*store.livePositionOf(id)];
                    summaries.countUnread(row.m, ListRules::isUnread(record, next) ? 1 : -1);
                }
            }
            lastReadId = next;
            break;
        }
        }
        const QString differs = difference(summaries, live, lastReadId);
        QVERIFY2(differs.isEmpty(), qPrintable(u"step %1: %2"_qs.arg(step).arg(differs)));
    }
}

QTEST_GUILESS_MAIN(TestAppSummaries)
#include "test_appsummaries.moc"
