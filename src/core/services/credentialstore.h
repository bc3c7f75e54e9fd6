#pragma once

#include <QByteArray>
#include <optional>

namespace tidewell {

// Secure storage of small secrets keyed by service and account, with two placements: the primary one, and a
// fallback that is offered a write only when the primary refuses and read only to migrate from it. The store may
// refuse the fallback too, where writing there would put the secret somewhere it must not be.
class CredentialStore
{
public:
    enum class Placement
    {
        Primary,
        Fallback
    };

    virtual ~CredentialStore() = default;

    // The item's data, or none when there is no readable item.
    virtual std::optional<QByteArray> copy(Placement placement, const char* service, const char* account) = 0;
    // Adds or replaces the item. Returns 0 on success, otherwise a non-zero status that identifies the failure.
    virtual int add(Placement placement, const char* service, const char* account, const QByteArray& data) = 0;
    // Removes the item; a missing item is not an error.
    virtual void remove(Placement placement, const char* service, const char* account) = 0;
};

} // namespace tidewell
