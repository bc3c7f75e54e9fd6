// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QMetaType>
#include <QtGlobal>
#include <algorithm>

namespace tidewell {

// What one commit changed, as precisely as the cache knows it, so that views can update what changed instead of
// reloading everything. `everything` means: reload both kinds (a wipe, or more than is worth listing).
//
// A reader applies the removals first (all messages, then the cleared applications, then the removed ids) and then
// reads each upserted id back from the cache: an id that a later write of the same commit removed again is simply
// no longer there, so the order of the writes inside one commit never matters. No id is in both lists.
struct CacheChange
{
    bool everything = false;
    QList<qint64> upsertedMessages; // inserted or replaced, in the order written
    QList<qint64> removedMessages;
    QList<qint64> clearedApplications; // every message of these applications was removed
    bool allMessagesRemoved = false;
    bool appsChanged = false; // an application row was inserted, replaced or removed

    // Written out rather than defaulted: QList's own comparison hands memcmp a null pointer when one of two empty
    // lists never allocated, which the undefined-behaviour sanitizer stops on.
    friend bool operator==(const CacheChange& a, const CacheChange& b)
    {
        auto same = [](const QList<qint64>& x, const QList<qint64>& y) {
            return std::equal(x.cbegin(), x.cend(), y.cbegin(), y.cend());
        };
        return a.everything == b.everything && same(a.upsertedMessages, b.upsertedMessages)
            && same(a.removedMessages, b.removedMessages) && same(a.clearedApplications, b.clearedApplications)
            && a.allMessagesRemoved == b.allMessagesRemoved && a.appsChanged == b.appsChanged;
    }

    bool isEmpty() const
    {
        return !everything && upsertedMessages.isEmpty() && removedMessages.isEmpty() && clearedApplications.isEmpty()
            && !allMessagesRemoved && !appsChanged;
    }
};

} // namespace tidewell

Q_DECLARE_METATYPE(tidewell::CacheChange)
