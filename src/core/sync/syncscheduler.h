// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoroTask>
#include <functional>
#include <memory>
#include <stop_token>

namespace tidewell {

class SyncPass;

// Runs one sync pass at a time. Any number of requests made while a pass runs collapse into exactly one further
// pass after it; cancelAndJoin() stops the running pass, waits for it to end and drops the requests still pending.
//
// Ownership: the slot (the running pass and the pending flag) lives in a block shared by every call that waits on
// it, so a call that resumes after the scheduler is gone still finds it. Destroying the scheduler stops the running
// pass and closes the slot: no waiting call starts another pass, and the pass function is never called again.
class SyncScheduler
{
public:
    // One pass. It must end — normally, by an exception, or early once `stop` is requested — and may not rely on
    // anything but what it holds itself once it has suspended.
    using Pass = std::function<QCoro::Task<>(std::stop_token stop)>;

    explicit SyncScheduler(Pass pass);
    ~SyncScheduler();
    SyncScheduler(const SyncScheduler&) = delete;
    SyncScheduler& operator=(const SyncScheduler&) = delete;

    bool isRunning() const;
    // Asks for a pass; returns when the work it asked for has finished (see the class comment).
    QCoro::Task<> request();
    // Stops the running pass, if any, and returns once it has ended; pending requests are dropped.
    QCoro::Task<> cancelAndJoin();

private:
    struct Slot;
    static QCoro::Task<> request(std::shared_ptr<Slot> slot);
    static QCoro::Task<> cancelAndJoin(std::shared_ptr<Slot> slot);
    static QCoro::Task<> runPass(std::shared_ptr<Slot> slot, std::shared_ptr<SyncPass> run);

    std::shared_ptr<Slot> m_slot;
};

} // namespace tidewell
