// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/notificationssection.h"

#include "notify/notificationhandler.h"
#include "state/appstate.h"
#include "ui/colours.h"
#include "ui/settings/formrows.h"
#include "ui/settings/settingsservices.h"
#include "ui/settings/settingstexts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tidewell {

using Status = NotificationCentre::AuthorizationStatus;
using Texts = SettingsTexts;

NotificationsSection::NotificationsSection(AppState& state, const SettingsServices& services, QWidget* parent)
    : QGroupBox(Texts::notifications(), parent)
    , m_state(state)
    , m_services(services)
{
    setObjectName(QStringLiteral("notificationsSection"));
    FormRows::sectionLayout(this);
    auto* layout = static_cast<QVBoxLayout*>(this->layout());

    m_permission = FormRows::text(QString(), QStringLiteral("permissionValue"), this);
    layout->addWidget(FormRows::labelled(this, QStringLiteral("permissionRow"),
        FormRows::text(Texts::permission(), QStringLiteral("permissionLabel"), this), m_permission));

    m_openSystemSettings = new QPushButton(Texts::openSystemSettings(), this);
    m_openSystemSettings->setObjectName(QStringLiteral("openSystemSettingsButton"));
    connect(m_openSystemSettings, &QPushButton::clicked, this, [this] {
        if (m_services.openNotificationSettings)
            m_services.openNotificationSettings(); // when nothing opens there is nothing more to do
    });
    m_turnOn = new QPushButton(Texts::turnOnNotifications(), this);
    m_turnOn->setObjectName(QStringLiteral("turnOnNotificationsButton"));
    connect(m_turnOn, &QPushButton::clicked, this,
        [this] { request(QPointer<NotificationsSection>(this), m_services.notifications); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_openSystemSettings);
    buttons->addWidget(m_turnOn);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    m_push = FormRows::secondary(FormRows::text(QString(), QStringLiteral("pushRegistrationValue"), this));
    layout->addWidget(FormRows::labelled(this, QStringLiteral("pushRegistrationRow"),
        FormRows::text(Texts::pushRegistration(), QStringLiteral("pushRegistrationLabel"), this), m_push));

    connect(&state, &AppState::pushRegisteredChanged, this, &NotificationsSection::refresh);
    refresh();
    setStatus(m_status);
}

void NotificationsSection::readStatus()
{
    read(QPointer<NotificationsSection>(this), m_services.notifications);
}

void NotificationsSection::refresh()
{
    if (m_state.pushRegistered()) {
        m_push->setText(Texts::registered());
        m_push->setToolTip(QString());
    } else if (!m_services.pushServiceAvailable) {
        m_push->setText(Texts::notAvailable());
        m_push->setToolTip(Texts::notAvailableHint());
    } else {
        m_push->setText(Texts::pending());
        m_push->setToolTip(QString());
    }
}

void NotificationsSection::setStatus(Status status)
{
    m_status = status;
    m_permission->setText(Texts::permissionStatus(status));
    m_permission->setToolTip(Texts::permissionHint(status));
    if (status == Status::Authorized) {
        m_permission->setForegroundRole(QPalette::WindowText);
        FormRows::tint(m_permission, Colours::positive());
    } else {
        m_permission->setPalette(QPalette());
        FormRows::secondary(m_permission);
    }
    m_openSystemSettings->setVisible(status == Status::Denied);
    m_turnOn->setVisible(status == Status::NotDetermined);
}

QCoro::Task<> NotificationsSection::read(QPointer<NotificationsSection> self, NotificationHandler* handler)
{
    const Status status = co_await handler->authorizationStatus();
    if (!self)
        co_return;
    self->setStatus(status);
    emit self->statusRead();
}

QCoro::Task<> NotificationsSection::request(QPointer<NotificationsSection> self, NotificationHandler* handler)
{
    co_await handler->requestAuthorization(); // the answer is read back as the status below
    const Status status = co_await handler->authorizationStatus();
    if (!self)
        co_return;
    self->setStatus(status);
    emit self->statusRead();
    if (status == Status::Authorized && self->m_services.registerForRemoteNotifications)
        self->m_services.registerForRemoteNotifications();
}

} // namespace tidewell
