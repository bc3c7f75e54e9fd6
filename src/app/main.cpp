#include "appdelegate.h"
#include "commandline.h"
#include "mainwindow.h"
#include "settingswindow.h"
#include "singleinstance.h"
#include "terminationsignals.h"

#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <cstdio>
#include <syslog.h>

using namespace tidewell;

// TIDEWELL_PROFILE keeps a separate link, cache and preferences; the demo runs in one so that trying it never
// touches a real link. Only in such a profile may TIDEWELL_DEFAULT_URL point browser linking elsewhere.
int main(int argc, char* argv[])
{
    if (const std::optional<int> answered = answerInformationalArguments(argc, argv))
        return *answered; // --help, --version: before any window, display or running instance

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

    // A second launch hands its link URL to the running instance and leaves. It never runs beside a live one: two
    // instances over one cache, one set of preferences and one credential would undo each other's work.
    const QStringList arguments = app.arguments().mid(1);
    SingleInstance instance(SingleInstance::serverName(profile));
    switch (instance.becomePrimaryOrHandOver(arguments, std::chrono::seconds(30))) {
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
    }

    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, &app, &QCoreApplication::quit);

    AppDelegate delegate(profile);
    AppState& state = delegate.state();
    MainWindow window(state);
    SettingsWindow settings(state);
    settings.addActions(window.applicationActions()); // Ctrl+Shift+U and the others work there too
    QObject::connect(&window, &MainWindow::settingsRequested, &settings, &SettingsWindow::showAndRaise);
    QObject::connect(&window, &MainWindow::quitRequested, &app, &QCoreApplication::quit);
    QObject::connect(&delegate, &AppDelegate::activationRequested, &window, &MainWindow::showAndRaise);

    QObject::connect(
        &instance, &SingleInstance::argumentsReceived, &window, [&state, &window](const QStringList& received) {
            window.showAndRaise();
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
    window.show();
    return app.exec();
}
