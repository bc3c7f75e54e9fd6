// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/trayhostwatcher.h"

#include "base/logging.h"

#include <QCoroDBus>
#include <QDBusMessage>
#include <QDBusReply>

namespace tidewell {

TrayHostWatcher::TrayHostWatcher(QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    , m_service(QString::fromLatin1(serviceName), m_bus, QDBusServiceWatcher::WatchForOwnerChange)
{
    connect(&m_service, &QDBusServiceWatcher::serviceOwnerChanged, this, &TrayHostWatcher::onOwnerChanged);
    // Matched by interface and path from any sender, so that a watcher that restarts under a new unique name is
    // heard without subscribing again.
    for (const char* signal : { "StatusNotifierHostRegistered", "StatusNotifierHostUnregistered" }) {
        m_bus.connect(QString(), QString::fromLatin1(objectPath), QString::fromLatin1(interfaceName),
            QString::fromLatin1(signal), this, SLOT(recheck()));
    }
    recheck();
}

void TrayHostWatcher::recheck()
{
    ask(this, m_bus, ++m_question);
}

// A watcher that leaves takes its hosts with it; one that arrives, or takes over the name, is asked.
void TrayHostWatcher::onOwnerChanged(const QString&, const QString&, const QString& newOwner)
{
    if (!newOwner.isEmpty()) {
        recheck();
        return;
    }
    ++m_question; // an answer still on its way describes the watcher that just left
    setHostPresent(false);
}

QCoro::Task<> TrayHostWatcher::ask(QPointer<TrayHostWatcher> self, QDBusConnection bus, quint64 question)
{
    QDBusMessage get = QDBusMessage::createMethodCall(QString::fromLatin1(serviceName), QString::fromLatin1(objectPath),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QString::fromLatin1(interfaceName) << QStringLiteral("IsStatusNotifierHostRegistered");
    // Not started on demand: a watcher that only starts when called would report no host anyway.
    get.setAutoStartService(false);
    const QDBusReply<QVariant> reply = co_await bus.asyncCall(get);
    if (!self || self->m_question != question)
        co_return;
    if (!reply.isValid()) {
        const QDBusError::ErrorType type = reply.error().type();
        if (type != QDBusError::ServiceUnknown)
            qCInfo(lcPlatform) << "status area host not known:" << reply.error().message();
        self->setHostPresent(false);
        co_return;
    }
    self->setHostPresent(reply.value().toBool());
}

void TrayHostWatcher::setHostPresent(bool present)
{
    if (present == m_hostPresent)
        return;
    m_hostPresent = present;
    emit hostPresentChanged(present);
}

} // namespace tidewell
