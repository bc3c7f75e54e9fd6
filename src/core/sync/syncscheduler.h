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
// What replaces or wipes the account's data holds the syncs while it works (hold()): the running pass is stopped
// and joined, no pass starts while any hold lives, and the requests made meanwhile collapse into one pass that
// starts when the last hold ends. That pass calls the pass function then, so it syncs whatever account is installed
// by that time; a check after each await of "has a pass started meanwhile?" is never needed.
//
// Ownership: the slot (the running pass, the pass waiting to run and the holds) lives in a block shared by every call
// that waits on it and by every hold, so a call that resumes, or a hold that ends, after the scheduler is gone still
// finds it. Destroying the scheduler stops the running pass and ends every request still waiting: the pass function
// is never called again.
class SyncScheduler
{
    struct Slot;

public:
    // One pass. It must end — normally, by an exception, or early once `stop` is requested — and may not rely on
    // anything but what it holds itself once it has suspended.
    using Pass = std::function<QCoro::Task<>(std::stop_token stop)>;

    // While it lives no pass starts. Kept across the awaits of the operation that took it; moved, never copied.
    class Hold
    {
    public:
        Hold() = default;
        Hold(Hold&& other) noexcept;
        Hold& operator=(Hold&& other) noexcept;
        ~Hold() { release(); }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        // Ends the hold before the object goes; the pass requested meanwhile starts now when no other hold lives.
        void release();

    private:
        friend class SyncScheduler;
        explicit Hold(std::shared_ptr<Slot> slot);
        std::shared_ptr<Slot> m_slot;
    };

    explicit SyncScheduler(Pass pass);
    ~SyncScheduler();
    SyncScheduler(const SyncScheduler&) = delete;
    SyncScheduler& operator=(const SyncScheduler&) = delete;

    bool isRunning() const;
    bool isHeld() const;
    // Asks for a pass; returns when the pass that serves it has ended, or when that pass is dropped before it starts
    // (by cancelAndJoin(), or as the scheduler goes). At once when the scheduler is already gone.
    QCoro::Task<> request();
    // Stops the running pass, if any, and returns once it has ended; pending requests are dropped.
    QCoro::Task<> cancelAndJoin();
    // Holds the syncs from this call on; resumes once the running pass, if any, has been stopped and has ended. A pass
    // stopped so runs again once no hold lives.
    QCoro::Task<Hold> hold();

private:
    static QCoro::Task<> request(std::shared_ptr<Slot> slot);
    static QCoro::Task<> cancelAndJoin(std::shared_ptr<Slot> slot);
    static QCoro::Task<Hold> hold(std::shared_ptr<Slot> slot);
    static QCoro::Task<> runPass(std::shared_ptr<Slot> slot, std::shared_ptr<SyncPass> run);
    // Starts the pass that waits to run, when there is one and nothing stands in its way.
    static void startNext(const std::shared_ptr<Slot>& slot);
    // Ends the requests waiting on the next pass without running it.
    static void dropNext(Slot& slot);

    std::shared_ptr<Slot> m_slot;
};

} // namespace tidewell
