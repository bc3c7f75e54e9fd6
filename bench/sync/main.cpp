// Full sync of 100,000 messages from a loopback server through the real client, engine and file-backed cache,
// printed beside the floor measured in the same process on the same pages: fetching the pages, decoding them,
// and inserting the same rows with the raw SQLite C API in the same transactions.

#include "api/apiclient.h"
#include "api/wiredecoder.h"
#include "cache/cachecontext.h"
#include "cache/store.h"
#include "sync/syncengine.h"

#include <QCoreApplication>
#include <QCoroNetworkReply>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>
#include <QUrlQuery>

#include <csignal>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tidewell;

namespace {

constexpr qint64 messageCount = 100000;
constexpr qint64 appCount = 20;
constexpr qint64 pageSize = SyncEngine::pageSize;

QByteArray renderPage(qint64 since)
{
    QRandomGenerator random(quint32(since) + 1);
    QJsonArray messages;
    for (qint64 id = since + 1; id <= std::min(since + pageSize, messageCount); ++id) {
        QString body;
        const int length = 80 + int(random.bounded(121));
        while (body.size() < length)
            body += QStringLiteral("disk usage on host-%1 is above threshold ").arg(id % 97);
        body.truncate(length);
        QJsonObject message { { "id", id }, { "application_id", id % appCount + 1 }, { "message", body },
            { "priority", int(id % 5) - 2 }, { "ts", 1700000000 + id } };
        if (id % 3 == 0)
            message.insert("title", QStringLiteral("Alert %1").arg(id));
        if (id % 7 == 0) {
            message.insert("url", QStringLiteral("https://status.example.com/%1").arg(id));
            message.insert("url_title", QStringLiteral("Status"));
        }
        messages.append(message);
    }
    return QJsonDocument(QJsonObject { { "messages", messages }, { "has_more", since + pageSize < messageCount } })
        .toJson(QJsonDocument::Compact);
}

// The server runs in a child process so that its memory and CPU are not counted as the client's.
[[noreturn]] void serve(int argc, char** argv, int portPipe)
{
    QCoreApplication app(argc, argv);
    QHash<qint64, QByteArray> pages;
    for (qint64 since = 0; since < messageCount; since += pageSize)
        pages.insert(since, renderPage(since));
    QJsonArray apps;
    for (qint64 id = 1; id <= appCount; ++id)
        apps.append(QJsonObject {
            { "id", id }, { "name", QStringLiteral("App %1").arg(id) }, { "color", "#3366ff" }, { "has_icon", true } });
    const QByteArray appsBody = QJsonDocument(apps).toJson(QJsonDocument::Compact);
    const QByteArray icon(600, '\x42');

    // A plain keep-alive HTTP/1.1 responder: each answer goes out in one write with Nagle off, so the figures
    // show the client rather than delayed acknowledgements.
    auto answer = [&](const QByteArray& target) -> QByteArray {
        const QUrl url(QString::fromLatin1(target));
        if (url.path() == QLatin1String("/api/messages")) {
            const qint64 since = QUrlQuery(url).queryItemValue(QStringLiteral("since")).toLongLong();
            return pages.contains(since) ? pages.value(since) : renderPage(since);
        }
        if (url.path() == QLatin1String("/api/apps"))
            return appsBody;
        return icon;
    };
    QTcpServer server;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* socket = server.nextPendingConnection()) {
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, &answer] {
                QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
                qsizetype end;
                while ((end = buffer.indexOf("\r\n\r\n")) >= 0) {
                    const QByteArray target = buffer.left(buffer.indexOf('\r')).split(' ').value(1);
                    buffer.remove(0, end + 4);
                    const QByteArray body = answer(target);
                    socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: "
                        + QByteArray::number(body.size()) + "\r\n\r\n" + body);
                }
                socket->setProperty("buffer", buffer);
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    const quint16 port = server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
    if (::write(portPipe, &port, sizeof port) != sizeof port)
        ::_exit(1);
    ::_exit(app.exec());
}

double peakRssMb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

QCoro::Task<QList<QByteArray>> fetchPages(QNetworkAccessManager* nam, QUrl base)
{
    QList<QByteArray> bodies;
    for (qint64 since = 0; since < messageCount; since += pageSize) {
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

template <typename T> T run(QCoro::Task<T> task)
{
    return QCoro::waitFor(std::move(task));
}

void check(int rc, sqlite3* db)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        QTextStream(stderr) << "sqlite: " << sqlite3_errmsg(db) << "\n";
        std::exit(1);
    }
}

void bindText(sqlite3_stmt* statement, int index, const std::optional<QString>& text, QByteArray& holder)
{
    if (!text) {
        sqlite3_bind_null(statement, index);
        return;
    }
    holder = text->toUtf8();
    sqlite3_bind_text(statement, index, holder.constData(), int(holder.size()), SQLITE_STATIC);
}

