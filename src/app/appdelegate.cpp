// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/appdelegate.h"

#include "cache/store.h"
#include "notify/notificationhandler.h"
#include "notify/taprouting.h"
#include "platform/privatefiles.h"
#include "state/checkinterval.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QTextStream>

namespace tidewell {

namespace {
QString configFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
}
} // namespace

// This system has no remote-push service of its own to name.
QString AppDelegate::Texts::pushRegistrationFailed(const QString& reason)
{
#ifdef Q_OS_MACOS
    return QStringLiteral("APNs registration failed: ") + reason;
#else
    return QStringLiteral("Remote-push registration failed: ") + reason;
#endif
}

AppDelegate::AppDelegate(const QString& profile, QObject* parent)
    : QObject(parent)
    , m_credentials(configFolder(), profile)
    , m_preferences(configFolder() + QStringLiteral("/preferences.conf"))
{
    // Before anything is written: the messages, the preferences and the fallback credential are the user's alone.
    PrivateFiles::makeAll({ configFolder(), QFileInfo(Store::defaultPath()).path() }, { m_preferences.fileName() });
    AppState::Services services;
    services.network = &m_network;
    services.credentials = &m_credentials;
    services.preferences = &m_preferences;
    services.badge = &m_badge;
    m_state = std::make_unique<AppState>(false, services);
    NotificationHandler::shared().setCentre(&m_notifications);
    m_alerts = std::make_unique<NewMessageAlerts>(
        m_state->sharedCache(), [centre = &m_notifications](const MessageAlert& alert) {
            centre->post(alert); // runs on; a notification that cannot be shown is not an error
        });
    connect(m_state.get(), &AppState::newMessagesSynced, m_alerts.get(), &NewMessageAlerts::announce);

    connect(&m_pushRegistrar, &PushRegistrar::registered, this,
        [this](const QByteArray& token) { uploadToken(QPointer<AppState>(m_state.get()), token); });
    // Every link and every permission grant asks again; where registration cannot succeed, saying so once is enough.
    connect(&m_pushRegistrar, &PushRegistrar::failedToRegister, this, [this](const QString& reason) {
        if (!std::exchange(m_reportedPushFailure, true))
            QTextStream(stdout) << Texts::pushRegistrationFailed(reason) << Qt::endl;
    });
    connect(&m_syncTriggers, &SyncTriggers::syncWanted, this, [this] { m_state->startSync(); });
}

void AppDelegate::launch()
{
    m_state->configureNotifications([registrar = &m_pushRegistrar] { registrar->registerForRemoteNotifications(); });
    // A click also brings the window forward, once the state has selected the message.
    connect(&m_state->tapRouting(), &TapRouting::routed, this, &AppDelegate::activationRequested);
    m_pollTimer.setInterval(CheckInterval::load(m_preferences));
    connect(&m_pollTimer, &QTimer::timeout, this, [this] { m_state->startSync(); });
    m_pollTimer.start();
    // A new interval counts from the moment it is chosen, wherever it was chosen.
    connect(&m_preferences, &Preferences::changed, this, [this](Preferences::Key key) {
        if (key == Preferences::Key::CheckInterval)
            m_pollTimer.start(CheckInterval::load(m_preferences));
    });
    m_syncTriggers.watchNetwork();
    // The stored credential arrives after the window has shown (a keyring may ask the user first): the sync and
    // the read position that coming to the front would have sent happen now. A start at login only syncs.
    connect(m_state.get(), &AppState::credentialLoaded, this, [this] {
        if (!m_state->isConfigured())
            return;
        if (QGuiApplication::applicationState() == Qt::ApplicationActive)
            becameActive();
        else
            m_state->startSync();
    });
}

void AppDelegate::becameActive()
{
    syncThenMarkRead(QPointer<AppState>(m_state.get()));
}

QCoro::Task<> AppDelegate::syncThenMarkRead(QPointer<AppState> state)
{
    if (!state)
        co_return;
    co_await state->sync();
    if (state)
        co_await state->markReadOnActive();
}

void AppDelegate::quit()
{
    if (std::exchange(m_quitting, true))
        return;
    // A cache that cannot be closed in time is still left whole by SQLite; the program does not wait for ever.
    QTimer::singleShot(shutDownLimit, qApp, &QCoreApplication::quit);
    shutDownThenQuit(QPointer<AppState>(m_state.get()));
}

QCoro::Task<> AppDelegate::shutDownThenQuit(QPointer<AppState> state)
{
    if (state)
        co_await state->shutDown();
    QCoreApplication::quit();
}

QCoro::Task<> AppDelegate::uploadToken(QPointer<AppState> state, QByteArray token)
{
    if (state)
        co_await state->uploadPushToken(std::move(token));
}

} // namespace tidewell
