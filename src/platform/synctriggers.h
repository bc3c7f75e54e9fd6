// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QNetworkInformation>
#include <QObject>

namespace tidewell {

// The moments when what is cached is most likely stale although the periodic sync has not come round: the system
// has just woken from sleep, or the network has come back after an outage. Each such moment emits syncWanted
// once; the state collapses requests that meet a running pass as usual.
//
// Waking is logind's PrepareForSleep(false) on the system bus; the network is Qt's reachability information.
// Either may be missing (no logind, no reachability backend): then that trigger simply never fires.
class SyncTriggers : public QObject
{
    Q_OBJECT
public:
    // `bus` is where logind is asked for; tests hand in a private session bus with a stand-in.
    explicit SyncTriggers(QDBusConnection bus = QDBusConnection::systemBus(), QObject* parent = nullptr);

    // Follows the reachability reports of the loaded backend, if one loads.
    void watchNetwork();

signals:
    void syncWanted();

public slots:
    // The logind signal: true before sleeping, false after waking.
    void prepareForSleep(bool sleeping);
    void reachabilityChanged(QNetworkInformation::Reachability reachability);

private:
    QNetworkInformation::Reachability m_reachability = QNetworkInformation::Reachability::Unknown;
};

} // namespace tidewell
