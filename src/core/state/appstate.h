#pragma once

#include "account/deviceconfig.h"
#include "account/devicelinker.h"
#include "api/apiclientprotocol.h"
#include "cache/cachecontext.h"
#include "lists/applicationsort.h"
#include "lists/messagesort.h"
#include "state/linkphase.h"
#include "sync/syncscheduler.h"

#include <QCoroTask>
#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QSettings;

namespace tidewell {

class Badge;
class NotificationHandler;
class CredentialStore;
class SyncEngine;

// The program's controller, one per process, on the UI thread. Owns the credential, the cache, the sync engine
// and everything the windows show about them: selection, search, orderings, read position, unread count, the last
// error and the linking flow. Windows read its properties and call its operations; no operation fails to its
// caller — a failure the user must see becomes one line in lastSyncError.
//
// Syncs never overlap: one pass runs at a time and any number of requests made meanwhile collapse into exactly
// one further pass (SyncScheduler). Operations that change the cache first cancel the running pass and wait for it.
//
// Ownership across suspensions: the state may be destroyed, and the engine replaced, while an operation waits on
// the server. So every operation runs as a static coroutine that holds the state through a QPointer, checked after
// each await before any member is touched, and holds its own shared_ptr to the engine (which shares the client and
// the cache context), never a member reference. Operations of an account that is gone (unlinked, or replaced by
// another) are stopped through that account's stop source and change nothing when they resume.
class AppState : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isConfigured READ isConfigured NOTIFY configChanged)
    Q_PROPERTY(
        std::optional<qint64> selectedAppId READ selectedAppId WRITE setSelectedAppId NOTIFY selectedAppIdChanged)
    Q_PROPERTY(std::optional<qint64> selectedMessageId READ selectedMessageId NOTIFY selectedMessageIdChanged)
    Q_PROPERTY(QString searchText READ searchText WRITE setSearchText NOTIFY searchTextChanged)
    Q_PROPERTY(std::optional<QString> lastSyncError READ lastSyncError NOTIFY lastSyncErrorChanged)
    Q_PROPERTY(std::optional<QDateTime> lastSyncDate READ lastSyncDate NOTIFY lastSyncDateChanged)
    Q_PROPERTY(bool isSyncing READ isSyncing NOTIFY isSyncingChanged)
    Q_PROPERTY(bool pushRegistered READ pushRegistered NOTIFY pushRegisteredChanged)
    Q_PROPERTY(qint64 lastReadId READ lastReadId NOTIFY lastReadIdChanged)
    Q_PROPERTY(qint64 unreadCount READ unreadCount NOTIFY unreadCountChanged)
    Q_PROPERTY(tidewell::LinkPhase linkPhase READ linkPhase NOTIFY linkPhaseChanged)
    Q_PROPERTY(std::optional<QString> linkCode READ linkCode NOTIFY linkCodeChanged)

