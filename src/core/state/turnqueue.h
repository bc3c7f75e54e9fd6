// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <coroutine>
#include <vector>

namespace tidewell {

// Hands out turns one at a time, first come first served, to operations that must not overlap while they wait
// (the credential's reads and writes). A turn ends when its `Turn` goes, or earlier through `end()`.
class TurnQueue : public QObject
{
    Q_OBJECT
public:
    class Turn
    {
    public:
        Turn() = default;
        Turn(Turn&& other) noexcept;
        Turn& operator=(Turn&& other) noexcept;
        ~Turn() { end(); }
        void end();
        // False for the empty turn a closed queue answers: the operation must not go on.
        explicit operator bool() const { return !m_queue.isNull(); }

    private:
        friend class TurnQueue;
        explicit Turn(TurnQueue* queue)
            : m_queue(queue)
        { }
        QPointer<TurnQueue> m_queue;
    };

    using QObject::QObject;
    ~TurnQueue() override { close(); }

    // Every waiting and later take() answers an empty turn, so that what waits ends instead of waiting for ever;
    // for the owner to call as it goes, before its other members do. The waiting ones resume within this call, as
    // nothing posted to the queue would reach them once it is gone.
    void close();

    // Resumes once every turn asked for before this one has ended. A queue closed or gone meanwhile answers an
    // empty turn.
    QCoro::Task<Turn> take();
    bool isBusy() const { return m_serving != m_issued; }

private:
    struct Waiter
    {
        quint64 ticket;
        std::coroutine_handle<> handle;
    };
    struct Awaiter;
    static QCoro::Task<Turn> wait(QPointer<TurnQueue> self, quint64 ticket);
    // Resumes the waiter whose ticket is served now, if it waits; from the event loop, after the turn that ended.
    void serveNext();

    bool m_closed = false;
    quint64 m_issued = 0;
    quint64 m_serving = 0;
    std::vector<Waiter> m_waiting; // each suspended take(), resumed exactly once
};

} // namespace tidewell
