// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cache/cachedmessage.h"

#include <QRandomGenerator>

// One message of the generated caches the list benchmarks share: 80 to 200 characters of monitoring text, a title
// on every third, priorities -2 to 2, timestamps that mostly but not always follow the ids.
inline tidewell::CachedMessage generatedMessage(qint64 id, qint64 appCount, QRandomGenerator& random)
{
    tidewell::CachedMessage message;
    message.id = id;
    message.applicationId = id % appCount + 1;
    message.ts = 1700000000 + id - qint64(random.bounded(600));
    message.priority = qint64(id % 5) - 2;
    const int length = 80 + int(random.bounded(121));
    while (message.message.size() < length)
        message.message += QStringLiteral("Disk usage on host-%1 is above threshold ").arg(id % 97);
    message.message.truncate(length);
    if (id % 3 == 0)
        message.title = QStringLiteral("Alert %1").arg(id % 1000);
    return message;
}
