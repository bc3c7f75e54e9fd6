// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/statusitemcontent.h"

#include <QIcon>
#include <QObject>
#include <memory>

class QMenu;
class QSystemTrayIcon;

namespace tidewell {

class AppState;

// Tidewell's item in the desktop's status area: the bell with the unread count drawn on it, the count in the
// tooltip, a click that brings the main window back, and a small menu built from the count at the moment it
// opens. Where the desktop has no status area the item is simply never seen; Tidewell runs on with its window.
class StatusItem : public QObject
{
    Q_OBJECT
public:
    struct Texts
    {
        // What the item is called to assistive technologies and in lists of status items: the bell is Tidewell.
        static QString accessibleName();
    };

    explicit StatusItem(AppState& state, QObject* parent = nullptr);
    ~StatusItem() override;

    QSystemTrayIcon* trayIcon() const { return m_tray.get(); }
    QMenu* menu() const { return m_menu.get(); }
    // What the item shows now.
    const StatusItemContent& content() const { return m_content; }

    // The bell, with the title's count on it when there is one.
    static QIcon icon(const QString& title);

    void show();

signals:
    void openRequested();
    void quitRequested();

private:
    void update();
    void rebuildMenu();

    AppState& m_state;
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    StatusItemContent m_content;
};

} // namespace tidewell
