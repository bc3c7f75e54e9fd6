// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/keylowering.h"
#include "lists/listrules.h"
#include "lists/rowstore.h"
#include "lists/shownorder.h"
#include "lists/titleranks.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace tidewell;

namespace {

// Few applications, times and titles, so that ties in every ordering are common.
QList<CachedMessage> randomRecords(quint32 seed, int count)
{
    static const QStringList titles { u"alpha"_qs, u"Alpha"_qs, u"beta"_qs, u"\u00e9t\u00e9"_qs, u"zulu"_qs,
        QString() };
    QRandomGenerator random(seed);
    QList<CachedMessage> records;
    qint64 id = 0;
    for (int i = 0; i < count; ++i) {
        CachedMessage record;
        id += 1 + random.bounded(3);
        record.id = id;
        record.applicationId = 1 + random.bounded(3);
        record.ts = 1000 + random.bounded(20);
        record.message = u"body %1"_qs.arg(id);
        const int title = random.bounded(int(titles.size()) + 1);
        if (title < titles.size())
            record.title = titles[title];
        records.append(record);
    }
    return records;
}

std::vector<qint64> shownIds(const RowStore& store, const ShownOrder& shown)
{
    std::vector<qint64> ids;
    for (size_t row = 0; row < shown.size(); ++row)
        ids.push_back(store.rows[shown.at(row)].m.id);
    return ids;
}

std::vector<qint64> idsOf(const QList<CachedMessage>& records)
{
    std::vector<qint64> ids;
    for (const CachedMessage& record : records)
        ids.push_back(record.id);
    return ids;
}

} // namespace

class TestShownOrder : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanup() { QLocale::setDefault(QLocale::c()); }
    void agreesWithTheRules_data();
    void agreesWithTheRules();
};

void TestShownOrder::agreesWithTheRules_data()
{
    QTest::addColumn<int>("sortCase");
    QTest::addColumn<quint32>("seed");

    for (const MessageSort sort : MessageSort::allCases()) {
        for (quint32 seed : { 1u, 2u, 3u })
            QTest::addRow("%s, seed %u", qPrintable(sort.rawValue()), seed) << int(sort.value()) << seed;
    }
}

// The list made from the rows' flags, then narrowed to one application, is the rules' list for the same choices.
void TestShownOrder::agreesWithTheRules()
{
    QFETCH(int, sortCase);
    const MessageSort sort { MessageSort::Case(sortCase) };
    QFETCH(quint32, seed);

    const QList<CachedMessage> records = randomRecords(seed, 300);
    const KeyLowering lowering(QLocale(QLocale::English, QLocale::UnitedStates));
    TitleRanks titles;
    titles.reset(QLocale(QLocale::English, QLocale::UnitedStates));
    RowStore store;
    std::vector<quint32> positions;
    for (const CachedMessage& record : records) {
        positions.push_back(quint32(store.rows.size()));
        store.append(store.make(record, lowering, titles));
    }
    store.insertIntoTimeOrder(positions);
    for (quint8& flag : store.flags)
        flag |= RowStore::Listed;

    ShownOrder shown;
    shown.compute(store, titles, sort);
    QCOMPARE(shownIds(store, shown), idsOf(ListRules::filtered(records, std::nullopt, QString(), sort)));
    QVERIFY(shown.changed());

    const qint64 selected = 2;
    for (size_t position = 0; position < store.rows.size(); ++position) {
        if (store.rows[position].m.applicationId != selected)
            store.flags[position] &= quint8(~RowStore::Listed);
    }
    const std::vector<qint64> expected = idsOf(ListRules::filtered(records, selected, QString(), sort));
    // Dropping rows keeps the order only where it is total; the title order is made anew.
    if (sort.value() != MessageSort::Title) {
        ShownOrder narrowed = shown;
        narrowed.keepListed(store);
        QCOMPARE(shownIds(store, narrowed), expected);
    }
    shown.compute(store, titles, sort);
    QCOMPARE(shownIds(store, shown), expected);
    QVERIFY(shown.changed());
    shown.compute(store, titles, sort);
    QVERIFY(!shown.changed());
}

QTEST_GUILESS_MAIN(TestShownOrder)
#include "test_shownorder.moc"
