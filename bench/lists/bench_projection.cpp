// SPDX-License-Identifier: GPL-3.0-or-later
// The live list projection over a cache file of 100,000 and of 1,000,000 messages in 50 applications: building it,
// typing a search, following a sync, moving the read position and clearing an application. Updates that follow a
// commit are timed inside the commit signal, so the figures leave out SQLite's own writing.

#include "cache/store.h"
#include "generatedmessage.h"
#include "lists/listprojection.h"
#include "lists/listquery.h"
#include "residentmemory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <numeric>
#include <vector>

using namespace tidewell;

namespace {

constexpr qint64 appCount = 50;
constexpr int syncBatch = 200;
constexpr int runs = 5;

double milliseconds(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

class Bench
{
public:
    Bench(qint64 messageCount, const char* suffix, QTextStream& out)
        : m_count(messageCount)
        , m_suffix(suffix)
        , m_out(out)
    { }

    void run()
    {
        QTemporaryDir dir;
        std::shared_ptr<CacheContext> cache = Store::open(dir.filePath(QStringLiteral("cache.sqlite")));
        QRandomGenerator random(42);
        for (qint64 id = 1; id <= m_count; ++id)
            cache->insert(generatedMessage(id, appCount, random));
        for (qint64 id = 1; id <= appCount; ++id)
            cache->insert(CachedApp { id, QStringLiteral("Service %1").arg(id), QStringLiteral("#336699"), {} });
        cache->save();

        // The projection's own slot runs between these two, in the order of connection.
        QElapsedTimer updateTimer;
        double lastUpdate = 0;
        QObject::connect(cache.get(), &CacheContext::committed, [&] { updateTimer.start(); });

        const double rssBefore = residentMegabytes();
        QElapsedTimer timer;
        timer.start();
        ListProjection projection(cache);
        print("projection_build_ms", milliseconds(timer), "ms");
        const double rssAfter = residentMegabytes();
        QObject::connect(cache.get(), &CacheContext::committed, [&] { lastUpdate = milliseconds(updateTimer); });
        if (m_count >= 1000000)
            print("projection_rss_mb", rssAfter - rssBefore, "MB");
        qsizetype sink = projection.messageCount();

        // A query typed one character at a time, then erased, so each run starts from the whole list.
        const QString query = QStringLiteral("host-5 is above");
        std::vector<double> keystrokes;
        for (int run = 0; run < runs; ++run) {
            for (qsizetype typed = 1; typed <= query.size(); ++typed) {
                timer.start();
                projection.setQuery(ListQuery { .searchText = query.left(typed) });
                sink += projection.messageCount();
                keystrokes.push_back(milliseconds(timer));
            }
            projection.setQuery(ListQuery());
        }
        print("search_keystroke_ms", *std::max_element(keystrokes.begin(), keystrokes.end()), "ms", "_worst");
        print("search_keystroke_ms",
            std::accumulate(keystrokes.begin(), keystrokes.end(), 0.0) / double(keystrokes.size()), "ms", "_mean");
        std::vector<double> misses;
        for (int run = 0; run < runs; ++run) {
            timer.start();
            projection.setQuery(ListQuery { .searchText = QStringLiteral("no such words") });
            misses.push_back(milliseconds(timer));
            sink += projection.messageCount();
            projection.setQuery(ListQuery());
        }
        print("search_nomatch_ms", median(misses), "ms");

        qint64 nextId = m_count + 1;
        std::vector<double> syncs;
        for (int run = 0; run < runs; ++run) {
            for (int i = 0; i < syncBatch; ++i)
                cache->insert(generatedMessage(nextId++, appCount, random));
            cache->save();
            syncs.push_back(lastUpdate);
        }
        print("sync_update_ms", median(syncs), "ms");

        // Reading through the last 1,000 messages (a "mark all read" after some syncs), and through everything.
        const qint64 maxId = nextId - 1;
        projection.setLastReadId(maxId - 1000);
        timer.start();
        projection.setLastReadId(maxId);
        print("read_position_ms", milliseconds(timer), "ms");
        projection.setLastReadId(0);
        timer.start();
        projection.setLastReadId(maxId);
        print("read_position_all_ms", milliseconds(timer), "ms");

        timer.start();
        projection.setQuery(ListQuery { .messageSort = MessageSort::Title });
        print("sort_title_ms", milliseconds(timer), "ms");
        projection.setQuery(ListQuery());
        timer.start();
        projection.setQuery(ListQuery { .applicationId = 7 });
        print("select_app_ms", milliseconds(timer), "ms");
        projection.setQuery(ListQuery());

        cache->removeAllMessages(3);
        cache->save();
        print("clear_app_ms", lastUpdate, "ms");
        sink += projection.messageCount() + projection.appCount();
        if (sink < 0)
            m_out << "unexpected\n";
    }

private:
    void print(const char* name, double value, const char* unit, const char* qualifier = "")
    {
        m_out << name << '_' << m_suffix << qualifier << ": " << QString::number(value, 'f', 2) << ' ' << unit
              << Qt::endl;
    }

    qint64 m_count;
    const char* m_suffix;
    QTextStream& m_out;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QTextStream out(stdout);
    Bench(100000, "100k", out).run();
    Bench(1000000, "1m", out).run();
    return 0;
}
