// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cache/cachechange.h"

#include <QStringList>
#include <QtTest>

namespace tidewell {

// Lets QCOMPARE print the change details it compares.
inline char* toString(const CacheChange& change)
{
    const auto ids = [](const QList<qint64>& list) {
        QStringList parts;
        for (qint64 id : list)
            parts.append(QString::number(id));
        return u'[' + parts.join(u',') + u']';
    };
    const QString text
        = u"everything=%1 upserted=%2 removed=%3 cleared=%4 allRemoved=%5 apps=%6"_qs.arg(change.everything ? 1 : 0)
              .arg(ids(change.upsertedMessages), ids(change.removedMessages), ids(change.clearedApplications))
              .arg(change.allMessagesRemoved ? 1 : 0)
              .arg(change.appsChanged ? 1 : 0);
    return qstrdup(text.toUtf8().constData());
}

} // namespace tidewell
