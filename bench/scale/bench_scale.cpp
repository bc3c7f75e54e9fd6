// SPDX-License-Identifier: GPL-3.0-or-later
// The program at 10,000, 100,000 and 1,000,000 cached messages in 50 applications, against a loopback server in a
// child process and through the real client: the full sync from an empty cache beside its floor, the cache's reads
// behind the unread count, and then the window as the program opens it over that cache — time to the filled window,
// search keystrokes, a sync of 200 new messages, deleting a message, clearing an application and marking all read,
// each until both lists are repainted, and for the clear, whose rows the cache deletes on a thread of its own, the
// longest the window stood still meanwhile. At the largest size it also times scrolling the message list, by wheel
// notches and by dragging its scroll bar, over rows up to a megabyte of text tall, and prints the resident memory,
// its growth over 1,000 sync passes and the CPU time of an idle minute.
//
//   bench_scale [LARGEST] [--idle-seconds N]
//
// LARGEST limits the sizes (100000 runs 10k and 100k only); the idle minute can be shortened to N seconds and is
// then scaled to a minute. Run it on the offscreen platform or under Xvfb.
#include "api/apiclient.h"
#include "cache/store.h"
#include "figures.h"
#include "loopbackserver.h"
#include "memorycredentialstore.h"
#include "residentmemory.h"
#include "state/appstate.h"
#include "syncmeasure.h"
#include "windowprobe.h"

#include <QApplication>
#include <QBuffer>
#include <QCoroNetworkReply>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>

#include <algorithm>
#include <malloc.h>
#include <numeric>
#include <sys/resource.h>

using namespace tidewell;

