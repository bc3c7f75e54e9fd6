// SPDX-License-Identifier: GPL-3.0-or-later
#include "state/turnqueue.h"

#include <algorithm>
#include <utility>

namespace tidewell {

TurnQueue::Turn::Turn(Turn&& other) noexcept
    : m_queue(std::exchange(other.m_queue, nullptr))
{ }

TurnQueue::Turn& TurnQueue::Turn::operator=(Turn&& other) noexcept
{
    if (this != &other) {
        end();
        m_queue = std::exchange(other.m_queue, nullptr);
    }
    return *this;
}

// The next holder resumes from the event loop rather than inside this call, so that the operation ending its turn
// finishes what it does first.
void TurnQueue::Turn::end()
{
    if (QPointer<TurnQueue> queue = std::exchange(m_queue, nullptr)) {
        ++queue->m_serving;
        QMetaObject::invokeMethod(queue.data(), &TurnQueue::serveNext, Qt::QueuedConnection);
    }
}

void TurnQueue::serveNext()
{
    const auto next = std::find_if(
        m_waiting.begin(), m_waiting.end(), [this](const Waiter& waiter) { return waiter.ticket == m_serving; });
    if (next == m_waiting.end())
        return;
    const std::coroutine_handle<> handle = next->handle;
    m_waiting.erase(next);
    handle.resume();
}

void TurnQueue::close()
{
    if (std::exchange(m_closed, true))
        return;
    for (const Waiter& waiter : std::exchange(m_waiting, {}))
        waiter.handle.resume();
}

struct TurnQueue::Awaiter
{
    TurnQueue* queue;
    quint64 ticket;
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> handle) { queue->m_waiting.push_back(Waiter { ticket, handle }); }
    void await_resume() const noexcept { }
};

QCoro::Task<TurnQueue::Turn> TurnQueue::take()
{
    return wait(QPointer<TurnQueue>(this), m_issued++);
}

QCoro::Task<TurnQueue::Turn> TurnQueue::wait(QPointer<TurnQueue> self, quint64 ticket)
{
    if (!self->m_closed && self->m_serving != ticket) {
        Awaiter served { self.data(), ticket }; // named: see withinBound
        co_await served;
    }
    co_return self && !self->m_closed ? Turn(self.data()) : Turn();
}

} // namespace tidewell
