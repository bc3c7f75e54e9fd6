// SPDX-License-Identifier: GPL-3.0-or-later
#include "notify/notificationhandler.h"

#include "base/error.h"
#include "base/logging.h"

#include <cmath>
#include <limits>

namespace tidewell {

NotificationHandler& NotificationHandler::shared()
{
    static NotificationHandler instance;
    return instance;
}

void NotificationHandler::setCentre(NotificationCentre* centre)
{
    if (m_centre)
        disconnect(m_centre, nullptr, this, nullptr);
    m_centre = centre;
    if (!centre)
        return;
    connect(centre, &NotificationCentre::willPresent, this, [this] { willPresent(); });
    connect(centre, &NotificationCentre::didReceiveResponse, this, &NotificationHandler::didReceive);
}

QCoro::Task<bool> NotificationHandler::requestAuthorization()
{
    const QPointer<NotificationCentre> centre = m_centre;
    if (!centre)
        co_return false;
    try {
        co_return co_await centre->requestAuthorization();
    } catch (const Error& error) {
        qCWarning(lcNotify) << "notification permission not asked:" << error.description();
        co_return false;
    }
}

QCoro::Task<NotificationCentre::AuthorizationStatus> NotificationHandler::authorizationStatus()
{
    const QPointer<NotificationCentre> centre = m_centre;
    if (!centre)
        co_return NotificationCentre::AuthorizationStatus::NotDetermined;
    try {
        co_return co_await centre->authorizationStatus();
    } catch (const Error& error) {
        qCWarning(lcNotify) << "notification permission unknown:" << error.description();
        co_return NotificationCentre::AuthorizationStatus::NotDetermined;
    }
}

std::optional<qint64> NotificationHandler::intValue(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Long:
        return value.toLongLong();
    case QMetaType::ULongLong:
    case QMetaType::ULong: {
        const qulonglong number = value.toULongLong();
        if (number > qulonglong(std::numeric_limits<qint64>::max()))
            return std::nullopt;
        return qint64(number);
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        const double number = std::trunc(value.toDouble());
        if (!std::isfinite(number) || number < -9223372036854775808.0 || number >= 9223372036854775808.0)
            return std::nullopt;
        return qint64(number);
    }
    case QMetaType::QString: {
        // Decimal digits with an optional sign and nothing else: no blanks, no hex, no exponent.
        const QString text = value.toString();
        const qsizetype digitsFrom = text.startsWith(u'+') || text.startsWith(u'-') ? 1 : 0;
        if (text.size() == digitsFrom)
            return std::nullopt;
        for (qsizetype i = digitsFrom; i < text.size(); ++i) {
            if (text[i] < u'0' || text[i] > u'9')
                return std::nullopt;
        }
        bool ok = false;
        const qint64 number = QStringView(text).mid(text.startsWith(u'+') ? 1 : 0).toLongLong(&ok);
        return ok ? std::optional(number) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

int NotificationHandler::willPresent()
{
    emit onForegroundNotification();
    return foregroundPresentation;
}

void NotificationHandler::didReceive(const QVariantMap& userInfo)
{
    const std::optional<qint64> messageId = intValue(userInfo.value(QStringLiteral("mid")));
    const std::optional<qint64> applicationId = intValue(userInfo.value(QStringLiteral("aid")));
    emit onTap(messageId, applicationId);
}

} // namespace tidewell
