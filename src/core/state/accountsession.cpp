// SPDX-License-Identifier: GPL-3.0-or-later
#include "state/accountsession.h"

#include "base/bounded.h"
#include "base/error.h"
#include "base/logging.h"
#include "cache/cachecontext.h"
#include "sync/syncengine.h"
#include "sync/syncscheduler.h"

#include "state/preferences.h"

namespace tidewell {

AccountSession::AccountSession(std::shared_ptr<CacheContext> cache, CredentialStore* credentials, MakeClient makeClient,
    SyncScheduler& scheduler, Preferences* preferences, CredentialBounds bounds, QObject* parent)
    : QObject(parent)
    , m_cache(std::move(cache))
    , m_credentials(credentials)
    , m_makeClient(std::move(makeClient))
    , m_scheduler(scheduler)
    , m_preferences(preferences)
    , m_bounds(bounds)
{ }

AccountSession::~AccountSession()
{
    m_accountStop.request_stop();
    // What waits for a turn ends now, while every member is still here, instead of never.
    m_turns.close();
}

void AccountSession::load()
{
    if (!m_credentials)
        return;
    setCredentialState(CredentialState::Loading);
    loadTask(QPointer<AccountSession>(this));
}

void AccountSession::setCredentialState(CredentialState state)
{
    if (m_credentialState == state)
        return;
    m_credentialState = state;
    emit credentialStateChanged();
}

// The read keeps its turn only up to the bound: a link made meanwhile must not wait on a prompt nobody answers. A
// read that answers later still installs what it found, unless another credential went in first.
QCoro::Task<> AccountSession::loadTask(QPointer<AccountSession> self)
{
    TurnQueue::Turn turn = co_await self->m_turns.take();
    if (!turn || !self)
        co_return;
    QCoro::Task<StoredConfig> reading = DeviceConfig::read(*self->m_credentials, false);
    QCoro::Task<std::optional<StoredConfig>> waiting
        = withinBound(std::move(reading), self->m_bounds.read, self->lateRead(self->m_generation));
    std::optional<StoredConfig> stored = co_await std::move(waiting);
    if (!self)
        co_return;
    if (!stored) {
        qCWarning(lcPlatform) << "the credential store has not answered within" << self->m_bounds.read.count()
                              << "ms; still waiting";
        self->setCredentialState(CredentialState::NotAnswering);
        co_return;
    }
    self->finishLoad(std::move(*stored));
}

// Made outside the coroutine: GCC 12 mishandles a lambda there that captures a coroutine's parameter.
std::function<void(StoredConfig)> AccountSession::lateRead(quint64 generation)
{
    return [self = QPointer<AccountSession>(this), generation](StoredConfig late) {
        if (!self)
            return;
        if (self->m_generation != generation) {
            // The load is over all the same: what is installed stands, and nothing waits for the read any more.
            qCInfo(lcPlatform) << "the stored credential arrived after another was installed; left alone";
            self->finishLoad(StoredConfig {});
            return;
        }
        qCInfo(lcPlatform) << "the stored credential arrived after" << self->m_bounds.read.count() << "ms";
        self->finishLoad(std::move(late));
    };
}

void AccountSession::setKeptAfterUnlink(bool kept)
{
    if (m_keptAfterUnlink == kept)
        return;
    m_keptAfterUnlink = kept;
    emit keptAfterUnlinkChanged();
}

bool AccountSession::wasUnlinked(const DeviceConfig& config) const
{
    return m_preferences && m_preferences->value(Preferences::Key::UnlinkedCredential).toByteArray() == config.digest();
}

// None forgets: the store no longer holds what was remembered.
void AccountSession::rememberUnlinked(const std::optional<DeviceConfig>& config)
{
    if (!m_preferences)
        return;
    if (config)
        m_preferences->setValue(Preferences::Key::UnlinkedCredential, config->digest());
    else
        m_preferences->remove(Preferences::Key::UnlinkedCredential);
}

void AccountSession::finishLoad(StoredConfig stored)
{
    if (stored.config && wasUnlinked(*stored.config)) {
        // Its device was revoked: installing it would only meet refusals from the server.
        qCWarning(lcPlatform) << "the stored credential was unlinked before; not installed, removing it again";
        stored.config.reset();
        removeUnlinkedTask(QPointer<AccountSession>(this), m_generation);
    } else if (!stored.unavailable) {
        rememberUnlinked(std::nullopt);
    }
    if (stored.config) {
        const std::optional<DeviceConfig> moving = stored.inFallback ? stored.config : std::nullopt;
        install(std::move(stored.config));
        if (moving)
            moveToPrimaryTask(QPointer<AccountSession>(this), *moving, m_generation);
    }
    setCredentialState(stored.unavailable ? CredentialState::Unreadable : CredentialState::Settled);
    emit credentialLoaded();
}

// In a turn of its own, after the read's; a credential installed meanwhile was saved over the item already.
QCoro::Task<> AccountSession::removeUnlinkedTask(QPointer<AccountSession> self, quint64 generation)
{
    TurnQueue::Turn turn = co_await self->m_turns.take();
    if (!turn || !self || self->m_generation != generation)
        co_return;
    QCoro::Task<std::optional<bool>> clearing = self->write(std::nullopt);
    const std::optional<bool> cleared = co_await std::move(clearing);
    if (!self)
        co_return;
    if (cleared && *cleared)
        self->rememberUnlinked(std::nullopt);
    else
        qCWarning(lcPlatform) << "the credential store still keeps the unlinked credential; tried again next start";
}

// A credential found in the fallback placement alone is written again, which puts it in the primary placement when
// that takes it. In a turn of its own, after the read's, and only while it is still the one installed: a link saved
// meanwhile must not be overwritten by the credential it replaced.
QCoro::Task<> AccountSession::moveToPrimaryTask(QPointer<AccountSession> self, DeviceConfig config, quint64 generation)
{
    TurnQueue::Turn turn = co_await self->m_turns.take();
    if (!turn || !self || self->m_generation != generation)
        co_return;
    QCoro::Task<std::optional<bool>> writing = self->write(std::move(config));
    const std::optional<bool> moved = co_await std::move(writing);
    if (self && moved && !*moved)
        qCWarning(lcPlatform) << "the credential could not be moved out of the fallback placement";
}

// Apart, so that the value written outlives the caller when the store answers after the bound.
QCoro::Task<bool> AccountSession::storeValue(CredentialStore* credentials, std::optional<DeviceConfig> value)
{
    if (!value) {
        QCoro::Task<bool> clearing = DeviceConfig::clear(*credentials);
        co_return co_await std::move(clearing);
    }
    QCoro::Task<bool> saving = value->save(*credentials);
    co_return co_await std::move(saving);
}

QCoro::Task<std::optional<bool>> AccountSession::write(std::optional<DeviceConfig> config)
{
    QCoro::Task<bool> writing = storeValue(m_credentials, config);
    const quint64 generation = m_generation;
    return withinBound(std::move(writing), m_bounds.write,
        std::function([self = QPointer<AccountSession>(this), config, generation](bool succeeded) {
            if (self)
                self->lateWrite(config, succeeded, generation);
        }));
}

// A write that outlasted its bound has finished after all. When nothing was installed since it began, a saved
// credential goes in now (the user approved that link); otherwise the store may hold something other than the
// installed credential, which is therefore written again. Either waits for its turn.
void AccountSession::lateWrite(const std::optional<DeviceConfig>& written, bool succeeded, quint64 generation)
{
    qCInfo(lcPlatform) << "a credential write outlasted its bound and has finished:"
                       << (succeeded ? "stored" : "failed");
    if (succeeded)
        adoptLateTask(QPointer<AccountSession>(this), written, generation);
}

QCoro::Task<> AccountSession::adoptLateTask(
    QPointer<AccountSession> self, std::optional<DeviceConfig> written, quint64 generation)
{
    TurnQueue::Turn turn = co_await self->m_turns.take();
    if (!turn || !self || self->m_config == written)
        co_return;
    if (written && self->m_generation == generation) {
        QCoro::Task<bool> installing = installLinked(self, std::move(*written)); // named: see withinBound
        co_await std::move(installing);
        co_return;
    }
    QCoro::Task<std::optional<bool>> writing = self->write(self->m_config);
    const std::optional<bool> rewritten = co_await std::move(writing);
    if (self && rewritten && !*rewritten)
        qCWarning(lcPlatform) << "the installed credential could not be written again";
}

std::shared_ptr<APIClientProtocol> AccountSession::newClient() const
{
    return m_config ? m_makeClient(*m_config) : nullptr;
}

// An operation still running on the old engine keeps it alive through its own copy.
void AccountSession::install(std::optional<DeviceConfig> config)
{
    ++m_generation;
    if (config)
        setKeptAfterUnlink(false);
    m_engine.reset();
    if (config)
        m_engine = std::make_shared<SyncEngine>(m_makeClient(*config), m_cache);
    const bool changed = m_config != config;
    m_config = std::move(config);
    if (changed)
        emit configChanged();
}

void AccountSession::stopOperations()
{
    m_accountStop.request_stop();
    m_accountStop = std::stop_source();
}

// Each step is its own unit of work: a step that fails is undone alone, and never takes back one before it.
void AccountSession::wipeLocalCache(const SyncScheduler::Hold&)
{
    auto step = [this](const char* what, auto&& remove) {
        try {
            remove();
            m_cache->save();
        } catch (const Error& error) {
            qCWarning(lcCache) << "cache wipe:" << what << "not deleted:" << error.description();
            try {
                m_cache->rollback();
            } catch (const Error& rollbackError) {
                qCWarning(lcCache) << "rollback failed:" << rollbackError.description();
            }
        }
    };
    step("messages", [this] { m_cache->removeAllMessages(); });
    step("applications", [this] { m_cache->removeAllApps(); });
}

QCoro::Task<bool> AccountSession::configure(DeviceConfig config)
{
    return configureTask(QPointer<AccountSession>(this), std::move(config));
}

// Saved first, so that a failed save changes nothing, not even a running pass; the syncs are held only from the
// install on.
QCoro::Task<bool> AccountSession::configureTask(QPointer<AccountSession> self, DeviceConfig config)
{
    if (!self || !self->m_credentials)
        co_return false;
    TurnQueue::Turn turn = co_await self->m_turns.take();
    if (!turn || !self)
        co_return false;
    QCoro::Task<std::optional<bool>> saving = self->write(config);
    const std::optional<bool> saved = co_await std::move(saving);
    if (!self || !saved || !*saved)
        co_return false;
    if (self->wasUnlinked(config))
        self->rememberUnlinked(std::nullopt); // linked again, with the credential the server had revoked
    QCoro::Task<bool> installing = installLinked(self, std::move(config)); // named: see withinBound
    co_return co_await std::move(installing);
}

// Installs a credential just saved, in the caller's turn. The syncs are held from before the first wait until the
// new account is in: a pass of the old account that started during the save is stopped and joined, and one asked for
// from then on runs after the hold, for the new account.
QCoro::Task<bool> AccountSession::installLinked(QPointer<AccountSession> self, DeviceConfig config)
{
    if (!self)
        co_return false;
    if (self->m_config == config) {
        self->install(std::move(config));
        emit self->linked();
        co_return true;
    }
    QCoro::Task<SyncScheduler::Hold> holding = self->m_scheduler.hold(); // named: see withinBound
    const SyncScheduler::Hold hold = co_await std::move(holding);
    if (!self)
        co_return false;
    // A delete running on its own thread holds the cache's write lock; the wipe goes in after it commits.
    const std::shared_ptr<CacheContext> cache = self->m_cache;
    QCoro::Task<> settling = cache->writesSettled();
    co_await std::move(settling);
    if (!self)
        co_return false;
    // Nothing cached or remembered for the old account may show under the new one.
    self->stopOperations();
    self->wipeLocalCache(hold);
    emit self->accountReset();
    self->install(std::move(config));
    emit self->linked();
    co_return true;
}

QCoro::Task<> AccountSession::unlink()
{
    return unlinkTask(QPointer<AccountSession>(this));
}

// The account it began with is the one it unlinks: when another is linked during any wait, that one stays, and
// the old one's cache was already wiped by the link. The syncs are held throughout, so that no pass of the account
// being revoked starts, and one asked for meanwhile runs after it for whatever account is installed then.
QCoro::Task<> AccountSession::unlinkTask(QPointer<AccountSession> self)
{
    if (!self)
        co_return;
    const std::stop_token account = self->accountToken();
    const std::optional<DeviceConfig> unlinking = self->m_config;
    const auto stillThisAccount = [&] { return self && !account.stop_requested() && self->m_config == unlinking; };

    QCoro::Task<SyncScheduler::Hold> holding = self->m_scheduler.hold(); // named: see withinBound
    const SyncScheduler::Hold hold = co_await std::move(holding);
    if (!stillThisAccount())
        co_return;
    if (const std::shared_ptr<APIClientProtocol> client = self->newClient()) {
        try {
            co_await client->revokeDevice();
        } catch (const Error& error) {
            // The device is unlinked here whatever the server says; it may still list the device.
            qCWarning(lcNet) << "device not revoked on the server:" << error.description();
        }
        if (!stillThisAccount())
            co_return;
    }
    TurnQueue::Turn turn;
    if (self->m_credentials) {
        turn = co_await self->m_turns.take();
        if (!turn || !stillThisAccount())
            co_return;
        // The device is revoked: it is unlinked here even when the store does not let the item go, and stays
        // unlinked after a restart.
        QCoro::Task<std::optional<bool>> clearing = self->write(std::nullopt);
        const std::optional<bool> cleared = co_await std::move(clearing);
        if (!self)
            co_return;
        const bool kept = !cleared || !*cleared;
        if (kept) {
            qCWarning(lcPlatform) << "the credential store has not removed the unlinked credential";
            if (unlinking)
                self->rememberUnlinked(unlinking);
        }
        if (!stillThisAccount())
            co_return;
        self->setKeptAfterUnlink(kept);
    }
    // A delete running on its own thread holds the cache's write lock; the wipe goes in after it commits.
    const std::shared_ptr<CacheContext> cache = self->m_cache;
    QCoro::Task<> settling = cache->writesSettled();
    co_await std::move(settling);
    if (!stillThisAccount())
        co_return;
    self->stopOperations();
    self->wipeLocalCache(hold);
    self->install(std::nullopt);
    emit self->accountReset();
}

} // namespace tidewell