public:
    // What the state reaches outside itself; tests hand in fakes.
    struct Services
    {
        QNetworkAccessManager* network = nullptr;
        CredentialStore* credentials = nullptr;
        QSettings* preferences = nullptr;
        Badge* badge = nullptr;
        // Opens the cache; by default the application's cache file.
        std::function<std::shared_ptr<CacheContext>(bool inMemory)> openCache;
        // Builds the server client for a configuration; by default an APIClient over `network`.
        std::function<std::shared_ptr<APIClientProtocol>(const DeviceConfig&)> makeClient;
        // The notification handler to wire; by default the process's shared one.
        NotificationHandler* notifications = nullptr;
        // How often the browser-linking flow polls, and how long a notification tap keeps its message selected.
        std::chrono::milliseconds linkPollInterval { std::chrono::seconds(2) };
        std::chrono::milliseconds tapSelectionLifetime { std::chrono::seconds(2) };
    };

    struct Texts
    {
        static QString deleteFailed();
        static QString clearFailed();
        static QString invalidPairCode();
        static QString linkTimedOut();
        static QString linkExpired();
        static QString linkNotSaved();
        static QString credentialNotSaved();
        static QString pushTokenUploadFailed();
        static QString syncFailedUnexpectedly();
    };

    static constexpr auto messageSortKey = "messageSort";
    static constexpr auto applicationSortKey = "applicationSort";
    static constexpr auto lastReadIdKey = "lastReadId";
    static constexpr auto pushRegisteredKey = "pushRegistered";

    // `inMemory` true gives a throw-away instance: an in-memory cache, and no credential, preference or read
    // position is loaded; the read position is never stored and the badge never touched.
    AppState(bool inMemory, Services services, QObject* parent = nullptr);
    ~AppState() override;

    // Fields.
    const std::optional<DeviceConfig>& config() const { return m_config; }
    bool isConfigured() const { return m_config.has_value(); }
    CacheContext& container() const { return *m_container; }
    // For readers that keep the cache beyond one call (the windows' lists).
    std::shared_ptr<CacheContext> sharedContainer() const { return m_container; }
    SyncEngine* syncEngine() const { return m_syncEngine.get(); }
    bool isSyncRunning() const { return m_scheduler.isRunning(); }
    std::optional<qint64> selectedAppId() const { return m_selectedAppId; }
    void setSelectedAppId(std::optional<qint64> id);
    std::optional<qint64> selectedMessageId() const { return m_selectedMessageId; }
    // Set by a notification tap; cleared by the selection rules.
    void setSelectedMessageId(std::optional<qint64> id);
    QString searchText() const { return m_searchText; }
    void setSearchText(const QString& text);
    MessageSort messageSort() const { return m_messageSort; }
    void setMessageSort(MessageSort sort);
    ApplicationSort applicationSort() const { return m_applicationSort; }
    void setApplicationSort(ApplicationSort sort);
    std::optional<QString> lastSyncError() const { return m_lastSyncError; }
    std::optional<QDateTime> lastSyncDate() const { return m_lastSyncDate; }
    bool isSyncing() const { return m_isSyncing; }
    bool pushRegistered() const { return m_pushRegistered; }
    qint64 lastReadId() const { return m_lastReadId; }
    qint64 unreadCount() const { return m_unreadCount; }
    bool persistsPreferences() const { return m_persistsPreferences; }
    LinkPhase linkPhase() const { return m_linkPhase; }
    std::optional<QString> linkCode() const { return m_linkCode; }
    const std::optional<DeviceConfig>& pendingLink() const { return m_pendingLink; }
    void setPendingLink(std::optional<DeviceConfig> link);
    bool hasCachedMessages() const;

    std::function<void()> onLinked;
    std::function<void(qint64)> onUnreadCountChanged;

    // Read position and unread count.
    bool isUnread(const CachedMessage& message) const { return message.id > m_lastReadId; }
    qint64 unreadCount(std::optional<qint64> applicationId, const QList<CachedMessage>& messages) const;
    void recomputeUnreadCount(bool updateBadge);

    // Sync scheduling.
    void startSync();
    QCoro::Task<> sync();
    void dismissSyncError();

    // User actions.
    QCoro::Task<> markRead(std::optional<qint64> through = std::nullopt);
    QCoro::Task<> markReadOnActive();
    QCoro::Task<> deleteMessage(CachedMessage message);
    QCoro::Task<> clearApp(qint64 applicationId);
    QCoro::Task<> clearCache();
    QCoro::Task<> unlink();

    // Linking and notifications.
    void beginBrowserLink(QUrl serverURL, std::function<void(const QUrl&)> open);
    void cancelBrowserLink();
    QCoro::Task<bool> configure(QUrl serverURL, QString deviceSecret);
    void handleIncomingURL(const QUrl& url);
    void confirmPendingLink();
    void configureNotifications(std::function<void()> registerForRemoteNotifications);
    void handleNotificationTap(std::optional<qint64> messageId, std::optional<qint64> applicationId);
    QCoro::Task<> uploadPushToken(QByteArray token);
    void markPushRegistered();

