// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/keylowering.h"
#include "lists/listrules.h"
#include "lists/messagefilter.h"
#include "lists/rowstore.h"
#include "lists/titleranks.h"

#include <QRandomGenerator>
#include <QtTest>

#include <set>

using namespace tidewell;

namespace {

const QLocale english(QLocale::English, QLocale::UnitedStates);

// Enough rows for a pass to be split between threads, from small pools so that searches find some and miss some.
QList<CachedMessage> randomRecords(int count)
{
    static const QStringList bodies { u"Disk full on host-5"_qs, u"backup done"_qs, u"\u00c9T\u00c9 arrives"_qs,
        u"Caf\u00e9 open"_qs, u"nothing to see"_qs, QString() };
    static const QStringList titles { u"DISK"_qs, u"Alert"_qs, u"\u00e9t\u00e9"_qs, QString() };
    QRandomGenerator random(11);
    QList<CachedMessage> records;
    records.reserve(count);
    for (int i = 0; i < count; ++i) {
        CachedMessage record;
        record.id = i + 1;
        record.applicationId = 1 + random.bounded(3);
        record.ts = 1000 + i;
        record.message = bodies[random.bounded(int(bodies.size()))];
        const int title = random.bounded(int(titles.size()) + 1);
        if (title < titles.size())
            record.title = titles[title];
        records.append(record);
    }
    return records;
}

struct Fixture
{
    Fixture()
        : records(randomRecords(int(MessageFilter::rowsPerSlice * 2 + 123)))
    {
        for (const CachedMessage& record : records)
            store.append(store.make(record, lowering, titles));
        // Every seventh record is removed: its row stays, dead, and must never be listed.
        for (size_t position = 0; position < store.rows.size(); position += 7)
            store.markDead(position);
        records.removeIf([](const CachedMessage& record) { return (record.id - 1) % 7 == 0; });
    }

    std::set<qint64> listed() const
    {
        std::set<qint64> ids;
        for (size_t position = 0; position < store.rows.size(); ++position) {
            if (store.flags[position] & RowStore::Listed)
                ids.insert(store.rows[position].m.id);
        }
        return ids;
    }

    std::set<qint64> expected(std::optional<qint64> applicationId, const QString& searchText) const
    {
        std::set<qint64> ids;
        for (const CachedMessage& record :
            ListRules::filtered(records, applicationId, searchText, MessageSort(MessageSort::Newest)))
            ids.insert(record.id);
        return ids;
    }

    MessageFilter filter(std::optional<qint64> applicationId, const QString& searchText) const
    {
        MessageFilter filter;
        filter.applicationId = applicationId;
        filter.searchText = searchText;
        filter.needle = lowering.needle(searchText);
        return filter;
    }

    QList<CachedMessage> records;
    KeyLowering lowering { english };
    TitleRanks titles;
    RowStore store;
};

} // namespace

class TestMessageFilter : public QObject
{
    Q_OBJECT

private slots:
    void init() { QLocale::setDefault(english); }
    void cleanup() { QLocale::setDefault(QLocale::c()); }
    void listsWhatTheRulesShow_data();
    void listsWhatTheRulesShow();
    void narrowingEqualsFilteringAnew_data();
    void narrowingEqualsFilteringAnew();
};

void TestMessageFilter::listsWhatTheRulesShow_data()
{
    QTest::addColumn<std::optional<qint64>>("applicationId");
    QTest::addColumn<QString>("searchText");

    QTest::newRow("everything") << std::optional<qint64>() << QString();
    QTest::newRow("one application") << std::optional<qint64>(2) << QString();
    QTest::newRow("search in bodies and titles") << std::optional<qint64>() << u"disk"_qs;
    QTest::newRow("search across the case of accents") << std::optional<qint64>() << u"\u00e9t\u00e9"_qs;
    QTest::newRow("search within one application") << std::optional<qint64>(3) << u"ALERT"_qs;
    QTest::newRow("found nowhere") << std::optional<qint64>() << u"zebra"_qs;
    QTest::newRow("an application not cached") << std::optional<qint64>(9) << QString();
}

void TestMessageFilter::listsWhatTheRulesShow()
{
    QFETCH(std::optional<qint64>, applicationId);
    QFETCH(QString, searchText);

    Fixture fixture;
    fixture.filter(applicationId, searchText).apply(fixture.store);
    QCOMPARE(fixture.listed(), fixture.expected(applicationId, searchText));
}

void TestMessageFilter::narrowingEqualsFilteringAnew_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");

    QTest::newRow("one letter more") << u"dis"_qs << u"disk"_qs;
    QTest::newRow("from nothing") << QString() << u"on"_qs;
    QTest::newRow("non-ASCII") << u"\u00e9"_qs << u"\u00e9t\u00e9"_qs;
}

// The search text grew: dropping the rows that no longer match lists what a pass from scratch lists.
void TestMessageFilter::narrowingEqualsFilteringAnew()
{
    QFETCH(QString, before);
    QFETCH(QString, after);

    Fixture fixture;
    fixture.filter(1, before).apply(fixture.store);
    fixture.filter(1, after).narrow(fixture.store);
    QCOMPARE(fixture.listed(), fixture.expected(1, after));
}

QTEST_GUILESS_MAIN(TestMessageFilter)
#include "test_messagefilter.moc"
