// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/mainwindow.h"

#include "base/platformwords.h"
#include "lists/listprojection.h"
#include "state/appstate.h"
#include "ui/applistpane.h"
#include "ui/banner.h"
#include "ui/colours.h"
#include "ui/confirmation.h"
#include "ui/emptystate.h"
#include "ui/icons.h"
#include "ui/messagelistpane.h"
#include "ui/showandraise.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QGridLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QShowEvent>
#include <QSpacerItem>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace tidewell {

QString MainWindow::Texts::windowTitle()
{
    return tr("Tidewell");
}

QString MainWindow::Texts::notConfigured()
{
    return tr("Not Configured");
}

QString MainWindow::Texts::notConfiguredDescription()
{
    return tr("Open Settings and choose \u201cLink this %1\u201d to approve this device in your browser.")
        .arg(PlatformWords::computerTitle());
}

QString MainWindow::Texts::settings()
{
    return tr("Settings");
}

QString MainWindow::Texts::sync()
{
    return tr("Sync");
}

QString MainWindow::Texts::refresh()
{
    return tr("Refresh");
}

QString MainWindow::Texts::offline()
{
    return tr("Showing cached messages \u2014 link this device in Settings to sync.");
}

QString MainWindow::Texts::dismiss()
{
    return tr("Dismiss");
}

QString MainWindow::Texts::linkTitle()
{
    return tr("Link this device?");
}

// The host as written, without scheme, port or path; "server" when the address has none.
QString MainWindow::Texts::linkMessage(const QUrl& serverURL)
{
    QString host = serverURL.host(QUrl::FullyEncoded);
    if (host.isEmpty())
        //: Stands for the host name in "Connect to %1 with the scanned device secret." when the address has none.
        host = tr("server");
    //: %1 is the server's host name.
    return tr("Connect to %1 with the scanned device secret. This replaces any existing configuration.").arg(host);
}

QString MainWindow::Texts::link()
{
    return tr("Link");
}

QString MainWindow::Texts::cancel()
{
    return tr("Cancel");
}

QString MainWindow::Texts::markAllRead()
{
    return tr("Mark All Read");
}

QString MainWindow::Texts::pasteLink()
{
    return tr("Paste Link URL");
}

QString MainWindow::Texts::find()
{
    return tr("Find");
}

QString MainWindow::Texts::quit()
{
    return tr("Quit Tidewell");
}

QString MainWindow::Texts::closeWindow()
{
    return tr("Close Window");
}

QString MainWindow::Texts::settingsItem()
{
    return tr("Settings\u2026");
}

