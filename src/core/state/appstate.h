// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "account/browserlinkflow.h"
#include "account/deviceconfig.h"
#include "account/linkphase.h"
#include "api/apiclientprotocol.h"
#include "cache/cachecontext.h"
#include "lists/applicationsort.h"
#include "lists/listquery.h"
#include "lists/messagesort.h"
#include "state/accountsession.h"
#include "state/preferences.h"
#include "state/pushregistration.h"
#include "state/readposition.h"
#include "state/syncstatus.h"
#include "sync/syncengine.h"
#include "sync/syncscheduler.h"

#include <QCoroTask>
#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;

namespace tidewell {

class Badge;
class CredentialStore;
class NotificationHandler;
class TapRouting;

// The program's controller, one per process, on the UI thread: what the windows read and the operations they call.
// It keeps the view choices (selection, search, orderings) and the sync status itself and hands the rest to units
// with one concern each: the linked account (AccountSession), the browser-linking flow (BrowserLinkFlow), the read
// position and unread count (ReadPosition), the push token (PushRegistration) and notification clicks
// (TapRouting). No operation fails to its caller
// — a failure the user must see becomes one line in lastSyncError.
//
// Syncs never overlap: one pass runs at a time and any number of requests made meanwhile collapse into exactly
// one further pass (SyncScheduler). What replaces or wipes the account's data (link, unlink, clear cache) holds the
// syncs while it works; a delete or a clear first cancels the running pass and waits for it.
//
// Ownership across suspensions: the state may be destroyed, and the engine replaced, while an operation waits on
// the server. So every operation runs as a static coroutine that holds the state through a QPointer, checked after
// each await before any member is touched, and holds its own shared_ptr to the engine (which shares the client and
// the cache), never a member reference. Operations of an account that is gone (unlinked, or replaced by another)
// are stopped through that account's stop token and change nothing when they resume.
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
        Preferences* preferences = nullptr;
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
        // How long the credential store may take before the start-up read is said to be waiting, and before a save
        // or removal counts as failed.
        CredentialBounds credentialBounds;
    };

    struct Texts
    {
        static QString deleteFailed();
        static QString clearFailed();
        static QString credentialNotSaved();
        static QString credentialNotAnswering();
        static QString credentialUnreadable();
        static QString credentialKeptAfterUnlink();
        static QString syncFailedUnexpectedly();
    };

    // `inMemory` true gives a throw-away instance: an in-memory cache, and no credential, preference or read
    // position is loaded; the read position is never stored and the badge never touched.
    AppState(bool inMemory, Services services, QObject* parent = nullptr);
    ~AppState() override;

    // Fields.
    const std::optional<DeviceConfig>& config() const { return m_session->config(); }
    bool isConfigured() const { return config().has_value(); }
    // The stored credential is still being read at start; the cache shows meanwhile.
    bool isLoadingCredential() const;
    // Why no credential could be installed from the store, as one line; none when there is no such reason.
    std::optional<QString> credentialProblem() const;
    CacheContext& cache() const { return *m_cache; }
    // For readers that keep the cache beyond one call (the windows' lists).
    std::shared_ptr<CacheContext> sharedCache() const { return m_cache; }
    SyncEngine* syncEngine() const { return m_session->engine().get(); }
    bool isSyncRunning() const { return m_scheduler.isRunning(); }
    std::optional<qint64> selectedAppId() const { return m_query.applicationId; }
    void setSelectedAppId(std::optional<qint64> id);
    std::optional<qint64> selectedMessageId() const { return m_selectedMessageId; }
    // Set by a notification tap; cleared by the selection rules.
    void setSelectedMessageId(std::optional<qint64> id);
    QString searchText() const { return m_query.searchText; }
    void setSearchText(const QString& text);
    MessageSort messageSort() const { return m_query.messageSort; }
    void setMessageSort(MessageSort sort);
    ApplicationSort applicationSort() const { return m_query.applicationSort; }
    void setApplicationSort(ApplicationSort sort);
    // The four choices above as the one value the lists are filtered and ordered by.
    const ListQuery& listQuery() const { return m_query; }
    const SyncStatus& syncStatus() const { return m_syncStatus; }
    std::optional<QString> lastSyncError() const { return m_syncStatus.error; }
    std::optional<QDateTime> lastSyncDate() const { return m_syncStatus.lastDate; }
    bool isSyncing() const { return m_syncStatus.syncing; }
    bool pushRegistered() const { return m_push->isRegistered(); }
    qint64 lastReadId() const { return m_readPosition->lastReadId(); }
    qint64 unreadCount() const { return m_readPosition->unreadCount(); }
    bool persistsPreferences() const { return m_persistsPreferences; }
    LinkPhase linkPhase() const { return m_linkFlow->phase(); }
    std::optional<QString> linkCode() const { return m_linkFlow->code(); }
    const std::optional<DeviceConfig>& pendingLink() const { return m_pendingLink; }
    void setPendingLink(std::optional<DeviceConfig> link);
    bool hasCachedMessages() const { return SyncEngine::maxLocalId(*m_cache) != 0; }
    // Whether the window shows the lists rather than the "not configured" placeholder: an account is linked, or
    // messages of an earlier one are still cached (`hasMessages`).
    static bool showsMessageList(bool isConfigured, bool hasMessages) { return isConfigured || hasMessages; }

    // Read position and unread count.
    bool isUnread(const CachedMessage& message) const { return m_readPosition->isUnread(message); }
    qint64 unreadCount(std::optional<qint64> applicationId, const QList<CachedMessage>& messages) const
    {
        return m_readPosition->unreadCount(applicationId, messages);
    }
    void recomputeUnreadCount(bool updateBadge) { m_readPosition->recompute(updateBadge); }

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
    // Before the program ends: stops every operation, waits for the running pass and the cache's writes, and
    // closes the cache, so that what was committed is in the cache file itself.
    QCoro::Task<> shutDown();

    // Linking and notifications.
    void beginBrowserLink(QUrl serverURL, std::function<void(const QUrl&)> open);
    void cancelBrowserLink() { m_linkFlow->cancel(); }
    QCoro::Task<bool> configure(QUrl serverURL, QString deviceSecret);
    void handleIncomingURL(const QUrl& url);
    void confirmPendingLink();
    // Wires the notification handler's clicks and foreground notifications to this state; `registerForRemote` is
    // called once notifications are permitted and again after every link.
    void configureNotifications(std::function<void()> registerForRemoteNotifications);
    void handleNotificationTap(std::optional<qint64> messageId, std::optional<qint64> applicationId);
    // Notification clicks, once the state has handled them; the window comes forward on `routed`.
    TapRouting& tapRouting() const { return *m_tapRouting; }
    QCoro::Task<> uploadPushToken(QByteArray token);
    void markPushRegistered() { m_push->markRegistered(); }

