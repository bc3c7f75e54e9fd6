// SPDX-License-Identifier: GPL-3.0-or-later
#include "cachedrecords.h"
#include "lists/applicationsort.h"
#include "lists/listrules.h"
#include "lists/messagesort.h"
#include "messageids.h"

#include <QRandomGenerator>

#include <QtTest>

#include <algorithm>

using namespace tidewell;

namespace {

QList<qint64> idsOf(const QList<CachedMessage>& messages)
{
    QList<qint64> ids;
    for (const CachedMessage& message : messages)
        ids.append(message.id);
    return ids;
}

QList<qint64> idsOf(const QList<CachedApp>& apps)
{
    QList<qint64> ids;
    for (const CachedApp& app : apps)
        ids.append(app.id);
    return ids;
}

// Aliases keep the commas of the template arguments out of QFETCH.
using IdMap = QHash<qint64, qint64>;
using CountMap = QHash<qint64, int>;

const QLocale english(QLocale::English, QLocale::UnitedStates);

} // namespace

class TestListRules : public QObject
{
    Q_OBJECT
private slots:
    void init();

    void casesAndRawValues();
    void constructionFromRawValue_data();
    void constructionFromRawValue();

    void messageOrder_data();
    void messageOrder();
    void titleOrderWithMixedCaseVariantsStaysSound();
    void applicationOrder_data();
    void applicationOrder();
    void orderFollowsTheLocale_data();
    void orderFollowsTheLocale();

    void latestByApp_data();
    void latestByApp();
    void unreadSummaries_data();
    void unreadSummaries();

    void filtered_data();
    void filtered();
    void searchLowersByTheLocale_data();
    void searchLowersByTheLocale();
};

void TestListRules::init()
{
    // Collation and lowering follow the default locale; pin it so results do not depend on the machine.
    QLocale::setDefault(english);
}

void TestListRules::casesAndRawValues()
{
    QStringList messageRaw;
    for (MessageSort sort : MessageSort::allCases()) {
        messageRaw.append(sort.rawValue());
        QCOMPARE(sort.id(), sort.rawValue());
        QCOMPARE(MessageSort::fromRawValue(sort.rawValue()), sort);
    }
    QCOMPARE(messageRaw, (QStringList { u"Newest"_qs, u"Oldest"_qs, u"Title (A\u2013Z)"_qs }));
    QCOMPARE(MessageSort(MessageSort::Title).rawValue().toUtf8(), QByteArray("Title (A\xE2\x80\x93Z)"));
    QCOMPARE(MessageSort(MessageSort::Title).rawValue().toUtf8().size(), 13);
    QCOMPARE(MessageSort(), MessageSort::allCases().first());

    QStringList applicationRaw;
    for (ApplicationSort sort : ApplicationSort::allCases()) {
        applicationRaw.append(sort.rawValue());
        QCOMPARE(sort.id(), sort.rawValue());
        QCOMPARE(ApplicationSort::fromRawValue(sort.rawValue()), sort);
    }
    QCOMPARE(applicationRaw, (QStringList { u"Newest Received"_qs, u"Name (A\u2013Z)"_qs }));
    QCOMPARE(ApplicationSort(ApplicationSort::Alphabetical).rawValue().toUtf8(), QByteArray("Name (A\xE2\x80\x93Z)"));
    QCOMPARE(ApplicationSort(ApplicationSort::Alphabetical).rawValue().toUtf8().size(), 12);
    QCOMPARE(ApplicationSort(), ApplicationSort::allCases().first());

    const QList<MessageSort> messageCases = MessageSort::allCases();
    const QList<ApplicationSort> applicationCases = ApplicationSort::allCases();
    QCOMPARE(QSet<MessageSort>(messageCases.cbegin(), messageCases.cend()).size(), 3);
    QCOMPARE(QSet<ApplicationSort>(applicationCases.cbegin(), applicationCases.cend()).size(), 2);
}

