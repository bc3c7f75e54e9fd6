// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/application.h"

#include "platform/dbusnotificationcentre.h"
#include "platform/notificationsettings.h"
#include "platform/singleinstance.h"

#include <QApplication>
#include <QGuiApplication>
#include <QUrl>

namespace tidewell {

Application::Application(const QString& profile, SingleInstance& instance, QObject* parent)
    : QObject(parent)
    , m_delegate(profile)
    , m_window(m_delegate.state())
    , m_statusItem(m_delegate.state())
    , m_closedNotice(m_trayHost, m_delegate.notifications(), m_delegate.preferences())
{
    AppState& state = m_delegate.state();
    if (profile.isEmpty())
        m_autostart.emplace();
    // The demo's profile may point linking and the dashboard at its own server; only a profile may.
    const QString demoServer = qEnvironmentVariable("TIDEWELL_DEFAULT_URL");
    SettingsWindow::Services services;
    services.serverURL = !profile.isEmpty() && !demoServer.isEmpty() ? QUrl(demoServer) : tidewellDefaultURL();
    services.registerForRemoteNotifications
        = [registrar = &m_delegate.pushRegistrar()] { registrar->registerForRemoteNotifications(); };
    services.openNotificationSettings = [] { return NotificationSettings::open(); };
    services.pushServiceAvailable = m_delegate.pushRegistrar().hasPushService();
    services.loginItem = m_autostart ? &*m_autostart : nullptr;
    services.preferences = &m_delegate.preferences();
    services.shortVersion = QStringLiteral(TIDEWELL_VERSION);
    services.buildVersion = QStringLiteral(TIDEWELL_BUILD_ID); // the version itself when there is no other
    m_settings = std::make_unique<SettingsWindow>(state, services);
    m_settings->addActions(m_window.applicationActions()); // Ctrl+Shift+U and the others work there too
    connect(&m_window, &MainWindow::settingsRequested, m_settings.get(), &SettingsWindow::showAndRaise);
    connect(&m_window, &MainWindow::quitRequested, &m_delegate, &AppDelegate::quit);

    // A notification click and a second launch bring the window forward with the token the desktop gave them.
    connect(&m_delegate.notifications(), &DBusNotificationCentre::activationTokenReceived, &m_activation,
        &WindowActivation::setToken);
    connect(&m_delegate, &AppDelegate::activationRequested, this, &Application::bringToFront);
    connect(
        &instance, &SingleInstance::argumentsReceived, this, [this](const QStringList& received, const QString& token) {
            m_activation.setToken(token);
            bringToFront();
            if (!received.isEmpty())
                m_delegate.state().handleIncomingURL(QUrl(received.first()));
        });

    // The status item follows the desktop's status area, which may be missing, come late or restart; without one
    // the window (and a second launch) is the way back in, and closing it says so once.
    connect(&m_trayHost, &TrayHostWatcher::hostPresentChanged, &m_statusItem, &StatusItemPresence::setHostPresent);
    connect(&m_statusItem, &StatusItemPresence::openRequested, &m_window, &MainWindow::showAndRaise);
    connect(&m_statusItem, &StatusItemPresence::quitRequested, &m_delegate, &AppDelegate::quit);
    connect(&m_statusItem, &StatusItemPresence::shownChanged, m_settings.get(), &SettingsWindow::setStatusIconShown);
    connect(&m_window, &MainWindow::closed, &m_closedNotice, &ClosedWindowNotice::windowClosed);
}

Application::~Application() = default;

void Application::bringToFront()
{
    m_window.showAndRaise();
    m_activation.activate(m_window.windowHandle());
}

void Application::start(const QStringList& arguments, bool background, const QString& launchToken)
{
    if (!arguments.isEmpty())
        m_delegate.state().handleIncomingURL(QUrl(arguments.first()));
    m_delegate.launch();
    // Coming back to Tidewell syncs and marks what is cached read.
    connect(qApp, &QGuiApplication::applicationStateChanged, &m_delegate, [this](Qt::ApplicationState now) {
        if (now == Qt::ApplicationActive)
            m_delegate.becameActive();
    });
    if (background)
        return; // a start at login syncs first when the stored credential has arrived (AppDelegate::launch)
    m_window.show();
    if (!launchToken.isEmpty()) {
        m_activation.setToken(launchToken);
        m_activation.activate(m_window.windowHandle());
    }
}

} // namespace tidewell
