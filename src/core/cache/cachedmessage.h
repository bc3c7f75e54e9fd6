// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "api/message.h"

#include <QDateTime>
#include <QString>
#include <optional>

namespace tidewell {

// A message as the cache keeps it: the wire record less its sound. Whether it is unread is not stored; it
// follows from the read position.
struct CachedMessage
{
    qint64 id = 0;
    qint64 applicationId = 0;
    std::optional<QString> title;
    QString message;
    qint64 priority = 0;
    std::optional<QString> url;
    std::optional<QString> urlTitle;
    qint64 ts = 0; // seconds since the Unix epoch

    CachedMessage() = default;
    explicit CachedMessage(const Message& wire)
        : id(wire.id)
        , applicationId(wire.applicationId)
        , title(wire.title)
        , message(wire.message)
        , priority(wire.priority)
        , url(wire.url)
        , urlTitle(wire.urlTitle)
        , ts(wire.ts)
    { }

    QDateTime date() const { return QDateTime::fromSecsSinceEpoch(ts, Qt::UTC); }

    friend bool operator==(const CachedMessage&, const CachedMessage&) = default;
};

} // namespace tidewell
