// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/appdelegate.h"
#include "app/commandline.h"
#include "notify/notificationhandler.h"
#include "platform/closedwindownotice.h"
#include "platform/notificationsettings.h"
#include "platform/singleinstance.h"
#include "platform/terminationsignals.h"
#include "platform/translationloader.h"
#include "platform/trayhostwatcher.h"
#include "platform/windowactivation.h"
#include "platform/xdgautostart.h"
#include "ui/mainwindow.h"
#include "ui/settingswindow.h"
#include "ui/statusitempresence.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QLocale>
#include <cstdio>
#include <syslog.h>

using namespace tidewell;

// TIDEWELL_PROFILE keeps a separate link, cache and preferences; the demo runs in one so that trying it never
// touches a real link. Only in such a profile may TIDEWELL_DEFAULT_URL point browser linking elsewhere.
int main(int argc, char* argv[])
{
    // A link URL holds the device secret, and the command line is readable by every account for the whole run.
    const QStringList arguments = takeLinkArguments(argc, argv);
    if (const std::optional<int> answered = answerInformationalArguments(argc, argv))
        return *answered; // --help, --version: before any window, display or running instance

    // Read before Qt's X11 support takes the startup id for itself; Tidewell's first window or the running instance
    // spends it.
    const QString launchToken = WindowActivation::takeLaunchToken();
    QApplication app(argc, argv);
    const QString profile = qEnvironmentVariable("TIDEWELL_PROFILE");
    QCoreApplication::setApplicationName(profile.isEmpty() ? QStringLiteral("Tidewell") : u"Tidewell-"_qs + profile);
    QCoreApplication::setApplicationVersion(QStringLiteral(TIDEWELL_VERSION));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Tidewell"));
    QGuiApplication::setDesktopFileName(QStringLiteral(TIDEWELL_APP_ID));
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/tidewell.svg")));
    // Closing the window leaves Tidewell running, syncing and notifying; "Quit Tidewell" ends it.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    openlog("tidewell", LOG_PID, LOG_USER);
    // Widgets look their texts up as they are built, so this comes first. Qt takes the user's languages from
    // LANGUAGE, as gettext does, before LC_ALL, LC_MESSAGES and LANG.
    TranslationLoader translations;
    translations.install(QLocale::system().uiLanguages(), TranslationLoader::searchFolders());

    // Started at login: the status item, the syncs and the notifications, but no window. Any other argument is a
    // link URL, taken above.
    const bool background = app.arguments().contains(QString::fromLatin1(XdgAutostart::backgroundArgument));

    // A second launch hands its link URL to the running instance and leaves. It never runs beside a live one: two
    // instances over one cache, one set of preferences and one credential would undo each other's work.
    SingleInstance instance(SingleInstance::serverName(profile));
    // A start at login that finds Tidewell already running has nothing to hand over and must not raise its window.
    if (background && arguments.isEmpty() && !instance.tryBecomePrimary())
        return 0;
    switch (instance.isPrimary() ? SingleInstance::Launch::BecamePrimary
                                 : instance.becomePrimaryOrHandOver(arguments, std::chrono::seconds(30), launchToken)) {
    case SingleInstance::Launch::BecamePrimary:
        break;
    case SingleInstance::Launch::HandedOver:
        return 0;
    case SingleInstance::Launch::PrimaryUnresponsive:
        std::fputs("tidewell: another Tidewell is running but did not respond within 30 seconds; not starting a "
                   "second one\n",
            stderr);
        return 2;
    case SingleInstance::Launch::TooLarge:
        std::fputs(
            "tidewell: the arguments are too long to pass to the running Tidewell; nothing was passed on\n", stderr);
        return 3;
    case SingleInstance::Launch::NameUnavailable:
        std::fputs("tidewell: cannot create the socket that keeps Tidewell to one instance; not starting\n", stderr);
        return 4;
    case SingleInstance::Launch::OwnedByAnotherUser:
        std::fprintf(stderr,
            "tidewell: %s belongs to another user; not starting (set XDG_RUNTIME_DIR to a private folder)\n",
            qPrintable(QDir::toNativeSeparators(instance.foreignPath())));
        return 5;
    }

    TerminationSignals termination;
    AppDelegate delegate(profile);
    // Every way out ends the running pass and closes the cache first.
    QObject::connect(&termination, &TerminationSignals::received, &delegate, &AppDelegate::quit);
    AppState& state = delegate.state();
    MainWindow window(state);

    // The demo's profile may point linking and the dashboard at its own server; see above.
    const QString demoServer = qEnvironmentVariable("TIDEWELL_DEFAULT_URL");
    // Start at login writes one entry for the real Tidewell; a profile (the demo) must not replace it.
    std::optional<XdgAutostart> autostart;
    if (profile.isEmpty())
        autostart.emplace();
    SettingsWindow::Services settingsServices;
    settingsServices.serverURL = !profile.isEmpty() && !demoServer.isEmpty() ? QUrl(demoServer) : tidewellDefaultURL();
    settingsServices.registerForRemoteNotifications
        = [registrar = &delegate.pushRegistrar()] { registrar->registerForRemoteNotifications(); };
    settingsServices.openNotificationSettings = [] { return NotificationSettings::open(); };
    settingsServices.pushServiceAvailable = delegate.pushRegistrar().hasPushService();
    settingsServices.loginItem = autostart ? &*autostart : nullptr;
    settingsServices.preferences = &delegate.preferences();
    settingsServices.shortVersion = QStringLiteral(TIDEWELL_VERSION);
    settingsServices.buildVersion = QStringLiteral(TIDEWELL_BUILD_ID); // the version itself when there is no other
    SettingsWindow settings(state, settingsServices);
    settings.addActions(window.applicationActions()); // Ctrl+Shift+U and the others work there too
    QObject::connect(&window, &MainWindow::settingsRequested, &settings, &SettingsWindow::showAndRaise);
    QObject::connect(&window, &MainWindow::quitRequested, &delegate, &AppDelegate::quit);
    // A notification click and a second launch bring the window forward with the token the desktop gave them.
    WindowActivation activation;
    const auto bringToFront = [&window, &activation] {
        window.showAndRaise();
        activation.activate(window.windowHandle());
    };
    if (auto* notifications = qobject_cast<DBusNotificationCentre*>(NotificationHandler::shared().centre()))
        QObject::connect(
            notifications, &DBusNotificationCentre::activationTokenReceived, &activation, &WindowActivation::setToken);
    QObject::connect(&delegate, &AppDelegate::activationRequested, &window, bringToFront);

    // The status item follows the desktop's status area, which may be missing, come late or restart; without one
    // the window (and a second launch) is the way back in, and closing it says so once.
    TrayHostWatcher trayHost;
    StatusItemPresence statusItem(state);
    QObject::connect(&trayHost, &TrayHostWatcher::hostPresentChanged, &statusItem, &StatusItemPresence::setHostPresent);
    QObject::connect(&statusItem, &StatusItemPresence::openRequested, &window, &MainWindow::showAndRaise);
    QObject::connect(&statusItem, &StatusItemPresence::quitRequested, &delegate, &AppDelegate::quit);
    QObject::connect(&statusItem, &StatusItemPresence::shownChanged, &settings, &SettingsWindow::setStatusIconShown);
    std::optional<ClosedWindowNotice> closedNotice;
    if (auto* notifications = qobject_cast<DBusNotificationCentre*>(NotificationHandler::shared().centre())) {
        closedNotice.emplace(trayHost, *notifications, delegate.preferences());
        QObject::connect(&window, &MainWindow::closed, &*closedNotice, &ClosedWindowNotice::windowClosed);
    }

    QObject::connect(&instance, &SingleInstance::argumentsReceived, &window,
        [&state, &activation, bringToFront](const QStringList& received, const QString& token) {
            activation.setToken(token);
            bringToFront();
            if (!received.isEmpty())
                state.handleIncomingURL(QUrl(received.first()));
        });
    if (!arguments.isEmpty())
        state.handleIncomingURL(QUrl(arguments.first()));
    delegate.launch();
    // Coming back to Tidewell syncs and marks what is cached read.
    QObject::connect(qApp, &QGuiApplication::applicationStateChanged, &delegate, [&delegate](Qt::ApplicationState now) {
        if (now == Qt::ApplicationActive)
            delegate.becameActive();
    });
    if (!background) {
        window.show();
        if (!launchToken.isEmpty()) {
            activation.setToken(launchToken);
            activation.activate(window.windowHandle());
        }
    }
    // A start at login syncs first when the stored credential has arrived (AppDelegate::launch).
    return app.exec();
}
