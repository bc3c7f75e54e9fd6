// SPDX-License-Identifier: GPL-3.0-or-later
// Full sync of 100,000 messages from a loopback server through the real client, engine and file-backed cache,
// printed beside the floor measured in the same process on the same pages: fetching the pages, decoding them,
// and inserting the same rows with the raw SQLite C API in the same transactions.

#include "cache/cachecontext.h"
#include "cache/store.h"
#include "loopbackserver.h"
#include "syncmeasure.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QTextStream>

#include <sys/resource.h>

using namespace tidewell;

namespace {

constexpr qint64 messageCount = 100000;
constexpr qint64 appCount = 20;

QJsonObject generatedMessage(qint64 id, QRandomGenerator& random)
{
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
    return message;
}

double peakRssMb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

} // namespace

int main(int argc, char** argv)
{
    LoopbackServer server(
        { messageCount, messageCount, appCount, generatedMessage, QByteArray(600, '\x42') }, argc, argv);
    if (!server.isRunning())
        return 1;

    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTemporaryDir folder;
    QNetworkAccessManager nam;

    // 1. The full sync into a fresh file-backed cache.
    const QString cachePath = folder.filePath(QStringLiteral("cache.sqlite"));
    const FullSync sync = timedFullSync(nam, server.url(), cachePath);
    if (sync.applied != messageCount || Store::open(cachePath)->countMessagesAbove(0) != messageCount) {
        out << "error: the sync applied " << sync.applied << " messages\n";
        return 1;
    }
    const double peak = peakRssMb();

    // 2. The floor on the same pages.
    const Floor floor = measureFloor(nam, server.url(), messageCount, folder.filePath(QStringLiteral("floor.sqlite")));

    out.setRealNumberNotation(QTextStream::FixedNotation);
    out.setRealNumberPrecision(3);
    out << "messages: " << sync.applied << " count\n";
    out << "full_sync_seconds: " << sync.seconds << " s\n";
    out << "messages_per_second: " << qRound64(double(sync.applied) / sync.seconds) << " msg/s\n";
    out << "peak_rss_mb: " << peak << " MB\n";
    out << "floor_fetch_seconds: " << floor.fetchSeconds << " s\n";
    out << "floor_decode_seconds: " << floor.decodeSeconds << " s\n";
    out << "floor_insert_seconds: " << floor.insertSeconds << " s\n";
    out << "floor_apps_seconds: " << floor.appsSeconds << " s\n";
    out << "floor_seconds: " << floor.seconds() << " s\n";
    out << "ratio_sync_vs_floor: " << sync.seconds / floor.seconds() << "\n";
    return 0;
}
