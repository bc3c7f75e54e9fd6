#pragma once

#include "state/appstate.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTextStream>
#include <memory>

namespace tidewell {

// A terminal front for the application state, used until the windows exist: it reports what happens (linking,
// syncs, unread count, errors) and takes one-word commands on standard input.
class ConsoleFront : public QObject
{
    Q_OBJECT
public:
    explicit ConsoleFront(AppState& state, QUrl defaultServerURL, QObject* parent = nullptr);

    // The commands, one a line, as `help` lists them.
    void run(const QString& command);

private:
    void readLine();
    void printStatus();
    void printMessages(int count);
    void say(const QString& line);

    AppState& m_state;
    QUrl m_defaultServerURL;
    QTextStream m_out;
    std::unique_ptr<QSocketNotifier> m_input;
    QByteArray m_pending;
};

} // namespace tidewell
