// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/keylowering.h"
#include "lists/rowstore.h"
#include "lists/titleranks.h"

#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <map>

using namespace tidewell;

namespace {

const QLocale english(QLocale::English, QLocale::UnitedStates);

// The store as it should be: the live records by id.
using Model = std::map<qint64, CachedMessage>;

QByteArray expectedKeys(const CachedMessage& record)
{
    QByteArray keys = SearchKey::of(english.toLower(record.message));
    if (record.title)
        keys += SearchKey::of(english.toLower(*record.title));
    return keys;
}

// Everything the store says about its rows, against the model. Returns an empty text when all agree.
QString difference(const RowStore& store, const Model& model, const std::vector<qint64>& removed)
{
    if (qsizetype(store.rows.size()) - store.deadRows != qsizetype(model.size()))
        return u"%1 live rows, model %2"_qs.arg(qsizetype(store.rows.size()) - store.deadRows).arg(model.size());
    for (size_t position = 1; position < store.rows.size(); ++position) {
        if (store.rows[position - 1].m.id >= store.rows[position].m.id)
            return u"rows out of id order at %1"_qs.arg(position);
    }
    for (const auto& [id, record] : model) {
        const std::optional<size_t> position = store.livePositionOf(id);
        if (!position)
            return u"message %1 not found"_qs.arg(id);
        const RowStore::Row& row = store.rows[*position];
        if (row.m.applicationId != record.applicationId || row.m.ts != record.ts || row.m.priority != record.priority)
            return u"row of message %1 differs from its record"_qs.arg(id);
        const QByteArray keys(store.keyOf(row), qsizetype(row.bodyLength + row.titleLength));
        if (keys != expectedKeys(record) || row.hasTitle != record.title.has_value())
            return u"keys of message %1 differ"_qs.arg(id);
    }
    for (qint64 id : removed) {
        if (!model.contains(id) && store.livePositionOf(id))
            return u"removed message %1 is still alive"_qs.arg(id);
    }
    std::vector<std::pair<qint64, qint64>> byTime;
    for (const auto& [id, record] : model)
        byTime.emplace_back(record.ts, id);
    std::sort(byTime.begin(), byTime.end());
    if (store.timeOrder.size() != byTime.size())
        return u"time order of %1 rows, model %2"_qs.arg(store.timeOrder.size()).arg(byTime.size());
    for (size_t i = 0; i < byTime.size(); ++i) {
        if (store.rows[store.timeOrder[i]].m.id != byTime[i].second)
            return u"time order differs at %1"_qs.arg(i);
    }
    return QString();
}

} // namespace

class TestRowStore : public QObject
{
    Q_OBJECT
private slots:
    void followsRandomChanges_data();
    void followsRandomChanges();
};

void TestRowStore::followsRandomChanges_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("newestPercent");

    QTest::newRow("mostly newest") << 1u << 90;
    QTest::newRow("anywhere") << 2u << 30;
    QTest::newRow("anywhere, other seed") << 3u << 50;
}

// Rows removed, then added at the end or among the others, and packed as a commit does it, against a map of
// records.
void TestRowStore::followsRandomChanges()
{
    QFETCH(quint32, seed);
    QFETCH(int, newestPercent);

    QRandomGenerator random(seed);
    static const QStringList texts { u"Disk"_qs, u"caf\u00c9"_qs, u"HOST-5 is above"_qs, QString(), u"\U0001F600"_qs };
    const KeyLowering lowering(english);
    TitleRanks titles;
    titles.reset(english);
    RowStore store;
    Model model;
    std::vector<qint64> removed;
    qint64 nextId = 1000;

    for (int step = 0; step < 300; ++step) {
        const int removals = model.empty() ? 0 : random.bounded(4);
        for (int i = 0; i < removals && !model.empty(); ++i) {
            auto victim = model.begin();
            std::advance(victim, random.bounded(int(model.size())));
            if (const auto position = store.livePositionOf(victim->first)) {
                titles.release(store.rows[*position].text);
                store.markDead(*position);
            }
            removed.push_back(victim->first);
            model.erase(victim);
        }
        std::vector<RowStore::Row> added;
        const int adds = random.bounded(6);
        for (int i = 0; i < adds; ++i) {
            qint64 id = random.bounded(100) < newestPercent ? nextId++ : qint64(random.bounded(1000));
            if (model.contains(id))
                continue;
            CachedMessage record;
            record.id = id;
            record.applicationId = 1 + random.bounded(3);
            record.ts = random.bounded(50);
            record.priority = random.bounded(3);
            record.message = texts[random.bounded(int(texts.size()))];
            if (random.bounded(2))
                record.title = texts[random.bounded(int(texts.size()))];
            if (std::any_of(added.begin(), added.end(), [&](const RowStore::Row& row) { return row.m.id == id; }))
                continue;
            added.push_back(store.make(record, lowering, titles));
            model[id] = record;
        }
        std::erase_if(store.timeOrder, [&](quint32 position) { return !(store.flags[position] & RowStore::Alive); });

        std::sort(added.begin(), added.end(),
            [](const RowStore::Row& left, const RowStore::Row& right) { return left.m.id < right.m.id; });
        const bool appendable = added.empty() || store.rows.empty() || added.front().m.id > store.rows.back().m.id;
        std::vector<quint32> positions;
        std::vector<quint32> moved;
        if (!appendable || store.packingDue()) {
            positions = store.pack(added, moved);
            QCOMPARE(store.deadRows, 0);
            QCOMPARE(store.deadKeyBytes, 0);
        } else {
            for (const RowStore::Row& row : added) {
                positions.push_back(quint32(store.rows.size()));
                store.append(row);
            }
        }
        store.insertIntoTimeOrder(positions);
        QVERIFY2(difference(store, model, removed).isEmpty(),
            qPrintable(u"step %1: %2"_qs.arg(step).arg(difference(store, model, removed))));
    }
}

QTEST_GUILESS_MAIN(TestRowStore)
#include "test_rowstore.moc"