void TestListRules::constructionFromRawValue_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<int>("messageCase"); // -1: no case
    QTest::addColumn<int>("applicationCase");

    QTest::newRow("Newest") << u"Newest"_qs << int(MessageSort::Newest) << -1;
    QTest::newRow("Oldest") << u"Oldest"_qs << int(MessageSort::Oldest) << -1;
    QTest::newRow("Title, en dash") << u"Title (A\u2013Z)"_qs << int(MessageSort::Title) << -1;
    QTest::newRow("Title, hyphen-minus") << u"Title (A-Z)"_qs << -1 << -1;
    QTest::newRow("Title, em dash") << u"Title (A\u2014Z)"_qs << -1 << -1;
    QTest::newRow("lower case") << u"newest"_qs << -1 << -1;
    QTest::newRow("upper case") << u"OLDEST"_qs << -1 << -1;
    QTest::newRow("leading space") << u" Newest"_qs << -1 << -1;
    QTest::newRow("trailing newline") << u"Newest\n"_qs << -1 << -1;
    QTest::newRow("prefix only") << u"Newes"_qs << -1 << -1;
    QTest::newRow("empty") << QString() << -1 << -1;
    QTest::newRow("Newest Received") << u"Newest Received"_qs << -1 << int(ApplicationSort::NewestMessage);
    QTest::newRow("Name, en dash") << u"Name (A\u2013Z)"_qs << -1 << int(ApplicationSort::Alphabetical);
    QTest::newRow("Name, hyphen-minus") << u"Name (A-Z)"_qs << -1 << -1;
    QTest::newRow("received, lower case") << u"Newest received"_qs << -1 << -1;
    QTest::newRow("case name, not raw value") << u"NewestMessage"_qs << -1 << -1;
}

void TestListRules::constructionFromRawValue()
{
    QFETCH(QString, raw);
    QFETCH(int, messageCase);
    QFETCH(int, applicationCase);

    const std::optional<MessageSort> message = MessageSort::fromRawValue(raw);
    QCOMPARE(message.has_value(), messageCase >= 0);
    if (message)
        QCOMPARE(int(message->value()), messageCase);
    const std::optional<ApplicationSort> application = ApplicationSort::fromRawValue(raw);
    QCOMPARE(application.has_value(), applicationCase >= 0);
    if (application)
        QCOMPARE(int(application->value()), applicationCase);
}

void TestListRules::messageOrder_data()
{
    QTest::addColumn<QList<CachedMessage>>("messages");
    QTest::addColumn<MessageSort>("sort");
    QTest::addColumn<QList<qint64>>("expected");

    const QList<CachedMessage> timed { M(5).ts(100), M(9).ts(100), M(20).ts(50) };
    QTest::newRow("newest: greater ts, then greater id")
        << timed << MessageSort(MessageSort::Newest) << QList<qint64> { 9, 5, 20 };
    QTest::newRow("oldest: smaller ts, then smaller id")
        << timed << MessageSort(MessageSort::Oldest) << QList<qint64> { 20, 5, 9 };
    QTest::newRow("newest: negative ts") << QList<CachedMessage> { M(1).ts(-5), M(2).ts(0), M(3).ts(-7) }
                                         << MessageSort(MessageSort::Newest) << QList<qint64> { 2, 1, 3 };

    const MessageSort title(MessageSort::Title);
    QTest::newRow("title: no title first, case variants in input order")
        << QList<CachedMessage> { M(1).title(u"beta"_qs), M(2).title(u"Alpha"_qs), M(3), M(4).title(u"alpha"_qs) }
        << title << QList<qint64> { 3, 2, 4, 1 };
    QTest::newRow("title: case variants the other way round")
        << QList<CachedMessage> { M(1).title(u"beta"_qs), M(4).title(u"alpha"_qs), M(3), M(2).title(u"Alpha"_qs) }
        << title << QList<qint64> { 3, 4, 2, 1 };
    QTest::newRow("title: equal titles, greater ts first") << QList<CachedMessage> { M(1).title(u"Same"_qs).ts(10),
        M(2).title(u"Same"_qs).ts(20) } << title << QList<qint64> { 2, 1 };
    QTest::newRow("title: equal titles and ts, greater id first")
        << QList<CachedMessage> { M(1).title(u"Same"_qs).ts(10), M(2).title(u"Same"_qs).ts(10) } << title
        << QList<qint64> { 2, 1 };
    QTest::newRow("title: absent and empty titles are one empty title, newest first") << QList<CachedMessage> {
        M(4).title(u"a"_qs).ts(100), M(1).ts(5), M(3).title(QString()).ts(7), M(2).ts(9), M(5).title(u""_qs).ts(9)
    } << title << QList<qint64> { 5, 2, 3, 1, 4 };
    QTest::newRow("title: by the locale, not by code point") << QList<CachedMessage> { M(1).title(u"Zebra"_qs),
        M(2).title(u"\u00c9mile"_qs), M(3).title(u"apple"_qs), M(4).title(u"eagle"_qs), M(5).title(u"Eagle 2"_qs) }
                                                             << title << QList<qint64> { 3, 4, 5, 2, 1 };
    QTest::newRow("any order: empty list") << QList<CachedMessage> {} << title << QList<qint64> {};
}

