// SPDX-License-Identifier: GPL-3.0-or-later
// A sync killed with SIGKILL at random moments, over and over, must leave a cache that opens as it is, passes
// SQLite's integrity check and holds exactly the pages that were committed; and a cache file that is damaged in
// any other way is recreated empty and filled again by the next sync.
#include "accountserver.h"
#include "api/apiclient.h"
#include "cache/store.h"
#include "coro.h"
#include "messageids.h"
#include "sync/syncengine.h"
#include "testchild.h"

#include <QNetworkAccessManager>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <sqlite3.h>
#include <sys/stat.h>

using namespace tidewell;

namespace {

constexpr qint64 accountSize = 100000;
constexpr int kills = 6;
constexpr int patience = 120000; // ms for one child; generous for sanitizer builds on a loaded machine

ino_t inode(const QString& path)
{
    struct stat info
    { };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

// What a plain SQLite connection finds in the file: the integrity check's verdict and every message id.
struct RawReading
{
    QString integrity;
    QString schemaVersion;
    QList<qint64> ids;
};

RawReading readRaw(const QString& path)
{
    RawReading reading;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        reading.integrity = u"cannot open"_qs;
        return reading;
    }
    auto each = [db](const char* sql, const std::function<void(sqlite3_stmt*)>& row) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK)
            return false;
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
            row(stmt);
        sqlite3_finalize(stmt);
        return rc == SQLITE_DONE;
    };
    QStringList problems;
    if (!each("PRAGMA integrity_check", [&problems](sqlite3_stmt* stmt) {
            problems.append(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))));
        }))
        problems.append(QString::fromUtf8(sqlite3_errmsg(db)));
    reading.integrity = problems.join(u"; "_qs);
    each("SELECT schema_version FROM meta", [&reading](sqlite3_stmt* stmt) {
        reading.schemaVersion = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    });
    each("SELECT id FROM messages ORDER BY id",
        [&reading](sqlite3_stmt* stmt) { reading.ids.append(sqlite3_column_int64(stmt, 0)); });
    sqlite3_close(db);
    return reading;
}

} // namespace

class TestCrash : public QObject
{
    Q_OBJECT

private slots:
    void killedSyncKeepsEveryCommittedPage();
    void damagedFileIsRecreatedAndRefilled_data();
    void damagedFileIsRecreatedAndRefilled();

private:
    // Syncs the whole account in this process and checks the cache at `path` against the server, field by field.
    void finishAndCompare(AccountServer& server, const QString& path);
};

void TestCrash::finishAndCompare(AccountServer& server, const QString& path)
{
    QNetworkAccessManager network;
    auto client = std::make_shared<APIClient>(DeviceConfig { server.url(), u"device-secret"_qs }, &network);
    std::shared_ptr<CacheContext> cache = Store::open(path);
    QVERIFY(!cache->isInMemory());
    SyncEngine engine(client, cache);
    await(engine.syncNow());

    const QList<CachedMessage> messages = cache->fetchMessages();
    QCOMPARE(messages.size(), server.messageCount());
    for (qsizetype i = 0; i < messages.size(); ++i) {
        if (messages.at(i) != AccountServer::message(i + 1))
            QFAIL(qPrintable(u"cached message %1 is not the server's message %2"_qs.arg(messages.at(i).id).arg(i + 1)));
    }
    QCOMPARE(cache->fetchApps(), AccountServer::apps());
}

