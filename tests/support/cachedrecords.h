// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cache/cachedapp.h"
#include "cache/cachedmessage.h"

#include <QString>

// Builds a cached message with only the fields a row cares about: M(id).title(u"…"_qs).priority(1).
struct M
{
    tidewell::CachedMessage record;

    explicit M(qint64 id, qint64 applicationId = 1)
    {
        record.id = id;
        record.applicationId = applicationId;
        record.message = QStringLiteral("body");
    }
    M& ts(qint64 value) { return record.ts = value, *this; }
    M& title(const QString& value) { return record.title = value, *this; }
    M& body(const QString& value) { return record.message = value, *this; }
    M& priority(qint64 value) { return record.priority = value, *this; }
    M& url(const QString& value) { return record.url = value, *this; }
    M& urlTitle(const QString& value) { return record.urlTitle = value, *this; }
    operator tidewell::CachedMessage() const { return record; }
};

// A cached application with a fixed colour.
inline tidewell::CachedApp app(qint64 id, const QString& name)
{
    tidewell::CachedApp result;
    result.id = id;
    result.name = name;
    result.color = QStringLiteral("#336699");
    return result;
}
