#include "syncmeasure.h"

#include "api/apiclient.h"
#include "api/wiredecoder.h"
#include "cache/cachecontext.h"
#include "cache/store.h"
#include "sync/syncengine.h"

#include <QCoroNetworkReply>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTextStream>

#include <sqlite3.h>

using namespace tidewell;

namespace {

constexpr qint64 pageSize = SyncEngine::pageSize;
// The floor goes through the pages one at a time, as the sync does, so that like the sync it reuses one page's
// memory: holding many pages at once, it would pay for fresh memory that the sync never touches (a gigabyte at a
// million messages), and come out slower than what it bounds.
constexpr qint64 floorBatch = pageSize;

QCoro::Task<QList<QByteArray>> fetchPages(QNetworkAccessManager* nam, QUrl base, qint64 from, qint64 to)
{
    QList<QByteArray> bodies;
    for (qint64 since = from; since < to; since += pageSize) {
        QUrl url = base;
        url.setPath(QStringLiteral("/api/messages"));
        url.setQuery(QStringLiteral("since=%1&limit=%2").arg(since).arg(pageSize));
        QNetworkRequest request(url);
        request.setRawHeader("Authorization", "Bearer bench");
        std::unique_ptr<QNetworkReply> reply(nam->get(request));
        co_await reply.get();
        bodies.append(reply->readAll());
    }
    co_return bodies;
}

// QCoro::waitFor never returns when the task throws, so the sync's errors are caught inside the task.
QCoro::Task<qint64> syncReportingErrors(SyncEngine* engine)
{
    try {
        co_return co_await engine->syncNow();
    } catch (const Error& error) {
        QTextStream(stderr) << "error: " << error.description() << "\n";
        co_return -1;
    }
}

// The same rows into the same kind of file, one transaction per page, with nothing but the C API.
class RawInsert
{
public:
    explicit RawInsert(const QString& path)
    {
        check(sqlite3_open(path.toUtf8().constData(), &m_db));
        check(sqlite3_exec(m_db,
            "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
            "CREATE TABLE messages (id INTEGER PRIMARY KEY, application_id INTEGER NOT NULL, title TEXT,"
            " message TEXT NOT NULL, priority INTEGER NOT NULL, url TEXT, url_title TEXT, ts INTEGER NOT NULL);",
            nullptr, nullptr, nullptr));
        check(sqlite3_prepare_v2(m_db,
            "INSERT INTO messages VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8) ON CONFLICT(id) DO UPDATE SET"
            " application_id=excluded.application_id, title=excluded.title, message=excluded.message,"
            " priority=excluded.priority, url=excluded.url, url_title=excluded.url_title, ts=excluded.ts",
            -1, &m_insert, nullptr));
    }

    ~RawInsert()
    {
        sqlite3_finalize(m_insert);
        sqlite3_close(m_db);
    }

    // The time the inserts took.
    double seconds(const QList<SyncResponse>& pages)
    {
        QElapsedTimer timer;
        timer.start();
        for (const SyncResponse& page : pages) {
            check(sqlite3_exec(m_db, "BEGIN", nullptr, nullptr, nullptr));
            for (const Message& m : page.messages) {
                sqlite3_bind_int64(m_insert, 1, m.id);
                sqlite3_bind_int64(m_insert, 2, m.applicationId);
                bindText(3, m.title, m_title);
                bindText(4, m.message, m_body);
                sqlite3_bind_int64(m_insert, 5, m.priority);
                bindText(6, m.url, m_url);
                bindText(7, m.urlTitle, m_urlTitle);
                sqlite3_bind_int64(m_insert, 8, m.ts);
                check(sqlite3_step(m_insert));
                sqlite3_reset(m_insert);
            }
            check(sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr));
        }
        return double(timer.nsecsElapsed()) / 1e9;
    }

private:
    void check(int rc)
    {
        if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
            QTextStream(stderr) << "sqlite: " << sqlite3_errmsg(m_db) << "\n";
            std::exit(1);
        }
    }

    void bindText(int index, const std::optional<QString>& text, QByteArray& holder)
    {
        if (!text) {
            sqlite3_bind_null(m_insert, index);
            return;
        }
        holder = text->toUtf8();
        sqlite3_bind_text(m_insert, index, holder.constData(), int(holder.size()), SQLITE_STATIC);
    }

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_insert = nullptr;
    QByteArray m_title, m_body, m_url, m_urlTitle;
};

} // namespace

FullSync timedFullSync(QNetworkAccessManager& network, const QUrl& server, const QString& cachePath)
{
    std::shared_ptr<CacheContext> cache = Store::open(cachePath);
    auto client = std::make_shared<APIClient>(DeviceConfig { server, QStringLiteral("bench") }, &network);
    SyncEngine engine(client, cache);
    QElapsedTimer timer;
    timer.start();
    const qint64 applied = QCoro::waitFor(syncReportingErrors(&engine));
    return { applied, double(timer.nsecsElapsed()) / 1e9 };
}

Floor measureFloor(QNetworkAccessManager& network, const QUrl& server, qint64 messageCount, const QString& databasePath)
{
    Floor floor;
    RawInsert insert(databasePath);
    for (qint64 from = 0; from < messageCount; from += floorBatch) {
        QElapsedTimer timer;
        timer.start();
        const QList<QByteArray> bodies
            = QCoro::waitFor(fetchPages(&network, server, from, std::min(from + floorBatch, messageCount)));
        floor.fetchSeconds += double(timer.nsecsElapsed()) / 1e9;
        timer.restart();
        QList<SyncResponse> pages;
        for (const QByteArray& body : bodies)
            pages.append(WireDecoder::syncResponse(body));
        floor.decodeSeconds += double(timer.nsecsElapsed()) / 1e9;
        floor.insertSeconds += insert.seconds(pages);
    }
    return floor;
}
