// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace tidewell {

// Registration with the operating system's remote-push service. The answer comes later, as a device token or as
// a failure with its reason.
class PushRegistrar : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    virtual void registerForRemoteNotifications() = 0;
    // False where the system has no remote-push service at all, so registration can never succeed and the
    // periodic sync alone brings new messages.
    virtual bool hasPushService() const { return true; }

signals:
    void registered(const QByteArray& deviceToken);
    void failedToRegister(const QString& reason);
};

} // namespace tidewell
