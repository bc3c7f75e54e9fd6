#include "state/appstate.h"

#include "account/linkurl.h"
#include "api/apiclient.h"
#include "base/cancellablesleep.h"
#include "base/logging.h"
#include "base/platformwords.h"
#include "cache/store.h"
#include "notify/notificationhandler.h"
#include "services/badge.h"
#include "sync/syncengine.h"

#include <QElapsedTimer>
#include <QSettings>
#include <QTextStream>
#include <QTimer>

namespace tidewell {

QString AppState::Texts::deleteFailed()
{
    return QStringLiteral("Delete didn't reach the server \u2014 the message is still on your other devices.");
}

QString AppState::Texts::clearFailed()
{
    return QStringLiteral("Clear didn't reach the server \u2014 those messages are still on your other devices.");
}

QString AppState::Texts::invalidPairCode()
{
    return QStringLiteral("Invalid pair code from server \u2014 try again.");
}

QString AppState::Texts::linkTimedOut()
{
    return QStringLiteral("Link request timed out \u2014 try again.");
}

QString AppState::Texts::linkExpired()
{
    return QStringLiteral("Link request expired \u2014 try again.");
}

QString AppState::Texts::linkNotSaved()
{
    return QStringLiteral("Couldn't save the device credential \u2014 try again.");
}

QString AppState::Texts::credentialNotSaved()
{
    return QStringLiteral("Couldn't save the device credential ") + PlatformWords::toTheKeychain()
        + QStringLiteral(" \u2014 try linking again.");
}

QString AppState::Texts::pushTokenUploadFailed()
{
    return QStringLiteral("push-token upload failed: ");
}

QString AppState::Texts::syncFailedUnexpectedly()
{
    return QStringLiteral("Sync failed unexpectedly \u2014 try again.");
}

AppState::AppState(bool inMemory, Services services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_persistsPreferences(!inMemory)
    , m_scheduler([this](std::stop_token stop) { return performSync(QPointer<AppState>(this), m_syncEngine, stop); })
{
    if (!m_services.notifications)
        m_services.notifications = &NotificationHandler::shared();
    if (!m_services.openCache)
        m_services.openCache = &Store::container;
    if (!m_services.makeClient) {
        m_services.makeClient = [network = m_services.network](const DeviceConfig& config) {
            return std::make_shared<APIClient>(config, network);
        };
    }

    m_container = m_services.openCache(inMemory);
    if (!inMemory) {
        if (m_services.credentials)
            installConfig(DeviceConfig::load(*m_services.credentials));
        QSettings& prefs = *m_services.preferences;
        m_pushRegistered = prefs.value(QLatin1String(pushRegisteredKey), false).toBool();
        const QVariant messageSort = prefs.value(QLatin1String(messageSortKey));
        if (messageSort.typeId() == QMetaType::QString) {
            if (auto sort = MessageSort::fromRawValue(messageSort.toString()))
                m_messageSort = *sort;
        }
        const QVariant applicationSort = prefs.value(QLatin1String(applicationSortKey));
        if (applicationSort.typeId() == QMetaType::QString) {
            if (auto sort = ApplicationSort::fromRawValue(applicationSort.toString()))
                m_applicationSort = *sort;
        }
        loadLastReadId();
    }
    recomputeUnreadCount(false);

    m_tapDeselection.setSingleShot(true);
    m_tapDeselection.setInterval(m_services.tapSelectionLifetime);
    connect(&m_tapDeselection, &QTimer::timeout, this, [this] {
        if (m_selectedMessageId == m_tapSelectedId)
            setSelectedMessageId(std::nullopt);
    });
}

AppState::~AppState()
{
    m_accountStop.request_stop();
    if (m_linkTask)
        m_linkTask->request_stop();
}

// ---- fields ----

void AppState::setSelectedAppId(std::optional<qint64> id)
{
    if (assign(m_selectedAppId, id, &AppState::selectedAppIdChanged))
        setSelectedMessageId(std::nullopt);
}

void AppState::setSelectedMessageId(std::optional<qint64> id)
{
    assign(m_selectedMessageId, std::move(id), &AppState::selectedMessageIdChanged);
}

void AppState::setSearchText(const QString& text)
{
    if (assign(m_searchText, text, &AppState::searchTextChanged))
        setSelectedMessageId(std::nullopt);
}

// The orderings are stored on every assignment, equal or not, by throw-away instances too.
void AppState::setMessageSort(MessageSort sort)
{
    m_services.preferences->setValue(QLatin1String(messageSortKey), sort.rawValue());
    assign(m_messageSort, sort, &AppState::messageSortChanged);
}

void AppState::setApplicationSort(ApplicationSort sort)
{
    m_services.preferences->setValue(QLatin1String(applicationSortKey), sort.rawValue());
    assign(m_applicationSort, sort, &AppState::applicationSortChanged);
}

void AppState::setLastSyncError(std::optional<QString> text)
{
    assign(m_lastSyncError, std::move(text), &AppState::lastSyncErrorChanged);
}

void AppState::setLastSyncDate(std::optional<QDateTime> date)
{
    assign(m_lastSyncDate, std::move(date), &AppState::lastSyncDateChanged);
}

void AppState::setIsSyncing(bool syncing)
{
    assign(m_isSyncing, std::move(syncing), &AppState::isSyncingChanged);
}

void AppState::setPushRegistered(bool registered)
{
    assign(m_pushRegistered, std::move(registered), &AppState::pushRegisteredChanged);
}

void AppState::setLinkPhase(LinkPhase phase)
{
    assign(m_linkPhase, std::move(phase), &AppState::linkPhaseChanged);
}

void AppState::setLinkCode(std::optional<QString> code)
{
    assign(m_linkCode, std::move(code), &AppState::linkCodeChanged);
}

void AppState::setPendingLink(std::optional<DeviceConfig> link)
{
    assign(m_pendingLink, std::move(link), &AppState::pendingLinkChanged);
}

// An operation still running on the old engine keeps it alive through its own copy.
void AppState::installConfig(std::optional<DeviceConfig> config)
{
    m_syncEngine.reset();
    if (config)
        m_syncEngine = std::make_shared<SyncEngine>(m_services.makeClient(*config), m_container);
    const bool changed = m_config != config;
    m_config = std::move(config);
    if (changed)
        emit configChanged();
}

bool AppState::hasCachedMessages() const
{
    return currentMaxMessageId() != 0;
}

// ---- read position and unread count ----

void AppState::loadLastReadId()
{
    const QVariant stored = m_services.preferences->value(QLatin1String(lastReadIdKey));
    if (stored.isValid()) {
        m_lastReadId = stored.toLongLong();
        return;
    }
    // First start, or the first after a reset: whatever the cache already holds counts as read.
    m_lastReadId = currentMaxMessageId();
    if (m_persistsPreferences)
        m_services.preferences->setValue(QLatin1String(lastReadIdKey), m_lastReadId);
}

void AppState::setLastReadId(qint64 id)
{
    assign(m_lastReadId, id, &AppState::lastReadIdChanged);
    if (m_persistsPreferences)
        m_services.preferences->setValue(QLatin1String(lastReadIdKey), id);
}

void AppState::resetLastReadId()
{
    assign(m_lastReadId, qint64(0), &AppState::lastReadIdChanged);
    if (m_persistsPreferences)
        m_services.preferences->remove(QLatin1String(lastReadIdKey));
    recomputeUnreadCount(true);
}

qint64 AppState::currentMaxMessageId() const
{
    try {
        return m_container->maxMessageId().value_or(0);
    } catch (const Error& error) {
        qCWarning(lcCache) << "highest cached id unreadable, taken as 0:" << error.description();
        return 0;
    }
}

qint64 AppState::unreadCount(std::optional<qint64> applicationId, const QList<CachedMessage>& messages) const
{
    return std::count_if(messages.begin(), messages.end(), [&](const CachedMessage& m) {
        return m.id > m_lastReadId && (!applicationId || m.applicationId == *applicationId);
    });
}

void AppState::recomputeUnreadCount(bool updateBadge)
{
    qint64 count = 0;
    try {
        count = m_container->countMessagesAbove(m_lastReadId);
    } catch (const Error& error) {
        qCWarning(lcCache) << "unread messages not counted, taken as 0:" << error.description();
    }
    if (count != m_unreadCount) {
        m_unreadCount = count;
        emit unreadCountChanged();
        if (onUnreadCountChanged)
            onUnreadCountChanged(count);
    } else if (updateBadge && onUnreadCountChanged) {
        onUnreadCountChanged(count);
    }
    if (updateBadge)
        applyDockBadge(count);
}

void AppState::applyDockBadge(qint64 count)
{
    if (!m_persistsPreferences || !m_services.badge)
        return;
    m_services.badge->setCount(count);
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

// One pass, on the engine installed when it started: with the same account re-linked meanwhile the pass goes on
// with the old engine, which its own copy keeps alive.
QCoro::Task<> AppState::performSync(QPointer<AppState> self, std::shared_ptr<SyncEngine> engine, std::stop_token stop)
{
    if (!self || !engine)
        co_return;
    self->setIsSyncing(true);
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
        self->setIsSyncing(false);
        co_return;
    }
    if (failure) {
        self->setLastSyncError(failure);
        self->setIsSyncing(false);
        co_return;
    }
    self->setLastSyncError(std::nullopt);
    self->setLastSyncDate(QDateTime::currentDateTimeUtc());
    self->recomputeUnreadCount(true);
    self->setIsSyncing(false);
    if (self && engine->maxLocalId() > previousMaxId)
        emit self->newMessagesSynced(previousMaxId);
}

void AppState::dismissSyncError()
{
    setLastSyncError(std::nullopt);
}

// ---- user actions ----

QCoro::Task<> AppState::markRead(std::optional<qint64> through)
{
    return markReadTask(QPointer<AppState>(this), through);
}

QCoro::Task<> AppState::markReadTask(QPointer<AppState> self, std::optional<qint64> through)
{
    if (!self || !self->m_syncEngine)
        co_return;
    const std::shared_ptr<SyncEngine> engine = self->m_syncEngine;
    const qint64 target = through.value_or(engine->maxLocalId());
    if (target >= 1 && target > self->m_lastReadId) {
        const std::stop_token account = self->m_accountStop.get_token();
        try {
            co_await engine->sharedClient()->markRead(target, account);
        } catch (const Error& error) {
            qCWarning(lcNet) << "read position not sent:" << error.description();
            co_return; // the next call tries again
        }
        // Another mark-read may have moved the position further meanwhile, and the account may be gone.
        if (!self || account.stop_requested())
            co_return;
        if (target > self->m_lastReadId)
            self->setLastReadId(target);
    }
    self->recomputeUnreadCount(true);
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

// Deletes `message` or, without one, clears the application's messages: server first, then the cache.
QCoro::Task<> AppState::deleteOrClear(
    QPointer<AppState> self, std::optional<CachedMessage> message, qint64 applicationId)
{
    if (!self)
        co_return;
    co_await self->cancelAndJoinSync();
    if (!self)
        co_return;
    if (const std::shared_ptr<SyncEngine> engine = self->m_syncEngine) {
        const std::stop_token account = self->m_accountStop.get_token();
        try {
            if (message)
                co_await engine->deleteMessage(*message, account);
            else
                co_await engine->clearApp(applicationId, account);
        } catch (const Error& error) {
            qCWarning(lcNet) << (message ? "delete failed:" : "clear failed:") << error.description();
            if (self && !account.stop_requested())
                self->setLastSyncError(message ? Texts::deleteFailed() : Texts::clearFailed());
            co_return;
        }
        if (!self || account.stop_requested())
            co_return;
    }
    self->setLastSyncError(std::nullopt);
    self->recomputeUnreadCount(true);
}

// Each step is its own unit of work: a step that fails is undone alone, and never takes back one before it.
void AppState::wipeLocalCache()
{
    auto step = [this](const char* what, auto&& remove) {
        try {
            remove();
            m_container->save();
        } catch (const Error& error) {
            qCWarning(lcCache) << "cache wipe:" << what << "not deleted:" << error.description();
            try {
                m_container->rollback();
            } catch (const Error& rollbackError) {
                qCWarning(lcCache) << "rollback failed:" << rollbackError.description();
            }
        }
    };
    step("messages", [this] { m_container->removeAllMessages(); });
    step("applications", [this] { m_container->removeAllApps(); });
}

QCoro::Task<> AppState::clearCache()
{
    return clearCacheTask(QPointer<AppState>(this));
}

QCoro::Task<> AppState::clearCacheTask(QPointer<AppState> self)
{
    if (!self)
        co_return;
    co_await self->cancelAndJoinSync();
    if (!self)
        co_return;
    self->wipeLocalCache();
    self->recomputeUnreadCount(true);
    self->startSync();
}

void AppState::retireAccount()
{
    m_accountStop.request_stop();
    m_accountStop = std::stop_source();
}

void AppState::resetAccountState()
{
    setSelectedAppId(std::nullopt);
    setSelectedMessageId(std::nullopt);
    setSearchText(QString());
    setLastSyncError(std::nullopt);
    setLastSyncDate(std::nullopt);
    setPushRegistered(false);
    m_services.preferences->setValue(QLatin1String(pushRegisteredKey), false);
    resetLastReadId();
}

QCoro::Task<> AppState::unlink()
{
    return unlinkTask(QPointer<AppState>(this));
}

QCoro::Task<> AppState::unlinkTask(QPointer<AppState> self)
{
    if (!self)
        co_return;
    if (self->m_linkTask) {
        self->m_linkTask->request_stop();
        self->m_linkTask.reset();
    }
    self->setLinkPhase(LinkPhase::idle());
    self->setLinkCode(std::nullopt);

    if (self->m_config) {
        const std::shared_ptr<APIClientProtocol> client = self->m_services.makeClient(*self->m_config);
        try {
            co_await client->revokeDevice();
        } catch (const Error& error) {
            // The device is unlinked here whatever the server says; it may still list the device.
            qCWarning(lcNet) << "device not revoked on the server:" << error.description();
        }
        if (!self)
            co_return;
    }
    co_await self->cancelAndJoinSync();
    if (!self)
        co_return;
    self->retireAccount();
    self->wipeLocalCache();
    if (self->m_services.credentials)
        DeviceConfig::clear(*self->m_services.credentials);
    self->installConfig(std::nullopt);
    self->resetAccountState();
}

// ---- linking ----

void AppState::failLink(const QString& text)
{
    setLinkPhase(LinkPhase::failed(text));
    setLinkCode(std::nullopt);
}

void AppState::beginBrowserLink(QUrl serverURL, std::function<void(const QUrl&)> open)
{
    if (m_linkTask)
        m_linkTask->request_stop();
    setLinkPhase(LinkPhase::waiting());
    setLinkCode(std::nullopt);
    m_linkTask.emplace();
    runBrowserLink(QPointer<AppState>(this), DeviceLinker(std::move(serverURL), m_services.network), std::move(open),
        m_services.linkPollInterval, m_linkTask->get_token());
}

// A stopped flow returns without touching the phase or the code: whoever stopped it sets them.
QCoro::Task<> AppState::runBrowserLink(QPointer<AppState> self, DeviceLinker linker,
    std::function<void(const QUrl&)> open, std::chrono::milliseconds pollInterval, std::stop_token stop)
{
    DeviceLinker::Start start;
    try {
        start = co_await linker.start(stop);
    } catch (const Error& error) {
        if (self && !stop.stop_requested())
            self->failLink(error.description());
        co_return;
    }
    if (!self || stop.stop_requested())
        co_return;
    self->setLinkCode(start.code);
    const std::optional<QUrl> address = linker.approveURL(start.code);
    if (!address) {
        self->failLink(Texts::invalidPairCode());
        co_return;
    }
    if (open)
        open(*address);

    QElapsedTimer sinceOpened; // monotonic
    sinceOpened.start();
    const qint64 lifetimeMs = std::clamp<qint64>(start.expiresIn, -1, qint64(1) << 40) * 1000;
    for (;;) {
        if (!self || stop.stop_requested())
            co_return;
        if (sinceOpened.elapsed() >= lifetimeMs) {
            self->failLink(Texts::linkTimedOut());
            co_return;
        }
        // Awaited into a local: GCC 12 miscompiles a co_await that sits inside a condition.
        const bool slept = co_await sleepFor(pollInterval, stop);
        if (!slept)
            co_return;
        if (!self || stop.stop_requested())
            co_return;
        DeviceLinker::PollResult result;
        try {
            result = co_await linker.poll(start.pollToken, stop);
        } catch (const Error& error) {
            qCDebug(lcAccount) << "link poll failed, polling on:" << error.description();
            continue; // not shown: polling goes on until the deadline
        }
        if (!self || stop.stop_requested())
            co_return;
        switch (result.kind) {
        case DeviceLinker::PollResult::Kind::Pending:
            continue;
        case DeviceLinker::PollResult::Kind::Expired:
            self->failLink(Texts::linkExpired());
            co_return;
        case DeviceLinker::PollResult::Kind::Approved: {
            const bool saved = co_await self->configure(linker.serverURL(), result.secret);
            if (!self)
                co_return;
            if (saved) {
                self->setLinkPhase(LinkPhase::idle());
                self->setLinkCode(std::nullopt);
            } else {
                self->failLink(self->lastSyncError().value_or(Texts::linkNotSaved()));
            }
            co_return;
        }
        }
    }
}

void AppState::cancelBrowserLink()
{
    if (m_linkTask)
        m_linkTask->request_stop();
    m_linkTask.reset();
    setLinkPhase(LinkPhase::idle());
    setLinkCode(std::nullopt);
}

QCoro::Task<bool> AppState::configure(QUrl serverURL, QString deviceSecret)
{
    return configureTask(QPointer<AppState>(this), DeviceConfig { std::move(serverURL), std::move(deviceSecret) });
}

// Everything from the save to the install runs without a suspension, so that of two configure calls that overlap
// the one that saves last is also the one installed: the stored credential and the installed one never differ.
// The only awaits, the joins of a pass of the old account, come first.
QCoro::Task<bool> AppState::configureTask(QPointer<AppState> self, DeviceConfig config)
{
    // Another account: its pass must end before the cache is wiped. A pass may start again while this call waits
    // (the poll timer, a notification), hence the loop.
    while (self && self->m_config != config && self->isSyncRunning())
        co_await self->cancelAndJoinSync();
    if (!self)
        co_return false;
    if (!self->m_services.credentials || !config.save(*self->m_services.credentials)) {
        self->setLastSyncError(Texts::credentialNotSaved());
        co_return false;
    }
    if (self->m_config != config) {
        // Nothing cached or remembered for the old account may show under the new one.
        self->retireAccount();
        self->wipeLocalCache();
        self->resetAccountState();
    }
    self->installConfig(std::move(config));
    if (self->onLinked)
        self->onLinked();
    self->startSync();
    co_return true;
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
    const QPointer<AppState> self(this);
    handler->onTap = [self](std::optional<qint64> messageId, std::optional<qint64> applicationId) {
        if (self)
            self->handleNotificationTap(messageId, applicationId);
    };
    handler->onForegroundNotification = [self] {
        QTimer::singleShot(0, self, [self] {
            if (self)
                self->startSync();
        });
    };
    onLinked = registerForRemoteNotifications;
    registerWhenPermitted(handler, std::move(registerForRemoteNotifications));
}

QCoro::Task<> AppState::registerWhenPermitted(NotificationHandler* handler, std::function<void()> registerForRemote)
{
    const bool granted = co_await handler->requestAuthorization(); // not inside the condition, see runBrowserLink
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
    if (messageId) {
        // The selection a tap makes only brings the message into view; it does not stay. One timer owned by this
        // object, restarted by every tap, rather than a timer or a sleeping task per tap: a run of taps leaves
        // nothing behind, nothing is left waiting when the state goes, and the latest tap's selection lasts its
        // whole lifetime instead of being cut short by an earlier tap on the same message.
        m_tapSelectedId = *messageId;
        m_tapDeselection.start();
    }
}

QCoro::Task<> AppState::markReadAfterTap(QPointer<AppState> self)
{
    if (self && self->isConfigured())
        co_await self->markRead();
}

QCoro::Task<> AppState::uploadPushToken(QByteArray token)
{
    return uploadPushTokenTask(QPointer<AppState>(this), std::move(token));
}

QCoro::Task<> AppState::uploadPushTokenTask(QPointer<AppState> self, QByteArray token)
{
    const QString text = QString::fromLatin1(token.toHex());
    if (!self || !self->m_config)
        co_return;
    const std::shared_ptr<APIClientProtocol> client = self->m_services.makeClient(*self->m_config);
    const std::stop_token account = self->m_accountStop.get_token();
    try {
        co_await client->registerPushToken(text, account);
    } catch (const Error& error) {
        if (!account.stop_requested()) // stopped because the account went: nothing failed
            QTextStream(stdout) << Texts::pushTokenUploadFailed() << error.description() << Qt::endl;
        co_return;
    }
    if (self && !account.stop_requested())
        self->markPushRegistered();
}

void AppState::markPushRegistered()
{
    setPushRegistered(true);
    m_services.preferences->setValue(QLatin1String(pushRegisteredKey), true);
}

} // namespace tidewell
