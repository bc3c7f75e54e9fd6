// SPDX-License-Identifier: GPL-3.0-or-later
// The victim of the crash test: syncs the account at the given server into the cache file at the given path,
// exactly as the program does, and exits. The test kills it part-way, many times over.
#include "api/apiclient.h"
#include "cache/store.h"
#include "coro.h"
#include "sync/syncengine.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <cstdio>

using namespace tidewell;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() != 3) {
        std::fprintf(stderr, "usage: crashsyncchild SERVER-URL CACHE-FILE\n");
        return 2;
    }
    QNetworkAccessManager network;
    auto client = std::make_shared<APIClient>(
        DeviceConfig { QUrl(arguments.at(1)), QStringLiteral("device-secret-for-crash-tests") }, &network);
    std::shared_ptr<CacheContext> cache = Store::open(arguments.at(2));
    SyncEngine engine(client, cache);
    try {
        const qint64 applied = await(engine.syncNow());
        std::printf("synced %lld\n", static_cast<long long>(applied));
        return 0;
    } catch (const Error& error) {
        std::fprintf(stderr, "sync failed: %s\n", qPrintable(error.description()));
        return 1;
    }
}
