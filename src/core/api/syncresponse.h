// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "api/message.h"

#include <QList>

namespace tidewell {

// One page of the message history.
struct SyncResponse
{
    QList<Message> messages;
    bool hasMore = false; // the server holds further messages beyond this page

    friend bool operator==(const SyncResponse&, const SyncResponse&) = default;
};

} // namespace tidewell
