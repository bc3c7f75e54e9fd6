// SPDX-License-Identifier: GPL-3.0-or-later
#include "cache/store.h"
#include "cache/storeerror.h"
#include "listfollower.h"
#include "lists/applicationsort.h"
#include "lists/listprojection.h"
#include "lists/listquery.h"
#include "lists/listrules.h"
#include "lists/messagesort.h"
#include "lists/projectionloader.h"
#include "messageids.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <new>
#include <stdexcept>

using namespace tidewell;

namespace {

const QLocale english(QLocale::English, QLocale::UnitedStates);

// An alias keeps the commas of the template arguments out of QFETCH.
using Ids = std::optional<QList<qint64>>;

CachedMessage message(qint64 id, qint64 applicationId, qint64 ts, std::optional<QString> title = std::nullopt,
    const QString& body = u"body"_qs, qint64 priority = 0)
{
    CachedMessage record;
    record.id = id;
    record.applicationId = applicationId;
    record.ts = ts;
    record.title = std::move(title);
    record.message = body;
    record.priority = priority;
    return record;
}

CachedApp app(qint64 id, const QString& name)
{
    return CachedApp { id, name, u"#336699"_qs, std::nullopt };
}

// The list rules' inputs and results for one state of the cache and the choices, computed from every record.
struct Expected
{
    QList<qint64> messageIds;
    QList<CachedMessage> messages;
    QList<CachedApp> apps;
    QHash<qint64, CachedMessage> latest;
    QHash<qint64, int> unread;
    QSet<qint64> highPriority;
    int totalUnread = 0;
};

struct Choices
{
    qint64 lastReadId = 0;
    std::optional<qint64> selectedAppId;
    QString searchText;
    MessageSort messageSort;
    ApplicationSort applicationSort;
};

// The application query's order: by name, code unit by code unit, equal names in id order.
QList<CachedApp> appsByName(QList<CachedApp> apps)
{
    std::stable_sort(
        apps.begin(), apps.end(), [](const CachedApp& left, const CachedApp& right) { return left.name < right.name; });
    return apps;
}

Expected expected(const CacheContext& cache, const Choices& choices)
{
    const QList<CachedMessage> all = cache.fetchMessages();
    Expected result;
    result.messages = ListRules::filtered(all, choices.selectedAppId, choices.searchText, choices.messageSort);
    for (const CachedMessage& record : std::as_const(result.messages))
        result.messageIds.append(record.id);
    result.latest = ListRules::latestByApp(all);
    result.unread = ListRules::unreadByApp(all, choices.lastReadId);
    result.highPriority = ListRules::highPriorityUnreadApps(all, choices.lastReadId);
    result.totalUnread = ListRules::totalUnread(result.unread);
    result.apps = choices.applicationSort.ordered(appsByName(cache.fetchApps()), result.latest);
    return result;
}

QList<qint64> listedIds(const ListProjection& projection)
{
    QList<qint64> ids;
    for (qsizetype row = 0; row < projection.messageCount(); ++row)
        ids.append(projection.messageAt(row).id);
    return ids;
}

// Everything the views read from the projection, against the rules. Returns an empty text when all agree.
QString difference(const ListProjection& projection, const CacheContext& cache, const Choices& choices)
{
    const Expected want = expected(cache, choices);
    const QList<qint64> ids = listedIds(projection);
    if (ids != want.messageIds)
        return u"message list %1, rules %2"_qs.arg(
            QString::fromUtf8(toString(ids)), QString::fromUtf8(toString(want.messageIds)));
    for (qsizetype row = 0; row < want.messages.size(); ++row) {
        const CachedMessage& record = want.messages[row];
        const ListProjection::MessageRow& shown = projection.messageAt(row);
        if (shown.applicationId != record.applicationId || shown.ts != record.ts || shown.priority != record.priority)
            return u"row %1 (id %2) differs from its record"_qs.arg(row).arg(record.id);
        if (projection.rowOfMessage(record.id) != row)
            return u"rowOfMessage(%1) is not %2"_qs.arg(record.id).arg(row);
    }
    const QSet<qint64> listed(want.messageIds.cbegin(), want.messageIds.cend());
    for (const CachedMessage& record : cache.fetchMessages()) {
        if (!listed.contains(record.id) && projection.rowOfMessage(record.id))
            return u"rowOfMessage(%1) finds a message that is not listed"_qs.arg(record.id);
    }

    if (projection.appCount() != want.apps.size())
        return u"%1 applications, rules %2"_qs.arg(projection.appCount()).arg(want.apps.size());
    for (qsizetype row = 0; row < want.apps.size(); ++row) {
        const CachedApp& app = want.apps[row];
        const ListProjection::AppRow& shown = projection.appAt(row);
        if (!(shown.app == app))
            return u"application row %1 is %2, rules %3"_qs.arg(row).arg(shown.app.id).arg(app.id);
        const auto latest = want.latest.constFind(app.id);
        if (shown.latest.has_value() != (latest != want.latest.constEnd())
            || (shown.latest && (shown.latest->id != latest->id || shown.latest->ts != latest->ts)))
            return u"latest message of application %1 differs"_qs.arg(app.id);
        if (shown.unreadCount != want.unread.value(app.id))
            return u"unread count of application %1: %2, rules %3"_qs.arg(app.id)
                .arg(shown.unreadCount)
                .arg(want.unread.value(app.id));
        if (shown.highPriorityUnread != want.highPriority.contains(app.id))
            return u"high-priority flag of application %1 differs"_qs.arg(app.id);
        if (projection.rowOfApp(app.id) != row)
            return u"rowOfApp(%1) is not %2"_qs.arg(app.id).arg(row);
        const CachedApp* byId = projection.app(app.id);
        if (!byId || !(*byId == app))
            return u"app(%1) differs"_qs.arg(app.id);
    }

    if (projection.totalUnread() != want.totalUnread)
        return u"total unread %1, rules %2"_qs.arg(projection.totalUnread()).arg(want.totalUnread);
    if (projection.unreadCount(std::nullopt) != want.totalUnread)
        return u"unread count of all differs"_qs;
    for (auto it = want.unread.cbegin(); it != want.unread.cend(); ++it) {
        if (projection.unreadCount(it.key()) != it.value())
            return u"unreadCount(%1) is %2, rules %3"_qs.arg(it.key())
                .arg(projection.unreadCount(it.key()))
                .arg(it.value());
    }
    if (projection.hasMessages() != !cache.fetchMessages().isEmpty())
        return u"hasMessages differs"_qs;
    return QString();
}

bool sameAppRow(const ListProjection::AppRow& left, const ListProjection::AppRow& right)
{
    const auto sameLatest = [](const ListProjection::MessageRow& l, const ListProjection::MessageRow& r) {
        return l.id == r.id && l.applicationId == r.applicationId && l.ts == r.ts && l.priority == r.priority;
    };
    return left.app == right.app && left.unreadCount == right.unreadCount
        && left.highPriorityUnread == right.highPriorityUnread && left.latest.has_value() == right.latest.has_value()
        && (!left.latest || sameLatest(*left.latest, *right.latest));
}

void apply(ListProjection& projection, const Choices& choices)
{
    projection.setLastReadId(choices.lastReadId);
    projection.setQuery(
        ListQuery { choices.selectedAppId, choices.searchText, choices.messageSort, choices.applicationSort });
}

// The projection's query with one part changed by `edit`.
template <typename Edit> void changeQuery(ListProjection& projection, const Edit& edit)
{
    ListQuery query = projection.query();
    edit(query);
    projection.setQuery(query);
}

// Random records from small pools, so that titles repeat, differ only in case, times tie and run against the ids.
class Generator
{
public:
    explicit Generator(quint32 seed)
        : m_random(seed)
    { }