// The same rows into the same kind of file, one transaction per page, with nothing but the C API.
double rawInsertSeconds(const QList<SyncResponse>& pages, const QString& path)
{
    sqlite3* db = nullptr;
    check(sqlite3_open(path.toUtf8().constData(), &db), db);
    check(sqlite3_exec(db,
              "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
              "CREATE TABLE messages (id INTEGER PRIMARY KEY, application_id INTEGER NOT NULL, title TEXT,"
              " message TEXT NOT NULL, priority INTEGER NOT NULL, url TEXT, url_title TEXT, ts INTEGER NOT NULL);",
              nullptr, nullptr, nullptr),
        db);
    sqlite3_stmt* insert = nullptr;
    check(sqlite3_prepare_v2(db,
              "INSERT INTO messages VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8) ON CONFLICT(id) DO UPDATE SET"
              " application_id=excluded.application_id, title=excluded.title, message=excluded.message,"
              " priority=excluded.priority, url=excluded.url, url_title=excluded.url_title, ts=excluded.ts",
              -1, &insert, nullptr),
        db);
    QElapsedTimer timer;
    timer.start();
    QByteArray title, body, url, urlTitle;
    for (const SyncResponse& page : pages) {
        check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
        for (const Message& m : page.messages) {
            sqlite3_bind_int64(insert, 1, m.id);
            sqlite3_bind_int64(insert, 2, m.applicationId);
            bindText(insert, 3, m.title, title);
            bindText(insert, 4, m.message, body);
            sqlite3_bind_int64(insert, 5, m.priority);
            bindText(insert, 6, m.url, url);
            bindText(insert, 7, m.urlTitle, urlTitle);
            sqlite3_bind_int64(insert, 8, m.ts);
            check(sqlite3_step(insert), db);
            sqlite3_reset(insert);
        }
        check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
    }
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    sqlite3_finalize(insert);
    sqlite3_close(db);
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    int ports[2];
    if (::pipe(ports) != 0)
        return 1;
    const pid_t server = ::fork();
    if (server == 0)
        serve(argc, argv, ports[1]);
    quint16 port = 0;
    if (::read(ports[0], &port, sizeof port) != sizeof port || port == 0)
        return 1;

    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTemporaryDir folder;
    const QUrl base(QStringLiteral("http://127.0.0.1:%1").arg(port));
    QNetworkAccessManager nam;

    // 1. The full sync into a fresh file-backed cache.
    qint64 applied = 0;
    double fullSeconds = 0;
    {
        std::shared_ptr<CacheContext> cache = Store::open(folder.filePath(QStringLiteral("cache.sqlite")));
        auto client = std::make_shared<APIClient>(DeviceConfig { base, QStringLiteral("bench") }, &nam);
        SyncEngine engine(client, cache);
        QElapsedTimer timer;
        timer.start();
        applied = run(syncReportingErrors(&engine));
        fullSeconds = double(timer.nsecsElapsed()) / 1e9;
        if (applied != messageCount || cache->countMessagesAbove(0) != messageCount) {
            out << "error: the sync applied " << applied << " messages\n";
            return 1;
        }
    }
    const double peak = peakRssMb();

    // 2. The floor on the same pages.
    QElapsedTimer timer;
    timer.start();
    const QList<QByteArray> bodies = run(fetchPages(&nam, base));
    const double fetchSeconds = double(timer.nsecsElapsed()) / 1e9;
    timer.restart();
    QList<SyncResponse> pages;
    for (const QByteArray& body : bodies)
        pages.append(WireDecoder::syncResponse(body));
    const double decodeSeconds = double(timer.nsecsElapsed()) / 1e9;
    const double insertSeconds = rawInsertSeconds(pages, folder.filePath(QStringLiteral("floor.sqlite")));
    const double floorSeconds = fetchSeconds + decodeSeconds + insertSeconds;

    ::kill(server, SIGTERM);
    ::waitpid(server, nullptr, 0);

    out.setRealNumberNotation(QTextStream::FixedNotation);
    out.setRealNumberPrecision(3);
    out << "messages: " << applied << " count\n";
    out << "full_sync_seconds: " << fullSeconds << " s\n";
    out << "messages_per_second: " << qRound64(double(applied) / fullSeconds) << " msg/s\n";
    out << "peak_rss_mb: " << peak << " MB\n";
    out << "floor_fetch_seconds: " << fetchSeconds << " s\n";
    out << "floor_decode_seconds: " << decodeSeconds << " s\n";
    out << "floor_insert_seconds: " << insertSeconds << " s\n";
    out << "floor_seconds: " << floorSeconds << " s\n";
    out << "ratio_sync_vs_floor: " << fullSeconds / floorSeconds << "\n";
    return 0;
}
