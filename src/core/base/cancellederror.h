// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/error.h"

namespace tidewell {

// Raised when the task that awaited an operation was cancelled. Kept apart from real failures so that nobody
// shows it to the user or mistakes it for a server problem.
class CancelledError : public Error
{
public:
    CancelledError()
        : Error(QStringLiteral("The operation was cancelled."))
    { }
};

} // namespace tidewell