    int bounded(int high) { return int(m_random.bounded(high)); }
    bool chance(int percent) { return bounded(100) < percent; }
    template <typename T> const T& pick(const QList<T>& from) { return from[bounded(int(from.size()))]; }

    CachedMessage record(qint64 id)
    {
        static const QList<std::optional<QString>> titles { std::nullopt, std::nullopt, QString(), u"Backup"_qs,
            u"backup"_qs, u"BACKUP"_qs, u"Alert"_qs, u"alert"_qs, u"Zeta"_qs, u"\u00c9mile"_qs, u"\u00e9mile"_qs,
            u"Disk full"_qs, u" "_qs, u"Stra\u00dfe"_qs, u"\u0130stanbul"_qs };
        static const QStringList words { u"disk"_qs, u"Disk"_qs, u"FULL"_qs, u"\u00c9t\u00e9"_qs, u"\u00e9t\u00e9"_qs,
            u"host-5"_qs, u"caf\u00e9"_qs, u"CAF\u00c9"_qs, u"stra\u00dfe"_qs, u"I\u0131i\u0130"_qs, u"x"_qs,
            u"\U0001F600"_qs, QString() };
        QString body;
        const int count = bounded(4);
        for (int i = 0; i < count; ++i)
            body += pick(words) + (chance(70) ? u" "_qs : QString());
        return message(id, 1 + bounded(6), 1000 + bounded(12), pick(titles), body, bounded(4) - 1);
    }

    // The next character of a word the user means to find, sometimes one that nothing holds.
    QString nextSearchCharacter(const QString& typed)
    {
        static const QStringList targets { u"Disk full"_qs, u"\u00c9T\u00c9"_qs, u"backup"_qs, u"HOST-5"_qs,
            u"caf\u00e9 "_qs, u"STRASSE"_qs, u"stra\u00dfe"_qs, u"i\u0131"_qs, u"\u00e9mile"_qs, u" x"_qs };
        if (typed.isEmpty() || m_target.isEmpty() || !m_target.startsWith(typed) || typed.size() >= m_target.size())
            m_target = chance(90) ? typed + pick(targets) : typed + u"q"_qs;
        return m_target.mid(typed.size(), 1);
    }

private:
    QRandomGenerator m_random;
    QString m_target;
};

// How a read of the whole cache can fail: a buffer that cannot grow, anything the reader thread throws, the cache.
enum class ReadFailure
{
    OutOfMemory,
    Other,
    Cache,
};

// Reads as the product does, except that its first read fails.
class LoaderFailingOnce : public ProjectionLoader
{
public:
    explicit LoaderFailingOnce(ReadFailure failure)
        : m_failure(failure)
    { }

