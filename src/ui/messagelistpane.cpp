// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/messagelistpane.h"

#include "lists/listpresentation.h"
#include "lists/listprojection.h"
#include "state/appstate.h"
#include "ui/emptystate.h"
#include "ui/icons.h"
#include "ui/messagelistmodel.h"
#include "ui/messagelistview.h"
#include "ui/messagerowdelegate.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QShowEvent>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

namespace tidewell {

QString MessageListPane::Texts::markAllRead()
{
    return tr("Mark All Read");
}

QString MessageListPane::Texts::markAllReadHelp(qint64 unread)
{
    return unread > 0 ? tr("Mark %n unread as read", nullptr, int(unread)) : tr("No unread messages");
}

QString MessageListPane::Texts::sortMenu()
{
    return tr("Sort Messages");
}

QString MessageListPane::Texts::sortPicker()
{
    return tr("Messages");
}

QString MessageListPane::Texts::searchPrompt(const QString& title)
{
    //: %1 is what the list shows: "All Messages" or an application's name.
    return tr("Search %1").arg(title);
}

QString MessageListPane::Texts::deleteMessage()
{
    return tr("Delete");
}

QString MessageListPane::Texts::copyText()
{
    return tr("Copy Text");
}

QString MessageListPane::Texts::openLink()
{
    return tr("Open Link");
}

QString MessageListPane::Texts::noResults()
{
    return tr("No Results");
}

QString MessageListPane::Texts::noMessages()
{
    return tr("No Messages");
}

namespace {

QString sortSymbol(MessageSort sort)
{
    switch (sort.value()) {
    case MessageSort::Newest:
        return QStringLiteral("arrow.down");
    case MessageSort::Oldest:
        return QStringLiteral("arrow.up");
    case MessageSort::Title:
        return QStringLiteral("textformat");
    }
    return {};
}

} // namespace

MessageListPane::MessageListPane(AppState& state, ListProjection& projection, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
    , m_projection(projection)
    , m_model(new MessageListModel(state, projection, this))
    , m_header(new QToolBar(this))
    , m_title(new QLabel(m_header))
    , m_sort(new SortButton(Texts::sortMenu(), Texts::sortPicker(), this))
    , m_search(new QLineEdit(this))
    , m_layout(new QVBoxLayout(this))
    , m_view(new MessageListView(this))
    , m_empty(new EmptyState(m_view->viewport()))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);

    m_header->setObjectName(QStringLiteral("messageToolBar"));
    m_header->setIconSize(QSize(16, 16));
    m_header->setToolButtonStyle(Qt::ToolButtonIconOnly);
    QFont bold = m_title->font();
    bold.setWeight(QFont::DemiBold);
    m_title->setFont(bold);
    m_title->setObjectName(QStringLiteral("listTitle"));
    m_title->setContentsMargins(6, 0, 6, 0);
    m_header->addWidget(m_title);
    auto* spacer = new QWidget(m_header);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_header->addWidget(spacer);

    m_search->setObjectName(QStringLiteral("searchField"));
    m_search->setClearButtonEnabled(true);
    m_search->addAction(Icons::symbol(QStringLiteral("magnifyingglass")), QLineEdit::LeadingPosition);
    m_search->setText(state.searchText());
    m_search->installEventFilter(this);

    m_markAllRead = m_header->addAction(Icons::symbol(QStringLiteral("envelope.open")), Texts::markAllRead());
    m_markAllRead->setObjectName(QStringLiteral("markAllReadButton"));
    connect(m_markAllRead, &QAction::triggered, this, [this] { m_state.markRead(); });

    const QList<MessageSort> sorts = MessageSort::allCases();
    for (const MessageSort sort : sorts)
        m_sort->addChoice(Icons::symbol(sortSymbol(sort)), sort.label());
    m_sort->setCurrent(sorts.indexOf(state.messageSort()));
    connect(
        m_sort, &SortButton::chosen, this, [this, sorts](qsizetype index) { m_state.setMessageSort(sorts[index]); });
    connect(&state, &AppState::messageSortChanged, m_sort,
        [this, sorts] { m_sort->setCurrent(sorts.indexOf(m_state.messageSort())); });
    m_sort->setObjectName(QStringLiteral("sortMessages"));
    m_header->addWidget(m_sort);
    m_layout->addWidget(m_header);
    // The search has a row of its own under the header, so that the list's title and its buttons keep their room
    // in a narrow pane and with longer words.
    auto* searchBar = new QWidget(this);
    searchBar->setObjectName(QStringLiteral("searchBar"));
    auto* searchLayout = new QHBoxLayout(searchBar);
    searchLayout->setContentsMargins(6, 2, 6, 4);
    searchLayout->addWidget(m_search);
    m_layout->addWidget(searchBar);