MainWindow::MainWindow(AppState& state, QWidget* parent)
    : QMainWindow(parent)
    , m_state(state)
    , m_projection(std::make_unique<ListProjection>(state.sharedCache()))
    , m_splitter(new QSplitter(this))
    , m_detail(new QStackedWidget(this))
    , m_placeholder(new QWidget(this))
    , m_placeholderNote(new EmptyState(m_placeholder))
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(Texts::windowTitle());
    // Small enough for half of a small screen, which is what a tiling compositor gives a window.
    setMinimumSize(480, 400);
    resize(980, 640);
    setAcceptDrops(true);

    // The projection follows the state's read position, filter and orderings.
    ListProjection& projection = *m_projection;
    projection.setLastReadId(state.lastReadId());
    projection.setQuery(state.listQuery());
    connect(&state, &AppState::lastReadIdChanged, this, [this] { m_projection->setLastReadId(m_state.lastReadId()); });
    connect(&state, &AppState::listQueryChanged, this, [this] { m_projection->setQuery(m_state.listQuery()); });

    m_appList = new AppListPane(state, projection, m_splitter);
    m_messageList = new MessageListPane(state, projection, m_detail);
    connect(m_appList, &AppListPane::settingsRequested, this, &MainWindow::settingsRequested);

    m_sync = new QAction(Icons::symbol(QStringLiteral("arrow.clockwise")), Texts::sync(), this);
    m_sync->setObjectName(QStringLiteral("syncAction"));
    connect(m_sync, &QAction::triggered, this, [this] { m_state.startSync(); });
    m_messageList->addHeaderAction(m_sync);
    // The keys ask for a sync whenever they are pressed, also while one runs and the button is off: the state
    // folds a request during a pass into one more pass after it.
    m_refresh = new QAction(Icons::symbol(QStringLiteral("arrow.clockwise")), Texts::refresh(), this);
    m_refresh->setObjectName(QStringLiteral("refreshAction"));
    // Both keys by name: the desktop's standard refresh key is only one of them on some desktops.
    m_refresh->setShortcuts({ QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_R) });
    connect(m_refresh, &QAction::triggered, this, [this] { m_state.startSync(); });
    addAction(m_refresh);

    // Banners, in this order: offline, then the last error.
    auto* banners = new QWidget(m_messageList);
    auto* bannerLayout = new QVBoxLayout(banners);
    bannerLayout->setContentsMargins(0, 0, 0, 0);
    bannerLayout->setSpacing(0);
    m_offline = new Banner(QStringLiteral("icloud.slash"), QColor(), banners);
    m_offline->setObjectName(QStringLiteral("offlineBanner"));
    m_offline->setText(Texts::offline());
    bannerLayout->addWidget(m_offline);
    m_error = new Banner(QStringLiteral("exclamationmark.triangle.fill"), Colours::negative(), banners);
    m_error->setObjectName(QStringLiteral("errorBanner"));
    connect(m_error->addButton(Texts::dismiss(), QStringLiteral("dismissError")), &QPushButton::clicked, this,
        [this] { m_state.dismissSyncError(); });
    connect(m_error->addButton(Texts::settings(), QStringLiteral("errorSettings")), &QPushButton::clicked, this,
        &MainWindow::settingsRequested);
    bannerLayout->addWidget(m_error);
    m_messageList->setBanners(banners);

    // The placeholder when there is neither a link nor anything cached.
    auto* placeholderLayout = new QVBoxLayout(m_placeholder);
    placeholderLayout->setContentsMargins(0, 0, 0, 0);
    auto* placeholderBar = new QToolBar(m_placeholder);
    placeholderBar->setIconSize(QSize(16, 16));
    auto* spacer = new QWidget(placeholderBar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    placeholderBar->addWidget(spacer);
    QAction* placeholderSettings
        = placeholderBar->addAction(Icons::symbol(QStringLiteral("gearshape")), Texts::settings());
    placeholderSettings->setObjectName(QStringLiteral("placeholderSettings"));
    connect(placeholderSettings, &QAction::triggered, this, &MainWindow::settingsRequested);
    placeholderLayout->addWidget(placeholderBar);
    m_placeholderNote->setObjectName(QStringLiteral("notConfigured"));
    m_placeholderNote->present(QStringLiteral("gear"), Texts::notConfigured(), Texts::notConfiguredDescription());
    placeholderLayout->addWidget(m_placeholderNote, 1);
    m_placeholder->setObjectName(QStringLiteral("placeholder"));

    m_detail->addWidget(m_placeholder);
    m_detail->addWidget(m_messageList);
    m_splitter->addWidget(m_appList);
    m_splitter->addWidget(m_detail);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({ 290, 690 });
    m_splitter->setChildrenCollapsible(false);
    m_appList->setMinimumWidth(200);
    setCentralWidget(m_splitter);

    buildMenus();
    // Tab goes sidebar, search, messages: the order the eye reads them, without the header buttons in between.
    setTabOrder(m_appList->view(), m_messageList->searchField());
    setTabOrder(m_messageList->searchField(), m_messageList->view());

    for (auto signal : { &AppState::configChanged, &AppState::isSyncingChanged })
        connect(&state, signal, this, &MainWindow::updateDetail);
    // Whether anything is cached changes only with the lists.
    for (auto signal : { &ListProjection::messagesReset, &ListProjection::messagesInserted,
             &ListProjection::messagesRemoved, &ListProjection::appsReset })
        connect(&projection, signal, this, &MainWindow::updateDetail);
    connect(&projection, &ListProjection::appsChanged, this, &MainWindow::updateDetail);
    connect(&state, &AppState::configChanged, this, &MainWindow::updateBanners);
    connect(&state, &AppState::credentialProblemChanged, this, &MainWindow::updateBanners);
    connect(&state, &AppState::lastSyncErrorChanged, this, &MainWindow::updateBanners);
    connect(&state, &AppState::configChanged, this, &MainWindow::updateSyncEnabled);
    connect(&state, &AppState::isSyncingChanged, this, &MainWindow::updateSyncEnabled);
    connect(&state, &AppState::pendingLinkChanged, this, &MainWindow::showLinkConfirmation);
    updateDetail();
    updateBanners();
    updateSyncEnabled();
    if (state.pendingLink())
        showLinkConfirmation();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildMenus()
{
    m_settings = new QAction(Icons::symbol(QStringLiteral("gearshape")), Texts::settingsItem(), this);
    m_settings->setObjectName(QStringLiteral("settingsAction"));
    m_settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    m_settings->setShortcutContext(Qt::ApplicationShortcut);
    connect(m_settings, &QAction::triggered, this, &MainWindow::settingsRequested);

    m_quit = new QAction(Texts::quit(), this);
    m_quit->setObjectName(QStringLiteral("quitAction"));
    m_quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_quit->setShortcutContext(Qt::ApplicationShortcut);
    m_quit->setMenuRole(QAction::QuitRole);
    connect(m_quit, &QAction::triggered, this, &MainWindow::quitRequested);

    // Application-wide: it works whichever of Tidewell's windows is in front.
    m_markAllRead = new QAction(Icons::symbol(QStringLiteral("envelope.open")), Texts::markAllRead(), this);
    m_markAllRead->setObjectName(QStringLiteral("markAllReadCommand"));
    m_markAllRead->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_U));
    m_markAllRead->setShortcutContext(Qt::ApplicationShortcut);
    connect(m_markAllRead, &QAction::triggered, this, [this] { m_state.markRead(); });

    auto* close = new QAction(Texts::closeWindow(), this);
    close->setShortcut(QKeySequence::Close);
    connect(close, &QAction::triggered, this, &QWidget::close);

    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(m_settings);
    file->addSeparator();
    file->addAction(close);
    file->addAction(m_quit);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    auto* paste = edit->addAction(Texts::pasteLink(), this, &MainWindow::pasteLink);
    paste->setObjectName(QStringLiteral("pasteLinkAction"));
    paste->setShortcut(QKeySequence::Paste); // a text field in focus takes its own paste first
    auto* find = edit->addAction(
        Icons::symbol(QStringLiteral("magnifyingglass")), Texts::find(), m_messageList, &MessageListPane::focusSearch);
    find->setObjectName(QStringLiteral("findAction"));
    find->setShortcut(QKeySequence::Find);

    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->addAction(m_refresh);
    view->addAction(m_markAllRead);
    view->addSeparator();
    view->addMenu(m_appList->sortButton()->menu());
    view->addMenu(m_messageList->sortButton()->menu());
}

