// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linuxpushregistrar.h"

namespace tidewell {

QString LinuxPushRegistrar::unavailableReason()
{
    return u"this system has no remote-push service; new messages arrive through the periodic sync"_qs;
}

void LinuxPushRegistrar::registerForRemoteNotifications()
{
    QMetaObject::invokeMethod(
        this, [this] { emit failedToRegister(unavailableReason()); }, Qt::QueuedConnection);
}

} // namespace tidewell
