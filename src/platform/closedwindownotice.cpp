// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/closedwindownotice.h"

#include "base/logging.h"
#include "notify/messagealert.h"
#include "platform/dbusnotificationcentre.h"
#include "platform/trayhostwatcher.h"
#include "state/preferences.h"

#include <QCoreApplication>
#include <QEvent>

namespace tidewell {

ClosedWindowNotice::ClosedWindowNotice(
    const TrayHostWatcher& host, DBusNotificationCentre& centre, Preferences& preferences, QObject* parent)
    : QObject(parent)
    , m_host(host)
    , m_centre(centre)
    , m_preferences(preferences)
{
    if (QCoreApplication* application = QCoreApplication::instance())
        application->installEventFilter(this);
}

QString ClosedWindowNotice::Texts::summary()
{
    return QCoreApplication::translate("ClosedWindowNotice", "Tidewell is still running");
}

QString ClosedWindowNotice::Texts::body()
{
    return QCoreApplication::translate("ClosedWindowNotice",
        "Tidewell keeps running to notify you of new messages. Launch Tidewell again to open its window.");
}

bool ClosedWindowNotice::wasShown() const
{
    return m_preferences.value(Preferences::Key::ClosedWindowNoticeShown).toBool();
}

bool ClosedWindowNotice::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Quit && watched == QCoreApplication::instance())
        m_quitting = true;
    return false;
}

void ClosedWindowNotice::windowClosed()
{
    if (m_quitting || m_host.hostPresent() || m_showing || wasShown())
        return;
    m_showing = true;
    show(this, &m_centre);
}

QCoro::Task<> ClosedWindowNotice::show(QPointer<ClosedWindowNotice> self, QPointer<DBusNotificationCentre> centre)
{
    MessageAlert alert;
    alert.summary = Texts::summary();
    alert.body = Texts::body();
    alert.urgency = MessageAlert::Urgency::Low;
    // Without ids a click on it only brings the window back, which is what the user may want next.
    const std::optional<quint32> id = co_await centre->post(std::move(alert));
    if (!self)
        co_return;
    self->m_showing = false;
    // Nothing was said when no server took it: the next close tries again.
    if (!id) {
        qCInfo(lcPlatform) << "the notice that Tidewell keeps running was not shown: no notification server";
        co_return;
    }
    self->m_preferences.setValue(Preferences::Key::ClosedWindowNoticeShown, true);
}

} // namespace tidewell
