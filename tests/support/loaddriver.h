// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fakenotificationcentre.h"
#include "memorycredentialstore.h"

#include "notify/notificationhandler.h"
#include "state/appstate.h"

#include <QSettings>
#include <QTemporaryDir>
#include <chrono>
#include <memory>

// A linked AppState driven the way the running program drives it, shared by the load test and the load
// benchmark so that both exercise the same thing. Sync requests come from the same places as in the program:
// the periodic timer and the sync command (startSync), a sync the user waits for, the application becoming
// active (sync, then mark read), and the notification centre — a notification arriving while in front, and a
// click on one — whose events travel through a NotificationHandler to the state.
class LoadDriver
{
public:
    enum class Source
    {
        Timer,
        UserAction,
        Activation,
        Foreground,
        Click
    };
    static constexpr int sourceCount = 5;

    static const tidewell::DeviceConfig account;

    // `client` serves the account; a click's selection lasts `tapSelectionLifetime`.
    LoadDriver(std::shared_ptr<tidewell::APIClientProtocol> client, std::chrono::milliseconds tapSelectionLifetime);
    ~LoadDriver();

    tidewell::AppState& state() { return *m_state; }

    // One request from `source`; a click names message `messageId` of application `applicationId`.
    void request(Source source, qint64 messageId = 1, qint64 applicationId = 1);
    // Requests whose caller waits for their sync (the user's, activation), and how many of those have returned.
    int awaitedRequests() const { return m_awaited; }
    int returnedRequests() const { return m_returned; }

    // A click on the notification for `messageId`, then a sync the caller waits for, run to its end.
    void clickThenSync(qint64 messageId, qint64 applicationId = 1);

private:
    static QCoro::Task<> userSync(tidewell::AppState* state, int* returned);
    static QCoro::Task<> activation(tidewell::AppState* state, int* returned);

    QTemporaryDir m_folder;
    tidewell::Preferences m_preferences;
    MemoryCredentialStore m_credentials;
    FakeNotificationCentre m_centre;
    tidewell::NotificationHandler m_handler;
    std::unique_ptr<tidewell::AppState> m_state;
    int m_awaited = 0;
    int m_returned = 0;
};
