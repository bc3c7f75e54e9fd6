// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "services/notificationcentre.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QVariant>
#include <optional>

namespace tidewell {

// The one receiver of notification events for the process. It holds no application state: a notification that
// arrives while Tidewell is in front becomes onForegroundNotification, a click becomes onTap with the message and
// application ids from the notification's payload.
class NotificationHandler : public QObject
{
    Q_OBJECT
public:
    // How a notification that arrives while Tidewell is in front is still presented.
    enum PresentationOption
    {
        Badge = 1,
        Sound = 2,
        List = 8,
        Banner = 16
    };
    static constexpr int foregroundPresentation = Banner | List | Sound | Badge;

    static NotificationHandler& shared();

    // Makes this handler the receiver of `centre`'s events, in place of any earlier centre.
    void setCentre(NotificationCentre* centre);
    NotificationCentre* centre() const { return m_centre; }

    // Never fail: a failed request counts as not granted; without a centre nothing is determined.
    QCoro::Task<bool> requestAuthorization();
    QCoro::Task<NotificationCentre::AuthorizationStatus> authorizationStatus();

    // A payload value as an id: an integer, a number (truncated), or decimal text with an optional sign.
    static std::optional<qint64> intValue(const QVariant& value);

    int willPresent();
    void didReceive(const QVariantMap& userInfo);

signals:
    void onTap(std::optional<qint64> messageId, std::optional<qint64> applicationId);
    void onForegroundNotification();

private:
    QPointer<NotificationCentre> m_centre;
};

} // namespace tidewell
