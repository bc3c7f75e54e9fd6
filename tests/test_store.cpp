// SPDX-License-Identifier: GPL-3.0-or-later
#include "cache/store.h"
#include "cache/storeerror.h"
#include "cachechangeprinting.h"
#include "coro.h"
#include "messageids.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <QtTest>
#include <sqlite3.h>
#include <thread>

using namespace tidewell;

namespace {

// The coarse kinds a commit touched, read from the details it reports.
enum Kind
{
    Messages = 0x1,
    Apps = 0x2
};
using Kinds = int;

Kinds kindsOf(const CacheChange& change)
{
    const bool messages = change.everything || !change.upsertedMessages.isEmpty() || !change.removedMessages.isEmpty()
        || !change.clearedApplications.isEmpty() || change.allMessagesRemoved;
    const bool apps = change.everything || change.appsChanged;
    return (messages ? Messages : 0) | (apps ? Apps : 0);
}

Kinds kindsAt(const QSignalSpy& committed, qsizetype index = 0)
{
    return kindsOf(committed.at(index).first().value<CacheChange>());
}

Message wireMessage(qint64 id, qint64 applicationId, const QString& text)
{
    Message m;
    m.id = id;
    m.applicationId = applicationId;
    m.title = u"Title %1"_qs.arg(id);
    m.message = text;
    m.priority = 5;
    m.url = u"https://example.com/%1"_qs.arg(id);
    m.urlTitle = u"Open"_qs;
    m.sound = u"chime"_qs;
    m.ts = 1'700'000'000 + id;
    return m;
}

CachedMessage cached(qint64 id, qint64 applicationId, const QString& text = u"body"_qs)
{
    return CachedMessage(wireMessage(id, applicationId, text));
}

CachedApp app(qint64 id, const QString& name, std::optional<QByteArray> icon = std::nullopt)
{
    return CachedApp { id, name, u"#ff8800"_qs, std::move(icon) };
}

QList<qint64> messageIds(const CacheContext& context)
{
    QList<qint64> ids;
    for (const CachedMessage& m : context.fetchMessages())
        ids.append(m.id);
    return ids;
}

QList<qint64> appIds(const CacheContext& context)
{
    QList<qint64> ids;
    for (const CachedApp& a : context.fetchApps())
        ids.append(a.id);
    return ids;
}

// Runs SQL on the file through a connection of its own, as another program (or an older build) would.
QString execOnFile(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    QString error;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK
        || sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        error = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_close(db);
    return error;
}

const QByteArray garbage = QByteArrayLiteral("not a database, just some leftover bytes\n").repeated(100);

enum class Companion
{
    Absent,
    Garbage,
    Unopenable
};

// Puts a companion file in place. An unopenable one is a link into a folder that does not exist: SQLite refuses
// to follow it and cannot create it, so it blocks every open until it is removed.
bool placeCompanion(const QString& path, Companion kind, const QString& missingFolder)
{
    switch (kind) {
    case Companion::Absent:
        return true;
    case Companion::Garbage: {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(garbage) == garbage.size();
    }
    case Companion::Unopenable:
        return QFile::link(missingFolder + u"/companion"_qs, path);
    }
    return false;
}

bool holdsGarbage(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.readAll().contains("leftover bytes");
}

CacheChange messageChange(QList<qint64> upserted, QList<qint64> removed = {})
{
    CacheChange change;
    change.upsertedMessages = std::move(upserted);
    change.removedMessages = std::move(removed);
    return change;
}

} // namespace

class TestStore : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void messageFromWire_data();
    void messageFromWire();
    void appRoundTrip_data();
    void appRoundTrip();
    void upsertKeepsOneRecord();
    void removals();
    void rollbackDiscardsEveryUnsavedChange();
    void changedOncePerCommit_data();
    void changedOncePerCommit();
    void rollbackForgetsPendingKinds();
    void committedNamesWhatChanged_data();
    void committedNamesWhatChanged();
    void rollbackForgetsPendingDetails();
    void committedGivesUpListingPastTheLimit();
    void maxMessageId();
    void countMessagesAbove_data();
    void countMessagesAbove();
    void inMemoryContainersAreIndependent();
    void openCacheUsesDefaultFile();
    void unreadableFileIsReplaced_data();
    void unreadableFileIsReplaced();
    void otherSchemaIsRecreated_data();
    void otherSchemaIsRecreated();
    void unopenablePathFallsBackToMemory_data();
    void unopenablePathFallsBackToMemory();
    void refusedWriteThrows();
    void failedReadThrows();
    void logCopiedBackWhileOpen();
    void readOnAnotherThreadFollowsClose();
    void clearInBackground_data();
    void clearInBackground();
    void writeAfterAClearInBackground_data();
    void writeAfterAClearInBackground();
    void failedClearInBackgroundChangesNothing();
    void clearInBackgroundRefusesUnsavedWrites();

private:
    QString filePath() const { return m_dir->filePath(u"cache.sqlite"_qs); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestStore::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(Store::defaultPath().contains(u"/.qttest/"_qs));
}

void TestStore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir(QFileInfo(Store::defaultPath()).absolutePath()).removeRecursively());
}

