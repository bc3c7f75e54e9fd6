#include "state/appstate.h"

#include "account/linkurl.h"
#include "api/apiclient.h"
#include "base/cancellablesleep.h"
#include "base/platformwords.h"
#include "cache/store.h"
#include "notify/notificationhandler.h"
#include "services/badge.h"
#include "sync/syncengine.h"
#include "sync/syncpass.h"

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

AppState::AppState(bool inMemory, Services services, QObject* parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_persistsPreferences(!inMemory)
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
    if (m_syncTask)
        m_syncTask->stop.request_stop();
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

void AppState::installConfig(std::optional<DeviceConfig> config)
{
    m_syncEngine.reset();
    if (config)
        m_syncEngine = std::make_unique<SyncEngine>(m_services.makeClient(*config), m_container.get());
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
    } catch (const Error&) {
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
    } catch (const Error&) { }
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
    if (m_syncTask) {
        m_syncDirty = true;
        const std::shared_ptr<SyncPass> running = m_syncTask;
        co_await running->join();
        if (m_syncDirty && !m_syncTask) {
            m_syncDirty = false;
            co_await sync();
        }
        co_return;
    }

    // The further pass that requests made meanwhile ask for runs in this same call, by going round again rather
    // than through a nested sync(): under a steady stream of requests each nested call would wait on the next, and
    // that chain — a suspended call and its finished pass per pass run — would grow for as long as the stream
    // lasts, then unwind recursively, deep enough to overflow the stack.
    for (;;) {
        auto pass = std::make_shared<SyncPass>();
        m_syncTask = pass;
        m_syncTaskId = pass->id;
        runPass(QPointer<AppState>(this), pass);
        co_await pass->join();
        if (m_syncTaskId != pass->id)
            co_return; // cancelled and joined, which drops the pending requests
        m_syncTask.reset();
        m_syncTaskId.reset();
        if (!m_syncDirty)
            co_return;
        m_syncDirty = false;
    }
}

QCoro::Task<> AppState::runPass(QPointer<AppState> self, std::shared_ptr<SyncPass> pass)
{
    if (self)
        co_await self->performSync(pass->stop.get_token());
    pass->finish();
}

QCoro::Task<> AppState::performSync(std::stop_token stop)
{
    if (!m_syncEngine)
        co_return;
    setIsSyncing(true);
    const qint64 previousMaxId = currentMaxMessageId();
    try {
        co_await m_syncEngine->syncNow(stop);
        if (stop.stop_requested()) {
            setIsSyncing(false);
            co_return;
        }
        setLastSyncError(std::nullopt);
        setLastSyncDate(QDateTime::currentDateTimeUtc());
        recomputeUnreadCount(true);
        setIsSyncing(false);
        if (currentMaxMessageId() > previousMaxId)
            emit newMessagesSynced(previousMaxId);
    } catch (const Error& error) {
        if (!stop.stop_requested())
            setLastSyncError(error.description());
        setIsSyncing(false);
    }
}

QCoro::Task<> AppState::cancelAndJoinSync()
{
    if (const std::shared_ptr<SyncPass> running = m_syncTask) {
        running->stop.request_stop();
        // Before waiting: callers of sync() that wait on this pass may resume first, and none of them may start
        // a further pass. The slot itself stays taken until the pass has ended, so nothing overlaps it.
        m_syncTaskId.reset();
        m_syncDirty = false;
        co_await running->join();
    }
    m_syncTask.reset();
    m_syncTaskId.reset();
    m_syncDirty = false;
}

void AppState::dismissSyncError()
{
    setLastSyncError(std::nullopt);
}

// ---- user actions ----

QCoro::Task<> AppState::markRead(std::optional<qint64> through)
{
    if (!m_syncEngine)
        co_return;
    const qint64 target = through.value_or(m_syncEngine->maxLocalId());
    if (target >= 1 && target > m_lastReadId) {
        const std::shared_ptr<APIClientProtocol> client = m_syncEngine->sharedClient();
        try {
            co_await client->markRead(target);
        } catch (const Error&) {
            co_return; // the next call tries again
        }
        setLastReadId(target);
    }
    recomputeUnreadCount(true);
}

QCoro::Task<> AppState::markReadOnActive()
{
    if (isConfigured())
        co_await markRead();
}

QCoro::Task<> AppState::deleteMessage(CachedMessage message)
{
    co_await cancelAndJoinSync();
    if (m_syncEngine) {
        try {
            co_await m_syncEngine->deleteMessage(message);
        } catch (const Error&) {
            setLastSyncError(Texts::deleteFailed());
            co_return;
        }
    }
    setLastSyncError(std::nullopt);
    recomputeUnreadCount(true);
}

QCoro::Task<> AppState::clearApp(qint64 applicationId)
{
    co_await cancelAndJoinSync();
    if (m_syncEngine) {
        try {
            co_await m_syncEngine->clearApp(applicationId);
        } catch (const Error&) {
            setLastSyncError(Texts::clearFailed());
            co_return;
        }
    }
    setLastSyncError(std::nullopt);
    recomputeUnreadCount(true);
}

void AppState::wipeLocalCache()
{
    // Each step is tried whatever happened to the one before; a failed step leaves nothing pending.
    auto attempt = [this](auto step) {
        try {
            step();
        } catch (const Error&) {
            try {
                m_container->rollback();
            } catch (const Error&) { }
        }
    };
    attempt([this] { m_container->removeAllMessages(); });
    attempt([this] { m_container->removeAllApps(); });
    attempt([this] { m_container->save(); });
}

QCoro::Task<> AppState::clearCache()
{
    co_await cancelAndJoinSync();
    wipeLocalCache();
    recomputeUnreadCount(true);
    startSync();
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
    if (m_linkTask) {
        m_linkTask->request_stop();
        m_linkTask.reset();
    }
    setLinkPhase(LinkPhase::idle());
    setLinkCode(std::nullopt);

    if (m_config) {
        const std::shared_ptr<APIClientProtocol> client = m_services.makeClient(*m_config);
        try {
            co_await client->revokeDevice();
        } catch (const Error&) {
            // The device is unlinked here whatever the server says; it may still list the device.
        }
    }
    co_await cancelAndJoinSync();
    wipeLocalCache();
    if (m_services.credentials)
        DeviceConfig::clear(*m_services.credentials);
    installConfig(std::nullopt);
    resetAccountState();
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
        } catch (const Error&) {
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
    DeviceConfig config { std::move(serverURL), std::move(deviceSecret) };
    if (!m_services.credentials || !config.save(*m_services.credentials)) {
        setLastSyncError(Texts::credentialNotSaved());
        co_return false;
    }
    if (m_config != config) {
        // Another account: nothing cached or remembered for the old one may show under the new one.
        co_await cancelAndJoinSync();
        wipeLocalCache();
        resetAccountState();
    }
    installConfig(std::move(config));
    if (onLinked)
        onLinked();
    startSync();
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
    const QString text = QString::fromLatin1(token.toHex());
    if (!m_config)
        co_return;
    const std::shared_ptr<APIClientProtocol> client = m_services.makeClient(*m_config);
    const QPointer<AppState> self(this);
    try {
        co_await client->registerPushToken(text);
    } catch (const Error& error) {
        QTextStream(stdout) << Texts::pushTokenUploadFailed() << error.description() << Qt::endl;
        co_return;
    }
    if (self)
        self->markPushRegistered();
}

void AppState::markPushRegistered()
{
    setPushRegistered(true);
    m_services.preferences->setValue(QLatin1String(pushRegisteredKey), true);
}

} // namespace tidewell
