#include "launcherbadge.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

namespace tidewell {

LauncherBadge::LauncherBadge(QString desktopFile)
    : m_appUri(QStringLiteral("application://") + desktopFile)
{ }

void LauncherBadge::setCount(qint64 count)
{
    QDBusMessage update = QDBusMessage::createSignal(QStringLiteral("/com/canonical/unity/launcherentry/tidewell"),
        QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
    const QVariantMap properties {
        { QStringLiteral("count"), count > 0 ? count : 0 },
        { QStringLiteral("count-visible"), count > 0 },
    };
    update << m_appUri << properties;
    QDBusConnection::sessionBus().send(update);
}

} // namespace tidewell