void TestStore::cleanup()
{
    QVERIFY(QDir(QFileInfo(Store::defaultPath()).absolutePath()).removeRecursively());
}

void TestStore::messageFromWire_data()
{
    QTest::addColumn<Message>("wire");
    QTest::addColumn<CachedMessage>("expected");

    CachedMessage full;
    full.id = 42;
    full.applicationId = 7;
    full.title = u"Backup done"_qs;
    full.message = u"All 3 volumes – 12 GB – finished “on time” 🎉"_qs;
    full.priority = 8;
    full.url = u"https://example.com/run/42"_qs;
    full.urlTitle = u"Details"_qs;
    full.ts = 1'712'345'678;
    Message wire { 42, 7, full.title, full.message, 8, full.url, full.urlTitle, u"siren"_qs, full.ts };
    QTest::newRow("all fields, with a sound") << wire << full;

    CachedMessage bare;
    bare.id = 1;
    bare.applicationId = 2;
    bare.message = u"plain"_qs;
    bare.priority = -2;
    bare.ts = 0;
    QTest::newRow("no optional fields") << Message { 1, 2, {}, u"plain"_qs, -2, {}, {}, {}, 0 } << bare;

    CachedMessage empty = bare;
    empty.title = QString();
    empty.message = QString();
    empty.url = u""_qs;
    empty.urlTitle = u""_qs;
    QTest::newRow("present but empty strings")
        << Message { 1, 2, QString(), QString(), -2, u""_qs, u""_qs, u""_qs, 0 } << empty;

    CachedMessage extreme;
    extreme.id = std::numeric_limits<qint64>::max();
    extreme.applicationId = std::numeric_limits<qint64>::min();
    extreme.message = u"x"_qs;
    extreme.priority = std::numeric_limits<qint64>::max();
    extreme.ts = -86'400;
    QTest::newRow("extreme integers, date before 1970")
        << Message { extreme.id, extreme.applicationId, {}, u"x"_qs, extreme.priority, {}, {}, {}, -86'400 } << extreme;
}

// The cached record is exactly the wire record less its sound, and it comes back from the file unchanged.
void TestStore::messageFromWire()
{
    QFETCH(Message, wire);
    QFETCH(CachedMessage, expected);

    const CachedMessage record(wire);
    QCOMPARE(record, expected);
    QCOMPARE(record.date(), wire.date());

    {
        auto context = Store::open(filePath());
        context->insert(record);
        context->save();
    }
    auto reopened = Store::open(filePath());
    QVERIFY(!reopened->isInMemory());
    QCOMPARE(reopened->fetchMessages(), QList<CachedMessage> { expected });
    const auto stored = reopened->fetchMessage(wire.id);
    QVERIFY(stored);
    QCOMPARE(*stored, expected);
    QCOMPARE(stored->date(), wire.date());
    QCOMPARE(stored->title.has_value(), wire.title.has_value());
}

void TestStore::appRoundTrip_data()
{
    QTest::addColumn<CachedApp>("record");
    QTest::newRow("no icon") << app(3, u"Server"_qs);
    QTest::newRow("empty icon") << app(3, u"Server"_qs, QByteArray());
    QTest::newRow("binary icon") << app(3, u"Ωmega ✓"_qs, QByteArray("\x89PNG\r\n\x1a\n\0\0\xff", 12));
    QTest::newRow("empty name and color") << CachedApp { -1, QString(), QString(), QByteArray("i") };
}

void TestStore::appRoundTrip()
{
    QFETCH(CachedApp, record);
    {
        auto context = Store::open(filePath());
        context->insert(record);
        context->save();
    }
    const auto apps = Store::open(filePath())->fetchApps();
    QCOMPARE(apps, QList<CachedApp> { record });
    QCOMPARE(apps.first().icon.has_value(), record.icon.has_value());
}

void TestStore::upsertKeepsOneRecord()
{
    auto context = Store::openCache(true);
    const Message first = wireMessage(10, 1, u"first"_qs);
    context->insert(CachedMessage(first));
    context->insert(CachedMessage(wireMessage(11, 1, u"other"_qs)));
    context->insert(app(1, u"Old name"_qs, QByteArray("old icon")));
    context->save();

    Message newer = first;
    newer.applicationId = 2;
    newer.title.reset();
    newer.message = u"second"_qs;
    newer.priority = 1;
    newer.url = u"https://example.com/new"_qs;
    newer.urlTitle.reset();
    newer.ts += 60;
    context->insert(CachedMessage(newer));
    context->insert(app(1, u"New name"_qs));
    // Visible before saving, already as one record.
    QCOMPARE(context->fetchMessage(10), CachedMessage(newer));
    QCOMPARE(context->fetchMessages().size(), 2);
    context->save();

    QCOMPARE(context->fetchMessages(),
        (QList<CachedMessage> { CachedMessage(newer), CachedMessage(wireMessage(11, 1, u"other"_qs)) }));
    QCOMPARE(context->fetchApps(), QList<CachedApp> { app(1, u"New name"_qs) });
}

void TestStore::removals()
{
    auto context = Store::openCache(true);
    for (qint64 id = 1; id <= 6; ++id)
        context->insert(cached(id, id % 3)); // applications 0, 1 and 2, two messages each
    context->insert(app(1, u"One"_qs));
    context->insert(app(2, u"Two"_qs));
    context->save();

    // Messages name their application by value only; nothing cascades.
    context->removeApp(1);
    context->save();
    QCOMPARE(appIds(*context), QList<qint64> { 2 });
    QCOMPARE(messageIds(*context), (QList<qint64> { 1, 2, 3, 4, 5, 6 }));

    context->removeAllMessages(1);
    context->save();
    QCOMPARE(messageIds(*context), (QList<qint64> { 2, 3, 5, 6 }));
    QCOMPARE(appIds(*context), QList<qint64> { 2 });

    context->removeMessage(5);
    context->removeMessage(999);
    context->save();
    QCOMPARE(messageIds(*context), (QList<qint64> { 2, 3, 6 }));

    context->removeAllApps();
    context->save();
    QVERIFY(context->fetchApps().isEmpty());
    QCOMPARE(messageIds(*context), (QList<qint64> { 2, 3, 6 }));

    context->removeAllMessages();
    context->save();
    QVERIFY(context->fetchMessages().isEmpty());
}

void TestStore::rollbackDiscardsEveryUnsavedChange()
{
    const QList<CachedMessage> savedMessages { cached(1, 1), cached(2, 1), cached(3, 2) };
    const QList<CachedApp> savedApps { app(1, u"One"_qs), app(2, u"Two"_qs, QByteArray("icon")) };
    {
        auto context = Store::open(filePath());
        for (const auto& m : savedMessages)
            context->insert(m);
        for (const auto& a : savedApps)
            context->insert(a);
        QVERIFY(context->hasChanges());
        context->save();
        QVERIFY(!context->hasChanges());

        context->insert(cached(4, 1));
        context->insert(cached(1, 1, u"changed"_qs));
        context->removeMessage(2);
        context->removeAllMessages(2);
        context->removeApp(1);
        context->insert(app(2, u"Renamed"_qs));
        context->insert(app(3, u"Three"_qs));
        QVERIFY(context->hasChanges());
        QCOMPARE(messageIds(*context), (QList<qint64> { 1, 4 }));
        QCOMPARE(context->maxMessageId(), 4);

        context->rollback();
        QVERIFY(!context->hasChanges());
        QCOMPARE(context->fetchMessages(), savedMessages);
        QCOMPARE(context->fetchApps(), savedApps);
        QCOMPARE(context->maxMessageId(), 3);

        // Left unsaved when the context goes away: discarded too.
        context->removeAllMessages();
        context->removeAllApps();
    }
    auto reopened = Store::open(filePath());
    QVERIFY(!reopened->isInMemory());
    QCOMPARE(reopened->fetchMessages(), savedMessages);
    QCOMPARE(reopened->fetchApps(), savedApps);
}

void TestStore::changedOncePerCommit_data()
{
    QTest::addColumn<std::function<void(CacheContext&)>>("writes");
    QTest::addColumn<Kinds>("expected"); // no signal when empty

    using Writes = std::function<void(CacheContext&)>;
    QTest::newRow("message inserted") << Writes([](CacheContext& c) { c.insert(cached(9, 1)); }) << Kinds(Messages);
    QTest::newRow("message updated") << Writes([](CacheContext& c) {
        c.insert(cached(1, 1, u"again"_qs));
        c.insert(cached(1, 1, u"and again"_qs));
    }) << Kinds(Messages);
    QTest::newRow("app inserted") << Writes([](CacheContext& c) { c.insert(app(9, u"Nine"_qs)); }) << Kinds(Apps);
    QTest::newRow("both kinds") << Writes([](CacheContext& c) {
        c.removeApp(1);
        c.removeAllMessages(1);
    }) << Kinds(Messages | Apps);
    QTest::newRow("all apps removed") << Writes([](CacheContext& c) { c.removeAllApps(); }) << Kinds(Apps);
    QTest::newRow("removals that match nothing") << Writes([](CacheContext& c) {
        c.removeMessage(99);
        c.removeApp(99);
        c.removeAllMessages(99);
    }) << Kinds(0);
    QTest::newRow("no writes") << Writes([](CacheContext&) {}) << Kinds(0);
}

void TestStore::changedOncePerCommit()
{
    QFETCH(std::function<void(CacheContext&)>, writes);
    QFETCH(Kinds, expected);

    auto context = Store::openCache(true);
    context->insert(cached(1, 1));
    context->insert(app(1, u"One"_qs));
    context->save();

    QSignalSpy spy(context.get(), &CacheContext::committed);
    writes(*context);
    QVERIFY(spy.isEmpty()); // nothing observable before the commit
    context->save();
    if (expected) {
        QCOMPARE(spy.size(), 1);
        QCOMPARE(kindsAt(spy), expected);
    } else {
        QVERIFY(spy.isEmpty());
    }
    context->save();
    QCOMPARE(spy.size(), expected ? 1 : 0);
}

void TestStore::rollbackForgetsPendingKinds()
{
    auto context = Store::openCache(true);
    QSignalSpy spy(context.get(), &CacheContext::committed);
    context->insert(app(1, u"One"_qs));
    context->insert(cached(1, 1));
    context->rollback();
    context->rollback();
    context->save();
    QVERIFY(spy.isEmpty());

    context->insert(cached(2, 1));
    context->save();
    QCOMPARE(spy.size(), 1);
    QCOMPARE(kindsAt(spy), Kinds(Messages));
}

void TestStore::committedNamesWhatChanged_data()
{
    QTest::addColumn<std::function<void(CacheContext&)>>("writes");
    QTest::addColumn<CacheChange>("expected"); // no signal when empty

    using Writes = std::function<void(CacheContext&)>;
    CacheChange clearedApp;
    clearedApp.clearedApplications = { 1 };
    CacheChange allRemoved;
    allRemoved.allMessagesRemoved = true;
    CacheChange allRemovedThenInsert = allRemoved;
    allRemovedThenInsert.upsertedMessages = { 9 };
    CacheChange clearedAndInsert = clearedApp;
    clearedAndInsert.upsertedMessages = { 2 };
    CacheChange appsChanged;
    appsChanged.appsChanged = true;
    CacheChange appAndMessage = messageChange({ 9 });
    appAndMessage.appsChanged = true;

    QTest::newRow("insert") << Writes([](CacheContext& c) {
        c.insert(cached(9, 1));
        c.insert(cached(8, 2));
    }) << messageChange({ 9, 8 });
    QTest::newRow("replace, twice") << Writes([](CacheContext& c) {
        c.insert(cached(2, 1, u"again"_qs));
        c.insert(cached(1, 1, u"again"_qs));
        c.insert(cached(2, 1, u"and again"_qs));
    }) << messageChange({ 2, 1 });
    QTest::newRow("remove one") << Writes([](CacheContext& c) { c.removeMessage(2); }) << messageChange({}, { 2 });
    QTest::newRow("remove what was just inserted") << Writes([](CacheContext& c) {
        c.insert(cached(9, 1));
        c.removeMessage(9);
    }) << messageChange({}, { 9 });
    QTest::newRow("insert what was just removed") << Writes([](CacheContext& c) {
        c.removeMessage(2);
        c.insert(cached(2, 2));
    }) << messageChange({ 2 });
    QTest::newRow("remove all of an app") << Writes([](CacheContext& c) { c.removeAllMessages(1); }) << clearedApp;
    QTest::newRow("remove all of an app twice, then insert into it") << Writes([](CacheContext& c) {
        c.removeAllMessages(1);
        c.removeAllMessages(1);
        c.insert(cached(2, 1));
    }) << clearedAndInsert;
    QTest::newRow("remove all") << Writes([](CacheContext& c) {
        c.insert(cached(9, 1));
        c.removeMessage(1);
        c.removeAllMessages(1);
        c.removeAllMessages();
    }) << allRemoved;
    QTest::newRow("remove all, then insert") << Writes([](CacheContext& c) {
        c.removeAllMessages();
        c.insert(cached(9, 1));
    }) << allRemovedThenInsert;
    QTest::newRow("app insert") << Writes([](CacheContext& c) { c.insert(app(9, u"Nine"_qs)); }) << appsChanged;
    QTest::newRow("app removed") << Writes([](CacheContext& c) { c.removeApp(2); }) << appsChanged;
    QTest::newRow("all apps removed") << Writes([](CacheContext& c) { c.removeAllApps(); }) << appsChanged;
    QTest::newRow("app and message") << Writes([](CacheContext& c) {
        c.insert(app(1, u"Renamed"_qs));
        c.insert(cached(9, 1));
    }) << appAndMessage;
    QTest::newRow("removals that match nothing") << Writes([](CacheContext& c) {
        c.removeMessage(99);
        c.removeApp(99);
        c.removeAllMessages(99);
    }) << CacheChange();
}

void TestStore::committedNamesWhatChanged()
{
    QFETCH(std::function<void(CacheContext&)>, writes);
    QFETCH(CacheChange, expected);

    auto context = Store::openCache(true);
    context->insert(cached(1, 1));
    context->insert(cached(2, 1));
    context->insert(cached(3, 2));
    context->insert(app(1, u"One"_qs));
    context->insert(app(2, u"Two"_qs));
    context->save();

    QSignalSpy details(context.get(), &CacheContext::committed);
    writes(*context);
    QVERIFY(details.isEmpty());
    context->save();
    if (expected.isEmpty()) {
        QVERIFY(details.isEmpty());
        return;
    }
    QCOMPARE(details.size(), 1);
    QCOMPARE(details.first().first().value<CacheChange>(), expected);
    context->save();
    QCOMPARE(details.size(), 1);
}

void TestStore::rollbackForgetsPendingDetails()
{
    auto context = Store::openCache(true);
    QSignalSpy details(context.get(), &CacheContext::committed);
    context->insert(app(1, u"One"_qs));
    context->insert(cached(1, 1));
    context->removeAllMessages(1);
    context->rollback();
    context->save();
    QVERIFY(details.isEmpty());

    context->insert(cached(2, 1));
    context->save();
    QCOMPARE(details.size(), 1);
    QCOMPARE(details.first().first().value<CacheChange>(), messageChange({ 2 }));
}

// A commit of more ids than are worth reading back one by one tells readers to reload instead.
void TestStore::committedGivesUpListingPastTheLimit()
{
    auto context = Store::openCache(true);
    QSignalSpy details(context.get(), &CacheContext::committed);
    for (qint64 id = 1; id <= CacheContext::maxListedMessageIds; ++id)
        context->insert(cached(id, 1));
    context->save();
    QCOMPARE(details.size(), 1);
    QCOMPARE(details.first().first().value<CacheChange>().upsertedMessages.size(), CacheContext::maxListedMessageIds);

    for (qint64 id = 1; id <= CacheContext::maxListedMessageIds + 1; ++id)
        context->insert(cached(id, 1, u"again"_qs));
    context->save();
    QCOMPARE(details.size(), 2);
    CacheChange everything;
    everything.everything = true;
    QCOMPARE(details.last().first().value<CacheChange>(), everything);
}

void TestStore::maxMessageId()
{
    auto context = Store::openCache(true);
    QCOMPARE(context->maxMessageId(), std::nullopt);
    context->insert(cached(7, 1));
    context->insert(cached(42, 1));
    context->insert(cached(13, 2));
    QCOMPARE(context->maxMessageId(), 42); // unsaved rows count
    context->save();
    context->removeMessage(42);
    QCOMPARE(context->maxMessageId(), 13);
    context->removeAllMessages();
    QCOMPARE(context->maxMessageId(), std::nullopt);
    context->rollback();
    QCOMPARE(context->maxMessageId(), 42);
}

void TestStore::countMessagesAbove_data()
{
    QTest::addColumn<QList<qint64>>("ids");
    QTest::addColumn<qint64>("above");
    QTest::addColumn<qint64>("expected");
    const QList<qint64> ids { 5, 7, 42, 10, 11 };
    QTest::newRow("empty cache") << QList<qint64>() << qint64(0) << qint64(0);
    QTest::newRow("negative") << ids << qint64(-1) << qint64(5);
    QTest::newRow("zero") << ids << qint64(0) << qint64(5);
    QTest::newRow("equal to a cached id") << ids << qint64(7) << qint64(3);
    QTest::newRow("between cached ids") << ids << qint64(8) << qint64(3);
    QTest::newRow("the highest") << ids << qint64(42) << qint64(0);
    QTest::newRow("above the highest") << ids << qint64(1000) << qint64(0);
}

void TestStore::countMessagesAbove()
{
    QFETCH(QList<qint64>, ids);
    QFETCH(qint64, above);
    QFETCH(qint64, expected);
    auto context = Store::openCache(true);
    for (qint64 id : ids)
        context->insert(cached(id, id % 2));
    QCOMPARE(context->countMessagesAbove(above), expected);
    context->save();
    QCOMPARE(context->countMessagesAbove(above), expected);
}

void TestStore::inMemoryContainersAreIndependent()
{
    auto first = Store::openCache(true);
    auto second = Store::openCache(true);
    QVERIFY(first->isInMemory());
    QVERIFY(second->isInMemory());
    QVERIFY(first->path().isEmpty());

    first->insert(cached(1, 1));
    first->insert(app(1, u"One"_qs));
    first->save();
    QVERIFY(second->fetchMessages().isEmpty());
    QVERIFY(second->fetchApps().isEmpty());

    second->insert(cached(2, 1));
    second->save();
    QCOMPARE(messageIds(*first), QList<qint64> { 1 });
    QCOMPARE(messageIds(*second), QList<qint64> { 2 });
    QVERIFY(!QFile::exists(Store::defaultPath()));
}

void TestStore::openCacheUsesDefaultFile()
{
    const QString path = Store::defaultPath();
    QVERIFY(path.endsWith(u"/cache.sqlite"_qs));
    {
        auto context = Store::openCache(false);
        QVERIFY(!context->isInMemory());
        QCOMPARE(context->path(), path);
        context->insert(cached(1, 1));
        context->save();
        // Write-ahead logging keeps its log and index beside the file while it is open.
        QVERIFY(QFile::exists(path + u"-wal"_qs));
        QVERIFY(QFile::exists(path + u"-shm"_qs));
    }
    QVERIFY(QFile::exists(path));
    auto reopened = Store::openCache(false);
    QCOMPARE(messageIds(*reopened), QList<qint64> { 1 });
}

void TestStore::unreadableFileIsReplaced_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<Companion>("wal");
    QTest::addColumn<Companion>("shm");
    QTest::newRow("garbage alone") << garbage << Companion::Absent << Companion::Absent;
    QTest::newRow("a few garbage bytes") << QByteArray("oops") << Companion::Absent << Companion::Absent;
    QTest::newRow("garbage with garbage companions") << garbage << Companion::Garbage << Companion::Garbage;
    QTest::newRow("garbage with blocking companions") << garbage << Companion::Unopenable << Companion::Unopenable;
    QTest::newRow("no -wal, blocking -shm") << garbage << Companion::Absent << Companion::Unopenable;
    QTest::newRow("garbage -wal, blocking -shm") << garbage << Companion::Garbage << Companion::Unopenable;
}