void TestListRules::messageOrder()
{
    QFETCH(QList<CachedMessage>, messages);
    QFETCH(MessageSort, sort);
    QFETCH(QList<qint64>, expected);

    const QList<CachedMessage> input = messages;
    const QList<CachedMessage> ordered = sort.ordered(messages);
    QCOMPARE(idsOf(ordered), expected);
    QCOMPARE(messages, input);
    // The records travel whole, not only their ids.
    for (const CachedMessage& message : ordered)
        QVERIFY(messages.contains(message));
}

void TestListRules::titleOrderWithMixedCaseVariantsStaysSound()
{
    // Case variants mixed with exact duplicates make the title test inconsistent (two "Same" are ordered, each
    // unordered against "same"). The sort must still return every record once and keep the groups in order.
    const QList<std::optional<QString>> titles { u"Same"_qs, u"same"_qs, u"SAME"_qs, u"Other"_qs, u""_qs,
        std::nullopt };
    QRandomGenerator random(20240611);
    QList<CachedMessage> messages;
    for (qint64 id = 5000; id > 0; --id)
        messages.append(M(id).ts(random.bounded(40)).title(QString()));
    for (CachedMessage& message : messages)
        message.title = titles[random.bounded(int(titles.size()))];

    const QList<CachedMessage> ordered = MessageSort(MessageSort::Title).ordered(messages);

    QList<qint64> inputIds = idsOf(messages);
    QList<qint64> outputIds = idsOf(ordered);
    std::sort(inputIds.begin(), inputIds.end());
    std::sort(outputIds.begin(), outputIds.end());
    QCOMPARE(outputIds, inputIds);

    const auto group = [](const CachedMessage& message) {
        const QString title = message.title.value_or(QString()).toLower();
        return title.isEmpty() ? 0 : title == u"other" ? 1 : 2;
    };
    for (qsizetype i = 1; i < ordered.size(); ++i) {
        const CachedMessage& before = ordered[i - 1];
        const CachedMessage& after = ordered[i];
        QVERIFY2(group(before) <= group(after), qPrintable(QString::number(i)));
        // Within the groups of one exact text, newer comes first.
        if (group(before) == group(after) && group(before) < 2)
            QVERIFY2(before.ts > after.ts || (before.ts == after.ts && before.id > after.id),
                qPrintable(QString::number(i)));
    }
}