    void read(const CacheContext& cache, const KeyLowering& lowering, Part& lower, Part& upper) const override
    {
        if (!m_failed) {
            m_failed = true;
            switch (m_failure) {
            case ReadFailure::OutOfMemory:
                throw std::bad_alloc();
            case ReadFailure::Other:
                throw std::runtime_error("reader failed");
            case ReadFailure::Cache:
                throw StoreError(u"cache unreadable"_qs);
            }
        }
        ProjectionLoader::read(cache, lowering, lower, upper);
    }

private:
    ReadFailure m_failure;
    mutable bool m_failed = false;
};

} // namespace

Q_DECLARE_METATYPE(ReadFailure)

class TestListProjection : public QObject
{
    Q_OBJECT
private slots:
    void init();

    void agreesWithTheRules_data();
    void agreesWithTheRules();
    void followsRandomChanges_data();
    void followsRandomChanges();
    void signalsSayWhatChanged_data();
    void signalsSayWhatChanged();
    void recordTextOnDemand();
    void followsTheLocale();
    void largeFileReadInTwoHalves();
    void newestMessagesJoinTheList_data();
    void newestMessagesJoinTheList();
    void startsEmptyWhenTheCacheCannotBeRead_data();
    void startsEmptyWhenTheCacheCannotBeRead();
};

void TestListProjection::init()
{
    QLocale::setDefault(english);
}

void TestListProjection::agreesWithTheRules_data()
{
    QTest::addColumn<QList<CachedMessage>>("messages");
    QTest::addColumn<QList<CachedApp>>("apps");
    QTest::addColumn<std::optional<qint64>>("selectedAppId");
    QTest::addColumn<QString>("searchText");
    QTest::addColumn<MessageSort>("sort");
    // As the behaviour requires, beside the rules; none where the behaviour leaves the order open.
    QTest::addColumn<Ids>("listed");

    const QList<CachedApp> apps { app(1, u"Mail"_qs), app(2, u"backup"_qs), app(3, u"Alpha"_qs) };
    const auto none = std::optional<qint64>();
    const QList<CachedMessage> caseVariants { message(1, 1, 10, u"beta"_qs), message(2, 1, 20, u"Alpha"_qs),
        message(3, 1, 30), message(4, 1, 40, u"alpha"_qs) };
    QTest::newRow("titles differing only in case keep the id-descending order")
        << caseVariants << apps << none << QString() << MessageSort(MessageSort::Title)
        << Ids(QList<qint64> { 3, 4, 2, 1 });
    const QList<CachedMessage> sameTitles { message(1, 1, 50, u"Same"_qs), message(2, 1, 60, u"Same"_qs),
        message(3, 1, 60, u"Same"_qs), message(4, 1, 70), message(5, 1, 10) };
    QTest::newRow("equal titles newest first, equal ts greater id first")
        << sameTitles << apps << none << QString() << MessageSort(MessageSort::Title)
        << Ids(QList<qint64> { 4, 5, 3, 2, 1 });
    const QList<CachedMessage> mixedCase { message(1, 1, 90, u"Same"_qs), message(2, 1, 10, u"same"_qs),
        message(3, 1, 50, u"Same"_qs), message(4, 1, 95, u"same"_qs), message(5, 1, 1, u"SAME"_qs) };
    QTest::newRow("case variants mixed with duplicates whose times run against the ids")
        << mixedCase << apps << none << QString() << MessageSort(MessageSort::Title) << std::optional<QList<qint64>>();
    const QList<CachedMessage> timed { message(5, 1, 100), message(9, 1, 100), message(20, 1, 50) };
    QTest::newRow("equal ts, newest") << timed << apps << none << QString() << MessageSort(MessageSort::Newest)
                                      << Ids(QList<qint64> { 9, 5, 20 });
    QTest::newRow("equal ts, oldest") << timed << apps << none << QString() << MessageSort(MessageSort::Oldest)
                                      << Ids(QList<qint64> { 20, 5, 9 });
    const QList<CachedMessage> uncached { message(1, 7, 10), message(2, 8, 20, std::nullopt, u"x"_qs, 2),
        message(3, 1, 5) };
    QTest::newRow("applications not cached still list their messages")
        << uncached << apps << none << QString() << MessageSort() << Ids(QList<qint64> { 2, 1, 3 });
    QTest::newRow("selected application that does not exist")
        << uncached << apps << std::optional<qint64>(42) << QString() << MessageSort() << Ids(QList<qint64>());
    QTest::newRow("selected application not cached but with messages")
        << uncached << apps << std::optional<qint64>(8) << QString() << MessageSort() << Ids(QList<qint64> { 2 });
    const QList<CachedMessage> spaced { message(1, 1, 1, std::nullopt, u"nospace"_qs),
        message(2, 1, 2, u"a b"_qs, u"nospace"_qs), message(3, 1, 3, std::nullopt, u"two words"_qs),
        message(4, 1, 4, std::nullopt, QString()) };
    QTest::newRow("search of one space") << spaced << apps << none << u" "_qs << MessageSort()
                                         << Ids(QList<qint64> { 3, 2 });
    QTest::newRow("search of two spaces")
        << spaced << apps << none << u"  "_qs << MessageSort() << Ids(QList<qint64>());
    const QList<CachedMessage> accents { message(1, 1, 1, std::nullopt, u"\u00c9T\u00c9"_qs),
        message(2, 1, 2, u"caf\u00e9"_qs), message(3, 1, 3, std::nullopt, u"cafe"_qs),
        message(4, 1, 4, std::nullopt, u"\u00e9t\u00e9"_qs) };
    QTest::newRow("\u00c9 lowers to \u00e9 on both sides")
        << accents << apps << none << u"\u00c9"_qs << MessageSort() << Ids(QList<qint64> { 4, 2, 1 });
    QTest::newRow("no accent folding") << accents << apps << none << u"cafe"_qs << MessageSort()
                                       << Ids(QList<qint64> { 3 });
    QTest::newRow("title searched, absent title not")
        << spaced << apps << none << u"A B"_qs << MessageSort() << Ids(QList<qint64> { 2 });
    QTest::newRow("search and application together")
        << (QList<CachedMessage> { message(1, 1, 1, std::nullopt, u"disk"_qs),
               message(2, 2, 2, std::nullopt, u"Disk"_qs), message(3, 2, 3, std::nullopt, u"mail"_qs) })
        << apps << std::optional<qint64>(2) << u"DISK"_qs << MessageSort() << Ids(QList<qint64> { 2 });
    // The cache keeps text as UTF-8, so a lone surrogate survives only in the search text.
    QTest::newRow("half of an emoji finds it: the search compares code units")
        << (QList<CachedMessage> { message(1, 1, 1, std::nullopt, u"\U0001F600"_qs),
               message(2, 1, 2, std::nullopt, QString(QChar(0xD83D))), message(3, 1, 3, std::nullopt, u"\u00e9"_qs) })
        << apps << none << QString(QChar(0xD83D)) << MessageSort() << Ids(QList<qint64> { 1 });
}

