#pragma once

#include <QList>
#include <QMetaType>
#include <QtGlobal>

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

    friend bool operator==(const CacheChange&, const CacheChange&) = default;

    bool isEmpty() const
    {
        return !everything && upsertedMessages.isEmpty() && removedMessages.isEmpty() && clearedApplications.isEmpty()
            && !allMessagesRemoved && !appsChanged;
    }
};

} // namespace tidewell

Q_DECLARE_METATYPE(tidewell::CacheChange)