    m_view->setObjectName(QStringLiteral("messageList"));
    m_view->setModel(m_model);
    auto* delegate = new MessageRowDelegate(m_view);
    m_view->setItemDelegate(delegate);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setFrameShape(QFrame::NoFrame);
    // The menu is opened from the context-menu events themselves, which tell a click from the menu key.
    m_view->setContextMenuPolicy(Qt::DefaultContextMenu);
    m_view->installEventFilter(this);
    m_view->viewport()->installEventFilter(this);
    m_layout->addWidget(m_view, 1);
    m_empty->setObjectName(QStringLiteral("messageEmptyState"));
    m_empty->hide();

    auto* remove = new QAction(Icons::symbol(QStringLiteral("trash")), Texts::deleteMessage(), m_view);
    remove->setObjectName(QStringLiteral("deleteMessage"));
    remove->setShortcuts({ QKeySequence::Delete, QKeySequence(Qt::Key_Backspace) });
    remove->setShortcutContext(Qt::WidgetShortcut);
    connect(remove, &QAction::triggered, this, &MessageListPane::deleteCurrent);
    m_view->addAction(remove);
    auto* copy = new QAction(Texts::copyText(), m_view);
    copy->setObjectName(QStringLiteral("copyMessage"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, &MessageListPane::copyCurrent);
    m_view->addAction(copy);
    auto* open = new QAction(Texts::openLink(), m_view);
    open->setObjectName(QStringLiteral("openLink"));
    open->setShortcuts({ QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter) });
    open->setShortcutContext(Qt::WidgetShortcut);
    connect(open, &QAction::triggered, this, &MessageListPane::openCurrentLink);
    m_view->addAction(open);

    connect(
        delegate, &MessageRowDelegate::linkActivated, this, [](const QUrl& url) { QDesktopServices::openUrl(url); });
    connect(m_search, &QLineEdit::textChanged, this, [this](const QString& text) { m_state.setSearchText(text); });
    connect(&state, &AppState::searchTextChanged, this, [this] {
        if (m_search->text() != m_state.searchText())
            m_search->setText(m_state.searchText());
    });
    connect(&state, &AppState::selectedAppIdChanged, this, &MessageListPane::updateTitle);
    connect(&projection, &ListProjection::appsReset, this, &MessageListPane::updateTitle);
    connect(&projection, &ListProjection::appsChanged, this, &MessageListPane::updateTitle);
    for (auto signal : { &AppState::lastReadIdChanged, &AppState::selectedAppIdChanged })
        connect(&state, signal, this, &MessageListPane::updateMarkAllRead);
    connect(&projection, &ListProjection::appsReset, this, &MessageListPane::updateMarkAllRead);
    connect(&projection, &ListProjection::appsChanged, this, &MessageListPane::updateMarkAllRead);
    connect(&projection, &ListProjection::messagesReset, this, &MessageListPane::updateMarkAllRead);
    for (auto signal : { &QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved }) {
        connect(m_model, signal, this, &MessageListPane::updateMarkAllRead);
        connect(m_model, signal, this, &MessageListPane::updateEmptyState);
    }
    // A tapped message that a sync has just brought takes the cursor.
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &MessageListPane::takeTapped);
    connect(m_view, &MessageListView::topChanged, this, &MessageListPane::rememberTop);
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this, [this] { m_rebuilding = true; });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        restoreTop();
        updateEmptyState();
        revealSelected(); // once the selected message appears after a filter change
    });
    connect(&state, &AppState::selectedMessageIdChanged, this, &MessageListPane::revealSelected);
    connect(&state, &AppState::selectedMessageIdChanged, this, &MessageListPane::followTap);
    // After the reveal above, which the current row's own scrolling must not undo.
    connect(m_model, &QAbstractItemModel::modelReset, this, &MessageListPane::restoreCurrent);
    // The current message is known by its id, read while the rows are still the ones the view shows: by the time
    // the model is reset the rows are already new.
    connect(m_view->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
        if (current.isValid())
            m_currentId = current.data(MessageListModel::MessageIdRole).toLongLong();
    });
    connect(&state, &AppState::searchTextChanged, this, &MessageListPane::updateEmptyState);

    updateTitle();
    updateMarkAllRead();
    updateEmptyState();
}

QString MessageListPane::title() const
{
    const std::optional<qint64> selected = m_state.selectedAppId();
    return ListPresentation::title(selected, selected ? m_projection.app(*selected) : nullptr);
}

void MessageListPane::addHeaderAction(QAction* action)
{
    m_header->addAction(action);
    keepHeaderRoom();
}

void MessageListPane::setBanners(QWidget* banners)
{
    m_layout->insertWidget(m_layout->indexOf(m_view), banners);
}

