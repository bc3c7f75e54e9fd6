// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cache/cachedmessage.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

// The ids of cached messages in their order, and the ids first..last, so that a test can state exactly which
// messages a cache must hold (which also shows there are no duplicates).
inline QList<qint64> ids(const QList<tidewell::CachedMessage>& messages)
{
    QList<qint64> result;
    result.reserve(messages.size());
    for (const tidewell::CachedMessage& message : messages)
        result.append(message.id);
    return result;
}

inline QList<qint64> range(qint64 first, qint64 last)
{
    QList<qint64> result;
    for (qint64 id = first; id <= last; ++id)
        result.append(id);
    return result;
}

// Lets QCOMPARE print the id lists it compares.
inline char* toString(const QList<qint64>& ids)
{
    QStringList parts;
    for (qint64 id : ids)
        parts.append(QString::number(id));
    return qstrdup(('[' + parts.join(u", ") + ']').toUtf8().constData());
}
