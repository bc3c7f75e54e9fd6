// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/launcherbadge.h"

#include "base/logging.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QGuiApplication>
#include <QVariantMap>

namespace tidewell {

LauncherBadge::LauncherBadge(QString desktopFileId)
    : m_desktopFileId(std::move(desktopFileId))
{ }

QString LauncherBadge::appUri() const
{
    const QString id = m_desktopFileId.isEmpty() ? QGuiApplication::desktopFileName() : m_desktopFileId;
    return u"application://"_qs + id + u".desktop"_qs;
}

// Listeners match on the application URI, not the path; the path only has to be valid and Tidewell's own.
QString LauncherBadge::objectPath() const
{
    const QString id = m_desktopFileId.isEmpty() ? QGuiApplication::desktopFileName() : m_desktopFileId;
    QString element;
    for (const QChar c : id)
        element += c.isLetterOrNumber() && c.unicode() < 128 ? c : u'_';
    return u"/com/canonical/unity/launcherentry/"_qs + (element.isEmpty() ? u"tidewell"_qs : element);
}

void LauncherBadge::setCount(qint64 count)
{
    QDBusMessage update
        = QDBusMessage::createSignal(objectPath(), QString::fromLatin1(interface), QString::fromLatin1(signalName));
    const QVariantMap properties {
        { QStringLiteral("count"), count > 0 ? count : qint64(0) },
        { QStringLiteral("count-visible"), count > 0 },
    };
    update << appUri() << properties;
    if (!QDBusConnection::sessionBus().send(update) && !std::exchange(m_warned, true))
        qCWarning(lcPlatform) << "launcher badge not updated: no session bus";
}

} // namespace tidewell
