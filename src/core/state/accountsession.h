// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "account/deviceconfig.h"
#include "api/apiclientprotocol.h"
#include "state/turnqueue.h"
#include "sync/syncscheduler.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

namespace tidewell {

class Preferences;

class CacheContext;
class CredentialStore;
class SyncEngine;

// How long the credential store may take.
struct CredentialBounds
{
    // After this the start-up read is said to be waiting; it goes on waiting.
    std::chrono::milliseconds read { std::chrono::seconds(10) };
    // After this a save or a removal counts as failed.
    std::chrono::milliseconds write { std::chrono::seconds(60) };
};

// The linked account: its stored credential, the engine that syncs it, and the stop source its operations watch.
// Linking another account or unlinking wipes what the old one cached and stops what it still waits for; an
// operation of an account that is gone changes nothing when it resumes.
//
// The credential store may take any time to answer (a keyring asking the user to unlock it), or never answer. Its
// reads and writes take turns, and each installs what it stored before the next begins, so that the stored
// credential and the installed one agree whenever no operation is under way: of two overlapping links the one
// saved last is also the one installed. An operation that outlasts its bound gives up its turn; if the store
// answers after all, what it did is installed when nothing else was meanwhile, and otherwise the installed
// credential is written again.
//
// An unlink holds across a restart even when the store keeps the item: the preferences remember a digest of the
// credential unlinked (never the secret), the next start installs no credential with that digest, and tries the
// removal again.
class AccountSession : public QObject
{
    Q_OBJECT
public:
    using MakeClient = std::function<std::shared_ptr<APIClientProtocol>(const DeviceConfig&)>;

    enum class CredentialState
    {
        Loading, // the start-up read is under way
        NotAnswering, // the start-up read has outlasted its bound and is still waiting
        Unreadable, // the store could not be read; nothing is installed
        Settled, // the start-up read has finished (found or not)
    };

    // `credentials` may be null (nothing is stored or loaded); `scheduler` runs the account's passes and is held
    // while the account is replaced or wiped; `preferences` (may be null) remembers an unlinked credential the store
    // kept.
    AccountSession(std::shared_ptr<CacheContext> cache, CredentialStore* credentials, MakeClient makeClient,
        SyncScheduler& scheduler, Preferences* preferences = nullptr, CredentialBounds bounds = {},
        QObject* parent = nullptr);
    ~AccountSession() override;

    // Starts reading the stored credential and installs it when it arrives; `credentialLoaded` tells when.
    void load();
    CredentialState credentialState() const { return m_credentialState; }
    // The last unlink of this run revoked the device, but the store kept its credential.
    bool keptAfterUnlink() const { return m_keptAfterUnlink; }

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
    // Deletes every cached message and application; each kind is its own unit of work. Only under a hold of the
    // syncs, taken before the wait for the cache's writes: a pass would otherwise write the old data back.
    void wipeLocalCache(const SyncScheduler::Hold& hold);
    // Stops every operation of the installed account; it stays installed.
    void stopOperations();

signals:
    void configChanged();
    void credentialStateChanged();
    void keptAfterUnlinkChanged();
    // The start-up read has finished, whatever it found.
    void credentialLoaded();
    // Another account, or none, replaces the one that was installed: what the old one showed must go. Emitted after
    // the cache is wiped.
    void accountReset();
    // A configuration has been saved and installed.
    void linked();

private:
    static QCoro::Task<> loadTask(QPointer<AccountSession> self);
    static QCoro::Task<bool> configureTask(QPointer<AccountSession> self, DeviceConfig config);
    static QCoro::Task<> unlinkTask(QPointer<AccountSession> self);
    static QCoro::Task<bool> installLinked(QPointer<AccountSession> self, DeviceConfig config);
    static QCoro::Task<> removeUnlinkedTask(QPointer<AccountSession> self, quint64 generation);
    static QCoro::Task<> moveToPrimaryTask(QPointer<AccountSession> self, DeviceConfig config, quint64 generation);
    static QCoro::Task<> adoptLateTask(
        QPointer<AccountSession> self, std::optional<DeviceConfig> written, quint64 generation);
    // Writes `config` (or removes the item when none) within the write bound; a write that finishes later goes to
    // lateWrite(). Answers none when the bound passed first.
    QCoro::Task<std::optional<bool>> write(std::optional<DeviceConfig> config);
    static QCoro::Task<bool> storeValue(CredentialStore* credentials, std::optional<DeviceConfig> value);
    void lateWrite(const std::optional<DeviceConfig>& written, bool succeeded, quint64 generation);
    std::function<void(StoredConfig)> lateRead(quint64 generation);
    void finishLoad(StoredConfig stored);
    void setCredentialState(CredentialState state);
    void setKeptAfterUnlink(bool kept);
    bool wasUnlinked(const DeviceConfig& config) const;
    void rememberUnlinked(const std::optional<DeviceConfig>& config);
    void install(std::optional<DeviceConfig> config);

    std::shared_ptr<CacheContext> m_cache;
    CredentialStore* m_credentials;
    MakeClient m_makeClient;
    SyncScheduler& m_scheduler;
    Preferences* m_preferences;
    CredentialBounds m_bounds;
    TurnQueue m_turns;
    CredentialState m_credentialState = CredentialState::Settled;
    bool m_keptAfterUnlink = false;
    // Counts installs, so that an answer that comes late can tell whether another credential went in meanwhile.
    quint64 m_generation = 0;
    std::optional<DeviceConfig> m_config;
    std::shared_ptr<SyncEngine> m_engine;
    std::stop_source m_accountStop;
};

} // namespace tidewell
