// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/error.h"
#include "services/notificationcentre.h"

// A notification centre whose answers the test sets, and whose events the test raises.
class FakeNotificationCentre : public tidewell::NotificationCentre
{
public:
    bool grant = true;
    bool failRequest = false;
    AuthorizationStatus status = AuthorizationStatus::NotDetermined;
    int requests = 0;

    QCoro::Task<bool> requestAuthorization() override
    {
        ++requests;
        if (failRequest)
            throw tidewell::Error(QStringLiteral("the notification service did not answer"));
        co_return grant;
    }
    QCoro::Task<AuthorizationStatus> authorizationStatus() override { co_return status; }
};
