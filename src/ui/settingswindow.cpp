#include "settingswindow.h"

#include "base/platformwords.h"
#include "icons.h"
#include "notify/notificationhandler.h"
#include "services/loginitem.h"
#include "state/appstate.h"
#include "state/checkinterval.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QShortcut>
#include <QShowEvent>
#include <QStyle>
#include <QVBoxLayout>

namespace tidewell {

using Status = NotificationCentre::AuthorizationStatus;

QString SettingsWindow::Texts::windowTitle()
{
    return QStringLiteral("Settings");
}

QString SettingsWindow::Texts::connection()
{
    return QStringLiteral("Connection");
}

QString SettingsWindow::Texts::connectionFooter()
{
    return QStringLiteral("Links this %1 to your Tidewell account through your web browser \u2014 no codes to copy.")
        .arg(PlatformWords::computerInSentence());
}

QString SettingsWindow::Texts::linked()
{
    return QStringLiteral("Linked");
}

QString SettingsWindow::Texts::linkThisComputer()
{
    return QStringLiteral("Link this ") + PlatformWords::computerTitle();
}

QString SettingsWindow::Texts::relinkThisComputer()
{
    return QStringLiteral("Re-link this ") + PlatformWords::computerTitle();
}

QString SettingsWindow::Texts::waitingForApproval()
{
    return QStringLiteral("Waiting for approval in your browser\u2026");
}

QString SettingsWindow::Texts::pairCode()
{
    return QStringLiteral("Pair code");
}

QString SettingsWindow::Texts::pairCodeHint()
{
    return QStringLiteral("Confirm this code matches the one on the dashboard before approving.");
}

QString SettingsWindow::Texts::cancel()
{
    return QStringLiteral("Cancel");
}

QString SettingsWindow::Texts::unlinkReset()
{
    return QStringLiteral("Unlink / Reset");
}

QString SettingsWindow::Texts::notifications()
{
    return QStringLiteral("Notifications");
}

QString SettingsWindow::Texts::permission()
{
    return QStringLiteral("Permission");
}

QString SettingsWindow::Texts::permissionStatus(Status status)
{
    switch (status) {
    case Status::NotDetermined:
        return QStringLiteral("Not set");
    case Status::Denied:
        return QStringLiteral("Off");
    case Status::Authorized:
        return QStringLiteral("On");
    case Status::Provisional:
        return QStringLiteral("Provisional");
    case Status::Ephemeral:
        return QStringLiteral("Ephemeral");
    }
    return QStringLiteral("Unknown");
}

QString SettingsWindow::Texts::openSystemSettings()
{
    return QStringLiteral("Open System Settings");
}

QString SettingsWindow::Texts::turnOnNotifications()
{
    return QStringLiteral("Turn On Notifications");
}

QString SettingsWindow::Texts::pushRegistration()
{
    return QStringLiteral("Push registration");
}

QString SettingsWindow::Texts::registered()
{
    return QStringLiteral("Registered");
}

QString SettingsWindow::Texts::pending()
{
    return QStringLiteral("Pending");
}

QString SettingsWindow::Texts::notAvailable()
{
    return QStringLiteral("Not available");
}

QString SettingsWindow::Texts::notAvailableHint()
{
    return QStringLiteral("This system has no push service, so Tidewell fetches new messages every few minutes.");
}

QString SettingsWindow::Texts::sync()
{
    return QStringLiteral("Sync");
}

QString SettingsWindow::Texts::syncFooter()
{
    return QStringLiteral(
        "Deletes on other devices are not pulled automatically \u2014 use Clear Local Cache if histories diverge.");
}

QString SettingsWindow::Texts::lastSynced()
{
    return QStringLiteral("Last synced");
}

QString SettingsWindow::Texts::never()
{
    return QStringLiteral("Never");
}

QString SettingsWindow::Texts::lastError()
{
    return QStringLiteral("Last error");
}

QString SettingsWindow::Texts::syncNow()
{
    return QStringLiteral("Sync Now");
}

QString SettingsWindow::Texts::clearLocalCache()
{
    return QStringLiteral("Clear Local Cache");
}

QString SettingsWindow::Texts::checkEvery()
{
    return QStringLiteral("Check every");
}

QString SettingsWindow::Texts::minutes(qint64 count)
{
    return count == 1 ? QStringLiteral("1 minute") : QString::number(count) + QStringLiteral(" minutes");
}

QString SettingsWindow::Texts::startAtLogin()
{
    return QStringLiteral("Start at login");
}

QString SettingsWindow::Texts::startAtLoginHint()
{
    return QStringLiteral("Tidewell starts in the background with its status icon, syncing and notifying.");
}

QString SettingsWindow::Texts::about()
{
    return QStringLiteral("About");
}

QString SettingsWindow::Texts::version()
{
    return QStringLiteral("Version");
}

QString SettingsWindow::Texts::webDashboard()
{
    return QStringLiteral("Web Dashboard");
}

QString SettingsWindow::Texts::done()
{
    return QStringLiteral("Done");
}

QString SettingsWindow::Texts::unlinkTitle()
{
    return QStringLiteral("Unlink this device?");
}

QString SettingsWindow::Texts::unlinkMessage()
{
    return QStringLiteral(
        "Removes this device from the server, clears the saved secret and local messages. You can link again anytime.");
}

QString SettingsWindow::Texts::unlink()
{
    return QStringLiteral("Unlink");
}

QString SettingsWindow::Texts::clearTitle()
{
    return QStringLiteral("Clear local cache?");
}

QString SettingsWindow::Texts::clearMessage()
{
    return QStringLiteral("Deletes cached messages and apps on this device, then re-syncs from the server.");
}

QString SettingsWindow::Texts::clear()
{
    return QStringLiteral("Clear");
}

QColor SettingsWindow::positiveColour()
{
    return QColor(0x2e, 0x8b, 0x3a);
}

QColor SettingsWindow::negativeColour()
{
    return QColor(0xd7, 0x26, 0x1e);
}

QString SettingsWindow::versionText(
    const std::optional<QString>& shortVersion, const std::optional<QString>& buildVersion)
{
    const QString unknown = QStringLiteral("?");
    // A build that is known by its version alone says it once: "1.4.2 (1.4.2)" tells nothing more.
    if (shortVersion && buildVersion == shortVersion)
        return *shortVersion;
    return shortVersion.value_or(unknown) + QStringLiteral(" (") + buildVersion.value_or(unknown) + u')';
}

// The locale's long date without its weekday and with the month abbreviated ("Jan 5, 2025"), then a short time.
QString SettingsWindow::dateText(const QDateTime& date)
{
    const QLocale locale;
    const QDateTime local = date.toLocalTime();
    QString pattern = locale.dateFormat(QLocale::LongFormat);
    static const QRegularExpression weekday(QStringLiteral("d{4}[,.]?\\s*"));
    pattern.remove(weekday);
    pattern.replace(QStringLiteral("MMMM"), QStringLiteral("MMM"));
    return locale.toString(local.date(), pattern.trimmed()) + QStringLiteral(", ")
        + locale.toString(local.time(), QLocale::ShortFormat);
}

namespace {

QLabel* secondary(QLabel* label)
{
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

void tint(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::ButtonText, colour);
    widget->setPalette(palette);
}

QLabel* iconLabel(const QIcon& icon, QWidget* parent)
{
    auto* label = new QLabel(parent);
    const int extent = parent->style()->pixelMetric(QStyle::PM_SmallIconSize);
    label->setPixmap(icon.pixmap(extent, extent));
    return label;
}

// A label on the left and its value on the right, as one row that shows and hides as a whole.
QWidget* labelledRow(QWidget* parent, const QString& name, QWidget* label, QWidget* value)
{
    auto* row = new QWidget(parent);
    row->setObjectName(name);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    label->setParent(row);
    value->setParent(row);
    layout->addWidget(label);
    layout->addStretch(1);
    layout->addWidget(value);
    return row;
}

QLabel* textLabel(const QString& text, const QString& name, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

QLabel* footer(const QString& text, const QString& name, QWidget* parent)
{
    QLabel* label = secondary(textLabel(text, name, parent));
    label->setWordWrap(true);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    label->setFont(font);
    return label;
}

QProgressBar* busyIndicator(const QString& name, QWidget* parent)
{
    auto* bar = new QProgressBar(parent);
    bar->setObjectName(name);
    bar->setRange(0, 0);
    bar->setTextVisible(false);
    bar->setFixedSize(48, 10);
    return bar;
}

QGroupBox* section(const QString& title, const QString& name, QWidget* parent)
{
    auto* box = new QGroupBox(title, parent);
    box->setObjectName(name);
    auto* layout = new QVBoxLayout(box);
    layout->setSpacing(8);
    return box;
}

} // namespace

SettingsWindow::SettingsWindow(AppState& state, Services services, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_state(state)
    , m_services(std::move(services))
{
    if (!m_services.openURL)
        m_services.openURL = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    if (!m_services.notifications)
        m_services.notifications = &NotificationHandler::shared();

    setObjectName(QStringLiteral("settingsWindow"));
    setWindowTitle(Texts::windowTitle());
    setMinimumSize(480, 560);
    resize(520, 680);

    auto* outer = new QVBoxLayout(this);
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("settingsScroll"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* content = new QWidget(scroll);
    content->setObjectName(QStringLiteral("settingsContent"));
    auto* sections = new QVBoxLayout(content);
    sections->setContentsMargins(0, 0, 0, 0);
    sections->setSpacing(14);
    buildConnection(section(Texts::connection(), QStringLiteral("connectionSection"), content));
    buildNotifications(section(Texts::notifications(), QStringLiteral("notificationsSection"), content));
    buildSync(section(Texts::sync(), QStringLiteral("syncSection"), content));
    buildAbout(section(Texts::about(), QStringLiteral("aboutSection"), content));
    for (const char* name : { "connectionSection", "notificationsSection", "syncSection", "aboutSection" })
        sections->addWidget(content->findChild<QWidget*>(QLatin1String(name), Qt::FindDirectChildrenOnly));
    sections->addStretch(1);
    scroll->setWidget(content);
    outer->addWidget(scroll, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* done = new QPushButton(Texts::done(), this);
    done->setObjectName(QStringLiteral("doneButton"));
    done->setDefault(true);
    connect(done, &QPushButton::clicked, this, &QWidget::close);
    buttons->addWidget(done);
    outer->addLayout(buttons);

    auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    close->setObjectName(QStringLiteral("escapeShortcut"));
    connect(close, &QShortcut::activated, this, &QWidget::close);
    // The main window's Close Window keys close this one too, Ctrl+W wherever the desktop's own key differs.
    QList<QKeySequence> closeKeys = QKeySequence::keyBindings(QKeySequence::Close);
    if (!closeKeys.contains(QKeySequence(Qt::CTRL | Qt::Key_W)))
        closeKeys.append(QKeySequence(Qt::CTRL | Qt::Key_W));
    auto* closeWindow = new QShortcut(this);
    closeWindow->setObjectName(QStringLiteral("closeShortcut"));
    closeWindow->setKeys(closeKeys);
    connect(closeWindow, &QShortcut::activated, this, &QWidget::close);

    for (auto signal : { &AppState::configChanged, &AppState::linkPhaseChanged, &AppState::linkCodeChanged,
             &AppState::pushRegisteredChanged, &AppState::isSyncingChanged, &AppState::lastSyncDateChanged,
             &AppState::lastSyncErrorChanged })
        connect(&state, signal, this, &SettingsWindow::refresh);
    refresh();
    setNotifStatus(m_notifStatus);
}

SettingsWindow::~SettingsWindow() = default;

void SettingsWindow::buildConnection(QWidget* box)
{
    auto* layout = static_cast<QVBoxLayout*>(box->layout());

    auto* linkedLabel = new QWidget(box);
    linkedLabel->setObjectName(QStringLiteral("linkedLabelGroup"));
    auto* linkedLayout = new QHBoxLayout(linkedLabel);
    linkedLayout->setContentsMargins(0, 0, 0, 0);
    QLabel* linkedIcon = iconLabel(
        QIcon::fromTheme(QStringLiteral("emblem-ok-symbolic"), style()->standardIcon(QStyle::SP_DialogApplyButton)),
        linkedLabel);
    linkedIcon->setObjectName(QStringLiteral("linkedIcon"));
    linkedLayout->addWidget(linkedIcon);
    QLabel* linkedText = textLabel(Texts::linked(), QStringLiteral("linkedLabel"), linkedLabel);
    tint(linkedText, positiveColour());
    linkedLayout->addWidget(linkedText);
    m_linkedHost = secondary(textLabel(QString(), QStringLiteral("linkedHost"), box));
    m_linkedHost->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_linkedRow = labelledRow(box, QStringLiteral("linkedRow"), linkedLabel, m_linkedHost);
    layout->addWidget(m_linkedRow);

    m_linkButton = new QPushButton(box);
    m_linkButton->setObjectName(QStringLiteral("linkButton"));
    m_linkButton->setIcon(QIcon::fromTheme(QStringLiteral("insert-link")));
    connect(m_linkButton, &QPushButton::clicked, this, &SettingsWindow::beginLink);
    auto* linkRow = new QHBoxLayout;
    linkRow->addWidget(m_linkButton);
    linkRow->addStretch(1);
    layout->addLayout(linkRow);

    m_linkFailureRow = new QWidget(box);
    m_linkFailureRow->setObjectName(QStringLiteral("linkFailureRow"));
    auto* failureLayout = new QHBoxLayout(m_linkFailureRow);
    failureLayout->setContentsMargins(0, 0, 0, 0);
    QLabel* failureIcon = iconLabel(Icons::symbol(QStringLiteral("exclamationmark.triangle.fill")), box);
    failureIcon->setObjectName(QStringLiteral("linkFailureIcon"));
    failureLayout->addWidget(failureIcon, 0, Qt::AlignTop);
    m_linkFailure = textLabel(QString(), QStringLiteral("linkFailure"), m_linkFailureRow);
    m_linkFailure->setWordWrap(true);
    tint(m_linkFailure, negativeColour());
    failureLayout->addWidget(m_linkFailure, 1);
    layout->addWidget(m_linkFailureRow);

    m_waiting = new QWidget(box);
    m_waiting->setObjectName(QStringLiteral("waitingGroup"));
    auto* waitingLayout = new QVBoxLayout(m_waiting);
    waitingLayout->setContentsMargins(0, 0, 0, 0);
    waitingLayout->setSpacing(8);
    auto* progressRow = new QHBoxLayout;
    progressRow->setSpacing(10);
    progressRow->addWidget(busyIndicator(QStringLiteral("waitingProgress"), m_waiting));
    progressRow->addWidget(
        secondary(textLabel(Texts::waitingForApproval(), QStringLiteral("waitingLabel"), m_waiting)), 1);
    waitingLayout->addLayout(progressRow);
    m_pairCode = textLabel(QString(), QStringLiteral("pairCode"), m_waiting);
    QFont code = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    code.setPointSizeF(std::max(code.pointSizeF(), 10.0) * 1.6);
    m_pairCode->setFont(code);
    m_pairCode->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_pairCodeRow = labelledRow(m_waiting, QStringLiteral("pairCodeRow"),
        textLabel(Texts::pairCode(), QStringLiteral("pairCodeLabel"), m_waiting), m_pairCode);
    waitingLayout->addWidget(m_pairCodeRow);
    m_pairCodeHint = footer(Texts::pairCodeHint(), QStringLiteral("pairCodeHint"), m_waiting);
    waitingLayout->addWidget(m_pairCodeHint);
    layout->addWidget(m_waiting);

    m_cancelLink = new QPushButton(Texts::cancel(), box);
    m_cancelLink->setObjectName(QStringLiteral("cancelLinkButton"));
    connect(m_cancelLink, &QPushButton::clicked, this, [this] { m_state.cancelBrowserLink(); });
    auto* cancelRow = new QHBoxLayout;
    cancelRow->addWidget(m_cancelLink);
    cancelRow->addStretch(1);
    layout->addLayout(cancelRow);

    m_unlink = new QPushButton(Texts::unlinkReset(), box);
    m_unlink->setObjectName(QStringLiteral("unlinkButton"));
    tint(m_unlink, negativeColour());
    connect(m_unlink, &QPushButton::clicked, this, [this] {
        confirm(m_unlinkConfirmation, QStringLiteral("unlinkConfirmation"), Texts::unlinkTitle(),
            Texts::unlinkMessage(), Texts::unlink(), [this] { m_state.unlink(); });
    });
    auto* unlinkRow = new QHBoxLayout;
    unlinkRow->addWidget(m_unlink);
    unlinkRow->addStretch(1);
    layout->addLayout(unlinkRow);

    layout->addWidget(footer(Texts::connectionFooter(), QStringLiteral("connectionFooter"), box));
}

void SettingsWindow::buildNotifications(QWidget* box)
{
    auto* layout = static_cast<QVBoxLayout*>(box->layout());
    m_permission = textLabel(QString(), QStringLiteral("permissionValue"), box);
    layout->addWidget(labelledRow(box, QStringLiteral("permissionRow"),
        textLabel(Texts::permission(), QStringLiteral("permissionLabel"), box), m_permission));

    m_openSystemSettings = new QPushButton(Texts::openSystemSettings(), box);
    m_openSystemSettings->setObjectName(QStringLiteral("openSystemSettingsButton"));
    connect(m_openSystemSettings, &QPushButton::clicked, this, [this] {
        if (m_services.openNotificationSettings)
            m_services.openNotificationSettings(); // when nothing opens there is nothing more to do
    });
    m_turnOn = new QPushButton(Texts::turnOnNotifications(), box);
    m_turnOn->setObjectName(QStringLiteral("turnOnNotificationsButton"));
    connect(m_turnOn, &QPushButton::clicked, this,
        [this] { requestNotifs(QPointer<SettingsWindow>(this), m_services.notifications); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_openSystemSettings);
    buttons->addWidget(m_turnOn);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    m_push = secondary(textLabel(QString(), QStringLiteral("pushRegistrationValue"), box));
    layout->addWidget(labelledRow(box, QStringLiteral("pushRegistrationRow"),
        textLabel(Texts::pushRegistration(), QStringLiteral("pushRegistrationLabel"), box), m_push));
}

void SettingsWindow::buildSync(QWidget* box)
{
    auto* layout = static_cast<QVBoxLayout*>(box->layout());

    auto* lastSyncedValue = new QWidget(box);
    lastSyncedValue->setObjectName(QStringLiteral("lastSyncedGroup"));
    auto* valueLayout = new QHBoxLayout(lastSyncedValue);
    valueLayout->setContentsMargins(0, 0, 0, 0);
    m_syncProgress = busyIndicator(QStringLiteral("syncProgress"), lastSyncedValue);
    valueLayout->addWidget(m_syncProgress);
    m_lastSynced = secondary(textLabel(QString(), QStringLiteral("lastSyncedValue"), lastSyncedValue));
    valueLayout->addWidget(m_lastSynced);
    layout->addWidget(labelledRow(box, QStringLiteral("lastSyncedRow"),
        textLabel(Texts::lastSynced(), QStringLiteral("lastSyncedLabel"), box), lastSyncedValue));

    m_lastError = textLabel(QString(), QStringLiteral("lastErrorValue"), box);
    m_lastError->setWordWrap(true);
    m_lastError->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_lastError->setTextInteractionFlags(Qt::TextSelectableByMouse);
    tint(m_lastError, negativeColour());
    m_lastErrorRow = labelledRow(box, QStringLiteral("lastErrorRow"),
        textLabel(Texts::lastError(), QStringLiteral("lastErrorLabel"), box), m_lastError);
    static_cast<QHBoxLayout*>(m_lastErrorRow->layout())->setStretch(2, 3);
    layout->addWidget(m_lastErrorRow);

    m_syncNow = new QPushButton(Texts::syncNow(), box);
    m_syncNow->setObjectName(QStringLiteral("syncNowButton"));
    connect(m_syncNow, &QPushButton::clicked, this, [this] { m_state.startSync(); });
    m_clearCache = new QPushButton(Texts::clearLocalCache(), box);
    m_clearCache->setObjectName(QStringLiteral("clearCacheButton"));
    tint(m_clearCache, negativeColour());
    connect(m_clearCache, &QPushButton::clicked, this, [this] {
        confirm(m_clearConfirmation, QStringLiteral("clearConfirmation"), Texts::clearTitle(), Texts::clearMessage(),
            Texts::clear(), [this] { m_state.clearCache(); });
    });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_syncNow);
    buttons->addWidget(m_clearCache);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    m_checkInterval = new QComboBox(box);
    m_checkInterval->setObjectName(QStringLiteral("checkInterval"));
    for (const std::chrono::seconds choice : CheckInterval::choices) {
        m_checkInterval->addItem(Texts::minutes(std::chrono::duration_cast<std::chrono::minutes>(choice).count()),
            static_cast<qlonglong>(choice.count()));
    }
    QWidget* intervalRow = labelledRow(box, QStringLiteral("checkIntervalRow"),
        textLabel(Texts::checkEvery(), QStringLiteral("checkIntervalLabel"), box), m_checkInterval);
    layout->addWidget(intervalRow);
    if (QSettings* preferences = m_services.preferences) {
        const std::chrono::seconds current = CheckInterval::load(*preferences);
        m_checkInterval->setCurrentIndex(m_checkInterval->findData(static_cast<qlonglong>(current.count())));
        connect(m_checkInterval, &QComboBox::currentIndexChanged, this, [this](int index) {
            const std::chrono::seconds chosen { m_checkInterval->itemData(index).toLongLong() };
            CheckInterval::store(*m_services.preferences, chosen);
            emit checkIntervalChanged(chosen);
        });
    } else {
        intervalRow->hide();
    }

    m_startAtLogin = new QCheckBox(Texts::startAtLogin(), box);
    m_startAtLogin->setObjectName(QStringLiteral("startAtLogin"));
    m_startAtLogin->setToolTip(Texts::startAtLoginHint());
    layout->addWidget(m_startAtLogin);
    if (LoginItem* item = m_services.loginItem) {
        m_startAtLogin->setChecked(item->isEnabled());
        connect(m_startAtLogin, &QCheckBox::toggled, this, [this](bool enabled) {
            if (m_services.loginItem->setEnabled(enabled))
                return;
            const QSignalBlocker blocker(m_startAtLogin); // the desktop kept what it had; show that
            m_startAtLogin->setChecked(m_services.loginItem->isEnabled());
        });
    } else {
        m_startAtLogin->hide();
    }

    layout->addWidget(footer(Texts::syncFooter(), QStringLiteral("syncFooter"), box));
}

void SettingsWindow::buildAbout(QWidget* box)
{
    auto* layout = static_cast<QVBoxLayout*>(box->layout());
    QLabel* version = secondary(
        textLabel(versionText(m_services.shortVersion, m_services.buildVersion), QStringLiteral("versionValue"), box));
    version->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(labelledRow(
        box, QStringLiteral("versionRow"), textLabel(Texts::version(), QStringLiteral("versionLabel"), box), version));

    auto* dashboard = new QPushButton(Texts::webDashboard(), box);
    dashboard->setObjectName(QStringLiteral("webDashboardLink"));
    dashboard->setFlat(true);
    dashboard->setCursor(Qt::PointingHandCursor);
    QFont font = dashboard->font();
    font.setUnderline(true);
    dashboard->setFont(font);
    tint(dashboard, palette().color(QPalette::Link));
    connect(dashboard, &QPushButton::clicked, this, [this] { m_services.openURL(m_services.serverURL); });
    auto* row = new QHBoxLayout;
    row->addWidget(dashboard);
    row->addStretch(1);
    layout->addLayout(row);
}

void SettingsWindow::refresh()
{
    const bool configured = m_state.isConfigured();
    const LinkPhase phase = m_state.linkPhase();
    const bool waiting = phase.kind == LinkPhase::Kind::Waiting;

    m_linkedRow->setVisible(configured);
    m_linkedHost->setText(configured ? m_state.config()->serverURL.host() : QString());
    m_linkButton->setText(configured ? Texts::relinkThisComputer() : Texts::linkThisComputer());
    m_linkButton->setVisible(!waiting);
    m_linkFailureRow->setVisible(phase.kind == LinkPhase::Kind::Failed);
    m_linkFailure->setText(phase.message);
    m_waiting->setVisible(waiting);
    const std::optional<QString> code = m_state.linkCode();
    m_pairCode->setText(code.value_or(QString()));
    m_pairCodeRow->setVisible(code.has_value());
    m_pairCodeHint->setVisible(code.has_value());
    m_cancelLink->setVisible(waiting);
    m_unlink->setVisible(configured);

    if (m_state.pushRegistered()) {
        m_push->setText(Texts::registered());
        m_push->setToolTip(QString());
    } else if (!m_services.pushServiceAvailable) {
        m_push->setText(Texts::notAvailable());
        m_push->setToolTip(Texts::notAvailableHint());
    } else {
        m_push->setText(Texts::pending());
        m_push->setToolTip(QString());
    }

    const bool syncing = m_state.isSyncing();
    m_syncProgress->setVisible(syncing);
    m_lastSynced->setVisible(!syncing);
    const std::optional<QDateTime> date = m_state.lastSyncDate();
    m_lastSynced->setText(date ? dateText(*date) : Texts::never());
    const std::optional<QString> error = m_state.lastSyncError();
    m_lastErrorRow->setVisible(error.has_value());
    m_lastError->setText(error.value_or(QString()));
    m_syncNow->setEnabled(configured && !syncing);
    m_clearCache->setEnabled(configured);
}

void SettingsWindow::setNotifStatus(Status status)
{
    m_notifStatus = status;
    m_permission->setText(Texts::permissionStatus(status));
    if (status == Status::Authorized) {
        m_permission->setForegroundRole(QPalette::WindowText);
        tint(m_permission, positiveColour());
    } else {
        m_permission->setPalette(QPalette());
        secondary(m_permission);
    }
    m_openSystemSettings->setVisible(status == Status::Denied);
    m_turnOn->setVisible(status == Status::NotDetermined);
}

void SettingsWindow::beginLink()
{
    m_state.beginBrowserLink(m_services.serverURL, m_services.openURL);
}

// Window-modal and asynchronous, like every question Tidewell asks: the answer arrives through `finished`. Escape
// and closing the box count as "Cancel".
void SettingsWindow::confirm(QPointer<QMessageBox>& box, const QString& objectName, const QString& title,
    const QString& message, const QString& destructive, std::function<void()> action)
{
    if (box) {
        box->raise();
        return;
    }
    box = new QMessageBox(QMessageBox::Warning, title, title, QMessageBox::NoButton, this);
    box->setObjectName(objectName);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setInformativeText(message);
    QPushButton* confirmed = box->addButton(destructive, QMessageBox::DestructiveRole);
    confirmed->setObjectName(objectName + u"Confirm"_qs);
    tint(confirmed, negativeColour());
    QPushButton* cancel = box->addButton(Texts::cancel(), QMessageBox::RejectRole);
    cancel->setObjectName(objectName + u"Cancel"_qs);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    connect(box, &QMessageBox::finished, this, [dialog = box.data(), confirmed, action = std::move(action)] {
        if (dialog->clickedButton() == confirmed)
            action();
    });
    box->open();
}

void SettingsWindow::showAndRaise()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

// Read each time the window is shown: a change made in the desktop's settings shows on the next opening.
void SettingsWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        readStatus(QPointer<SettingsWindow>(this), m_services.notifications);
}

QCoro::Task<> SettingsWindow::readStatus(QPointer<SettingsWindow> self, NotificationHandler* handler)
{
    const Status status = co_await handler->authorizationStatus();
    if (!self)
        co_return;
    self->setNotifStatus(status);
    emit self->notificationStatusRead();
}

QCoro::Task<> SettingsWindow::requestNotifs(QPointer<SettingsWindow> self, NotificationHandler* handler)
{
    co_await handler->requestAuthorization(); // the answer is read back as the status below
    const Status status = co_await handler->authorizationStatus();
    if (!self)
        co_return;
    self->setNotifStatus(status);
    emit self->notificationStatusRead();
    if (status == Status::Authorized && self->m_services.registerForRemoteNotifications)
        self->m_services.registerForRemoteNotifications();
}

} // namespace tidewell
