// SPDX-License-Identifier: GPL-3.0-or-later
#include "loaddriver.h"

#include "cache/store.h"
#include "coro.h"

using namespace tidewell;

const DeviceConfig LoadDriver::account { QUrl(QStringLiteral("https://push.example.com")), QStringLiteral("secret") };

LoadDriver::LoadDriver(std::shared_ptr<APIClientProtocol> client, std::chrono::milliseconds tapSelectionLifetime)
    : m_preferences(m_folder.filePath(QStringLiteral("preferences.conf")))
{
    if (!QCoro::waitFor(account.save(m_credentials)))
        qFatal("LoadDriver: the in-memory credential store refused the account");
    m_handler.setCentre(&m_centre);
    AppState::Services services;
    services.credentials = &m_credentials;
    services.preferences = &m_preferences;
    services.notifications = &m_handler;
    services.openCache = [](bool) { return Store::openCache(true); };
    services.makeClient = [client](const DeviceConfig&) { return client; };
    services.tapSelectionLifetime = tapSelectionLifetime;
    m_state = std::make_unique<AppState>(false, services);
    m_state->configureNotifications({});
}

LoadDriver::~LoadDriver() = default;

void LoadDriver::request(Source source, qint64 messageId, qint64 applicationId)
{
    switch (source) {
    case Source::Timer:
        m_state->startSync();
        break;
    case Source::UserAction:
        ++m_awaited;
        userSync(m_state.get(), &m_returned);
        break;
    case Source::Activation:
        ++m_awaited;
        activation(m_state.get(), &m_returned);
        break;
    case Source::Foreground:
        emit m_centre.willPresent();
        break;
    case Source::Click:
        emit m_centre.didReceiveResponse(
            QVariantMap { { QStringLiteral("mid"), messageId }, { QStringLiteral("aid"), applicationId } });
        break;
    }
}

QCoro::Task<> LoadDriver::userSync(AppState* state, int* returned)
{
    co_await state->sync();
    ++*returned;
}

// What the application delegate does when the program becomes active.
QCoro::Task<> LoadDriver::activation(AppState* state, int* returned)
{
    co_await state->sync();
    co_await state->markReadOnActive();
    ++*returned;
}

void LoadDriver::clickThenSync(qint64 messageId, qint64 applicationId)
{
    request(Source::Click, messageId, applicationId);
    await(m_state->sync());
}
