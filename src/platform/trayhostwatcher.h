// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoroTask>
#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QPointer>

namespace tidewell {

// Whether the desktop has a status area that shows items sent over the bus (a StatusNotifierItem host), followed
// for the whole run: stock GNOME has none, panels start after applications at login, and they restart.
//
// A host is present when the watcher service is on the bus and says a host registered with it; a watcher on its
// own shows nothing. That is also the test Qt makes before it puts a tray icon on the bus, and Qt makes it only
// once per process: whoever creates a tray icon should wait until hostPresent is true, or the icon never shows.
class TrayHostWatcher : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool hostPresent READ hostPresent NOTIFY hostPresentChanged)
public:
    static constexpr auto serviceName = "org.kde.StatusNotifierWatcher";
    static constexpr auto objectPath = "/StatusNotifierWatcher";
    static constexpr auto interfaceName = "org.kde.StatusNotifierWatcher";

    // Starts asking at once; hostPresent is false until the first answer.
    explicit TrayHostWatcher(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);

    bool hostPresent() const { return m_hostPresent; }

signals:
    void hostPresentChanged(bool present);

private Q_SLOTS:
    void recheck();
    void onOwnerChanged(const QString& service, const QString& oldOwner, const QString& newOwner);

private:
    static QCoro::Task<> ask(QPointer<TrayHostWatcher> self, QDBusConnection bus, quint64 question);
    void setHostPresent(bool present);

    QDBusConnection m_bus;
    QDBusServiceWatcher m_service;
    bool m_hostPresent = false;
    // Only the answer to the latest question counts: an older one may describe a watcher that has since left.
    quint64 m_question = 0;
};

} // namespace tidewell
