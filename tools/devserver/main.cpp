// SPDX-License-Identifier: GPL-3.0-or-later
// tidewell-devserver: a demo account for Tidewell, served on 127.0.0.1 from memory.
//
// Standard output carries one "key: value" line per fact, flushed as soon as the server listens, for scripts
// and tests to read: "port", "url" (the server's base URL) and "link" (a link URL for a device issued at start).

#include "demoaccount.h"
#include "demoserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>
#include <cstdlib>

using namespace tidewell;

namespace {

// The option's value as an integer within [low, high]; exits with a usage error otherwise.
int boundedOption(const QCommandLineParser& parser, const QString& name, int low, int high)
{
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value < low || value > high) {
        QTextStream(stderr) << "tidewell-devserver: --" << name << " takes a whole number from " << low << " to "
                            << high << Qt::endl;
        std::exit(2);
    }
    return value;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"tidewell-devserver"_qs);

    QCommandLineParser parser;
    parser.setApplicationDescription(u"Serves a demo account for Tidewell on 127.0.0.1, kept in memory."_qs);
    parser.addHelpOption();
    parser.addOption({ u"port"_qs, u"Port to listen on; 0 picks a free one."_qs, u"port"_qs, u"0"_qs });
    parser.addOption({ u"messages"_qs, u"How many demo messages to start with."_qs, u"count"_qs, u"40"_qs });
    parser.addOption({ u"link-expiry"_qs, u"Seconds a browser link request stays open."_qs, u"seconds"_qs, u"600"_qs });
    parser.process(app);
    const int port = boundedOption(parser, u"port"_qs, 0, 65535);
    const int messages = boundedOption(parser, u"messages"_qs, 0, 100000);
    const int linkExpiry = boundedOption(parser, u"link-expiry"_qs, 1, 86400);

    DemoAccount account { std::chrono::seconds(linkExpiry) };
    account.seed(messages);
    const QString linkSecret = account.issueDevice(u"link-url"_qs).secret;

    DemoServer server(account);
    if (server.start(quint16(port)) == 0) {
        QTextStream(stderr) << "tidewell-devserver: cannot listen on 127.0.0.1:" << port << Qt::endl;
        return 1;
    }
    const QString base = server.url().toString();
    QTextStream out(stdout);
    out << "port: " << server.url().port() << Qt::endl;
    out << "url: " << base << Qt::endl;
    out << "link: " << base << "/link#s=" << linkSecret << Qt::endl;
    QTextStream(stderr) << "tidewell-devserver: approve browser links at " << base << "/ and post messages with\n"
                        << "  curl -H 'Content-Type: application/json' -d '{\"message\": \"Hello\"}' " << base
                        << "/demo/messages" << Qt::endl;
    return app.exec();
}
