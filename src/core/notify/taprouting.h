// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <optional>

namespace tidewell {

// What a click on a notification sets off. The click is handed on as `tapped` (the state selects the message's
// application and the message, syncs and marks read), then as `routed` (the window comes to the front), in that
// order whoever connected first. The selection a tap makes only brings the message into view; it does not stay:
// `selectionExpired` says when it ends.
class TapRouting : public QObject
{
    Q_OBJECT
public:
    explicit TapRouting(std::chrono::milliseconds selectionLifetime, QObject* parent = nullptr);

    // A notification was clicked: its message and application, each none when the payload lacked it.
    void route(std::optional<qint64> messageId, std::optional<qint64> applicationId);
    // The message a tap has just selected; the latest tap's selection lasts the whole lifetime.
    void holdSelection(qint64 messageId);

signals:
    void tapped(std::optional<qint64> messageId, std::optional<qint64> applicationId);
    void routed();
    // The selection of the tap on `messageId` has lived its time; it ends unless something else was selected.
    void selectionExpired(qint64 messageId);

private:
    // One timer, restarted by every tap, rather than a timer or a sleeping task per tap: a run of taps leaves
    // nothing behind, and an earlier tap on the same message cannot cut the latest one's selection short.
    QTimer m_deselection;
    qint64 m_heldId = 0;
};

} // namespace tidewell