void TestListRules::applicationOrder_data()
{
    QTest::addColumn<QList<CachedApp>>("apps");
    QTest::addColumn<QList<CachedMessage>>("messages");
    QTest::addColumn<ApplicationSort>("sort");
    QTest::addColumn<QList<qint64>>("expected");

    const ApplicationSort newest(ApplicationSort::NewestMessage);
    const ApplicationSort alphabetical(ApplicationSort::Alphabetical);
    QTest::newRow("newest received: apps without messages last")
        << QList<CachedApp> { app(1, u"A"_qs), app(2, u"B"_qs), app(3, u"C"_qs) }
        << QList<CachedMessage> { M(11, 1).ts(10), M(12, 3).ts(20) } << newest << QList<qint64> { 3, 1, 2 };
    QTest::newRow("newest received: the latest message counts, not the first")
        << QList<CachedApp> { app(1, u"A"_qs), app(2, u"B"_qs) }
        << QList<CachedMessage> { M(3, 2).ts(20), M(2, 1).ts(30), M(1, 1).ts(5) } << newest << QList<qint64> { 1, 2 };
    QTest::newRow("newest received: equal ts, greater latest id first")
        << QList<CachedApp> { app(1, u"A"_qs), app(2, u"B"_qs) }
        << QList<CachedMessage> { M(5, 1).ts(10), M(7, 2).ts(10) } << newest << QList<qint64> { 2, 1 };
    QTest::newRow("newest received: apps without messages by name, case ignored")
        << QList<CachedApp> { app(1, u"Beta"_qs), app(2, u"alpha"_qs), app(3, u"Gamma"_qs) }
        << QList<CachedMessage> { M(9, 3).ts(1) } << newest << QList<qint64> { 3, 2, 1 };
    QTest::newRow("newest received: identical latest messages fall back to the name")
        << QList<CachedApp> { app(1, u"b"_qs), app(2, u"A"_qs) }
        << QList<CachedMessage> { M(5, 1).ts(10), M(5, 2).ts(10) } << newest << QList<qint64> { 2, 1 };
    QTest::newRow("newest received: messages of uncached apps change nothing")
        << QList<CachedApp> { app(1, u"A"_qs), app(2, u"B"_qs) }
        << QList<CachedMessage> { M(1, 2).ts(1), M(2, 77).ts(99) } << newest << QList<qint64> { 2, 1 };
    QTest::newRow("alphabetical: by the locale, case ignored, messages ignored") << QList<CachedApp> {
        app(1, u"beta"_qs), app(2, u"Alpha"_qs), app(3, u"\u00c9mile"_qs), app(4, u"zulu"_qs), app(5, u"Eagle"_qs)
    } << QList<CachedMessage> { M(1, 4).ts(1000) } << alphabetical << QList<qint64> { 2, 1, 5, 3, 4 };
    QTest::newRow("alphabetical: names equal but for case keep input order")
        << QList<CachedApp> { app(1, u"Mail"_qs), app(2, u"mail"_qs), app(3, u"MAIL"_qs) } << QList<CachedMessage> {}
        << alphabetical << QList<qint64> { 1, 2, 3 };
    QTest::newRow("alphabetical: the same names the other way round")
        << QList<CachedApp> { app(3, u"MAIL"_qs), app(2, u"mail"_qs), app(1, u"Mail"_qs) } << QList<CachedMessage> {}
        << alphabetical << QList<qint64> { 3, 2, 1 };
}

void TestListRules::applicationOrder()
{
    QFETCH(QList<CachedApp>, apps);
    QFETCH(QList<CachedMessage>, messages);
    QFETCH(ApplicationSort, sort);
    QFETCH(QList<qint64>, expected);

    const QList<CachedApp> ordered = sort.ordered(apps, ListRules::latestByApp(messages));
    QCOMPARE(idsOf(ordered), expected);
    for (const CachedApp& each : ordered)
        QVERIFY(apps.contains(each));
}

