// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/cancellablesleep.h"

#include <QCoroTimer>
#include <QTimer>

namespace tidewell {

QCoro::Task<bool> sleepFor(std::chrono::milliseconds duration, std::stop_token stop)
{
    if (stop.stop_requested())
        co_return false;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    timer.start(duration);
    // Cut the wait short from the event loop, never from inside request_stop().
    std::stop_callback wake(stop, [&timer] {
        QMetaObject::invokeMethod(
            &timer, [&timer] { timer.start(0); }, Qt::QueuedConnection);
    });
    co_await timer;
    co_return !stop.stop_requested();
}

} // namespace tidewell
