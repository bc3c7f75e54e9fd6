// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/syncscheduler.h"

#include "base/logging.h"
#include "sync/syncpass.h"

#include <QUuid>
#include <optional>

namespace tidewell {

struct SyncScheduler::Slot
{
    Pass pass;
    std::shared_ptr<SyncPass> running;
    std::optional<QUuid> runningId; // cleared by cancelAndJoin() before the pass has ended
    bool dirty = false; // a request came while a pass ran
    bool closed = false; // the scheduler is gone
};

SyncScheduler::SyncScheduler(Pass pass)
    : m_slot(std::make_shared<Slot>())
{
    m_slot->pass = std::move(pass);
}

SyncScheduler::~SyncScheduler()
{
    m_slot->closed = true;
    m_slot->pass = nullptr;
    m_slot->dirty = false;
    if (m_slot->running)
        m_slot->running->stop.request_stop();
}

bool SyncScheduler::isRunning() const
{
    return m_slot->running != nullptr;
}

QCoro::Task<> SyncScheduler::request()
{
    return request(m_slot);
}

QCoro::Task<> SyncScheduler::cancelAndJoin()
{
    return cancelAndJoin(m_slot);
}

QCoro::Task<> SyncScheduler::request(std::shared_ptr<Slot> slot)
{
    if (slot->closed)
        co_return;
    if (slot->running) {
        slot->dirty = true;
        const std::shared_ptr<SyncPass> running = slot->running;
        co_await running->join();
        // Whoever finds the slot free first with the request still pending runs the further pass.
        if (slot->closed || !slot->dirty || slot->running)
            co_return;
        slot->dirty = false;
    }

    // The further pass that requests made meanwhile ask for runs in this same call, by going round again rather
    // than through a nested request(): under a steady stream of requests each nested call would wait on the next,
    // and that chain would grow for as long as the stream lasts, then unwind recursively.
    for (;;) {
        auto run = std::make_shared<SyncPass>();
        slot->running = run;
        slot->runningId = run->id;
        runPass(slot, run);
        co_await run->join();
        if (slot->runningId != run->id)
            co_return; // cancelled and joined, which drops the pending requests
        slot->running.reset();
        slot->runningId.reset();
        if (slot->closed || !slot->dirty)
            co_return;
        slot->dirty = false;
    }
}

// Ends the pass whatever ends the pass function, an exception of any type included: a pass that never ended would
// hold the slot for ever, and every later request, delete, clear and unlink would wait on it.
QCoro::Task<> SyncScheduler::runPass(std::shared_ptr<Slot> slot, std::shared_ptr<SyncPass> run)
{
    try {
        if (slot->pass && !slot->closed)
            co_await slot->pass(run->stop.get_token());
    } catch (const std::exception& error) {
        qCWarning(lcSync) << "a sync pass ended by an unexpected exception:" << error.what();
    } catch (...) {
        qCWarning(lcSync) << "a sync pass ended by an unexpected exception";
    }
    run->finish();
}

QCoro::Task<> SyncScheduler::cancelAndJoin(std::shared_ptr<Slot> slot)
{
    if (const std::shared_ptr<SyncPass> running = slot->running) {
        running->stop.request_stop();
        // Before waiting: requests that wait on this pass may resume first, and none of them may start a further
        // pass. The slot itself stays taken until the pass has ended, so nothing overlaps it.
        slot->runningId.reset();
        slot->dirty = false;
        co_await running->join();
        if (slot->running == running)
            slot->running.reset();
    }
    slot->runningId.reset();
    slot->dirty = false;
}

} // namespace tidewell
