// SPDX-License-Identifier: GPL-3.0-or-later
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

QCoro::Task<QByteArray> fetch(QNetworkAccessManager* nam, QUrl base, QString path, QString query = {})
{
    QUrl url = base;
    url.setPath(path);
    if (!query.isEmpty())
        url.setQuery(query);
    QNetworkRequest request(url);
    request.setRawHeader("Authorization", "Bearer bench");
    std::unique_ptr<QNetworkReply> reply(nam->get(request));
    co_await reply.get();
    co_return reply->readAll();
}

// The application list, then each icon in list order, one request at a time as the engine makes them.
QCoro::Task<QList<QByteArray>> fetchAppsAndIcons(QNetworkAccessManager* nam, QUrl base, QList<AppInfo>* apps)
{
    const QByteArray list = co_await fetch(nam, base, QStringLiteral("/api/apps"));
    *apps = WireDecoder::appList(list);
    QList<QByteArray> icons;
    for (const AppInfo& app : std::as_const(*apps)) {
        QByteArray icon;
        if (app.hasIcon)
            icon = co_await fetch(nam, base, QStringLiteral("/api/apps/%1/icon").arg(app.id));
        icons.append(icon);
    }
    co_return icons;
}

QCoro::Task<QList<QByteArray>> fetchPages(QNetworkAccessManager* nam, QUrl base, qint64 from, qint64 to)
{
    QList<QByteArray> bodies;
    for (qint64 since = from; since < to; since += pageSize) {
        bodies.append(co_await fetch(
            nam, base, QStringLiteral("/api/messages"), QStringLiteral("since=%1&limit=%2").arg(since).arg(pageSize)));
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
            " message TEXT NOT NULL, priority INTEGER NOT NULL, url TEXT, url_title TEXT, ts INTEGER NOT NULL);"
            "CREATE TABLE apps (id INTEGER PRIMARY KEY, name TEXT NOT NULL, color TEXT NOT NULL, icon BLOB);",
            nullptr, nullptr, nullptr));
        check(sqlite3_prepare_v2(m_db,
            "INSERT INTO messages VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8) ON CONFLICT(id) DO UPDATE SET"
            " application_id=excluded.application_id, title=excluded.title, message=excluded.message,"
            " priority=excluded.priority, url=excluded.url, url_title=excluded.url_title, ts=excluded.ts",
            -1, &m_insert, nullptr));
        check(sqlite3_prepare_v2(m_db,
            "INSERT INTO apps VALUES (?1, ?2, ?3, ?4) ON CONFLICT(id) DO UPDATE SET name=excluded.name,"
            " color=excluded.color, icon=excluded.icon",
            -1, &m_insertApp, nullptr));
    }

    ~RawInsert()
    {
        sqlite3_finalize(m_insertApp);
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

    // The applications with their icons (an empty one for none), in one transaction.
    double seconds(const QList<AppInfo>& apps, const QList<QByteArray>& icons)
    {
        QElapsedTimer timer;
        timer.start();
        check(sqlite3_exec(m_db, "BEGIN", nullptr, nullptr, nullptr));
        for (qsizetype i = 0; i < apps.size(); ++i) {
            sqlite3_bind_int64(m_insertApp, 1, apps[i].id);
            m_name = apps[i].name.toUtf8();
            m_color = apps[i].color.toUtf8();
            sqlite3_bind_text(m_insertApp, 2, m_name.constData(), int(m_name.size()), SQLITE_STATIC);
            sqlite3_bind_text(m_insertApp, 3, m_color.constData(), int(m_color.size()), SQLITE_STATIC);
            if (icons[i].isEmpty())
                sqlite3_bind_null(m_insertApp, 4);
            else
                sqlite3_bind_blob(m_insertApp, 4, icons[i].constData(), int(icons[i].size()), SQLITE_STATIC);
            check(sqlite3_step(m_insertApp));
            sqlite3_reset(m_insertApp);
        }
        check(sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr));
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
    sqlite3_stmt* m_insertApp = nullptr;
    QByteArray m_title, m_body, m_url, m_urlTitle, m_name, m_color;
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

    // The list is decoded as it arrives, since which icons to ask for depends on it; its decoding is counted with
    // the fetch, a few microseconds among fifty round trips.
    QElapsedTimer timer;
    timer.start();
    QList<AppInfo> apps;
    const QList<QByteArray> icons = QCoro::waitFor(fetchAppsAndIcons(&network, server, &apps));
    const double fetchSeconds = double(timer.nsecsElapsed()) / 1e9;
    const double insertSeconds = insert.seconds(apps, icons);
    floor.fetchSeconds += fetchSeconds;
    floor.insertSeconds += insertSeconds;
    floor.appsSeconds = fetchSeconds + insertSeconds;
    return floor;
}
