// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoroTask>
#include <chrono>
#include <stop_token>

namespace tidewell {

// Sleeps on the event loop (Qt timers run on the monotonic clock). Answers true when the time ran out, false
// when `stop` ended the sleep early.
QCoro::Task<bool> sleepFor(std::chrono::milliseconds duration, std::stop_token stop);

} // namespace tidewell