void TestCrash::killedSyncKeepsEveryCommittedPage()
{
    // Random kill points, but a failure can be replayed with the seed it prints.
    const quint32 seed = qEnvironmentVariableIsSet("TIDEWELL_CRASH_SEED")
        ? quint32(qEnvironmentVariableIntValue("TIDEWELL_CRASH_SEED"))
        : QRandomGenerator::system()->generate();
    qInfo("kill points from seed %u (set TIDEWELL_CRASH_SEED to repeat)", seed);
    QRandomGenerator random(seed);

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = folder.filePath(u"cache.sqlite"_qs);
    AccountServer server(accountSize);
    const int totalPages = int(accountSize / SyncEngine::pageSize);

    // Kill points spread over the whole sync: the page of the account at which each run is killed.
    QList<int> killPages;
    for (int i = 0; i < kills; ++i)
        killPages.append(1 + int(random.bounded(quint32(totalPages - 1))));
    std::sort(killPages.begin(), killPages.end());

    qint64 committed = 0; // messages known to be in the file
    int killed = 0;
    QStringList afterEachRun;
    for (int round = 0; round < kills; ++round) {
        // Kill a few milliseconds after the child asks for that page: sometimes before the answer, sometimes while
        // a page is being written.
        const int killAtRequest = std::max(1, killPages.at(round) - int(committed / SyncEngine::pageSize));
        const int killDelayMs = int(random.bounded(6u));
        server.clearCounts();

        QProcess child;
        child.setProgram(QStringLiteral(TIDEWELL_CRASH_CHILD));
        child.setArguments({ server.url().toString(), path });
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        startsAsTestChild(child);
        auto connection = connect(&server, &AccountServer::pageRequested, &child, [&](int n, qint64) {
            if (n != killAtRequest)
                return;
            if (killDelayMs == 0)
                child.kill();
            else
                QTimer::singleShot(killDelayMs, &child, [&child] { child.kill(); });
        });
        QSignalSpy finished(&child, &QProcess::finished);
        child.start();
        QVERIFY2(child.waitForStarted(), qPrintable(child.errorString()));
        QVERIFY2(finished.wait(patience), "the syncing child neither finished nor was killed in time");
        disconnect(connection);
        if (child.exitStatus() == QProcess::CrashExit)
            ++killed;

        const QList<qint64>& requests = server.pageRequests();
        QVERIFY(!requests.isEmpty());
        // Each run starts from the highest id the file held.
        QCOMPARE(requests.first(), committed);

        // A plain connection finds a sound file of our schema, holding a whole number of pages: at least every
        // page the child acknowledged by asking for the next, and at most one more.
        const RawReading raw = readRaw(path);
        QCOMPARE(raw.integrity, u"ok"_qs);
        QCOMPARE(raw.schemaVersion, QString::fromLatin1(Store::schemaVersion));
        const qint64 count = raw.ids.size();
        QCOMPARE(raw.ids, range(1, count));
        QVERIFY2(count % SyncEngine::pageSize == 0 || count == accountSize, qPrintable(QString::number(count)));
        const qint64 lastAcknowledged = requests.last();
        QVERIFY2(count >= lastAcknowledged && count <= lastAcknowledged + SyncEngine::pageSize,
            qPrintable(u"%1 messages after a request since %2"_qs.arg(count).arg(lastAcknowledged)));
        QVERIFY(count >= committed);

        // The program's own opening keeps that file as it is, content and all.
        const ino_t before = inode(path);
        {
            std::unique_ptr<CacheContext> cache = Store::open(path);
            QVERIFY(!cache->isInMemory());
            QCOMPARE(cache->maxMessageId().value_or(0), count);
            const QList<CachedMessage> messages = cache->fetchMessages();
            QCOMPARE(messages.size(), count);
            for (const CachedMessage& message : messages) {
                if (message != AccountServer::message(message.id))
                    QFAIL(qPrintable(u"message %1 was stored wrongly"_qs.arg(message.id)));
            }
        }
        QCOMPARE(inode(path), before);
        committed = count;
        afterEachRun.append(QString::number(count));
        if (committed == accountSize)
            break;
    }
    QVERIFY2(killed > 0, "no run was killed, so nothing was shown");
    qInfo("%d runs killed; messages in the cache after each run: %s", killed, qPrintable(afterEachRun.join(u", "_qs)));

    finishAndCompare(server, path);
}

void TestCrash::damagedFileIsRecreatedAndRefilled_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("garbage") << u"garbage"_qs;
    QTest::newRow("truncated to half") << u"half"_qs;
    QTest::newRow("truncated after the schema") << u"schema"_qs;
    QTest::newRow("another schema version") << u"version"_qs;
}

void TestCrash::damagedFileIsRecreatedAndRefilled()
{
    QFETCH(QString, damage);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = folder.filePath(u"cache.sqlite"_qs);
    AccountServer server(2000);

    // A full, cleanly closed cache to damage.
    finishAndCompare(server, path);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(!QFile::exists(path + u"-wal"_qs) || QFileInfo(path + u"-wal"_qs).size() == 0);

    QFile file(path);
    const qint64 size = file.size();
    if (damage == u"garbage"_qs) {
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QByteArray noise(64 * 1024, Qt::Uninitialized);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        file.write(noise);
        file.close();
    } else if (damage == u"half"_qs) {
        QVERIFY(file.resize(size / 2));
    } else if (damage == u"schema"_qs) {
        QVERIFY(file.resize(8192));
    } else {
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, "UPDATE meta SET schema_version = '0.9.0'", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }

    {
        std::unique_ptr<CacheContext> cache = Store::open(path);
        QVERIFY(!cache->isInMemory());
        QVERIFY(cache->fetchMessages().isEmpty());
    }
    finishAndCompare(server, path);
    QCOMPARE(readRaw(path).integrity, u"ok"_qs);
}

QTEST_GUILESS_MAIN(TestCrash)
#include "test_crash.moc"
