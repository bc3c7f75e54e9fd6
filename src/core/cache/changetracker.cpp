// SPDX-License-Identifier: GPL-3.0-or-later
#include "cache/changetracker.h"

#include <utility>

namespace tidewell {

void ChangeTracker::messageWritten(qint64 id, bool upserted)
{
    if (m_change.everything)
        return;
    auto found = m_upserted.find(id);
    if (found != m_upserted.end()) {
        *found = upserted;
        return;
    }
    if (m_order.size() >= m_maxListed) {
        // Too many to be worth listing: readers reload instead, and the ids need not be kept any longer.
        m_change.everything = true;
        m_upserted = {};
        m_order = {};
        return;
    }
    m_upserted.insert(id, upserted);
    m_order.append(id);
}

void ChangeTracker::applicationCleared(qint64 applicationId)
{
    if (!m_change.clearedApplications.contains(applicationId))
        m_change.clearedApplications.append(applicationId);
}

void ChangeTracker::allMessagesRemoved()
{
    // Nothing written before survives, so nothing written before needs naming; what follows still does.
    m_change.allMessagesRemoved = true;
    m_change.clearedApplications.clear();
    m_upserted = {};
    m_order = {};
}

CacheChange ChangeTracker::take()
{
    CacheChange change = std::exchange(m_change, {});
    if (change.everything) {
        change = {};
        change.everything = true;
    } else {
        for (qint64 id : std::as_const(m_order))
            (m_upserted.value(id) ? change.upsertedMessages : change.removedMessages).append(id);
    }
    m_upserted = {};
    m_order = {};
    return change;
}

void ChangeTracker::clear()
{
    m_change = {};
    m_upserted = {};
    m_order = {};
}

} // namespace tidewell