QList<QAction*> MainWindow::applicationActions() const
{
    return { m_markAllRead, m_settings, m_quit };
}

void MainWindow::showAndRaise()
{
    tidewell::showAndRaise(this);
}

// Each time the window comes on screen: a sync, or the settings when there is nothing to sync. A window closed
// and opened again while unlinked points to the settings again.
void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        QTimer::singleShot(0, this, &MainWindow::start);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        emit closed();
}

void MainWindow::start()
{
    // The stored credential may still be on its way from the keyring: decide once it is here.
    if (m_state.isLoadingCredential()) {
        connect(&m_state, &AppState::credentialLoaded, this, &MainWindow::start, Qt::SingleShotConnection);
        return;
    }
    if (m_state.isConfigured())
        m_state.startSync();
    else if (!m_state.pendingLink()) // a link waiting for confirmation is the way to link; the settings would hide it
        emit settingsRequested();
}

void MainWindow::updateDetail()
{
    const bool list = AppState::showsMessageList(m_state.isConfigured(), m_projection->hasMessages());
    m_detail->setCurrentWidget(list ? static_cast<QWidget*>(m_messageList) : m_placeholder);
}

void MainWindow::updateBanners()
{
    m_offline->setVisible(!m_state.isConfigured() && !m_state.isLoadingCredential());
    const std::optional<QString> error = m_state.lastSyncError();
    m_error->setText(error.value_or(QString()));
    m_error->setVisible(error.has_value());
}

