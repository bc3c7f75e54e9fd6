// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "services/pushregistrar.h"

namespace tidewell {

// The registrar of a Linux desktop, which has no remote-push service to register with: every request fails with
// the reason, and new messages reach the user through the periodic sync and the notifications Tidewell posts
// itself.
class LinuxPushRegistrar : public PushRegistrar
{
    Q_OBJECT
public:
    using PushRegistrar::PushRegistrar;

    static QString unavailableReason();

    // Answers from the event loop, like a registrar that has to ask a service, so callers see one order of events
    // on every system.
    void registerForRemoteNotifications() override;
    bool hasPushService() const override { return false; }
};

} // namespace tidewell
