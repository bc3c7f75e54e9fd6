// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

namespace tidewell {

// Where syncing stands, as one value a view can switch on. A failure stays until a pass succeeds or the user
// dismisses it, so a pass may run while the last failure is still shown: `activity()` then says Syncing, and
// `error` still holds the line. `lastDate` is the end of the last pass that succeeded, none before the first.
struct SyncStatus
{
    enum class Activity
    {
        Idle,
        Syncing,
        Failed,
    };

    bool syncing = false;
    std::optional<QString> error;
    std::optional<QDateTime> lastDate;

    Activity activity() const
    {
        if (syncing)
            return Activity::Syncing;
        return error ? Activity::Failed : Activity::Idle;
    }

    friend bool operator==(const SyncStatus&, const SyncStatus&) = default;
};

} // namespace tidewell
