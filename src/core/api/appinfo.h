// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace tidewell {

// One application, that is one source of messages, as the server lists it.
struct AppInfo
{
    qint64 id = 0;
    QString name;
    QString color; // passed through as sent; the views interpret it
    bool hasIcon = false;

    friend bool operator==(const AppInfo&, const AppInfo&) = default;
};

size_t qHash(const AppInfo& app, size_t seed = 0);

} // namespace tidewell