void TestStore::unreadableFileIsReplaced()
{
    QFETCH(QByteArray, content);
    QFETCH(Companion, wal);
    QFETCH(Companion, shm);

    const QString path = filePath();
    const QString missingFolder = m_dir->filePath(u"missing"_qs);
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), content.size());
    }
    QVERIFY(placeCompanion(path + u"-wal"_qs, wal, missingFolder));
    QVERIFY(placeCompanion(path + u"-shm"_qs, shm, missingFolder));

    {
        auto context = Store::open(path);
        QVERIFY(!context->isInMemory());
        QCOMPARE(context->path(), path);
        QVERIFY(context->fetchMessages().isEmpty());
        QVERIFY(context->fetchApps().isEmpty());
        QVERIFY(!holdsGarbage(path));
        QVERIFY(!holdsGarbage(path + u"-wal"_qs));
        QVERIFY(!holdsGarbage(path + u"-shm"_qs));
        context->insert(cached(1, 1));
        context->save();
    }
    // What replaced it is a real cache file, not a one-off.
    auto reopened = Store::open(path);
    QVERIFY(!reopened->isInMemory());
    QCOMPARE(messageIds(*reopened), QList<qint64> { 1 });
}

void TestStore::otherSchemaIsRecreated_data()
{
    QTest::addColumn<bool>("startFromCache"); // change a cache file of ours, or start from an empty database
    QTest::addColumn<QByteArray>("sql");
    QTest::newRow("unrelated database") << false
                                        << QByteArray("CREATE TABLE notes (body TEXT); INSERT INTO notes "
                                                      "VALUES ('keep me?')");
    QTest::newRow("older version") << true << QByteArray("UPDATE meta SET schema_version = '0.9.0'");
    QTest::newRow("no version row") << true << QByteArray("DELETE FROM meta");
    QTest::newRow("two version rows") << true << QByteArray("INSERT INTO meta VALUES ('1.0.0')");
    QTest::newRow("a column less") << true << QByteArray("ALTER TABLE messages DROP COLUMN url_title");
    QTest::newRow("an extra table") << true << QByteArray("CREATE TABLE drafts (id INTEGER PRIMARY KEY)");
    QTest::newRow("an extra index") << true << QByteArray("CREATE INDEX by_app ON messages (application_id)");
    QTest::newRow("meta missing") << true << QByteArray("DROP TABLE meta");
}

