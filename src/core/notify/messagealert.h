// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace tidewell {

// One desktop notification about newly synced messages, as the desktop adapter raises it.
struct MessageAlert
{
    enum class Urgency : quint8
    {
        Low = 0,
        Normal = 1,
        Critical = 2
    };

    QString summary;
    QString body; // plain text; the adapter escapes it for servers that render markup
    std::optional<QByteArray> icon; // the application's icon as the server sent it
    Urgency urgency = Urgency::Normal;
    // What a click hands to the notification handler. The overflow notification carries no message id, so its
    // click only brings Tidewell forward (and selects the application when all it covers come from one).
    std::optional<qint64> messageId;
    std::optional<qint64> applicationId;

    friend bool operator==(const MessageAlert&, const MessageAlert&) = default;
};

} // namespace tidewell
