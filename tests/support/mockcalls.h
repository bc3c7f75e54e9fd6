// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QVariantList>
#include <optional>

// The arguments of every call to `method` that a python3-dbusmock object on the session bus has logged, oldest
// first; none when the bus has no such mock.
inline std::optional<QList<QVariantList>> mockedCalls(
    const QString& service, const QString& path, const QString& method)
{
    QDBusMessage query = QDBusMessage::createMethodCall(
        service, path, QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("GetMethodCalls"));
    query << method;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(query);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    QList<QVariantList> calls;
    const QDBusArgument log = reply.arguments().constFirst().value<QDBusArgument>();
    log.beginArray();
    while (!log.atEnd()) {
        qulonglong time = 0;
        QVariantList args;
        log.beginStructure();
        log >> time >> args;
        log.endStructure();
        calls.append(args);
    }
    log.endArray();
    return calls;
}