void TestStore::otherSchemaIsRecreated()
{
    QFETCH(bool, startFromCache);
    QFETCH(QByteArray, sql);

    const QString path = filePath();
    if (startFromCache) {
        auto context = Store::open(path);
        context->insert(cached(1, 1));
        context->insert(app(1, u"One"_qs));
        context->save();
    }
    QCOMPARE(execOnFile(path, sql.constData()), QString());

    {
        auto context = Store::open(path);
        QVERIFY(!context->isInMemory());
        QVERIFY(context->fetchMessages().isEmpty());
        QVERIFY(context->fetchApps().isEmpty());
        context->insert(cached(2, 1));
        context->save();
    }
    auto reopened = Store::open(path);
    QCOMPARE(messageIds(*reopened), QList<qint64> { 2 });
    // The old content is gone, not merely hidden.
    QCOMPARE(execOnFile(path, "SELECT * FROM notes"), u"no such table: notes"_qs);
}

void TestStore::unopenablePathFallsBackToMemory_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::addColumn<QString>("mustSurvive"); // an entry the failed opening must leave in place
    QTest::newRow("parent is a file") << u"plain-file/cache.sqlite"_qs << u"plain-file"_qs;
    QTest::newRow("path is a folder") << u"folder"_qs << u"folder/inside"_qs;
    QTest::newRow("parent missing") << u"missing/cache.sqlite"_qs << QString();
}