void TestListRules::orderFollowsTheLocale_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("expected");

    const QStringList names { u"Zorro"_qs, u"\u00c4rlig"_qs, u"Anna"_qs };
    QTest::newRow("English: \u00c4 with A")
        << english << names << QStringList { u"Anna"_qs, u"\u00c4rlig"_qs, u"Zorro"_qs };
    QTest::newRow("Swedish: \u00c4 after Z") << QLocale(QLocale::Swedish, QLocale::Sweden) << names
                                             << QStringList { u"Anna"_qs, u"Zorro"_qs, u"\u00c4rlig"_qs };
    QTest::newRow("C: case still ignored")
        << QLocale::c() << QStringList { u"b"_qs, u"Zebra"_qs, u"A"_qs, u"apple"_qs, u"a"_qs }
        << QStringList { u"A"_qs, u"a"_qs, u"apple"_qs, u"b"_qs, u"Zebra"_qs };
}

void TestListRules::orderFollowsTheLocale()
{
    QFETCH(QLocale, locale);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, expected);

    QLocale::setDefault(locale);
    QList<CachedApp> apps;
    QList<CachedMessage> messages;
    for (qsizetype i = 0; i < texts.size(); ++i) {
        apps.append(app(i + 1, texts[i]));
        messages.append(M(i + 1).title(texts[i]));
    }

    QStringList names;
    for (const CachedApp& each : ApplicationSort(ApplicationSort::Alphabetical).ordered(apps, {}))
        names.append(each.name);
    QCOMPARE(names, expected);
    QStringList titles;
    for (const CachedMessage& each : MessageSort(MessageSort::Title).ordered(messages))
        titles.append(*each.title);
    QCOMPARE(titles, expected);
}

void TestListRules::latestByApp_data()
{
    QTest::addColumn<QList<CachedMessage>>("messages");
    QTest::addColumn<IdMap>("expected"); // application id to message id

    QTest::newRow("equal ts: greater id, coming first")
        << QList<CachedMessage> { M(8).ts(50), M(3).ts(50) } << IdMap { { 1, 8 } };
    QTest::newRow("equal ts: greater id, coming last")
        << QList<CachedMessage> { M(3).ts(50), M(8).ts(50) } << IdMap { { 1, 8 } };
    QTest::newRow("greater ts beats greater id")
        << QList<CachedMessage> { M(9).ts(10), M(2).ts(20), M(5).ts(15) } << IdMap { { 1, 2 } };
    QTest::newRow("one entry per application, cached or not") << QList<CachedMessage> { M(6, 2).ts(6), M(5, 77).ts(5),
        M(4, 2).ts(7), M(3, 1).ts(1) } << IdMap { { 1, 3 }, { 2, 4 }, { 77, 5 } };
    QTest::newRow("no messages") << QList<CachedMessage> {} << IdMap {};
}

void TestListRules::latestByApp()
{
    QFETCH(QList<CachedMessage>, messages);
    QFETCH(IdMap, expected);

    const QHash<qint64, CachedMessage> latest = ListRules::latestByApp(messages);
    IdMap ids;
    for (auto it = latest.cbegin(); it != latest.cend(); ++it) {
        QCOMPARE(it->applicationId, it.key());
        QVERIFY(messages.contains(*it));
        ids.insert(it.key(), it->id);
    }
    QCOMPARE(ids, expected);
}