void TestListProjection::agreesWithTheRules()
{
    QFETCH(QList<CachedMessage>, messages);
    QFETCH(QList<CachedApp>, apps);
    QFETCH(std::optional<qint64>, selectedAppId);
    QFETCH(QString, searchText);
    QFETCH(MessageSort, sort);
    QFETCH(Ids, listed);

    Choices choices;
    choices.selectedAppId = selectedAppId;
    choices.searchText = searchText;
    choices.messageSort = sort;
    const auto fill = [&](CacheContext& cache) {
        for (const CachedMessage& record : messages)
            cache.insert(record);
        for (const CachedApp& record : apps)
            cache.insert(record);
        cache.save();
    };
    const auto check = [&](const ListProjection& projection, const CacheContext& cache) {
        QCOMPARE(difference(projection, cache, choices), QString());
        if (listed)
            QCOMPARE(listedIds(projection), *listed);
    };

    // Built from a filled cache, then choices made.
    std::shared_ptr<CacheContext> filled = Store::openCache(true);
    fill(*filled);
    ListProjection built(filled);
    apply(built, choices);
    check(built, *filled);

    // Choices made first, then every record arriving in one commit.
    std::shared_ptr<CacheContext> empty = Store::openCache(true);
    ListProjection followed(empty);
    apply(followed, choices);
    fill(*empty);
    check(followed, *empty);
}

void TestListProjection::followsRandomChanges_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed : { 1u, 2u, 3u, 5u, 8u, 13u, 21u, 34u })
        QTest::addRow("seed %u", seed) << seed;
    const QByteArray extra = qgetenv("TIDEWELL_PROJECTION_SEED");
    if (!extra.isEmpty())
        QTest::addRow("seed %s", extra.constData()) << quint32(extra.toUInt());
}

