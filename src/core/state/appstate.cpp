// SPDX-License-Identifier: GPL-3.0-or-later
#include "state/appstate.h"

#include "account/browserlinkflow.h"
#include "account/linkurl.h"
#include "api/apiclient.h"
#include "base/logging.h"
#include "base/platformwords.h"
#include "cache/store.h"
#include "notify/notificationhandler.h"
#include "notify/taprouting.h"
#include "state/accountsession.h"
#include "state/pushregistration.h"
#include "state/readposition.h"
#include "sync/syncengine.h"

#include <QTimer>

namespace tidewell {

QString AppState::Texts::deleteFailed()
{
    return tr("Delete didn't reach the server \u2014 the message is still on your other devices.");
}

QString AppState::Texts::clearFailed()
{
    return tr("Clear didn't reach the server \u2014 those messages are still on your other devices.");
}

QString AppState::Texts::credentialNotSaved()
{
    //: %1 is where the credential goes, "to the keyring".
    return tr("Couldn't save the device credential %1 \u2014 try linking again.").arg(PlatformWords::toTheKeychain());
}

QString AppState::Texts::credentialNotAnswering()
{
    // Texts of the Linux build alone, so they name the keyring outright.
    return tr("The keyring hasn't answered yet; Tidewell shows what it has and connects once it does.");
}

QString AppState::Texts::credentialUnreadable()
{
    return tr("Couldn't read the device credential from the keyring; unlock it and restart Tidewell.");
}

QString AppState::Texts::credentialKeptAfterUnlink()
{
    return tr("Unlinked, but the keyring kept the device credential. Tidewell won't use it and removes it at the next "
              "start.");
}

QString AppState::Texts::syncFailedUnexpectedly()
{
    return tr("Sync failed unexpectedly \u2014 try again.");
}

AppState::AppState(bool inMemory, Services services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_persistsPreferences(!inMemory)
    , m_scheduler(
          [this](std::stop_token stop) { return performSync(QPointer<AppState>(this), m_session->engine(), stop); })
{
    if (!m_services.notifications)
        m_services.notifications = &NotificationHandler::shared();
    if (!m_services.openCache)
        m_services.openCache = &Store::openCache;
    if (!m_services.makeClient) {
        m_services.makeClient = [network = m_services.network](const DeviceConfig& config) {
            return std::make_shared<APIClient>(config, network);
        };
    }
    m_cache = m_services.openCache(inMemory);

    m_readPosition = new ReadPosition(m_cache, m_services.preferences, m_services.badge, m_persistsPreferences, this);
    connect(m_readPosition, &ReadPosition::lastReadIdChanged, this, &AppState::lastReadIdChanged);
    connect(m_readPosition, &ReadPosition::unreadCountChanged, this, &AppState::unreadCountChanged);
    connect(m_readPosition, &ReadPosition::onUnreadCountChanged, this, &AppState::onUnreadCountChanged);

    m_session = new AccountSession(m_cache, inMemory ? nullptr : m_services.credentials, m_services.makeClient,
        m_scheduler, inMemory ? nullptr : m_services.preferences, m_services.credentialBounds, this);
    connect(m_session, &AccountSession::configChanged, this, &AppState::configChanged);
    connect(m_session, &AccountSession::credentialLoaded, this, &AppState::credentialLoaded);
    connect(m_session, &AccountSession::credentialStateChanged, this, &AppState::credentialProblemChanged);
    connect(m_session, &AccountSession::keptAfterUnlinkChanged, this, &AppState::credentialProblemChanged);
    connect(m_session, &AccountSession::accountReset, this, &AppState::resetAccountState);
    connect(m_session, &AccountSession::linked, this, [this] {
        emit onLinked();
        if (m_registerForRemote)
            m_registerForRemote();
        startSync();
    });

    m_linkFlow = new BrowserLinkFlow(
        m_services.network, m_services.linkPollInterval,
        [self = QPointer<AppState>(this)](DeviceConfig config) { return configureForLink(self, std::move(config)); },
        this);
    connect(m_linkFlow, &BrowserLinkFlow::phaseChanged, this, &AppState::linkPhaseChanged);
    connect(m_linkFlow, &BrowserLinkFlow::codeChanged, this, &AppState::linkCodeChanged);

    m_push = new PushRegistration(m_services.preferences, this);
    connect(m_push, &PushRegistration::registeredChanged, this, &AppState::pushRegisteredChanged);

    m_tapRouting = new TapRouting(m_services.tapSelectionLifetime, this);
    connect(m_tapRouting, &TapRouting::tapped, this, &AppState::handleNotificationTap);
    connect(m_tapRouting, &TapRouting::selectionExpired, this, [this](qint64 messageId) {
        if (m_selectedMessageId == messageId)
            setSelectedMessageId(std::nullopt);
    });

    if (!inMemory) {
        m_session->load();
        const Preferences& prefs = *m_services.preferences;
        m_push->load();
        if (auto sort = MessageSort::fromRawValue(prefs.value(Preferences::Key::MessageSort).toString()))
            m_query.messageSort = *sort;
        if (auto sort = ApplicationSort::fromRawValue(prefs.value(Preferences::Key::ApplicationSort).toString()))
            m_query.applicationSort = *sort;
        m_readPosition->load();
    }
    m_readPosition->recompute(false);
}

AppState::~AppState() = default;

bool AppState::isLoadingCredential() const
{
    const AccountSession::CredentialState state = m_session->credentialState();
    return state == AccountSession::CredentialState::Loading || state == AccountSession::CredentialState::NotAnswering;
}

std::optional<QString> AppState::credentialProblem() const
{
    if (m_session->keptAfterUnlink())
        return Texts::credentialKeptAfterUnlink();
    switch (m_session->credentialState()) {
    case AccountSession::CredentialState::NotAnswering:
        return Texts::credentialNotAnswering();
    case AccountSession::CredentialState::Unreadable:
        return Texts::credentialUnreadable();
    case AccountSession::CredentialState::Loading:
    case AccountSession::CredentialState::Settled:
        break;
    }
    return std::nullopt;
}

// ---- fields ----

// Stores `query` and notifies when it differs from what was there: the whole query first, so that the lists are
// already filtered anew when the views hear of the one field that changed.
void AppState::setQuery(ListQuery query, void (AppState::*notify)())
{
    if (m_query == query)
        return;
    m_query = std::move(query);
    emit listQueryChanged();
    emit(this->*notify)();
}

void AppState::setSelectedAppId(std::optional<qint64> id)
{
    if (id == m_query.applicationId)
        return;
    ListQuery query = m_query;
    query.applicationId = id;
    setQuery(std::move(query), &AppState::selectedAppIdChanged);
    setSelectedMessageId(std::nullopt);
}

void AppState::setSelectedMessageId(std::optional<qint64> id)
{
    if (m_selectedMessageId == id)
        return;
    m_selectedMessageId = id;
    emit selectedMessageIdChanged();
}

void AppState::setSearchText(const QString& text)
{
    if (text == m_query.searchText)
        return;
    ListQuery query = m_query;
    query.searchText = text;
    setQuery(std::move(query), &AppState::searchTextChanged);
    setSelectedMessageId(std::nullopt);
}

// The orderings are stored on every assignment, equal or not, by throw-away instances too.
void AppState::setMessageSort(MessageSort sort)
{
    m_services.preferences->setValue(Preferences::Key::MessageSort, sort.rawValue());
    ListQuery query = m_query;
    query.messageSort = sort;
    setQuery(std::move(query), &AppState::messageSortChanged);
}

void AppState::setApplicationSort(ApplicationSort sort)
{
    m_services.preferences->setValue(Preferences::Key::ApplicationSort, sort.rawValue());
    ListQuery query = m_query;
    query.applicationSort = sort;
    setQuery(std::move(query), &AppState::applicationSortChanged);
}

// Each part of the status keeps its own signal, emitted only when that part changed, and the whole its own.
void AppState::setSyncStatus(SyncStatus status)
{
    if (status == m_syncStatus)
        return;
    const SyncStatus before = std::exchange(m_syncStatus, std::move(status));
    if (before.error != m_syncStatus.error)
        emit lastSyncErrorChanged();
    if (before.lastDate != m_syncStatus.lastDate)
        emit lastSyncDateChanged();
    if (before.syncing != m_syncStatus.syncing)
        emit isSyncingChanged();
    emit syncStatusChanged();
}

void AppState::setPendingLink(std::optional<DeviceConfig> link)
{
    if (m_pendingLink == link)
        return;
    m_pendingLink = std::move(link);
    emit pendingLinkChanged();
}

// ---- sync scheduling ----

void AppState::startSync()
{
    sync(); // runs on; the task is not awaited
}

QCoro::Task<> AppState::sync()
{
    return m_scheduler.request();
}

void AppState::startSyncLater()
{
    QTimer::singleShot(0, this, &AppState::startSync);
}

// One pass, on the engine installed when it started: with the same account re-linked meanwhile the pass goes on
// with the old engine, which its own copy keeps alive.
QCoro::Task<> AppState::performSync(QPointer<AppState> self, std::shared_ptr<SyncEngine> engine, std::stop_token stop)
{
    if (!self || !engine)
        co_return;
    self->setSyncing(true);
    const qint64 previousMaxId = engine->maxLocalId();
    std::optional<QString> failure;
    try {
        co_await engine->syncNow(stop);
    } catch (const Error& error) {
        failure = error.description();
    } catch (const std::exception& error) {
        qCWarning(lcSync) << "sync failed:" << error.what();
        failure = Texts::syncFailedUnexpectedly();
    }
    if (!self)
        co_return;
    if (stop.stop_requested()) {
        self->setSyncing(false);
        co_return;
    }
    if (failure) {
        self->setSyncError(failure);
        self->setSyncing(false);
        co_return;
    }
    self->passSucceeded();
    if (self && engine->maxLocalId() > previousMaxId)
        emit self->newMessagesSynced(previousMaxId, self->lastReadId());
}

// The order views have always seen: the error and the date first, then the count, then the end of the pass.
void AppState::passSucceeded()
{
    SyncStatus status = m_syncStatus;
    status.error.reset();
    status.lastDate = QDateTime::currentDateTimeUtc();
    setSyncStatus(status);
    recomputeUnreadCount(true);
    setSyncing(false);
}

void AppState::setSyncing(bool syncing)
{
    SyncStatus status = m_syncStatus;
    status.syncing = syncing;
    setSyncStatus(std::move(status));
}

void AppState::setSyncError(std::optional<QString> error)
{
    SyncStatus status = m_syncStatus;
    status.error = std::move(error);
    setSyncStatus(std::move(status));
}

void AppState::dismissSyncError()
{
    setSyncError(std::nullopt);
}

// ---- user actions ----

QCoro::Task<> AppState::markRead(std::optional<qint64> through)
{
    return ReadPosition::markRead(
        QPointer<ReadPosition>(m_readPosition), m_session->engine(), through, m_session->accountToken());
}

QCoro::Task<> AppState::markReadOnActive()
{
    if (isConfigured())
        co_await markRead();
}

QCoro::Task<> AppState::deleteMessage(CachedMessage message)
{
    return deleteOrClear(QPointer<AppState>(this), std::move(message), 0);
}

QCoro::Task<> AppState::clearApp(qint64 applicationId)
{
    return deleteOrClear(QPointer<AppState>(this), std::nullopt, applicationId);
}

// Deletes `message` or, without one, clears the application's messages: server first, then the cache. The syncs are
// held throughout: a pass that read the server before its delete could otherwise commit the removed messages after
// the cache's delete. A pass asked for meanwhile runs as the hold ends.
QCoro::Task<> AppState::deleteOrClear(
    QPointer<AppState> self, std::optional<CachedMessage> message, qint64 applicationId)
{
    if (!self)
        co_return;
    QCoro::Task<SyncScheduler::Hold> holding = self->m_scheduler.hold(); // named: see withinBound
    const SyncScheduler::Hold hold = co_await std::move(holding);
    if (!self)
        co_return;
    if (const std::shared_ptr<SyncEngine> engine = self->m_session->engine()) {
        const std::stop_token account = self->m_session->accountToken();
        try {
            if (message)
                co_await engine->deleteMessage(*message, account);
            else
                co_await engine->clearApp(applicationId, account);
        } catch (const Error& error) {
            qCWarning(lcNet) << (message ? "delete failed:" : "clear failed:") << error.description();
            if (self && !account.stop_requested())
                self->setSyncError(message ? Texts::deleteFailed() : Texts::clearFailed());
            co_return;
        }
        if (!self || account.stop_requested())
            co_return;
    }
    self->dismissSyncError();
    self->recomputeUnreadCount(true);
}

QCoro::Task<> AppState::clearCache()
{
    return clearCacheTask(QPointer<AppState>(this));
}

// The syncs are held until the cache is empty, so that no pass writes back what the wipe removes; the pass asked for
// at the end runs as the hold ends.
QCoro::Task<> AppState::clearCacheTask(QPointer<AppState> self)
{
    if (!self)
        co_return;
    QCoro::Task<SyncScheduler::Hold> holding = self->m_scheduler.hold(); // named: see withinBound
    const SyncScheduler::Hold hold = co_await std::move(holding);
    if (!self)
        co_return;
    const std::shared_ptr<CacheContext> cache = self->m_cache;
    QCoro::Task<> settling = cache->writesSettled(); // a delete on its own thread holds the write lock until it commits
    co_await std::move(settling);
    if (!self)
        co_return;
    self->m_session->wipeLocalCache(hold);
    self->recomputeUnreadCount(true);
    self->startSync();
}

void AppState::resetAccountState()
{
    setSelectedAppId(std::nullopt);
    setSelectedMessageId(std::nullopt);
    setSearchText(QString());
    setSyncStatus(SyncStatus { m_syncStatus.syncing, std::nullopt, std::nullopt });
    m_push->reset();
    m_readPosition->reset();
}

QCoro::Task<> AppState::unlink()
{
    m_linkFlow->cancel();
    return m_session->unlink();
}

QCoro::Task<> AppState::shutDown()
{
    return shutDownTask(QPointer<AppState>(this));
}

QCoro::Task<> AppState::shutDownTask(QPointer<AppState> self)
{
    if (!self)
        co_return;
    self->m_linkFlow->cancel();
    self->m_session->stopOperations();
    co_await self->cancelAndJoinSync();
    if (!self)
        co_return;
    const std::shared_ptr<CacheContext> cache = self->m_cache;
    co_await cache->writesSettled();
    cache->close();
}

// ---- linking ----

void AppState::beginBrowserLink(QUrl serverURL, std::function<void(const QUrl&)> open)
{
    m_linkFlow->begin(std::move(serverURL), std::move(open));
}

QCoro::Task<bool> AppState::configure(QUrl serverURL, QString deviceSecret)
{
    return configureTask(QPointer<AppState>(this), DeviceConfig { std::move(serverURL), std::move(deviceSecret) });
}

QCoro::Task<bool> AppState::configureTask(QPointer<AppState> self, DeviceConfig config)
{
    if (!self)
        co_return false;
    QCoro::Task<bool> configuring = self->m_session->configure(std::move(config)); // see BrowserLinkFlow::run
    const bool saved = co_await std::move(configuring);
    if (!saved && self)
        self->setSyncError(Texts::credentialNotSaved());
    co_return saved;
}

QCoro::Task<std::optional<QString>> AppState::configureForLink(QPointer<AppState> self, DeviceConfig config)
{
    if (!self)
        co_return std::nullopt;
    const bool saved = co_await self->configure(config.serverURL, config.deviceSecret);
    if (saved || !self)
        co_return std::nullopt;
    co_return self->lastSyncError().value_or(BrowserLinkFlow::Texts::linkNotSaved());
}

void AppState::handleIncomingURL(const QUrl& url)
{
    if (auto config = LinkURL::parse(url))
        setPendingLink(std::move(config));
}

void AppState::confirmPendingLink()
{
    if (!m_pendingLink)
        return;
    const DeviceConfig link = *std::exchange(m_pendingLink, std::nullopt);
    emit pendingLinkChanged();
    configure(link.serverURL, link.deviceSecret); // a failure shows in lastSyncError
}

// ---- notifications and the push token ----

void AppState::configureNotifications(std::function<void()> registerForRemoteNotifications)
{
    NotificationHandler* handler = m_services.notifications;
    connect(handler, &NotificationHandler::onTap, m_tapRouting, &TapRouting::route, Qt::UniqueConnection);
    connect(
        handler, &NotificationHandler::onForegroundNotification, this, &AppState::startSyncLater, Qt::UniqueConnection);
    m_registerForRemote = registerForRemoteNotifications;
    registerWhenPermitted(handler, std::move(registerForRemoteNotifications));
}

QCoro::Task<> AppState::registerWhenPermitted(NotificationHandler* handler, std::function<void()> registerForRemote)
{
    const bool granted = co_await handler->requestAuthorization();
    if (granted && registerForRemote)
        registerForRemote();
}

void AppState::handleNotificationTap(std::optional<qint64> messageId, std::optional<qint64> applicationId)
{
    if (applicationId)
        setSelectedAppId(applicationId);
    setSearchText(QString());
    setSelectedMessageId(messageId);
    startSync();
    markReadAfterTap(QPointer<AppState>(this));
    if (messageId)
        m_tapRouting->holdSelection(*messageId);
}

QCoro::Task<> AppState::markReadAfterTap(QPointer<AppState> self)
{
    if (self && self->isConfigured())
        co_await self->markRead();
}

QCoro::Task<> AppState::uploadPushToken(QByteArray token)
{
    return PushRegistration::upload(
        QPointer<PushRegistration>(m_push), m_session->newClient(), std::move(token), m_session->accountToken());
}

} // namespace tidewell