namespace {

constexpr qint64 appCount = 50;
constexpr qint64 unreadAtStart = 1000; // the read position sits this far below the newest message
constexpr qint64 newMessages = 200;
constexpr int passes = 1000;
constexpr int passesPerNewMessage = 100; // now and then a pass finds something
constexpr int readRuns = 9;

// Lines of the kinds monitoring scripts post. A message strings a few together, so that a word like "temperature"
// is in about half of them and a search has many rows to show.
const std::array lines = { QStringLiteral("Disk usage on host-%1 is above threshold. "),
    QStringLiteral("Temperature in rack %1 is rising. "), QStringLiteral("Backup of volume %1 finished. "),
    QStringLiteral("Certificate for host-%1 expires soon. "), QStringLiteral("Queue latency on worker-%1 is high. "),
    QStringLiteral("Deploy %1 rolled out to production. ") };

// Messages far taller than the list, among the newest rows at the largest size, which the scrolling figures pass
// over: a megabyte of log lines (`lines` 0) and some of a few hundred lines. Each is `back` ids below the newest
// message and `secondsOlder` older than it; as other timestamps lag their ids by up to ten minutes, that puts them
// at about the 3rd, 12th, 25th and 40th row, with ordinary rows between.
struct TallMessage
{
    qint64 back;
    int lines;
    qint64 secondsOlder;
};
constexpr std::array tallMessages = { TallMessage { 3, 200, 60 }, TallMessage { 10, 0, 120 },
    TallMessage { 17, 300, 170 }, TallMessage { 24, 400, 220 } };
constexpr qsizetype megabyte = 1024 * 1024;

QString tallBody(qint64 id, int lineCount, QRandomGenerator& random)
{
    QString body;
    for (int line = 0; lineCount ? line < lineCount : body.size() < megabyte; ++line) {
        if (line > 0)
            body += u'\n';
        body += QString::number(line + 1) + u' ' + lines[random.bounded(quint32(lines.size()))].arg(id % 97).trimmed();
    }
    return body;
}

// 80 to 200 characters, a title on every third, priorities -2 to 2, a link on every seventh; timestamps mostly but
// not always follow the ids. `newest` is the newest id at the largest size, near which the tall messages are.
QJsonObject generatedMessage(qint64 id, QRandomGenerator& random, qint64 newest)
{
    for (const TallMessage& tall : tallMessages) {
        if (id == newest - tall.back) {
            return QJsonObject { { "id", id }, { "application_id", id % appCount + 1 },
                { "message", tallBody(id, tall.lines, random) }, { "priority", 0 },
                { "ts", 1700000000 + newest - tall.secondsOlder },
                { "title", QStringLiteral("Log of job %1").arg(id) } };
        }
    }
    QString body;
    const int length = 80 + int(random.bounded(121));
    while (body.size() < length)
        body += lines[random.bounded(quint32(lines.size()))].arg(id % 97);
    body.truncate(length);
    QJsonObject message { { "id", id }, { "application_id", id % appCount + 1 }, { "message", body.trimmed() },
        { "priority", int(id % 5) - 2 }, { "ts", 1700000000 + id - qint64(random.bounded(600)) } };
    if (id % 3 == 0)
        message.insert("title", QStringLiteral("Alert %1").arg(id % 1000));
    if (id % 7 == 0) {
        message.insert("url", QStringLiteral("https://status.example.com/%1").arg(id));
        message.insert("url_title", QStringLiteral("Status"));
    }
    return message;
}

// A real PNG, so that the window decodes the applications' icons as it would the server's.
QByteArray generatedIcon()
{
    QImage image(64, 64, QImage::Format_ARGB32);
    image.fill(QColor(0x33, 0x66, 0xff));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

double milliseconds(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double cpuMilliseconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    auto ms = [](const timeval& time) { return double(time.tv_sec) * 1e3 + double(time.tv_usec) / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Resident memory after handing freed heap back to the system, so that it shows what is held rather than what the
// allocator keeps from the floor's pages, which this program alone decodes and drops.
double heldMegabytes()
{
    malloc_trim(0);
    return residentMegabytes();
}

struct Stall
{
    double worstMs = 0; // the longest the UI thread went without turning to its events
    double wholeMs = 0;
};

// Runs `work`, which runs the event loop until it is done, and notes each turn of the loop through a timer of a
// millisecond: the longest gap between two turns (or the start or end) is the longest the window stood still.
template <typename Work> Stall measureStall(Work work)
{
    QElapsedTimer clock;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    qint64 last = 0;
    qint64 worst = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        worst = std::max(worst, now - last);
        last = now;
    });
    clock.start();
    tick.start();
    work();
    const qint64 end = clock.nsecsElapsed();
    worst = std::max(worst, end - last);
    return { double(worst) / 1e6, double(end) / 1e6 };
}

// Runs the event loop until `done` holds; false when it does not within the time.
template <typename Predicate> bool runUntil(Predicate done, std::chrono::milliseconds within = std::chrono::minutes(5))
{
    const QDeadlineTimer deadline(within);
    QTimer wake; // the wait below returns only on an event; this makes sure one comes to check the deadline
    wake.start(50);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

class ScaleRun
{
public:
    ScaleRun(QNetworkAccessManager& network, const LoopbackServer& server, int idleSeconds)
        : m_network(network)
        , m_server(server)
        , m_idleSeconds(idleSeconds)
    { }

    // Everything at one size; the memory and idle figures only when `largest`. False when something failed.
    bool measure(qint64 size, bool largest)
    {
        m_name = sizeSuffix(size);
        if (!control(QStringLiteral("/bench/serve"), size))
            return false;
        QTemporaryDir folder;
        const QString cachePath = folder.filePath(QStringLiteral("cache.sqlite"));

        // At 10,000 messages either takes a twentieth of a second, and one scheduling hiccup on a 2-core machine
        // that also runs the server moves a single run by half. So at the smaller sizes the sync and its floor run
        // in turns, several times, and their medians are compared; the floor's parts are those of its median run.
        const int runs = size >= 1000000 ? 1 : size >= 100000 ? 3 : 9;
        QList<double> syncSeconds;
        QList<Floor> floors;
        const QString floorPath = folder.filePath(QStringLiteral("floor.sqlite"));
        for (int run = 0; run < runs; ++run) {
            for (const QString& path : { cachePath, floorPath }) {
                for (const char* end : { "", "-wal", "-shm" })
                    QFile::remove(path + QLatin1String(end));
            }
            const FullSync sync = timedFullSync(m_network, m_server.url(), cachePath);
            if (sync.applied != size || Store::open(cachePath)->countMessagesAbove(0) != size)
                return fail(QStringLiteral("the full sync applied %1 of %2 messages").arg(sync.applied).arg(size));
            syncSeconds.append(sync.seconds);
            floors.append(measureFloor(m_network, m_server.url(), size, floorPath));
        }
        for (const char* end : { "", "-wal", "-shm" })
            QFile::remove(floorPath + QLatin1String(end)); // a million rows are worth the disk space back
        std::sort(
            floors.begin(), floors.end(), [](const Floor& a, const Floor& b) { return a.seconds() < b.seconds(); });
        const Floor floor = floors[floors.size() / 2];
        const FullSync sync { size, median(syncSeconds) };
        print("sync_runs", runs, "runs", 0);
        print("full_sync_seconds", sync.seconds, "s");
        print("floor_seconds", floor.seconds(), "s");
        print("ratio_sync_vs_floor", sync.seconds / floor.seconds(), "");
        print("sync_us_per_message", sync.seconds * 1e6 / double(size), "us");
        // Where the floor's time went, to show which part of the sync any gap is in.
        print("floor_fetch_seconds", floor.fetchSeconds, "s");
        print("floor_decode_seconds", floor.decodeSeconds, "s");
        print("floor_insert_seconds", floor.insertSeconds, "s");
        print("floor_apps_seconds", floor.appsSeconds, "s"); // part of the three above

        // The two reads every start and every pass make for the unread count and the sync's cursor.
        const qint64 newest = size;
        const qint64 unread = std::min(unreadAtStart, size);
        {
            std::shared_ptr<CacheContext> cache = Store::open(cachePath);
            QList<double> recounts, highest;
            qint64 sink = 0;
            for (int run = 0; run < readRuns; ++run) {
                QElapsedTimer timer;
                timer.start();
                sink += cache->countMessagesAbove(newest - unread);
                recounts.append(milliseconds(timer));
                timer.start();
                sink += cache->maxMessageId().value_or(0);
                highest.append(milliseconds(timer));
            }
            if (sink != readRuns * (unread + newest))
                return fail(QStringLiteral("the cache counted other messages than it was given"));
            print("unread_recount_ms", median(recounts), "ms");
            print("highest_id_ms", median(highest), "ms");
        }

        return measureWindow(folder, cachePath, newest, unread, largest);
    }

private:
    bool measureWindow(
        const QTemporaryDir& folder, const QString& cachePath, qint64 newest, qint64 unread, bool largest)
    {
        MemoryCredentialStore credentials;
        QCoro::waitFor(DeviceConfig { m_server.url(), QStringLiteral("bench-secret") }.save(credentials));
        Preferences preferences(folder.filePath(QStringLiteral("preferences.conf")));
        preferences.setValue(Preferences::Key::LastReadId, newest - unread);

        // From here on: what a start of the program does, with the real client against the loopback server.
        QElapsedTimer timer;
        timer.start();
        AppState::Services services;
        services.network = &m_network;
        services.credentials = &credentials;
        services.preferences = &preferences;
        services.openCache = [&cachePath](bool) { return Store::open(cachePath); };
        QNetworkAccessManager* network = &m_network;
        services.makeClient
            = [network](const DeviceConfig& config) { return std::make_shared<APIClient>(config, network); };
        AppState state(false, services);
        MainWindow window(state);
        int syncsEnded = 0;
        QObject::connect(&state, &AppState::isSyncingChanged, [&] { syncsEnded += state.isSyncing() ? 0 : 1; });
        window.resize(1000, 700);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            return fail(QStringLiteral("the window was never shown"));
        repaintLists(window);
        print("window_seconds", double(timer.nsecsElapsed()) / 1e9, "s");
        // The window starts a sync when it first shows; it finds nothing new, and the figures below start after it.
        if (!runUntil([&] { return syncsEnded > 0 && !state.isSyncRunning(); }))
            return fail(QStringLiteral("the window's first sync did not end"));
        if (state.lastSyncError())
            return fail(u"the window's first sync failed: "_qs + *state.lastSyncError());
        if (largest && !measureScrolling(window))
            return false;

        const QList<double> typed = typeQuery(window, QStringLiteral("temperature"));
        print("search_keystroke_ms", *std::max_element(typed.begin(), typed.end()), "ms");
        print(
            "search_keystroke_mean_ms", std::accumulate(typed.begin(), typed.end(), 0.0) / double(typed.size()), "ms");
        const QList<double> nothing = typeQuery(window, QStringLiteral("zzzq"));
        print("search_nomatch_ms", *std::max_element(nothing.begin(), nothing.end()), "ms");

        // The server gains messages; the user's "Sync" fetches them.
        if (!control(QStringLiteral("/bench/grow"), newMessages))
            return false;
        timer.start();
        QCoro::waitFor(state.sync());
        repaintLists(window);
        print("incremental_sync_ms", milliseconds(timer), "ms");
        newest += newMessages;
        if (state.cache().maxMessageId() != newest || state.lastSyncError())
            return fail(QStringLiteral("the sync did not fetch the new messages"));

        // The Delete key on the newest message, then "Clear History" on another application, then "Mark All Read".
        const std::optional<CachedMessage> deleted = state.cache().fetchMessage(newest);
        if (!deleted)
            return fail(QStringLiteral("the newest message is not cached"));
        timer.start();
        QCoro::waitFor(state.deleteMessage(*deleted));
        repaintLists(window);
        print("delete_message_ms", milliseconds(timer), "ms");
        if (state.cache().fetchMessage(newest) || state.lastSyncError())
            return fail(QStringLiteral("the message was not deleted"));

        // The cache deletes the application's rows on a thread of its own, so what the user feels is not the time
        // until the lists change but how long the window stops meanwhile.
        const qint64 cleared = deleted->applicationId % appCount + 1;
        const qint64 before = state.cache().countMessagesAbove(0);
        const Stall clear = measureStall([&] {
            QCoro::waitFor(state.clearApp(cleared));
            repaintLists(window);
        });
        print("clear_app_ms", clear.worstMs, "ms");
        print("clear_app_done_ms", clear.wholeMs, "ms");
        if (state.lastSyncError())
            return fail(u"the application was not cleared: "_qs + *state.lastSyncError());
        if (state.cache().countMessagesAbove(0) >= before)
            return fail(QStringLiteral("the application's messages are still cached"));

        timer.start();
        QCoro::waitFor(state.markRead());
        repaintLists(window);
        print("read_position_ms", milliseconds(timer), "ms");
        if (state.unreadCount() != 0)
            return fail(QStringLiteral("%1 messages are still unread").arg(state.unreadCount()));

        if (largest)
            return measureLongRun(state, window);
        return true;
    }

    // Wheel notches down from the top over short rows and the tall ones, then the scroll bar dragged from top to
    // bottom, each step until the list is repainted.
    bool measureScrolling(MainWindow& window)
    {
        QAbstractScrollArea* list = messageListArea(window);
        if (!list)
            return fail(QStringLiteral("the window has no message list"));
        QScrollBar* bar = list->verticalScrollBar();
        bar->setValue(0);
        list->viewport()->repaint();

        const QList<double> notches = wheelDown(*list, 100);
        if (bar->value() == 0)
            return fail(QStringLiteral("the wheel did not scroll the message list"));
        print("scroll_step_ms", *std::max_element(notches.begin(), notches.end()), "ms");
        print(
            "scroll_step_mean_ms", std::accumulate(notches.begin(), notches.end(), 0.0) / double(notches.size()), "ms");

        bar->setValue(0);
        list->viewport()->repaint();
        const QList<double> steps = dragToBottom(*list, 50);
        if (bar->maximum() == 0 || bar->value() != bar->maximum())
            return fail(QStringLiteral("the dragged scroll bar did not reach the end of the list"));
        print("scroll_drag_ms", *std::max_element(steps.begin(), steps.end()), "ms");

        bar->setValue(0);
        repaintLists(window);
        return true;
    }

    bool measureLongRun(AppState& state, MainWindow& window)
    {
        print("rss_mb", heldMegabytes(), "MB", 1);

        // A first few passes allocate what every pass reuses.
        for (int pass = 0; pass < 10; ++pass)
            QCoro::waitFor(state.sync());
        const double before = heldMegabytes();
        QList<double> times;
        for (int pass = 1; pass <= passes; ++pass) {
            if (pass % passesPerNewMessage == 0 && !control(QStringLiteral("/bench/grow"), 1))
                return false;
            QElapsedTimer timer;
            timer.start();
            QCoro::waitFor(state.sync());
            times.append(milliseconds(timer));
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (state.lastSyncError())
            return fail(u"a sync pass failed: "_qs + *state.lastSyncError());
        print("rss_growth_mb_1000_passes", heldMegabytes() - before, "MB", 1);
        // What a pass that finds nothing costs: the page, the application list and every icon.
        print("sync_pass_ms", median(times), "ms");

        // Nothing to do: only the program's own timers may wake it.
        repaintLists(window);
        const double cpuBefore = cpuMilliseconds();
        QEventLoop idle;
        QTimer::singleShot(std::chrono::seconds(m_idleSeconds), &idle, &QEventLoop::quit);
        idle.exec();
        print("idle_cpu_ms_per_minute", (cpuMilliseconds() - cpuBefore) * 60.0 / m_idleSeconds, "ms");
        return true;
    }

    // Changes what the server serves; `count` messages in all (serve) or more (grow).
    bool control(const QString& path, qint64 count)
    {
        QUrl url = m_server.url();
        url.setPath(path);
        url.setQuery(QStringLiteral("count=%1").arg(count));
        std::unique_ptr<QNetworkReply> reply(m_network.get(QNetworkRequest(url)));
        if (!runUntil([&] { return reply->isFinished(); }) || reply->error() != QNetworkReply::NoError)
            return fail(u"the server did not answer "_qs + url.toString());
        return true;
    }

    void print(const char* name, double value, const char* unit, int precision = 3)
    {
        printFigure(QLatin1String(name) + m_name, value, unit, precision);
    }

    bool fail(const QString& what)
    {
        QTextStream(stderr) << "error" << m_name << ": " << what << Qt::endl;
        return false;
    }

    QNetworkAccessManager& m_network;
    const LoopbackServer& m_server;
    int m_idleSeconds;
    QString m_name;
};

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qint64 largest = 1000000;
    int idleSeconds = 60;
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--idle-seconds" && i + 1 < argc)
            idleSeconds = std::max(1, QByteArray(argv[++i]).toInt());
        else if (argument.toLongLong() > 0)
            largest = argument.toLongLong();
    }
    QList<qint64> sizes;
    for (qint64 size : { 10000, 100000, 1000000 }) {
        if (size <= largest)
            sizes.append(size);
    }
    if (sizes.isEmpty())
        sizes.append(largest);

    // Rendered up front: every message of the largest size and those the syncs after it fetch.
    const qint64 rendered = sizes.last() + newMessages + passes / passesPerNewMessage;
    const qint64 newest = sizes.last();
    LoopbackServer server(
        { sizes.last(), rendered, appCount,
            [newest](qint64 id, QRandomGenerator& random) { return generatedMessage(id, random, newest); },
            generatedIcon() },
        argc, argv);
    if (!server.isRunning())
        return 1;

    QApplication app(argc, argv);
    QNetworkAccessManager network;
    ScaleRun run(network, server, idleSeconds);
    for (qint64 size : sizes) {
        if (!run.measure(size, size == sizes.last()))
            return 1;
    }
    return 0;
}