// Random writes and choices, each step compared with the rules over every record. The seed is in the row name, and
// TIDEWELL_PROJECTION_SEED adds one more.
void TestListProjection::followsRandomChanges()
{
    QFETCH(quint32, seed);
    Generator random(seed);
    std::shared_ptr<CacheContext> cache = Store::openCache(true);
    for (qint64 id = 1; id <= 60; ++id)
        cache->insert(random.record(id * 2));
    for (qint64 id = 1; id <= 4; ++id)
        cache->insert(app(id, random.pick(QStringList { u"Mail"_qs, u"mail"_qs, u"Backup"_qs, u"\u00c9cole"_qs })));
    cache->save();

    ListProjection projection(cache);
    Choices choices;
    QList<qint64> shownBefore = listedIds(projection);
    ListFollower follower(projection);
    QSignalSpy appsReset(&projection, &ListProjection::appsReset);
    QSignalSpy appsChanged(&projection, &ListProjection::appsChanged);

    constexpr int steps = 400;
    for (int step = 0; step < steps; ++step) {
        QString action;
        const qint64 maxId = cache->maxMessageId().value_or(0);
        const auto anyId = [&] { return qint64(1 + random.bounded(int(maxId) + 20)); };
        switch (random.bounded(14)) {
        case 0:
        case 1: {
            const int count = 1 + random.bounded(random.chance(20) ? 40 : 4);
            for (int i = 0; i < count; ++i)
                cache->insert(random.record(random.chance(70) ? maxId + 1 + i : anyId()));
            action = u"insert %1"_qs.arg(count);
            break;
        }
        case 2:
            for (int i = 0; i < 1 + random.bounded(3); ++i)
                cache->insert(random.record(anyId()));
            action = u"replace"_qs;
            break;
        case 3:
            cache->removeMessage(anyId());
            if (random.chance(30))
                cache->insert(random.record(anyId()));
            action = u"remove"_qs;
            break;
        case 4: {
            const qint64 cleared = 1 + random.bounded(7);
            cache->removeAllMessages(cleared);
            if (random.chance(40))
                cache->insert(random.record(maxId + 1));
            action = u"clear application %1"_qs.arg(cleared);
            break;
        }
        case 5:
            if (random.chance(25)) {
                cache->removeAllMessages();
                action = u"remove all"_qs;
            } else {
                cache->insert(random.record(maxId + 1));
                cache->rollback();
                action = u"rolled back"_qs;
            }
            break;
        case 6: {
            const qint64 id = 1 + random.bounded(7);
            if (random.chance(30))
                cache->removeApp(id);
            else
                cache->insert(app(id, random.pick(QStringList { u"Zeta"_qs, u"alpha"_qs, u"Alpha"_qs, u"mail"_qs })));
            action = u"application %1 changed"_qs.arg(id);
            break;
        }
        case 7:
            choices.lastReadId = random.chance(20) ? maxId : qint64(random.bounded(int(maxId) + 2));
            action = u"read through %1"_qs.arg(choices.lastReadId);
            break;
        case 8:
            choices.selectedAppId = random.chance(30) ? std::nullopt : std::optional<qint64>(1 + random.bounded(8));
            action = u"select %1"_qs.arg(choices.selectedAppId.value_or(-1));
            break;
        case 9:
        case 10:
            choices.searchText += random.nextSearchCharacter(choices.searchText);
            action = u"type, search \"%1\""_qs.arg(choices.searchText);
            break;
        case 11:
            choices.searchText.chop(random.chance(30) ? choices.searchText.size() : 1);
            action = u"erase, search \"%1\""_qs.arg(choices.searchText);
            break;
        case 12:
            choices.messageSort = random.pick(MessageSort::allCases());
            action = u"sort %1"_qs.arg(choices.messageSort.rawValue());
            break;
        case 13:
            choices.applicationSort = random.pick(ApplicationSort::allCases());
            action = u"application sort %1"_qs.arg(choices.applicationSort.rawValue());
            break;
        }
        const QList<ListProjection::AppRow> appsBefore = [&] {
            QList<ListProjection::AppRow> rows;
            for (qsizetype row = 0; row < projection.appCount(); ++row)
                rows.append(projection.appAt(row));
            return rows;
        }();
        follower.clear();
        appsReset.clear();
        appsChanged.clear();
        const qint64 lastReadBefore = projection.lastReadId();
        const bool commits = cache->hasChanges();
        const bool wipes = action == u"remove all";
        if (cache->hasChanges())
            cache->save();
        apply(projection, choices);

        const QString context = u"seed %1, step %2: %3"_qs.arg(seed).arg(step).arg(action);
        const QString mismatch = difference(projection, *cache, choices);
        QVERIFY2(mismatch.isEmpty(), qPrintable(context + u": "_qs + mismatch));
        QVERIFY2(follower.failures.isEmpty(), qPrintable(context + u": "_qs + follower.failures.join(u"; "_qs)));
        const QList<qint64> shown = listedIds(projection);
        // The ranges, applied in order to the list before, give the list after.
        QCOMPARE(follower.ids(), shown);
        QVERIFY2((shown != shownBefore) == follower.toldOfRows(),
            qPrintable(context + u": the rows told of do not match a change of the list"_qs));
        // A commit other than a wipe is told as ranges. In the time orderings the rows that stay keep their order;
        // in the title ordering, removing a row may reorder others, which is then told as a new list.
        if (commits && !wipes && choices.messageSort != MessageSort::Title)
            QVERIFY2(follower.resets == 0, qPrintable(context + u": a commit told as a new list"_qs));
        QVERIFY2(follower.changes.size() <= 1, qPrintable(context + u": rows told to have changed more than once"_qs));
        if (action.startsWith(u"read through")) {
            // One change, of whether rows are unread, from the first such row to the last.
            const auto flipped = [&](qint64 id) {
                return ListRules::isUnread(id, lastReadBefore) != ListRules::isUnread(id, choices.lastReadId);
            };
            const qsizetype firstFlipped = std::find_if(shown.begin(), shown.end(), flipped) - shown.begin();
            const qsizetype lastFlipped = std::find_if(shown.rbegin(), shown.rend(), flipped) - shown.rbegin();
            if (firstFlipped == shown.size()) {
                QVERIFY2(follower.changes.isEmpty(), qPrintable(context + u": no row changed, yet told"_qs));
            } else {
                QVERIFY2(follower.changes.size() == 1, qPrintable(context + u": unread rows not told once"_qs));
                const ListFollower::Change& change = follower.changes.first();
                QCOMPARE(change.what, ListProjection::RowChanges(ListProjection::Unread));
                QCOMPARE(change.first, firstFlipped);
                QCOMPARE(change.last, shown.size() - 1 - lastFlipped);
            }
            QVERIFY2(!follower.toldOfRows(), qPrintable(context + u": the read position moved rows"_qs));
            QVERIFY2(appsReset.isEmpty(), qPrintable(context + u": the read position made a new application list"_qs));
        }
        bool appsDiffer = appsBefore.size() != projection.appCount();
        for (qsizetype row = 0; !appsDiffer && row < appsBefore.size(); ++row)
            appsDiffer = !sameAppRow(projection.appAt(row), appsBefore[row]);
        QVERIFY2(appsDiffer == (!appsReset.isEmpty() || !appsChanged.isEmpty()),
            qPrintable(context + u": the application list told does not match a change of the list"_qs));
        QVERIFY2(appsReset.size() + appsChanged.size() <= 1,
            qPrintable(context + u": the application list told more than once"_qs));
        for (const QList<QVariant>& told : std::as_const(appsChanged)) {
            const qsizetype first = told[0].value<qsizetype>();
            const qsizetype last = told[1].value<qsizetype>();
            QVERIFY2(appsBefore.size() == projection.appCount() && first >= 0 && first <= last
                    && last < projection.appCount() && !sameAppRow(projection.appAt(first), appsBefore[first])
                    && !sameAppRow(projection.appAt(last), appsBefore[last]),
                qPrintable(context + u": application rows told changed are not the first and last that did"_qs));
            for (qsizetype row = 0; row < projection.appCount(); ++row) {
                if (row < first || row > last)
                    QVERIFY2(sameAppRow(projection.appAt(row), appsBefore[row]),
                        qPrintable(context + u": an application row changed outside the rows told"_qs));
            }
        }
        shownBefore = shown;
    }
}

