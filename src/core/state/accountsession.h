#pragma once

#include "account/deviceconfig.h"
#include "api/apiclientprotocol.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

namespace tidewell {

class CacheContext;
class CredentialStore;
class SyncEngine;
class SyncScheduler;

// The linked account: its stored credential, the engine that syncs it, and the stop source its operations watch.
// Linking another account or unlinking wipes what the old one cached and stops what it still waits for; an
// operation of an account that is gone changes nothing when it resumes.
//
// The stored credential and the installed one never differ: everything from a save to the install runs without a
// suspension, so of two overlapping links the one saved last is also the one installed.
class AccountSession : public QObject
{
    Q_OBJECT
public:
    using MakeClient = std::function<std::shared_ptr<APIClientProtocol>(const DeviceConfig&)>;

    // `credentials` may be null (nothing is stored or loaded); `scheduler` runs the account's passes and is joined
    // before the cache is wiped.
    AccountSession(std::shared_ptr<CacheContext> cache, CredentialStore* credentials, MakeClient makeClient,
        SyncScheduler& scheduler, QObject* parent = nullptr);
    ~AccountSession() override;

    // Installs the stored credential, if there is one.
    void load();

    const std::optional<DeviceConfig>& config() const { return m_config; }
    // The engine of the installed account; operations that may outlive it hold their own copy.
    const std::shared_ptr<SyncEngine>& engine() const { return m_engine; }
    // A new client for the installed account; none when unlinked.
    std::shared_ptr<APIClientProtocol> newClient() const;
    // Stopped when the installed account goes (another is linked, it is unlinked, or the session ends).
    std::stop_token accountToken() const { return m_accountStop.get_token(); }

    // Saves and installs `config`; false when the credential could not be saved (nothing changes then).
    QCoro::Task<bool> configure(DeviceConfig config);
    // Revokes this device on the server (whatever it answers), then wipes the cache and forgets the credential.
    // Ends early, changing nothing, when another account is linked while it waits.
    QCoro::Task<> unlink();
    // Deletes every cached message and application; each kind is its own unit of work.
    void wipeLocalCache();
    // Stops every operation of the installed account; it stays installed.
    void stopOperations();

signals:
    void configChanged();
    // Another account, or none, replaces the one that was installed: what the old one showed must go. Emitted after
    // the cache is wiped.
    void accountReset();
    // A configuration has been saved and installed.
    void linked();

private:
    static QCoro::Task<bool> configureTask(QPointer<AccountSession> self, DeviceConfig config);
    static QCoro::Task<> unlinkTask(QPointer<AccountSession> self);
    void install(std::optional<DeviceConfig> config);

    std::shared_ptr<CacheContext> m_cache;
    CredentialStore* m_credentials;
    MakeClient m_makeClient;
    SyncScheduler& m_scheduler;
    std::optional<DeviceConfig> m_config;
    std::shared_ptr<SyncEngine> m_engine;
    std::stop_source m_accountStop;
};

} // namespace tidewell
