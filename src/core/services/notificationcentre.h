// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoroTask>
#include <QObject>
#include <QVariantMap>

namespace tidewell {

// The desktop's notification service as the notification handler needs it: the permission request, the status
// query, and two events — a notification arriving while Tidewell is in front, and a click on one of Tidewell's
// notifications carrying its payload ("mid", "aid").
class NotificationCentre : public QObject
{
    Q_OBJECT
public:
    enum class AuthorizationStatus
    {
        NotDetermined,
        Denied,
        Authorized,
        Provisional,
        Ephemeral,
        // No notification service runs on this desktop: there is nothing to allow, and nothing can be shown.
        Unavailable
    };
    Q_ENUM(AuthorizationStatus)

    using QObject::QObject;

    // Asks for permission to show alerts, play sounds and set the badge. May throw tidewell::Error.
    virtual QCoro::Task<bool> requestAuthorization() = 0;
    virtual QCoro::Task<AuthorizationStatus> authorizationStatus() = 0;

signals:
    void willPresent();
    void didReceiveResponse(const QVariantMap& userInfo);
};

} // namespace tidewell