void TestListProjection::signalsSayWhatChanged_data()
{
    QTest::addColumn<std::function<void(CacheContext&, ListProjection&)>>("action");
    QTest::addColumn<bool>("listChanged"); // rows came, went or moved: told as ranges or as a new list
    QTest::addColumn<bool>("messagesChanged"); // the same rows show something else
    QTest::addColumn<bool>("appsTold"); // the application list or its summaries changed
    QTest::addColumn<bool>("newList"); // the message list was told as a whole

    using Action = std::function<void(CacheContext&, ListProjection&)>;
    QTest::newRow("equal search text") << Action([](CacheContext&, ListProjection& p) {
        changeQuery(p, [](ListQuery& q) { q.searchText = u"o"_qs; });
    }) << false << false << false << false;
    QTest::newRow("search with the same result") << Action([](CacheContext&, ListProjection& p) {
        changeQuery(p, [](ListQuery& q) { q.searchText = u"O"_qs; });
    }) << false << false << false << false;
    QTest::newRow("search that narrows") << Action([](CacheContext&, ListProjection& p) {
        changeQuery(p, [](ListQuery& q) { q.searchText = u"tw"_qs; });
    }) << true << false << false << true;
    QTest::newRow("equal sort") << Action(
        [](CacheContext&, ListProjection& p) { changeQuery(p, [](ListQuery& q) { q.messageSort = MessageSort(); }); })
                                << false << false << false << false;
    QTest::newRow("other sort") << Action([](CacheContext&, ListProjection& p) {
        changeQuery(p, [](ListQuery& q) { q.messageSort = MessageSort::Oldest; });
    }) << true << false << false << true;
    QTest::newRow("same selection") << Action([](CacheContext&, ListProjection& p) {
        changeQuery(p, [](ListQuery& q) { q.applicationId = std::nullopt; });
    }) << false << false << false << false;
    QTest::newRow("read position over listed rows")
        << Action([](CacheContext&, ListProjection& p) { p.setLastReadId(2); }) << false << true << true << false;
    QTest::newRow("listed message text replaced") << Action([](CacheContext& c, ListProjection&) {
        c.insert(message(2, 1, 20, std::nullopt, u"two, again"_qs));
        c.save();
    }) << false << true << false << false;
    QTest::newRow("message inserted") << Action([](CacheContext& c, ListProjection&) {
        c.insert(message(4, 2, 40, std::nullopt, u"four"_qs));
        c.save();
    }) << true << false << true << false;
    QTest::newRow("message of an unlisted application") << Action([](CacheContext& c, ListProjection& p) {
        changeQuery(p, [](ListQuery& q) { q.applicationId = 1; });
        c.insert(message(4, 2, 40, std::nullopt, u"four"_qs));
        c.save();
    }) << false << false << true << false;
    QTest::newRow("application renamed") << Action([](CacheContext& c, ListProjection&) {
        c.insert(app(1, u"Post"_qs));
        c.save();
    }) << false << true << true << false;
    QTest::newRow("application sort with the same order") << Action([](CacheContext&, ListProjection& p) {
        changeQuery(p, [](ListQuery& q) { q.applicationSort = ApplicationSort::Alphabetical; });
    }) << false << false << false << false;
    QTest::newRow("selection and order at once") << Action([](CacheContext&, ListProjection& p) {
        p.setQuery(ListQuery { 1, u"o"_qs, MessageSort::Oldest, ApplicationSort() });
    }) << true << false << false << true;
    QTest::newRow("narrower search and other order at once") << Action([](CacheContext&, ListProjection& p) {
        p.setQuery(ListQuery { std::nullopt, u"on"_qs, MessageSort::Oldest, ApplicationSort() });
    }) << true << false << false << true;
    QTest::newRow("rolled back") << Action([](CacheContext& c, ListProjection&) {
        c.insert(message(4, 2, 40));
        c.rollback();
    }) << false << false << false << false;
}