void TestStore::unopenablePathFallsBackToMemory()
{
    QFETCH(QString, relativePath);
    QFETCH(QString, mustSurvive);

    QVERIFY(QDir(m_dir->path()).mkpath(u"folder"_qs));
    for (const QString& name : { u"plain-file"_qs, u"folder/inside"_qs }) {
        QFile file(m_dir->filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("keep");
    }

    auto context = Store::open(m_dir->filePath(relativePath));
    QVERIFY(context->isInMemory());
    QVERIFY(context->path().isEmpty());
    context->insert(cached(1, 1));
    context->insert(app(1, u"One"_qs));
    context->save();
    QCOMPARE(messageIds(*context), QList<qint64> { 1 });
    QCOMPARE(appIds(*context), QList<qint64> { 1 });
    if (!mustSurvive.isEmpty())
        QVERIFY(QFile::exists(m_dir->filePath(mustSurvive)));
}

// A write SQLite refuses surfaces with SQLite's own text, and the unit of work stays usable: what was written
// before the failure is still pending and can be saved.
void TestStore::refusedWriteThrows()
{
    const QString path = filePath();
    auto context = Store::open(path);
    context->insert(app(1, u"One"_qs));
    context->save();
    QCOMPARE(execOnFile(path,
                 "CREATE TRIGGER refuse BEFORE INSERT ON messages BEGIN SELECT RAISE(ABORT, 'messages refused'); "
                 "END"),
        QString());

    QSignalSpy spy(context.get(), &CacheContext::committed);
    context->insert(app(2, u"Two"_qs));
    try {
        context->insert(cached(1, 1));
        QFAIL("the refused insert did not throw");
    } catch (const StoreError& error) {
        QCOMPARE(error.description(), u"messages refused"_qs);
    }
    QVERIFY(context->hasChanges());
    QVERIFY(context->fetchMessages().isEmpty());
    context->save();
    QCOMPARE(spy.size(), 1);
    QCOMPARE(kindsAt(spy), Kinds(Apps));
    QCOMPARE(appIds(*context), (QList<qint64> { 1, 2 }));
}

void TestStore::failedReadThrows()
{
    const QString path = filePath();
    auto context = Store::open(path);
    context->insert(cached(1, 1));
    context->save();
    QCOMPARE(execOnFile(path, "DROP TABLE messages"), QString());

    const auto expectFailure = [](const std::function<void()>& call) {
        try {
            call();
        } catch (const StoreError& error) {
            return error.description();
        }
        return QString();
    };
    const QString noTable = u"no such table: messages"_qs;
    QCOMPARE(expectFailure([&] { context->maxMessageId(); }), noTable);
    QCOMPARE(expectFailure([&] { context->countMessagesAbove(0); }), noTable);
    QCOMPARE(expectFailure([&] { context->fetchMessages(); }), noTable);
    QCOMPARE(expectFailure([&] { context->insert(cached(2, 1)); }), noTable);
    QCOMPARE(expectFailure([&] { context->removeAllMessages(); }), noTable);
    context->rollback();
    QVERIFY(!context->hasChanges());
}

// The write-ahead log is copied back into the file on a thread of its own once it grows past its threshold, while
// the cache stays open; everything written stays readable, also by another connection.
// A worker thread reads through a connection of its own, opened from the file's name alone, and a cache closed
// on its own thread refuses that read as it refuses every other.
void TestStore::readOnAnotherThreadFollowsClose()
{
    auto context = Store::open(filePath());
    context->insert(cached(1, 1));
    context->insert(cached(2, 1));
    context->save();

    QList<qint64> seen;
    std::optional<QString> failure;
    const auto readElsewhere = [&] {
        std::thread([&] {
            try {
                context->forEachCommittedMessageOnCallingThread(
                    0, std::numeric_limits<qint64>::max(), [&seen](const StoredMessage& m) { seen.append(m.id); });
            } catch (const StoreError& error) {
                failure = error.description();
            }
        }).join();
    };
    readElsewhere();
    QCOMPARE(failure, std::nullopt);
    QCOMPARE(seen, (QList<qint64> { 1, 2 }));

    context->close();
    seen.clear();
    readElsewhere();
    QVERIFY(failure);
    QVERIFY(seen.isEmpty());
}

void TestStore::logCopiedBackWhileOpen()
{
    auto context = Store::open(filePath());
    const QString body(2000, u'x');
    for (qint64 id = 1; id <= 3000; ++id) {
        context->insert(CachedMessage(wireMessage(id, 1, body)));
        if (id % 500 == 0)
            context->save();
    }
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(filePath()).size() > 4 * 1024 * 1024, 20000);
    qint64 seen = 0;
    context->forEachCommittedMessageOnCallingThread(1, 3000,
        [&seen](const CacheContext::StoredMessage& message) { seen += message.message.size() == 2000 ? 1 : 0; });
    QCOMPARE(seen, 3000);
    QCOMPARE(context->countMessagesAbove(0), 3000);
}

