// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/synctriggers.h"

#include "base/logging.h"

#include <QDBusError>

namespace tidewell {

SyncTriggers::SyncTriggers(QDBusConnection bus, QObject* parent)
    : QObject(parent)
{
    if (!bus.isConnected()) {
        qCWarning(lcPlatform) << "no bus to hear about waking from sleep; syncs after sleep wait for the timer";
        return;
    }
    // Naming the sender makes the bus deliver the signal from logind alone, not from any peer that copies it.
    const bool subscribed = bus.connect(QStringLiteral("org.freedesktop.login1"),
        QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"),
        QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
    if (!subscribed)
        qCWarning(lcPlatform) << "cannot follow waking from sleep:" << bus.lastError().message();
}

void SyncTriggers::watchNetwork()
{
    if (!QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability)) {
        qCWarning(lcPlatform) << "no network reachability information; syncs after an outage wait for the timer";
        return;
    }
    QNetworkInformation* information = QNetworkInformation::instance();
    m_reachability = information->reachability();
    connect(information, &QNetworkInformation::reachabilityChanged, this, &SyncTriggers::reachabilityChanged);
}

void SyncTriggers::prepareForSleep(bool sleeping)
{
    if (!sleeping)
        emit syncWanted();
}

// Only the step from a known outage back to full reachability counts: a report that repeats "online", one between
// two degrees of being cut off, or the backend's first answer after start-up brings nothing new to fetch.
void SyncTriggers::reachabilityChanged(QNetworkInformation::Reachability reachability)
{
    using Reachability = QNetworkInformation::Reachability;
    const Reachability before = std::exchange(m_reachability, reachability);
    const bool wasCutOff = before != Reachability::Unknown && before != Reachability::Online;
    if (wasCutOff && reachability == Reachability::Online)
        emit syncWanted();
}

} // namespace tidewell