void TestListProjection::signalsSayWhatChanged()
{
    QFETCH(std::function<void(CacheContext&, ListProjection&)>, action);
    QFETCH(bool, listChanged);
    QFETCH(bool, messagesChanged);
    QFETCH(bool, appsTold);
    QFETCH(bool, newList);

    std::shared_ptr<CacheContext> cache = Store::openCache(true);
    cache->insert(message(1, 1, 10, std::nullopt, u"one"_qs));
    cache->insert(message(2, 1, 20, std::nullopt, u"two"_qs));
    cache->insert(message(3, 1, 30, std::nullopt, u"three"_qs));
    cache->insert(app(1, u"Mail"_qs));
    cache->insert(app(2, u"Zebra"_qs));
    cache->save();
    ListProjection projection(cache);
    changeQuery(projection, [](ListQuery& q) { q.searchText = u"o"_qs; });
    QCOMPARE(listedIds(projection), (QList<qint64> { 2, 1 }));

    ListFollower follower(projection);
    QSignalSpy apps(&projection, &ListProjection::appsReset);
    QSignalSpy appRows(&projection, &ListProjection::appsChanged);
    action(*cache, projection);
    QVERIFY2(follower.failures.isEmpty(), qPrintable(follower.failures.join(u"; "_qs)));
    QCOMPARE(follower.ids(), listedIds(projection));
    QCOMPARE(follower.toldOfRows(), listChanged);
    QCOMPARE(!follower.changes.isEmpty(), messagesChanged);
    QCOMPARE(apps.size() + appRows.size() > 0, appsTold);
    QCOMPARE(follower.resets > 0, newList);
    QVERIFY(follower.resets <= 1 && follower.changes.size() <= 1 && apps.size() + appRows.size() <= 1);
}

// Row text comes from the cache and is the record as now stored, replaced or removed records included.
void TestListProjection::recordTextOnDemand()
{
    std::shared_ptr<CacheContext> cache = Store::openCache(true);
    const CachedMessage first = message(1, 1, 10, u"Title"_qs, u"first"_qs);
    cache->insert(first);
    cache->save();
    ListProjection projection(cache);
    QCOMPARE(projection.message(1), first);
    QCOMPARE(projection.message(1), first); // the second read is served from the recent records

    const CachedMessage replaced = message(1, 1, 10, u"Title"_qs, u"replaced"_qs);
    cache->insert(replaced);
    cache->save();
    QCOMPARE(projection.message(1), replaced);
    cache->removeAllMessages(1);
    cache->save();
    QCOMPARE(projection.message(1), std::nullopt);
    QVERIFY(!projection.hasMessages());
}

// Keys lowered and titles ranked in one locale are made again when the default locale changes.
void TestListProjection::followsTheLocale()
{
    std::shared_ptr<CacheContext> cache = Store::openCache(true);
    cache->insert(message(1, 1, 10, u"\u00c4pfel"_qs, u"isim"_qs));
    cache->insert(message(2, 1, 20, u"Zebra"_qs, u"\u0131s\u0131"_qs));
    cache->save();
    ListProjection projection(cache);
    Choices choices;
    choices.searchText = u"I"_qs;
    apply(projection, choices);
    QCOMPARE(listedIds(projection), (QList<qint64> { 1 }));

    QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
    changeQuery(projection, [](ListQuery& q) { q.searchText = u"IS"_qs; });
    choices.searchText = u"IS"_qs;
    QCOMPARE(difference(projection, *cache, choices), QString());
    QCOMPARE(listedIds(projection), (QList<qint64> { 2 }));

    QLocale::setDefault(QLocale(QLocale::Swedish, QLocale::Sweden));
    choices.searchText.clear();
    choices.messageSort = MessageSort::Title;
    apply(projection, choices);
    QCOMPARE(difference(projection, *cache, choices), QString());
    QCOMPARE(listedIds(projection), (QList<qint64> { 2, 1 })); // Swedish sorts \u00c4 after Z
}

void TestListProjection::startsEmptyWhenTheCacheCannotBeRead_data()
{
    QTest::addColumn<ReadFailure>("failure");

    QTest::newRow("out of memory") << ReadFailure::OutOfMemory;
    QTest::newRow("any other exception") << ReadFailure::Other;
    QTest::newRow("cache error") << ReadFailure::Cache;
}

// A failed first read leaves the lists empty, as a failure on a later commit does, and the next commit reloads.
void TestListProjection::startsEmptyWhenTheCacheCannotBeRead()
{
    QFETCH(ReadFailure, failure);

    std::shared_ptr<CacheContext> cache = Store::openCache(true);
    for (qint64 id = 1; id <= 3; ++id)
        cache->insert(message(id, 1, 10 * id));
    cache->insert(app(1, u"Mail"_qs));
    cache->save();

    ListProjection projection(cache, std::make_unique<LoaderFailingOnce>(failure));
    QCOMPARE(projection.messageCount(), 0);
    QCOMPARE(projection.appCount(), 0);
    QCOMPARE(projection.totalUnread(), 0);
    QVERIFY(!projection.hasMessages());

    QSignalSpy messagesReset(&projection, &ListProjection::messagesReset);
    QSignalSpy appsReset(&projection, &ListProjection::appsReset);
    cache->insert(message(4, 1, 40));
    cache->save();
    QCOMPARE(difference(projection, *cache, Choices()), QString());
    QCOMPARE(projection.messageCount(), 4);
    QCOMPARE(messagesReset.size(), 1); // read again as a whole, not told as ranges
    QCOMPARE(appsReset.size(), 1);
}