namespace {

// Messages 1 to 6, the odd ones in application 1 and the even ones in application 2.
void fillTwoApps(CacheContext& context)
{
    for (qint64 id = 1; id <= 6; ++id)
        context.insert(cached(id, 2 - id % 2));
    context.save();
}

// What another connection finds in the file: what has been committed.
QList<qint64> committedIds(const CacheContext& context)
{
    QList<qint64> ids;
    context.forEachCommittedMessageOnCallingThread(
        0, std::numeric_limits<qint64>::max(), [&ids](const CacheContext::StoredMessage& m) { ids.append(m.id); });
    return ids;
}

CacheChange clearedChange(qint64 applicationId)
{
    CacheChange change;
    change.clearedApplications = { applicationId };
    return change;
}

} // namespace

void TestStore::clearInBackground_data()
{
    QTest::addColumn<bool>("inFile");
    QTest::addColumn<qint64>("applicationId");
    QTest::addColumn<QList<qint64>>("remaining");

    QTest::newRow("in a file") << true << qint64(2) << QList<qint64> { 1, 3, 5 };
    QTest::newRow("in a file, no such messages") << true << qint64(9) << QList<qint64> { 1, 2, 3, 4, 5, 6 };
    QTest::newRow("in memory") << false << qint64(1) << QList<qint64> { 2, 4, 6 };
    QTest::newRow("in memory, no such messages") << false << qint64(9) << QList<qint64> { 1, 2, 3, 4, 5, 6 };
}

