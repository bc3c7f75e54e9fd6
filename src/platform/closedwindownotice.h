// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoroTask>
#include <QObject>
#include <QPointer>

namespace tidewell {

class DBusNotificationCentre;
class Preferences;
class TrayHostWatcher;

// Closing the main window leaves Tidewell running. With a status item the user sees that; without a status area
// (stock GNOME) Tidewell would seem to have quit and to have stopped notifying. So the first time the window
// closes while no host is present, one notification says what happened and how to get the window back. Once it
// has been shown it is never shown again, in this run or any later one.
class ClosedWindowNotice : public QObject
{
    Q_OBJECT
public:
    struct Texts
    {
        static QString summary();
        static QString body();
    };

    ClosedWindowNotice(const TrayHostWatcher& host, DBusNotificationCentre& centre, Preferences& preferences,
        QObject* parent = nullptr);

    bool wasShown() const;
    // A notice is on its way to the notification server.
    bool isShowing() const { return m_showing; }

public slots:
    // The main window has just closed.
    void windowClosed();

protected:
    // Quitting closes every window first; those closes are not the user leaving Tidewell running.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static QCoro::Task<> show(QPointer<ClosedWindowNotice> self, QPointer<DBusNotificationCentre> centre);

    const TrayHostWatcher& m_host;
    DBusNotificationCentre& m_centre;
    Preferences& m_preferences; // ClosedWindowNoticeShown: set once the notice was shown
    // A notice on its way: a second close meanwhile must not raise another.
    bool m_showing = false;
    bool m_quitting = false;
};

} // namespace tidewell
