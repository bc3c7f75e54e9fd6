// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QSocketNotifier;

namespace tidewell {

// Ends the event loop cleanly when the session asks the process to stop (SIGTERM at logout, SIGINT from a
// terminal, SIGHUP), so that the cache is closed properly instead of the process dying mid-write. The signal
// handler only writes to a pipe; the event loop reads it and quits.
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received(int signal);

private:
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace tidewell