// Until the delete made on the other thread is taken in, this connection reads the cache as it was, so that the
// lists and the counts never see half of the change; then one notification names it, as a save would.
void TestStore::clearInBackground()
{
    QFETCH(bool, inFile);
    QFETCH(qint64, applicationId);
    QFETCH(QList<qint64>, remaining);
    QTest::failOnWarning(QRegularExpression(u"waits on the UI thread"_qs));

    auto context = inFile ? Store::open(filePath()) : Store::openCache(true);
    fillTwoApps(*context);
    QSignalSpy details(context.get(), &CacheContext::committed);

    QCoro::Task<> clear = context->removeAllMessagesInBackground(applicationId);
    if (inFile) {
        // The other thread commits; no event is handled meanwhile, so this connection has not been told yet.
        QDeadlineTimer deadline(std::chrono::seconds(10));
        while (committedIds(*context) != remaining && !deadline.hasExpired())
            QThread::msleep(1);
        QCOMPARE(committedIds(*context), remaining);
        QVERIFY(context->isDeletingInBackground());
        QCOMPARE(messageIds(*context), range(1, 6));
        QCOMPARE(context->countMessagesAbove(0), 6);
        QVERIFY(details.isEmpty());
    }
    await(std::move(clear));

    QVERIFY(!context->isDeletingInBackground());
    QCOMPARE(messageIds(*context), remaining);
    QCOMPARE(context->countMessagesAbove(0), remaining.size());
    if (inFile)
        QCOMPARE(committedIds(*context), remaining);
    if (remaining.size() == 6) {
        QVERIFY(details.isEmpty());
        return;
    }
    QCOMPARE(details.size(), 1);
    QCOMPARE(details.first().first().value<CacheChange>(), clearedChange(applicationId));
    QCOMPARE(kindsAt(details), Kinds(Messages));
}

