// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QCoroTask>

namespace tidewell {

// Secure storage of small secrets keyed by service and account, with two placements: the primary one, and a
// fallback that is offered a write only when the primary refuses and read only to migrate from it. The store may
// refuse the fallback too, where writing there would put the secret somewhere it must not be.
//
// Every operation is awaited: a secret store may have to ask the user (to unlock or create a keyring), and the
// caller's windows keep answering meanwhile. An operation may also never finish (a store that never answers);
// callers that must go on bound their wait themselves.
class CredentialStore
{
public:
    enum class Placement
    {
        Primary,
        Fallback
    };

    struct Item
    {
        enum class Status
        {
            Found,
            Missing,
            // The store could not be read (refused, locked and not unlocked, broken): the item may well exist.
            Unavailable
        };
        Status status = Status::Missing;
        QByteArray data;
    };

    virtual ~CredentialStore() = default;

    // The item, or why there is none.
    virtual QCoro::Task<Item> copy(Placement placement, const char* service, const char* account) = 0;
    // Adds or replaces the item. Answers 0 on success, otherwise a non-zero status that identifies the failure.
    virtual QCoro::Task<int> add(Placement placement, const char* service, const char* account, QByteArray data) = 0;
    // Removes the item; a missing item is not an error. Answers false when the store refused or failed, so that the
    // item may still be there.
    virtual QCoro::Task<bool> remove(Placement placement, const char* service, const char* account) = 0;
};

} // namespace tidewell