void MainWindow::updateSyncEnabled()
{
    m_sync->setEnabled(m_state.isConfigured() && !m_state.isSyncing());
}

// Window-modal and asynchronous: the answer arrives through `finished`, without a nested event loop. However the
// box closes, the pending link is gone afterwards; "Link" takes it first.
void MainWindow::showLinkConfirmation()
{
    const std::optional<DeviceConfig> pending = m_state.pendingLink();
    if (!pending) {
        if (m_confirmation)
            m_confirmation->done(QMessageBox::Cancel);
        return;
    }
    if (!m_confirmation) {
        Confirmation::Question question;
        question.icon = QMessageBox::Question;
        question.objectName = QStringLiteral("linkConfirmation");
        question.title = Texts::linkTitle();
        question.message = Texts::linkMessage(pending->serverURL);
        question.confirm = Texts::link();
        question.confirmName = QStringLiteral("confirmLink");
        question.confirmRole = QMessageBox::AcceptRole;
        question.cancel = Texts::cancel();
        question.cancelName = QStringLiteral("cancelLink");
        question.confirmIsDefault = true;
        m_confirmation = Confirmation::build(this, question, [this](bool confirmed) {
            if (confirmed)
                m_state.confirmPendingLink();
            m_state.setPendingLink(std::nullopt);
        });
        showAndRaise();
        widenLinkConfirmation();
        m_confirmation->open();
        return;
    }
    m_confirmation->setInformativeText(Texts::linkMessage(pending->serverURL));
    widenLinkConfirmation();
}

// A message box sizes itself to its shortest words: the sentence would wrap into a narrow column and the window
// manager would cut the title. Room for the message on two lines, and for the title beside the application's name
// and the title bar's buttons, keeps both whole; the box still fits its content above that.
void MainWindow::widenLinkConfirmation()
{
    auto* grid = qobject_cast<QGridLayout*>(m_confirmation->layout());
    if (!grid)
        return;
    const QFontMetrics metrics(m_confirmation->font());
    const int em = metrics.horizontalAdvance(u'M');
    // Two thirds of the sentence's length, as lines break between words; beside it the icon and margins.
    const int message = metrics.horizontalAdvance(m_confirmation->informativeText()) * 2 / 3
        + m_confirmation->iconPixmap().width() + 6 * em;
    const int title = metrics.horizontalAdvance(Texts::linkTitle() + u" \u2014 "_qs + Texts::windowTitle()) + 12 * em;
    const int width = std::min(std::max(message, title), 60 * em);
    // Added anew each time: the box lays itself out again whenever its text is set.
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
        grid->columnCount());
}

void MainWindow::pasteLink()
{
    const QString text = QApplication::clipboard()->text().trimmed();
    if (!text.isEmpty())
        m_state.handleIncomingURL(QUrl(text)); // anything but a link URL is ignored quietly
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls() || event->mimeData()->hasText())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const QMimeData* data = event->mimeData();
    const QUrl url = data->hasUrls() && !data->urls().isEmpty() ? data->urls().first() : QUrl(data->text().trimmed());
    m_state.handleIncomingURL(url);
    event->acceptProposedAction();
}

} // namespace tidewell