signals:
    void configChanged();
    void selectedAppIdChanged();
    void selectedMessageIdChanged();
    void searchTextChanged();
    void messageSortChanged();
    void applicationSortChanged();
    void lastSyncErrorChanged();
    void lastSyncDateChanged();
    void isSyncingChanged();
    void pushRegisteredChanged();
    void lastReadIdChanged();
    void unreadCountChanged();
    void linkPhaseChanged();
    void linkCodeChanged();
    void pendingLinkChanged();
    // After a successful pass that cached messages above the highest id held before it (`previousMaxId`, 0 when
    // the cache was empty). The desktop notifier raises notifications from this.
    void newMessagesSynced(qint64 previousMaxId);

private:
    static QCoro::Task<> performSync(QPointer<AppState> self, std::shared_ptr<SyncEngine> engine, std::stop_token stop);
    static QCoro::Task<> markReadTask(QPointer<AppState> self, std::optional<qint64> through);
    static QCoro::Task<> deleteOrClear(
        QPointer<AppState> self, std::optional<CachedMessage> message, qint64 applicationId);
    static QCoro::Task<> clearCacheTask(QPointer<AppState> self);
    static QCoro::Task<> unlinkTask(QPointer<AppState> self);
    static QCoro::Task<bool> configureTask(QPointer<AppState> self, DeviceConfig config);
    static QCoro::Task<> uploadPushTokenTask(QPointer<AppState> self, QByteArray token);
    static QCoro::Task<> runBrowserLink(QPointer<AppState> self, DeviceLinker linker,
        std::function<void(const QUrl&)> open, std::chrono::milliseconds pollInterval, std::stop_token stop);
    static QCoro::Task<> markReadAfterTap(QPointer<AppState> self);
    static QCoro::Task<> registerWhenPermitted(NotificationHandler* handler, std::function<void()> registerForRemote);
    void failLink(const QString& text);
    // Stops whatever the current account's operations still wait for; they change nothing when they resume.
    void retireAccount();
    QCoro::Task<> cancelAndJoinSync() { return m_scheduler.cancelAndJoin(); }

    void installConfig(std::optional<DeviceConfig> config);
    void loadLastReadId();
    void setLastReadId(qint64 id);
    void resetLastReadId();
    qint64 currentMaxMessageId() const;
    void applyDockBadge(qint64 count);
    void wipeLocalCache();
    void resetAccountState();

    // Stores `value` and notifies only when it differs from what was there; true when it did.
    template <typename T, typename U> bool assign(T& field, U&& value, void (AppState::*notify)())
    {
        if (field == value)
            return false;
        field = std::forward<U>(value);
        emit(this->*notify)();
        return true;
    }

    void setLastSyncError(std::optional<QString> text);
    void setLastSyncDate(std::optional<QDateTime> date);
    void setIsSyncing(bool syncing);
    void setPushRegistered(bool registered);
    void setLinkPhase(LinkPhase phase);
    void setLinkCode(std::optional<QString> code);

    Services m_services;
    const bool m_persistsPreferences;
    std::optional<DeviceConfig> m_config;
    std::shared_ptr<CacheContext> m_container;
    std::shared_ptr<SyncEngine> m_syncEngine;
    std::stop_source m_accountStop; // requested when the account's operations must stop (unlink, another account)
    std::optional<qint64> m_selectedAppId;
    std::optional<qint64> m_selectedMessageId;
    QString m_searchText;
    MessageSort m_messageSort;
    ApplicationSort m_applicationSort;
    std::optional<QString> m_lastSyncError;
    std::optional<DeviceConfig> m_pendingLink;
    std::optional<QDateTime> m_lastSyncDate;
    bool m_isSyncing = false;
    bool m_pushRegistered = false;
    qint64 m_lastReadId = 0;
    qint64 m_unreadCount = 0;
    LinkPhase m_linkPhase;
    std::optional<QString> m_linkCode;
    std::optional<std::stop_source> m_linkTask; // the browser-linking flow, while one runs
    QTimer m_tapDeselection; // ends the selection of the latest notification tap
    qint64 m_tapSelectedId = 0;
    // Last, so that it goes first: its destruction stops the running pass before anything the pass reads is gone.
    SyncScheduler m_scheduler;
};

} // namespace tidewell
