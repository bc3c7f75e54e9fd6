// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/syncscheduler.h"

#include "base/logging.h"
#include "sync/syncpass.h"

#include <utility>

namespace tidewell {

struct SyncScheduler::Slot
{
    Pass pass;
    std::shared_ptr<SyncPass> running;
    // The one further pass that the requests made while a pass ran, or while the syncs were held, wait for; it has
    // not started yet.
    std::shared_ptr<SyncPass> next;
    int holds = 0;
    bool closed = false; // the scheduler is gone
};

SyncScheduler::Hold::Hold(std::shared_ptr<Slot> slot)
    : m_slot(std::move(slot))
{
    ++m_slot->holds;
}

SyncScheduler::Hold::Hold(Hold&& other) noexcept
    : m_slot(std::exchange(other.m_slot, nullptr))
{ }

SyncScheduler::Hold& SyncScheduler::Hold::operator=(Hold&& other) noexcept
{
    if (this != &other) {
        release();
        m_slot = std::exchange(other.m_slot, nullptr);
    }
    return *this;
}

void SyncScheduler::Hold::release()
{
    if (const std::shared_ptr<Slot> slot = std::exchange(m_slot, nullptr)) {
        --slot->holds;
        startNext(slot);
    }
}

SyncScheduler::SyncScheduler(Pass pass)
    : m_slot(std::make_shared<Slot>())
{
    m_slot->pass = std::move(pass);
}

SyncScheduler::~SyncScheduler()
{
    m_slot->closed = true;
    m_slot->pass = nullptr;
    dropNext(*m_slot);
    if (m_slot->running)
        m_slot->running->stop.request_stop();
}

bool SyncScheduler::isRunning() const
{
    return m_slot->running != nullptr;
}

bool SyncScheduler::isHeld() const
{
    return m_slot->holds > 0;
}

QCoro::Task<> SyncScheduler::request()
{
    return request(m_slot);
}

QCoro::Task<> SyncScheduler::cancelAndJoin()
{
    return cancelAndJoin(m_slot);
}

QCoro::Task<SyncScheduler::Hold> SyncScheduler::hold()
{
    return hold(m_slot);
}

// Each request waits on the pass that serves it and on nothing else: under a steady stream of requests no chain of
// calls waiting on one another grows.
QCoro::Task<> SyncScheduler::request(std::shared_ptr<Slot> slot)
{
    if (slot->closed)
        co_return;
    if (!slot->next)
        slot->next = std::make_shared<SyncPass>();
    const std::shared_ptr<SyncPass> serving = slot->next;
    startNext(slot);
    QCoro::Task<> joining = serving->join(); // named: see withinBound
    co_await std::move(joining);
}

void SyncScheduler::startNext(const std::shared_ptr<Slot>& slot)
{
    if (slot->closed || slot->holds > 0 || slot->running || !slot->next)
        return;
    slot->running = std::exchange(slot->next, nullptr);
    runPass(slot, slot->running);
}

void SyncScheduler::dropNext(Slot& slot)
{
    if (const std::shared_ptr<SyncPass> dropped = std::exchange(slot.next, nullptr))
        dropped->finish();
}

// Ends the pass whatever ends the pass function, an exception of any type included: a pass that never ended would
// hold the slot for ever, and every later request, hold and shutdown would wait on it.
QCoro::Task<> SyncScheduler::runPass(std::shared_ptr<Slot> slot, std::shared_ptr<SyncPass> run)
{
    try {
        if (slot->pass && !slot->closed) {
            QCoro::Task<> passing = slot->pass(run->stop.get_token()); // named: see withinBound
            co_await std::move(passing);
        }
    } catch (const std::exception& error) {
        qCWarning(lcSync) << "a sync pass ended by an unexpected exception:" << error.what();
    } catch (...) {
        qCWarning(lcSync) << "a sync pass ended by an unexpected exception";
    }
    if (slot->running == run)
        slot->running.reset();
    run->finish();
    startNext(slot);
}

QCoro::Task<> SyncScheduler::cancelAndJoin(std::shared_ptr<Slot> slot)
{
    dropNext(*slot);
    if (const std::shared_ptr<SyncPass> running = slot->running) {
        running->stop.request_stop();
        QCoro::Task<> joining = running->join(); // named: see withinBound
        co_await std::move(joining);
    }
}

// The hold counts from the call on, before any suspension: a pass requested while the running one is being joined
// waits for the hold's end like any other. The pass it stops was asked for and did not finish, so one runs again as
// the hold ends, on whatever account is then installed.
QCoro::Task<SyncScheduler::Hold> SyncScheduler::hold(std::shared_ptr<Slot> slot)
{
    Hold held(slot);
    if (const std::shared_ptr<SyncPass> running = slot->running) {
        if (!slot->next)
            slot->next = std::make_shared<SyncPass>();
        running->stop.request_stop();
        QCoro::Task<> joining = running->join(); // named: see withinBound
        co_await std::move(joining);
    }
    co_return std::move(held);
}

} // namespace tidewell
