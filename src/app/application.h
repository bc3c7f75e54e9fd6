// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/appdelegate.h"
#include "platform/closedwindownotice.h"
#include "platform/trayhostwatcher.h"
#include "platform/windowactivation.h"
#include "platform/xdgautostart.h"
#include "ui/mainwindow.h"
#include "ui/settingswindow.h"
#include "ui/statusitempresence.h"

#include <QObject>
#include <QStringList>
#include <memory>
#include <optional>

namespace tidewell {

class SingleInstance;

// The one place that builds the program: the state and the desktop services (through the delegate), the windows,
// the status item and the notice for a desktop without one, and what connects them. Each part is handed what it uses
// here; none of them reaches for another on its own.
class Application : public QObject
{
    Q_OBJECT
public:
    // `profile` keeps a separate link, cache and preferences (the demo uses one); empty for the real ones.
    Application(const QString& profile, SingleInstance& instance, QObject* parent = nullptr);
    ~Application() override;

    AppDelegate& delegate() { return m_delegate; }

    // Takes the link URL of the command line, if any, starts the syncs and, unless started at login
    // (`background`), shows the window with the activation token the launch came with.
    void start(const QStringList& arguments, bool background, const QString& launchToken);

private:
    void bringToFront();

    AppDelegate m_delegate;
    MainWindow m_window;
    // Start at login writes one entry for the real Tidewell; a profile (the demo) must not replace it.
    std::optional<XdgAutostart> m_autostart;
    std::unique_ptr<SettingsWindow> m_settings;
    WindowActivation m_activation;
    TrayHostWatcher m_trayHost;
    StatusItemPresence m_statusItem;
    ClosedWindowNotice m_closedNotice;
};

} // namespace tidewell
