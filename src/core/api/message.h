// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

namespace tidewell {

// One pushed message as the server sends it.
struct Message
{
    qint64 id = 0;
    qint64 applicationId = 0;
    std::optional<QString> title;
    QString message;
    qint64 priority = 0;
    std::optional<QString> url;
    std::optional<QString> urlTitle;
    std::optional<QString> sound;
    qint64 ts = 0; // seconds since the Unix epoch

    QDateTime date() const { return QDateTime::fromSecsSinceEpoch(ts, Qt::UTC); }

    friend bool operator==(const Message&, const Message&) = default;
};

size_t qHash(const Message& message, size_t seed = 0);

} // namespace tidewell