QTEST_GUILESS_MAIN(TestListProjection)
// A cache in a file whose ids span more than a hundred thousand is read in two halves at once, the upper one on a
// second thread through a connection of its own; what the halves give must be what one reader gives: titles shared
// across the halves, times running against the ids, and every choice.
void TestListProjection::largeFileReadInTwoHalves()
{
    QTemporaryDir folder;
    std::shared_ptr<CacheContext> cache = Store::open(folder.filePath(u"cache.sqlite"_qs));
    Generator random(77);
    for (qint64 id = 1; id <= 400; ++id)
        cache->insert(random.record(id * 1000 + random.bounded(1000)));
    for (qint64 id = 1; id <= 4; ++id)
        cache->insert(app(id, u"App %1"_qs.arg(id)));
    cache->save();

    ListProjection projection(cache);
    QCOMPARE(projection.messageCount(), 400);
    const QList<std::pair<QString, MessageSort>> choices { { QString(), MessageSort(MessageSort::Newest) },
        { u"disk"_qs, MessageSort(MessageSort::Oldest) }, { u"\u00e9"_qs, MessageSort(MessageSort::Title) },
        { QString(), MessageSort(MessageSort::Title) } };
    for (const auto& [searchText, sort] : choices) {
        Choices choice;
        choice.lastReadId = 200000;
        choice.searchText = searchText;
        choice.messageSort = sort;
        apply(projection, choice);
        QCOMPARE(difference(projection, *cache, choice), QString());
    }

    // Rows of both halves still follow changes: a title used only in the upper half goes, another arrives.
    cache->removeMessage(cache->maxMessageId().value());
    cache->insert(message(123456, 2, 5000, u"Fresh"_qs, u"disk"_qs));
    cache->save();
    Choices last;
    last.messageSort = MessageSort(MessageSort::Title);
    apply(projection, last);
    QCOMPARE(difference(projection, *cache, last), QString());

    // Enough of them removed that the rows and their keys are packed together, then searched again.
    for (qint64 id = 250000; id <= 400000; id += 1000) {
        for (qint64 within = 0; within < 1000; ++within)
            cache->removeMessage(id + within);
    }
    cache->save();
    QVERIFY(projection.messageCount() < 260);
    last.searchText = u"disk"_qs;
    apply(projection, last);
    QCOMPARE(difference(projection, *cache, last), QString());
}

void TestListProjection::newestMessagesJoinTheList_data()
{
    QTest::addColumn<MessageSort>("sort");
    QTest::addColumn<QString>("searchText");
    QTest::addColumn<bool>("grows");

    QTest::newRow("newest first") << MessageSort(MessageSort::Newest) << QString() << true;
    QTest::newRow("oldest first") << MessageSort(MessageSort::Oldest) << QString() << true;
    QTest::newRow("by title") << MessageSort(MessageSort::Title) << QString() << true;
    QTest::newRow("newest first, searched") << MessageSort(MessageSort::Newest) << u"disk"_qs << true;
    QTest::newRow("oldest first, searched") << MessageSort(MessageSort::Oldest) << u"disk"_qs << true;
    QTest::newRow("none of them found") << MessageSort(MessageSort::Newest) << u"zebra"_qs << false;
}

// What a sync brings: messages newer than all the others, some listed and some not. The list takes them at its
// front or its back (or where the titles put them) and says so once; a list that none of them joins says nothing.
void TestListProjection::newestMessagesJoinTheList()
{
    QFETCH(MessageSort, sort);
    QFETCH(QString, searchText);
    QFETCH(bool, grows);

    std::shared_ptr<CacheContext> cache = Store::openCache(true);
    for (qint64 id = 1; id <= 20; ++id)
        cache->insert(message(id, 1 + id % 3, 100 + id % 7, id % 2 ? u"Disk"_qs : u"Mail"_qs, u"disk %1"_qs.arg(id)));
    cache->insert(app(1, u"Mail"_qs));
    cache->save();
    ListProjection projection(cache);
    Choices choices;
    choices.messageSort = sort;
    choices.searchText = searchText;
    apply(projection, choices);
    ListFollower follower(projection);

    for (qint64 id = 21; id <= 24; ++id)
        cache->insert(message(id, 2, 200 + id % 2, u"Alert"_qs, id % 2 ? u"disk full"_qs : u"cpu"_qs));
    cache->save();
    QCOMPARE(difference(projection, *cache, choices), QString());
    QVERIFY2(follower.failures.isEmpty(), qPrintable(follower.failures.join(u"; "_qs)));
    QCOMPARE(follower.ids(), listedIds(projection));
    // Told once, as one range of new rows, the rows already listed staying where they are.
    QCOMPARE(follower.insertions, grows ? 1 : 0);
    QCOMPARE(follower.removals + follower.resets, 0);
}

#include "test_listprojection.moc"
