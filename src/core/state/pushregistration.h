// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "api/apiclientprotocol.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <memory>
#include <stop_token>

namespace tidewell {

class Preferences;

// Whether the server holds this device's push token, and the upload that makes it so. Remembered in the
// preferences; linking another account, or none, starts unregistered.
class PushRegistration : public QObject
{
    Q_OBJECT
public:
    struct Texts
    {
        static QString uploadFailed();
    };

    explicit PushRegistration(Preferences* preferences, QObject* parent = nullptr);

    bool isRegistered() const { return m_registered; }
    void load();
    void markRegistered();
    void reset();

    // Sends `token` (as lowercase hex) through `client`; registered once the server has taken it. A failure is
    // logged, never retried here; stopping `account` (the account went) is no failure and changes nothing.
    static QCoro::Task<> upload(QPointer<PushRegistration> self, std::shared_ptr<APIClientProtocol> client,
        QByteArray token, std::stop_token account);

signals:
    void registeredChanged();

private:
    void setRegistered(bool registered);

    Preferences* m_preferences;
    bool m_registered = false;
};

} // namespace tidewell
