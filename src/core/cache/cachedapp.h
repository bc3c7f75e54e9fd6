// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace tidewell {

// An application as the cache keeps it, with its icon bytes inline.
struct CachedApp
{
    qint64 id = 0;
    QString name;
    QString color;
    std::optional<QByteArray> icon;

    friend bool operator==(const CachedApp&, const CachedApp&) = default;
};

} // namespace tidewell
