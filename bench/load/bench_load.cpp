// SPDX-License-Identifier: GPL-3.0-or-later
// Memory across 10,000 notification clicks, each followed by a sync, and the passes that a burst of 1,000 sync
// requests costs, through the same driver as the load test. Resident memory is read from the kernel after a
// warm-up and after the run, with freed heap handed back first, so the figures show what is still held rather
// than what the allocator keeps in reserve.

#include "accountserver.h"
#include "api/apiclient.h"
#include "loaddriver.h"
#include "residentmemory.h"
#include "scriptedclient.h"
#include "state/appstate.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QTextStream>

#include <malloc.h>

using namespace tidewell;

namespace {

constexpr int warmUpClicks = 100;
constexpr int clicks = 10000;
constexpr int burst = 1000;

// Resident set size in kB, after returning freed heap to the system.
qint64 residentKb()
{
    malloc_trim(0);
    return residentKilobytes();
}

// Runs the event loop until `done` holds; false when it does not within a generous minute.
template <typename Predicate> bool runUntil(Predicate done)
{
    const QDeadlineTimer deadline(60000);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return true;
}

void clickAndSync(LoadDriver& driver, ScriptedClient& client, int times)
{
    for (int i = 0; i < times; ++i) {
        driver.clickThenSync(i % 3 + 1);
        client.calls.clear(); // the fake's own record, not the program's memory
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);

    // 1. Clicks and syncs against a server in memory, with taps keeping their selection as long as in the program.
    auto client = std::make_shared<ScriptedClient>();
    client->suspends = true;
    for (qint64 id = 1; id <= 3; ++id)
        client->addMessage(makeMessage(id, 1));
    client->serverApps = { AppInfo { 1, QStringLiteral("Backups"), QStringLiteral("#336699"), false } };
    qint64 beforeKb = 0;
    qint64 afterKb = 0;
    {
        residentKb(); // the first reading's own allocations are not the run's
        LoadDriver driver(client, AppState::Services().tapSelectionLifetime);
        clickAndSync(driver, *client, warmUpClicks);
        if (!runUntil([&] { return !driver.state().isSyncing(); })) {
            err << "error: the warm-up did not settle\n";
            return 1;
        }
        beforeKb = residentKb();
        clickAndSync(driver, *client, clicks);
        if (!runUntil([&] { return !driver.state().isSyncing(); })) {
            err << "error: the run did not settle\n";
            return 1;
        }
        afterKb = residentKb();
    }

    // 2. A burst of requests from every source while the first pass waits on its first page, through the real
    // client on loopback; the server counts the passes.
    int passes = 0;
    {
        AccountServer server(3);
        server.holdFirstPage(std::chrono::milliseconds(500));
        QNetworkAccessManager network;
        auto api = std::make_shared<APIClient>(DeviceConfig { server.url(), QStringLiteral("secret") }, &network);
        LoadDriver driver(api, std::chrono::milliseconds(50));
        driver.request(LoadDriver::Source::Timer);
        for (int i = 0; i < burst; ++i)
            driver.request(LoadDriver::Source(i % LoadDriver::sourceCount), i % 3 + 1);
        if (!runUntil(
                [&] { return driver.returnedRequests() == driver.awaitedRequests() && !driver.state().isSyncing(); })) {
            err << "error: the burst did not settle\n";
            return 1;
        }
        passes = int(server.pageRequests().size()); // the account fits in one page
    }

    out.setRealNumberNotation(QTextStream::FixedNotation);
    out.setRealNumberPrecision(3);
    out << "load_rss_before_mb: " << double(beforeKb) / 1024.0 << " MB\n";
    out << "load_rss_after_mb: " << double(afterKb) / 1024.0 << " MB\n";
    out << "load_rss_growth_kb: " << afterKb - beforeKb << " kB\n";
    out << "load_burst_passes: " << passes << " passes\n";
    return 0;
}
