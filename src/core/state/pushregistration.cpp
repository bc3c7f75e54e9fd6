// SPDX-License-Identifier: GPL-3.0-or-later
#include "state/pushregistration.h"

#include "base/error.h"
#include "base/logging.h"

#include "state/preferences.h"

namespace tidewell {

QString PushRegistration::Texts::uploadFailed()
{
    return QStringLiteral("push-token upload failed: ");
}

PushRegistration::PushRegistration(Preferences* preferences, QObject* parent)
    : QObject(parent)
    , m_preferences(preferences)
{ }

void PushRegistration::load()
{
    m_registered = m_preferences->value(Preferences::Key::PushRegistered).toBool();
}

void PushRegistration::setRegistered(bool registered)
{
    if (m_registered != registered) {
        m_registered = registered;
        emit registeredChanged();
    }
    m_preferences->setValue(Preferences::Key::PushRegistered, registered);
}

void PushRegistration::markRegistered()
{
    setRegistered(true);
}

void PushRegistration::reset()
{
    setRegistered(false);
}

QCoro::Task<> PushRegistration::upload(QPointer<PushRegistration> self, std::shared_ptr<APIClientProtocol> client,
    QByteArray token, std::stop_token account)
{
    const QString text = QString::fromLatin1(token.toHex());
    if (!self || !client)
        co_return;
    try {
        co_await client->registerPushToken(text, account);
    } catch (const Error& error) {
        if (!account.stop_requested()) // stopped because the account went: nothing failed
            qCWarning(lcNet).noquote() << Texts::uploadFailed() + error.description();
        co_return;
    }
    if (self && !account.stop_requested())
        self->markRegistered();
}

} // namespace tidewell