void TestListRules::unreadSummaries_data()
{
    QTest::addColumn<QList<CachedMessage>>("messages");
    QTest::addColumn<qint64>("lastReadId");
    QTest::addColumn<CountMap>("unread");
    QTest::addColumn<QSet<qint64>>("highPriority");

    QTest::newRow("unread means id above the read position")
        << QList<CachedMessage> { M(11), M(10), M(9) } << qint64(10) << CountMap { { 1, 1 } } << QSet<qint64> {};
    QTest::newRow("read priority-2 message sets no flag")
        << QList<CachedMessage> { M(11), M(10).priority(2) } << qint64(10) << CountMap { { 1, 1 } } << QSet<qint64> {};
    QTest::newRow("unread priority-1 message sets the flag") << QList<CachedMessage> { M(11).priority(1),
        M(10) } << qint64(10) << CountMap { { 1, 1 } } << QSet<qint64> { 1 };
    QTest::newRow("priority 0 and below set no flag, 5 does")
        << QList<CachedMessage> { M(13, 3).priority(5), M(12, 2).priority(-1), M(11, 4).priority(0) } << qint64(10)
        << CountMap { { 2, 1 }, { 3, 1 }, { 4, 1 } } << QSet<qint64> { 3 };
    QTest::newRow("applications with nothing unread have no entry")
        << QList<CachedMessage> { M(7, 2), M(6, 2), M(2, 1).priority(2), M(1, 1) } << qint64(5) << CountMap { { 2, 2 } }
        << QSet<qint64> {};
    QTest::newRow("uncached applications count too")
        << QList<CachedMessage> { M(3, 77).priority(1), M(2, 77), M(1, 1) } << qint64(0)
        << CountMap { { 77, 2 }, { 1, 1 } } << QSet<qint64> { 77 };
    QTest::newRow("no messages") << QList<CachedMessage> {} << qint64(0) << CountMap {} << QSet<qint64> {};
}

void TestListRules::unreadSummaries()
{
    QFETCH(QList<CachedMessage>, messages);
    QFETCH(qint64, lastReadId);
    QFETCH(CountMap, unread);
    QFETCH(QSet<qint64>, highPriority);

    const CountMap counts = ListRules::unreadByApp(messages, lastReadId);
    QCOMPARE(counts, unread);
    int expectedTotal = 0;
    for (const CachedMessage& message : messages)
        expectedTotal += ListRules::isUnread(message, lastReadId) ? 1 : 0;
    QCOMPARE(ListRules::totalUnread(counts), expectedTotal);
    QCOMPARE(ListRules::highPriorityUnreadApps(messages, lastReadId), highPriority);
}

void TestListRules::filtered_data()
{
    QTest::addColumn<QList<CachedMessage>>("all");
    QTest::addColumn<std::optional<qint64>>("selectedAppId");
    QTest::addColumn<QString>("searchText");
    QTest::addColumn<MessageSort>("sort");
    QTest::addColumn<QList<qint64>>("expected");

    // In the store's query order, id descending.
    const QList<CachedMessage> all { M(6, 2).ts(60).title(u"Backup"_qs).body(u"nightly run finished"_qs),
        M(5, 1).ts(50).body(u"disk full"_qs), M(4, 1).ts(40).title(u"DISK"_qs).body(u"sda1"_qs),
        M(3, 77).ts(30).title(u""_qs).body(u"memory\u00a0high"_qs),
        M(2, 2).ts(20).title(u"backup"_qs).body(u"weekly"_qs),
        M(1, 1)
            .ts(10)
            .body(u"Caf\u00e9 ouvert"_qs)
            .url(u"https://disk.example.com"_qs)
            .urlTitle(u"disk report"_qs)
            .priority(2) };
    QList<CachedMessage> ascending = all;
    std::reverse(ascending.begin(), ascending.end());
    const std::optional<qint64> none;
    const MessageSort newest(MessageSort::Newest);
    const MessageSort title(MessageSort::Title);

    QTest::newRow("no selection, empty search: everything")
        << all << none << QString() << newest << QList<qint64> { 6, 5, 4, 3, 2, 1 };
    QTest::newRow("oldest first") << all << none << QString() << MessageSort(MessageSort::Oldest)
                                  << QList<qint64> { 1, 2, 3, 4, 5, 6 };
    QTest::newRow("selected application only")
        << all << std::optional<qint64>(1) << QString() << newest << QList<qint64> { 5, 4, 1 };
    QTest::newRow("selected application that is not cached")
        << all << std::optional<qint64>(77) << QString() << newest << QList<qint64> { 3 };
    QTest::newRow("selected application that is gone")
        << all << std::optional<qint64>(99) << QString() << newest << QList<qint64> {};
    QTest::newRow("search lowers both sides: body and title")
        << all << none << u"Disk"_qs << newest << QList<qint64> { 5, 4 };
    QTest::newRow("search within the selection")
        << all << std::optional<qint64>(2) << u"BACK"_qs << newest << QList<qint64> { 6, 2 };
    QTest::newRow("one space keeps texts with a space")
        << all << none << u" "_qs << newest << QList<qint64> { 6, 5, 1 };
    QTest::newRow("search is not trimmed") << all << none << u"disk "_qs << newest << QList<qint64> { 5 };
    QTest::newRow("no accent folding") << all << none << u"cafe"_qs << newest << QList<qint64> {};
    QTest::newRow("accented capitals lowered") << all << none << u"CAF\u00c9"_qs << newest << QList<qint64> { 1 };
    QTest::newRow("link address is not searched") << all << none << u"example"_qs << newest << QList<qint64> {};
    QTest::newRow("link title is not searched") << all << none << u"report"_qs << newest << QList<qint64> {};
    QTest::newRow("no match") << all << none << u"zzz"_qs << newest << QList<qint64> {};
    QTest::newRow("title order over the survivors")
        << all << none << QString() << title << QList<qint64> { 5, 3, 1, 6, 2, 4 };
    QTest::newRow("title ties in id-descending order, whatever the input order")
        << ascending << none << QString() << title << QList<qint64> { 5, 3, 1, 6, 2, 4 };
    QTest::newRow("newest from input in another order")
        << ascending << none << u"a"_qs << newest << QList<qint64> { 6, 4, 2, 1 };
}