namespace {

QCoro::Task<> insertWhenSettled(std::shared_ptr<CacheContext> context, CachedMessage message)
{
    co_await context->writesSettled();
    context->insert(message);
    context->save();
}

} // namespace

void TestStore::writeAfterAClearInBackground_data()
{
    QTest::addColumn<bool>("awaitsSettled");
    QTest::newRow("awaits the clear") << true;
    QTest::newRow("writes at once") << false; // a faulty writer: the write waits on the UI thread, but stays right
}

// A write that comes while the delete runs apart lands after it: the message it adds to the cleared application
// stays, and the two notifications come in the order of the changes.
void TestStore::writeAfterAClearInBackground()
{
    QFETCH(bool, awaitsSettled);
    if (awaitsSettled)
        QTest::failOnWarning(QRegularExpression(u"waits on the UI thread"_qs));
    else
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"waits on the UI thread"_qs));

    std::shared_ptr<CacheContext> context = Store::open(filePath());
    fillTwoApps(*context);
    QSignalSpy details(context.get(), &CacheContext::committed);

    QCoro::Task<> clear = context->removeAllMessagesInBackground(2);
    QVERIFY(context->isDeletingInBackground());
    if (awaitsSettled) {
        QCoro::Task<> write = insertWhenSettled(context, cached(7, 2));
        QCOMPARE(messageIds(*context), range(1, 6)); // the write waits, and nothing changed yet
        await(std::move(write));
    } else {
        context->insert(cached(7, 2));
        context->save();
    }
    await(std::move(clear));

    QCOMPARE(messageIds(*context), (QList<qint64> { 1, 3, 5, 7 }));
    QCOMPARE(committedIds(*context), (QList<qint64> { 1, 3, 5, 7 }));
    QCOMPARE(details.size(), 2);
    QCOMPARE(details.at(0).first().value<CacheChange>(), clearedChange(2));
    QCOMPARE(details.at(1).first().value<CacheChange>(), messageChange({ 7 }));
}

// A delete that SQLite refuses on the other thread fails the call with SQLite's text and leaves the cache, the
// notifications and this connection as they were: the next write goes through.
void TestStore::failedClearInBackgroundChangesNothing()
{
    const QString path = filePath();
    std::shared_ptr<CacheContext> context = Store::open(path);
    fillTwoApps(*context);
    QCOMPARE(execOnFile(path,
                 "CREATE TRIGGER refuse BEFORE DELETE ON messages BEGIN SELECT RAISE(ABORT, 'deletes refused'); END"),
        QString());
    QSignalSpy details(context.get(), &CacheContext::committed);

    const auto error = awaitError<StoreError>(context->removeAllMessagesInBackground(2));
    QCOMPARE(error.description(), u"deletes refused"_qs);
    QVERIFY(!context->isDeletingInBackground());
    QVERIFY(details.isEmpty());
    QCOMPARE(committedIds(*context), range(1, 6));

    context->insert(cached(7, 1));
    context->save();
    QCOMPARE(messageIds(*context), range(1, 7));
    QCOMPARE(details.size(), 1);
}

// The other connection sees only what is committed, so writes still pending here would be left out of its view
// and then collide with its commit: the call refuses them instead.
void TestStore::clearInBackgroundRefusesUnsavedWrites()
{
    std::shared_ptr<CacheContext> context = Store::open(filePath());
    fillTwoApps(*context);
    context->insert(cached(7, 2));
    awaitError<StoreError>(context->removeAllMessagesInBackground(2));
    QVERIFY(!context->isDeletingInBackground());
    QVERIFY(context->hasChanges());
    context->save();
    QCOMPARE(committedIds(*context), range(1, 7));
}

QTEST_GUILESS_MAIN(TestStore)
#include "test_store.moc"
