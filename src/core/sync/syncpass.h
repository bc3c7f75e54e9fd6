// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoroTask>
#include <QObject>
#include <QUuid>
#include <stop_token>

namespace tidewell {

// One running sync pass: its identity, the means to stop it, and a way for any number of callers to wait for its
// end.
class SyncPass : public QObject
{
    Q_OBJECT
public:
    const QUuid id = QUuid::createUuid();
    std::stop_source stop;

    bool isFinished() const { return m_finished; }
    void finish();
    // Resumes when the pass has finished (at once when it already has).
    QCoro::Task<> join();

signals:
    void finished();

private:
    bool m_finished = false;
};

} // namespace tidewell
