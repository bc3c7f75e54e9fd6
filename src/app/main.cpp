// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/application.h"
#include "app/commandline.h"
#include "platform/singleinstance.h"
#include "platform/terminationsignals.h"
#include "platform/translationloader.h"
#include "platform/windowactivation.h"
#include "platform/xdgautostart.h"

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
    Application application(profile, instance);
    // Every way out ends the running pass and closes the cache first.
    QObject::connect(&termination, &TerminationSignals::received, &application.delegate(), &AppDelegate::quit);
    application.start(arguments, background, launchToken);
    return app.exec();
}