signals:
    void configChanged();
    // The start-up read of the stored credential has finished, whatever it found.
    void credentialLoaded();
    void credentialProblemChanged();
    void selectedAppIdChanged();
    void selectedMessageIdChanged();
    void searchTextChanged();
    void messageSortChanged();
    void applicationSortChanged();
    void listQueryChanged();
    void lastSyncErrorChanged();
    void lastSyncDateChanged();
    void isSyncingChanged();
    void syncStatusChanged();
    void pushRegisteredChanged();
    void lastReadIdChanged();
    void unreadCountChanged();
    void linkPhaseChanged();
    void linkCodeChanged();
    void pendingLinkChanged();
    // A configuration has been saved and installed.
    void onLinked();
    // The unread count, for the status item: on every change, and on every recount that also sets the badge.
    void onUnreadCountChanged(qint64 count);
    // After a successful pass that cached messages above the highest id held before it (`previousMaxId`, 0 when
    // the cache was empty); `lastReadId` is the read position then. The desktop notifier raises notifications
    // from this.
    void newMessagesSynced(qint64 previousMaxId, qint64 lastReadId);

private:
    static QCoro::Task<> performSync(QPointer<AppState> self, std::shared_ptr<SyncEngine> engine, std::stop_token stop);
    static QCoro::Task<> deleteOrClear(
        QPointer<AppState> self, std::optional<CachedMessage> message, qint64 applicationId);
    static QCoro::Task<> clearCacheTask(QPointer<AppState> self);
    static QCoro::Task<> shutDownTask(QPointer<AppState> self);
    static QCoro::Task<bool> configureTask(QPointer<AppState> self, DeviceConfig config);
    static QCoro::Task<std::optional<QString>> configureForLink(QPointer<AppState> self, DeviceConfig config);
    static QCoro::Task<> markReadAfterTap(QPointer<AppState> self);
    static QCoro::Task<> registerWhenPermitted(NotificationHandler* handler, std::function<void()> registerForRemote);
    QCoro::Task<> cancelAndJoinSync() { return m_scheduler.cancelAndJoin(); }

    void resetAccountState();
    void setQuery(ListQuery query, void (AppState::*notify)());
    void setSyncStatus(SyncStatus status);
    void setSyncing(bool syncing);
    void setSyncError(std::optional<QString> error);
    void passSucceeded();
    void startSyncLater();

    Services m_services;
    const bool m_persistsPreferences;
    std::shared_ptr<CacheContext> m_cache;
    ListQuery m_query;
    std::optional<qint64> m_selectedMessageId;
    SyncStatus m_syncStatus;
    std::optional<DeviceConfig> m_pendingLink;
    std::function<void()> m_registerForRemote; // handed in by configureNotifications
    ReadPosition* m_readPosition;
    BrowserLinkFlow* m_linkFlow;
    TapRouting* m_tapRouting;
    PushRegistration* m_push;
    AccountSession* m_session;
    // Last, so that it goes first: its destruction stops the running pass before anything the pass reads is gone.
    SyncScheduler m_scheduler;
};

} // namespace tidewell
