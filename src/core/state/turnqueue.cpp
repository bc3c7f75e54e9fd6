// SPDX-License-Identifier: GPL-3.0-or-later
#include "state/turnqueue.h"

#include <QCoroSignal>
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

void TurnQueue::Turn::end()
{
    if (QPointer<TurnQueue> queue = std::exchange(m_queue, nullptr)) {
        ++queue->m_serving;
        emit queue->advanced();
    }
}

void TurnQueue::close()
{
    if (std::exchange(m_closed, true))
        return;
    emit advanced();
}

QCoro::Task<TurnQueue::Turn> TurnQueue::take()
{
    return wait(QPointer<TurnQueue>(this), m_issued++);
}

QCoro::Task<TurnQueue::Turn> TurnQueue::wait(QPointer<TurnQueue> self, quint64 ticket)
{
    while (self && !self->m_closed && self->m_serving != ticket) {
        auto advanced = qCoro(self.data(), &TurnQueue::advanced); // named: see withinBound
        co_await advanced;
    }
    co_return self && !self->m_closed ? Turn(self.data()) : Turn();
}

} // namespace tidewell