void TestListRules::filtered()
{
    QFETCH(QList<CachedMessage>, all);
    QFETCH(std::optional<qint64>, selectedAppId);
    QFETCH(QString, searchText);
    QFETCH(MessageSort, sort);
    QFETCH(QList<qint64>, expected);

    const QList<CachedMessage> shown = ListRules::filtered(all, selectedAppId, searchText, sort);
    QCOMPARE(idsOf(shown), expected);
    for (const CachedMessage& message : shown)
        QVERIFY(all.contains(message));
}

void TestListRules::searchLowersByTheLocale_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("searchText");
    QTest::addColumn<QString>("body");
    QTest::addColumn<bool>("found");

    const QLocale turkish(QLocale::Turkish, QLocale::Turkey);
    QTest::newRow("English: I lowers to i") << english << u"I"_qs << u"isim"_qs << true;
    QTest::newRow("Turkish: I lowers to dotless \u0131") << turkish << u"I"_qs << u"isim"_qs << false;
    QTest::newRow("Turkish: ISI finds \u0131s\u0131") << turkish << u"ISI"_qs << u"kitap \u0131s\u0131"_qs << true;
    QTest::newRow("English: ISI misses \u0131s\u0131") << english << u"ISI"_qs << u"kitap \u0131s\u0131"_qs << false;
    QTest::newRow("Turkish: \u0130 lowers to i") << turkish << u"\u0130"_qs << u"isim"_qs << true;
}

void TestListRules::searchLowersByTheLocale()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, searchText);
    QFETCH(QString, body);
    QFETCH(bool, found);

    QLocale::setDefault(locale);
    const QList<CachedMessage> all { M(2).body(u"unrelated"_qs), M(1).body(body) };
    QCOMPARE(ListRules::filtered(all, std::nullopt, searchText, MessageSort()).size(), found ? 1 : 0);
    // A title is lowered the same way.
    const QList<CachedMessage> titled { M(2).body(u"unrelated"_qs), M(1).title(body).body(u"unrelated"_qs) };
    QCOMPARE(ListRules::filtered(titled, std::nullopt, searchText, MessageSort()).size(), found ? 1 : 0);
}

QTEST_GUILESS_MAIN(TestListRules)
#include "test_listrules.moc"
