// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cache/cachechange.h"

#include <QHash>
#include <QList>

namespace tidewell {

// Gathers what one transaction changed, write by write, into the CacheChange its commit reports. A message id's
// last write decides whether it counts as upserted or removed; the lists keep the order in which ids were first
// written. Past `maxListedMessageIds` ids it reports `everything` instead.
class ChangeTracker
{
public:
    explicit ChangeTracker(qsizetype maxListedMessageIds)
        : m_maxListed(maxListedMessageIds)
    { }

    void messageWritten(qint64 id, bool upserted);
    void applicationCleared(qint64 applicationId);
    void allMessagesRemoved();
    void appsChanged() { m_change.appsChanged = true; }

    bool isEmpty() const { return m_change.isEmpty() && m_order.isEmpty(); }
    // What was gathered since the last take() or clear(), and a fresh start.
    CacheChange take();
    void clear();

private:
    qsizetype m_maxListed;
    CacheChange m_change; // all but the message ids, which these two hold until take()
    QHash<qint64, bool> m_upserted;
    QList<qint64> m_order;
};

} // namespace tidewell
