// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QtGlobal>
#include <functional>
#include <optional>

namespace tidewell {

// One message as the cache stores it, for a caller that keeps only part of each: the texts are the stored UTF-8,
// valid only until the visit returns. Reading them so spares a conversion and a copy per text.
struct StoredMessage
{
    qint64 id = 0;
    qint64 applicationId = 0;
    qint64 ts = 0;
    qint64 priority = 0;
    QByteArrayView message;
    std::optional<QByteArrayView> title;
};

using StoredMessageVisit = std::function<void(const StoredMessage&)>;

} // namespace tidewell
