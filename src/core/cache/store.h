// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cache/cachecontext.h"

#include <QString>
#include <memory>

namespace tidewell {

// Opens the message cache. The cache is a disposable copy of what the server holds, so a file that will not open
// (damaged, another schema, no permission) is deleted and created anew, and failing that the cache lives in
// memory for this run. Only when not even memory will do does the process stop.
class Store
{
public:
    static constexpr auto schemaVersion = "1.0.0";

    // The application's cache: a file in the application data folder, or memory only when `inMemory`.
    static std::unique_ptr<CacheContext> openCache(bool inMemory);
    // The same opening steps for the database file at `path`.
    static std::unique_ptr<CacheContext> open(const QString& path);
    // Where the application's cache file lives.
    static QString defaultPath();

    Store() = delete;
};

} // namespace tidewell
