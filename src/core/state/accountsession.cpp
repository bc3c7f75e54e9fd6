#include "state/accountsession.h"

#include "base/error.h"
#include "base/logging.h"
#include "cache/cachecontext.h"
#include "sync/syncengine.h"
#include "sync/syncscheduler.h"

namespace tidewell {

AccountSession::AccountSession(std::shared_ptr<CacheContext> cache, CredentialStore* credentials, MakeClient makeClient,
    SyncScheduler& scheduler, QObject* parent)
    : QObject(parent)
    , m_cache(std::move(cache))
    , m_credentials(credentials)
    , m_makeClient(std::move(makeClient))
    , m_scheduler(scheduler)
{ }

AccountSession::~AccountSession()
{
    m_accountStop.request_stop();
}

void AccountSession::load()
{
    if (m_credentials)
        install(DeviceConfig::load(*m_credentials));
}

std::shared_ptr<APIClientProtocol> AccountSession::newClient() const
{
    return m_config ? m_makeClient(*m_config) : nullptr;
}

// An operation still running on the old engine keeps it alive through its own copy.
void AccountSession::install(std::optional<DeviceConfig> config)
{
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
void AccountSession::wipeLocalCache()
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

// The only awaits, the joins of a pass of the old account, come before the save.
QCoro::Task<bool> AccountSession::configureTask(QPointer<AccountSession> self, DeviceConfig config)
{
    // Another account: its pass must end before the cache is wiped. A pass may start again while this call waits
    // (the poll timer, a notification), hence the loop.
    while (self && self->m_config != config && self->m_scheduler.isRunning())
        co_await self->m_scheduler.cancelAndJoin();
    if (!self)
        co_return false;
    if (self->m_config != config) {
        // A delete running on its own thread holds the cache's write lock; the wipe goes in after it commits.
        const std::shared_ptr<CacheContext> cache = self->m_cache;
        co_await cache->writesSettled();
        if (!self)
            co_return false;
    }
    if (!self->m_credentials || !config.save(*self->m_credentials))
        co_return false;
    if (self->m_config != config) {
        // Nothing cached or remembered for the old account may show under the new one.
        self->stopOperations();
        self->wipeLocalCache();
        emit self->accountReset();
    }
    self->install(std::move(config));
    emit self->linked();
    co_return true;
}

QCoro::Task<> AccountSession::unlink()
{
    return unlinkTask(QPointer<AccountSession>(this));
}

// The account it began with is the one it unlinks: when another is linked during either wait, that one stays, and
// the old one's cache was already wiped by the link.
QCoro::Task<> AccountSession::unlinkTask(QPointer<AccountSession> self)
{
    if (!self)
        co_return;
    const std::stop_token account = self->accountToken();
    const std::optional<DeviceConfig> unlinking = self->m_config;
    const auto stillThisAccount = [&] { return self && !account.stop_requested() && self->m_config == unlinking; };

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
    co_await self->m_scheduler.cancelAndJoin();
    if (!stillThisAccount())
        co_return;
    const std::shared_ptr<CacheContext> cache = self->m_cache;
    co_await cache->writesSettled();
    if (!stillThisAccount())
        co_return;
    self->stopOperations();
    self->wipeLocalCache();
    if (self->m_credentials)
        DeviceConfig::clear(*self->m_credentials);
    self->install(std::nullopt);
    emit self->accountReset();
}

} // namespace tidewell