// The pane is never narrower than its header and its search prompt with the title Tidewell words itself: no button
// goes behind the tool bar's overflow arrow and neither the title nor the prompt is cut. An application's name, as
// long as the server made it, may be.
void MessageListPane::keepHeaderRoom()
{
    const QString allMessages = ListPresentation::allMessagesTitle();
    const int title = m_title->fontMetrics().horizontalAdvance(allMessages) + m_title->contentsMargins().left()
        + m_title->contentsMargins().right();
    m_header->setMinimumWidth(m_header->sizeHint().width() - m_title->sizeHint().width() + title);
    // Beside the prompt, the magnifying glass is about as wide as the field is high; then the frame.
    m_search->setMinimumWidth(m_search->fontMetrics().horizontalAdvance(Texts::searchPrompt(allMessages))
        + m_search->sizeHint().height() + 16);
}

void MessageListPane::focusSearch()
{
    m_search->setFocus(Qt::ShortcutFocusReason);
    m_search->selectAll();
}

void MessageListPane::updateTitle()
{
    const QString text = title();
    m_title->setText(text);
    m_search->setPlaceholderText(Texts::searchPrompt(text));
    m_search->setAccessibleName(Texts::searchPrompt(text));
    m_view->setAccessibleName(text);
    keepHeaderRoom();
}

// Counted over the whole cache for the selected application (or all): the search does not narrow it.
void MessageListPane::updateMarkAllRead()
{
    const qint64 unread = m_projection.unreadCount(m_state.selectedAppId());
    m_markAllRead->setEnabled(unread > 0);
    m_markAllRead->setToolTip(Texts::markAllReadHelp(unread));
}

void MessageListPane::updateEmptyState()
{
    if (m_model->rowCount() > 0) {
        m_empty->hide();
        return;
    }
    if (!m_state.searchText().isEmpty())
        m_empty->present(QStringLiteral("magnifyingglass"), Texts::noResults());
    else
        m_empty->present(QStringLiteral("tray"), Texts::noMessages());
    m_empty->setGeometry(m_view->viewport()->rect());
}

void MessageListPane::revealSelected()
{
    const std::optional<qint64> selected = m_state.selectedMessageId();
    if (!selected)
        return;
    const int row = m_model->rowOf(*selected);
    if (row >= 0)
        m_view->scrollTo(m_model->index(row), QAbstractItemView::PositionAtCenter);
}

// Rows that come and go are told as ranges, which the view follows by itself. A list made anew (another application,
// search or order) keeps what was being read where it was, to the pixel, when it is still listed: the message at
// the top and how far it was scrolled into. It is noted as the list scrolls, since by the time the model says it
// was reset, its rows already read the new list. At the very top nothing is noted, so that new messages show.
void MessageListPane::rememberTop()
{
    if (m_rebuilding)
        return;
    m_topId.reset();
    if (m_view->topRow() == 0 && m_view->topOffset() == 0)
        return;
    const QModelIndex top = m_model->index(m_view->topRow());
    if (top.isValid()) {
        m_topId = top.data(MessageListModel::MessageIdRole).toLongLong();
        m_topOffset = m_view->topOffset();
    }
}

void MessageListPane::restoreTop()
{
    m_rebuilding = false;
    if (m_topId) {
        const int row = m_model->rowOf(*m_topId);
        if (row >= 0)
            m_view->setTopRow(row, m_topOffset);
        else
            m_view->setTopRow(0);
    }
    rememberTop();
}

// The row goes when the cache changes, and the view then hands the cursor to the next row (the previous one after
// the last), so that Delete pressed again goes on down the list. Pressed again before then, it does nothing: that
// message is on its way.
void MessageListPane::deleteCurrent()
{
    const QModelIndex current = m_view->currentIndex();
    if (!current.isValid())
        return;
    const qint64 id = current.data(MessageListModel::MessageIdRole).toLongLong();
    if (m_deleting == id)
        return;
    const std::optional<CachedMessage> message = m_projection.message(id);
    if (!message)
        return;
    m_deleting = id;
    settleDelete(QPointer<MessageListPane>(this), m_state.deleteMessage(*message), id); // runs on
}

// Once the delete is over, the row is gone, or it failed and the message stays cached: Delete may try again.
QCoro::Task<> MessageListPane::settleDelete(QPointer<MessageListPane> self, QCoro::Task<> deletion, qint64 messageId)
{
    co_await std::move(deletion);
    if (self && self->m_deleting == messageId)
        self->m_deleting.reset();
}

// A list made anew keeps its current message, without scrolling to it: what was being read stays where it was.
// A tapped message that has just arrived takes the cursor.
void MessageListPane::restoreCurrent()
{
    if (takeTapped())
        return;
    const int row = m_currentId ? m_model->rowOf(*m_currentId) : -1;
    if (row >= 0)
        setCurrentRow(row, false);
}

