// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/error.h"

#include <QCoreApplication>

namespace tidewell {

// The sync engine's own failure: the server keeps saying there is more but the cursor does not move.
class SyncError : public Error
{
public:
    static SyncError paginationDidNotAdvance()
    {
        return SyncError(QCoreApplication::translate("SyncError",
            "Sync stopped because the server returned a repeated page. Try again after checking the server."));
    }

    friend bool operator==(const SyncError&, const SyncError&) { return true; }

private:
    using Error::Error;
};

} // namespace tidewell
