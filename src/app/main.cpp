#include "appdelegate.h"
#include "consolefront.h"
#include "singleinstance.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>
#include <syslog.h>

using namespace tidewell;

// TIDEWELL_PROFILE keeps a separate link, cache and preferences; the demo runs in one so that trying it never
// touches a real link. Only in such a profile may TIDEWELL_DEFAULT_URL point browser linking elsewhere.
int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QString profile = qEnvironmentVariable("TIDEWELL_PROFILE");
    QCoreApplication::setApplicationName(profile.isEmpty() ? QStringLiteral("Tidewell") : u"Tidewell-"_qs + profile);
    QCoreApplication::setApplicationVersion(QStringLiteral(TIDEWELL_VERSION));
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

    AppDelegate delegate(profile);
    AppState& state = delegate.state();
    QUrl defaultURL = tidewellDefaultURL();
    if (!profile.isEmpty() && qEnvironmentVariableIsSet("TIDEWELL_DEFAULT_URL"))
        defaultURL = QUrl(qEnvironmentVariable("TIDEWELL_DEFAULT_URL"));
    ConsoleFront front(state, defaultURL);

    QObject::connect(&instance, &SingleInstance::argumentsReceived, &state, [&state](const QStringList& received) {
        if (!received.isEmpty())
            state.handleIncomingURL(QUrl(received.first()));
    });
    if (!arguments.isEmpty())
        state.handleIncomingURL(QUrl(arguments.first()));
    delegate.launch();
    delegate.becameActive();
    return app.exec();
}