bool MessageListPane::takeTapped()
{
    if (!m_tappedId)
        return false;
    const int row = m_model->rowOf(*m_tappedId);
    if (row < 0)
        return false;
    m_tappedId.reset();
    setCurrentRow(row, true);
    m_view->setFocus(Qt::OtherFocusReason); // after the row: focus on a list without one would take the first
    return true;
}

void MessageListPane::setCurrentRow(int row, bool scroll)
{
    const bool autoScroll = m_view->hasAutoScroll();
    m_view->setAutoScroll(autoScroll && scroll);
    m_view->selectionModel()->setCurrentIndex(m_model->index(row), QItemSelectionModel::ClearAndSelect);
    m_view->setAutoScroll(autoScroll);
}

// The message a notification click opens becomes the list's current row, with the keyboard in the list, so that
// the keys go on from it and assistive technologies announce it. One not cached yet takes the row when it arrives.
void MessageListPane::followTap()
{
    const std::optional<qint64> selected = m_state.selectedMessageId();
    m_tappedId.reset();
    if (!selected)
        return;
    const int row = m_model->rowOf(*selected);
    if (row < 0) {
        m_tappedId = selected;
        return;
    }
    setCurrentRow(row, true);
    m_view->setFocus(Qt::OtherFocusReason); // after the row: focus on a list without one would take the first
}

// The list centres the selected message when it comes on screen: a click that first shows the window selected it
// while the list had no size of its own yet. The layout has its sizes once the events of the showing are through.
void MessageListPane::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous() && m_state.selectedMessageId())
        QTimer::singleShot(0, this, &MessageListPane::revealSelected);
}

void MessageListPane::copyCurrent()
{
    const QModelIndex current = m_view->currentIndex();
    if (current.isValid())
        QApplication::clipboard()->setText(current.data(MessageListModel::PlainBodyRole).toString());
}

void MessageListPane::openCurrentLink()
{
    const QUrl url = m_view->currentIndex().data(MessageListModel::LinkUrlRole).toUrl();
    if (url.isValid())
        QDesktopServices::openUrl(url);
}

// A click on a row opens its menu, and makes it current; a click below the rows opens none and changes nothing,
// since the only row it could act on is one the pointer is not on. The menu key opens the current row's menu on it.
bool MessageListPane::contextMenuEvent(QObject* watched, QContextMenuEvent* event)
{
    if (event->reason() == QContextMenuEvent::Mouse) {
        const QPoint at = watched == m_view ? m_view->viewport()->mapFrom(m_view, event->pos()) : event->pos();
        const QModelIndex index = m_view->indexAt(at);
        if (index.isValid()) {
            m_view->setCurrentIndex(index);
            showContextMenu(index, at);
        }
        return true;
    }
    const QModelIndex current = m_view->currentIndex();
    if (current.isValid()) {
        m_view->scrollTo(current);
        const QRect rect = m_view->visualRect(current).intersected(m_view->viewport()->rect());
        showContextMenu(current, rect.isValid() ? rect.center() : QPoint());
    }
    return true;
}

void MessageListPane::showContextMenu(const QModelIndex& index, const QPoint& at)
{
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("messageContextMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (QAction* action : m_view->actions()) {
        if (action->objectName() == u"openLink" && !index.data(MessageListModel::LinkUrlRole).isValid())
            continue;
        if (action->objectName() == u"deleteMessage")
            menu->addSeparator();
        menu->addAction(action);
    }
    menu->popup(m_view->viewport()->mapToGlobal(at));
}

bool MessageListPane::isRightClickBelowTheRows(QEvent* event) const
{
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonRelease
        && event->type() != QEvent::MouseButtonDblClick)
        return false;
    const auto* click = static_cast<QMouseEvent*>(event);
    return click->button() == Qt::RightButton && !m_view->indexAt(click->position().toPoint()).isValid();
}

// Escape empties the search; in an empty field it hands the keyboard back to the messages.
bool MessageListPane::searchKeyEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Escape || event->modifiers() != Qt::NoModifier)
        return false;
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept(); // the field's, not a shortcut's
        return true;
    }
    if (!m_search->text().isEmpty())
        m_search->clear();
    else
        m_view->setFocus(Qt::ShortcutFocusReason);
    return true;
}

bool MessageListPane::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_view->viewport() && event->type() == QEvent::Resize) {
        m_empty->setGeometry(m_view->viewport()->rect());
    } else if ((watched == m_view || watched == m_view->viewport()) && event->type() == QEvent::ContextMenu) {
        return contextMenuEvent(watched, static_cast<QContextMenuEvent*>(event));
    } else if (watched == m_view->viewport() && isRightClickBelowTheRows(event)) {
        return true; // the list would clear its selection
    } else if (watched == m_search
        && (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)) {
        return searchKeyEvent(static_cast<QKeyEvent*>(event));
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace tidewell
