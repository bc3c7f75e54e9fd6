// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <memory>

namespace tidewell {

class AppState;
class StatusItem;

// Keeps Tidewell's status item exactly while the desktop has a status area to show it in: made when a host
// appears, at start or at any time later, and taken away when the host leaves, so that a panel which restarts
// gets a fresh item. Tidewell never asks Qt about a status area before a host is known, because Qt decides once
// per process whether it can use one and would otherwise never show the item.
class StatusItemPresence : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool shown READ isShown NOTIFY shownChanged)
public:
    explicit StatusItemPresence(AppState& state, QObject* parent = nullptr);
    ~StatusItemPresence() override;

    // The item while a host is present; null otherwise.
    StatusItem* statusItem() const { return m_item.get(); }
    bool isShown() const { return m_item != nullptr; }

public slots:
    void setHostPresent(bool present);

signals:
    void shownChanged(bool shown);
    void openRequested();
    void quitRequested();

private:
    AppState& m_state;
    std::unique_ptr<StatusItem> m_item;
};

} // namespace tidewell
