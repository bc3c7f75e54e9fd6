// SPDX-License-Identifier: GPL-3.0-or-later
// The main window over a large cache: how long until it is on screen with its lists filled, how long a keystroke
// in the search field takes to show its result, how long a sync that adds 200 messages takes to reach both lists,
// and the memory it holds, all in German, after installing the translations. Run it on the offscreen platform or under
// Xvfb; the size is the first argument (100000 by default), and the figures' names end in the size ("_100k", "_1m").
#include "cache/store.h"
#include "figures.h"
#include "memorycredentialstore.h"
#include "platform/translationloader.h"
#include "residentmemory.h"
#include "scriptedclient.h"
#include "state/appstate.h"
#include "windowprobe.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <algorithm>
#include <numeric>

using namespace tidewell;

namespace {

constexpr int applications = 20;

const QStringList words = { QStringLiteral("backup"), QStringLiteral("disk"), QStringLiteral("deploy"),
    QStringLiteral("finished"), QStringLiteral("failed"), QStringLiteral("temperature"), QStringLiteral("server"),
    QStringLiteral("cron"), QStringLiteral("nightly"), QStringLiteral("warning"), QStringLiteral("ok"),
    QStringLiteral("rotated"), QStringLiteral("certificate"), QStringLiteral("queue"), QStringLiteral("latency") };

Message generated(qint64 id, QRandomGenerator& random)
{
    QStringList body;
    const int length = 6 + int(random.bounded(20));
    for (int i = 0; i < length; ++i)
        body.append(words.at(int(random.bounded(qsizetype(words.size())))));
    return makeMessage(id, 1 + id % applications, 1700000000 + id * 30, body.join(u' '),
        random.bounded(3) == 0 ? std::nullopt : std::optional<QString>(words.at(int(id % words.size()))),
        random.bounded(20) == 0 ? 1 : 0);
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QElapsedTimer sinceStart;
    sinceStart.start();
    QApplication app(argc, argv);
    const qint64 size = argc > 1 ? QByteArray(argv[1]).toLongLong() : 100000;
    const QString name = sizeSuffix(size);

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("cache.sqlite"));
    QRandomGenerator random(7);
    {
        std::unique_ptr<CacheContext> cache = Store::open(path);
        for (qint64 app = 1; app <= applications; ++app)
            cache->insert(CachedApp { app, QStringLiteral("Application %1").arg(app), QStringLiteral("#3366aa"), {} });
        for (qint64 id = 1; id <= size; ++id) {
            cache->insert(CachedMessage(generated(id, random)));
            if (id % 10000 == 0)
                cache->save();
        }
        cache->save();
    }

    MemoryCredentialStore credentials;
    QCoro::waitFor(
        DeviceConfig { QUrl(QStringLiteral("https://bench.example")), QStringLiteral("secret") }.save(credentials));
    Preferences preferences(folder.filePath(QStringLiteral("preferences.conf")));
    preferences.file().setValue(QStringLiteral("lastReadId"), size - 1000);
    // The server knows the same applications, so that the sync the window starts finds nothing to change.
    auto client = std::make_shared<ScriptedClient>();
    for (qint64 app = 1; app <= applications; ++app)
        client->serverApps.append({ app, QStringLiteral("Application %1").arg(app), QStringLiteral("#3366aa"), false });

    // From here on: what a start of the program does, in German, so that every text is looked up.
    QElapsedTimer translating;
    translating.start();
    TranslationLoader translations;
    if (translations.install({ QStringLiteral("de") }, TranslationLoader::searchFolders()).isEmpty()) {
        QTextStream(stderr) << "bench_ui: no German translation in " << TranslationLoader::searchFolders().join(u' ')
                            << Qt::endl;
        return 1;
    }
    printFigure(u"translation_install_ms"_qs, translating.nsecsElapsed() / 1e6, "ms");
    QElapsedTimer window;
    window.start();
    AppState::Services services;
    services.credentials = &credentials;
    services.preferences = &preferences;
    services.openCache = [&path](bool) { return Store::open(path); };
    services.makeClient = [client](const DeviceConfig&) { return client; };
    AppState state(false, services);
    const qint64 stateNs = window.nsecsElapsed();
    MainWindow main(state);
    const qint64 windowNs = window.nsecsElapsed();
    main.resize(1000, 700);
    main.show();
    if (!QTest::qWaitForWindowExposed(&main))
        return 1;
    repaintLists(main);
    printFigure(u"window_seconds"_qs + name, window.nsecsElapsed() / 1e9, "s");
    // Where that time went: the state (cache, credential, preferences, unread count), the window with its lists
    // (the projection is built here), and showing and painting it.
    printFigure(u"window_state_ms"_qs + name, stateNs / 1e6, "ms");
    printFigure(u"window_lists_ms"_qs + name, (windowNs - stateNs) / 1e6, "ms");
    printFigure(u"window_show_ms"_qs + name, (window.nsecsElapsed() - windowNs) / 1e6, "ms");

    // A query typed one character at a time, then one that matches nothing.
    const QList<double> typed = typeQuery(main, QStringLiteral("temperature"));
    printFigure(u"search_keystroke_ms"_qs + name, *std::max_element(typed.begin(), typed.end()), "ms");
    printFigure(
        u"search_keystroke_mean_ms"_qs + name, std::accumulate(typed.begin(), typed.end(), 0.0) / typed.size(), "ms");
    const QList<double> nothing = typeQuery(main, QStringLiteral("zzzq"));
    printFigure(u"search_nomatch_ms"_qs + name, *std::max_element(nothing.begin(), nothing.end()), "ms");

    // A sync's page of 200 new messages, committed as the engine commits it.
    QElapsedTimer update;
    update.start();
    for (qint64 id = size + 1; id <= size + 200; ++id)
        state.cache().insert(CachedMessage(generated(id, random)));
    state.cache().save();
    state.recomputeUnreadCount(true);
    repaintLists(main);
    printFigure(u"sync_update_ms"_qs + name, update.nsecsElapsed() / 1e6, "ms");

    printFigure(u"rss_mb"_qs + name, residentMegabytes(), "MB", 1);
    return 0;
}
