// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/applistpane.h"

#include "lists/listprojection.h"
#include "state/appstate.h"
#include "ui/applistmodel.h"
#include "ui/approwdelegate.h"
#include "ui/confirmation.h"
#include "ui/icons.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

namespace tidewell {

QString AppListPane::Texts::title()
{
    return tr("Applications");
}

QString AppListPane::Texts::sortMenu()
{
    return tr("Sort Applications");
}

QString AppListPane::Texts::sortPicker()
{
    return tr("Applications");
}

QString AppListPane::Texts::settings()
{
    return tr("Settings");
}

QString AppListPane::Texts::clearHistory()
{
    return tr("Clear History");
}

QString AppListPane::Texts::clearHistoryTitle(const QString& name)
{
    return tr("Clear the history of %1?").arg(name);
}

QString AppListPane::Texts::clearHistoryMessage()
{
    return tr("Its messages are deleted on the server and here. This cannot be undone.");
}

QString AppListPane::Texts::cancel()
{
    return tr("Cancel");
}

AppListPane::AppListPane(AppState& state, ListProjection& projection, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
    , m_model(new AppListModel(projection, this))
    , m_view(new QTreeView(this))
    , m_sort(new SortButton(Texts::sortMenu(), Texts::sortPicker(), this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* header = new QToolBar(this);
    header->setObjectName(QStringLiteral("sidebarToolBar"));
    header->setIconSize(QSize(16, 16));
    auto* title = new QLabel(Texts::title(), header);
    QFont bold = title->font();
    bold.setWeight(QFont::DemiBold);
    title->setFont(bold);
    title->setContentsMargins(6, 0, 0, 0);
    header->addWidget(title);
    auto* spacer = new QWidget(header);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    header->addWidget(spacer);

    const QList<ApplicationSort> sorts = ApplicationSort::allCases();
    for (const ApplicationSort sort : sorts)
        m_sort->addChoice(QIcon(), sort.label());
    m_sort->setCurrent(sorts.indexOf(state.applicationSort()));
    connect(m_sort, &SortButton::chosen, this,
        [this, sorts](qsizetype index) { m_state.setApplicationSort(sorts[index]); });
    connect(&state, &AppState::applicationSortChanged, m_sort,
        [this, sorts] { m_sort->setCurrent(sorts.indexOf(m_state.applicationSort())); });
    m_sort->setObjectName(QStringLiteral("sortApplications"));
    header->addWidget(m_sort);
    QAction* settings = header->addAction(Icons::symbol(QStringLiteral("gearshape")), Texts::settings());
    settings->setObjectName(QStringLiteral("sidebarSettings"));
    connect(settings, &QAction::triggered, this, &AppListPane::settingsRequested);
    // Never narrower than its title and buttons, so that a longer word for the title puts no button out of sight.
    header->setMinimumWidth(header->sizeHint().width());
    layout->addWidget(header);

    m_view->setObjectName(QStringLiteral("appList"));
    m_view->setAccessibleName(Texts::title());
    m_view->setModel(m_model);
    m_view->setItemDelegate(new AppRowDelegate(m_view));
    m_view->setHeaderHidden(true);
    m_view->setRootIsDecorated(false);
    m_view->setUniformRowHeights(false);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setFrameShape(QFrame::NoFrame);
    // The menu is opened from the context-menu events themselves, which tell a click from the menu key.
    m_view->setContextMenuPolicy(Qt::DefaultContextMenu);
    m_view->installEventFilter(this);
    m_view->viewport()->installEventFilter(this);
    m_view->setMouseTracking(true);
    layout->addWidget(m_view, 1);

    connect(m_view->selectionModel(), &QItemSelectionModel::currentChanged, this,
        [this](const QModelIndex& current) { selectRow(current); });
    connect(m_model, &QAbstractItemModel::modelReset, this, &AppListPane::showSelection);
    connect(&state, &AppState::selectedAppIdChanged, this, &AppListPane::showSelection);

    m_clock.setInterval(std::chrono::seconds(30));
    connect(&m_clock, &QTimer::timeout, m_view->viewport(), qOverload<>(&QWidget::update));
    m_clock.start();
    showSelection();
}

void AppListPane::selectRow(const QModelIndex& index)
{
    if (m_showingSelection || !index.isValid())
        return;
    const QVariant id = index.data(AppListModel::AppIdRole);
    m_state.setSelectedAppId(id.isValid() ? std::optional<qint64>(id.toLongLong()) : std::nullopt);
}

// The highlight follows the state, also when something else (a notification click) changes the selection.
void AppListPane::showSelection()
{
    const QScopedValueRollback guard(m_showingSelection, true);
    const int row = m_model->rowOf(m_state.selectedAppId());
    if (row < 0) {
        m_view->selectionModel()->clear();
        return;
    }
    const QModelIndex index = m_model->index(row);
    m_view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    m_view->scrollTo(index);
}

// A click on an application's row opens its menu; a click below the rows, or on "All Messages", opens none and
// leaves the selection alone: the only row it could act on is one the pointer is not on. The menu key opens the
// current row's menu on it.
bool AppListPane::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_view->viewport()
        && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease
            || event->type() == QEvent::MouseButtonDblClick)) {
        const auto* click = static_cast<QMouseEvent*>(event);
        // Below the rows, the list would clear its selection, which is the state's selected application.
        return click->button() == Qt::RightButton && !m_view->indexAt(click->position().toPoint()).isValid();
    }
    if ((watched != m_view && watched != m_view->viewport()) || event->type() != QEvent::ContextMenu)
        return QWidget::eventFilter(watched, event);
    auto* request = static_cast<QContextMenuEvent*>(event);
    if (request->reason() == QContextMenuEvent::Mouse) {
        const QPoint at = watched == m_view ? m_view->viewport()->mapFrom(m_view, request->pos()) : request->pos();
        showContextMenu(m_view->indexAt(at), at);
    } else if (const QModelIndex current = m_view->currentIndex(); current.isValid()) {
        m_view->scrollTo(current);
        showContextMenu(current, m_view->visualRect(current).center());
    }
    return true;
}

void AppListPane::showContextMenu(const QModelIndex& index, const QPoint& at)
{
    const QVariant id = index.data(AppListModel::AppIdRole);
    if (!id.isValid())
        return;
    // Shown without a nested event loop: the menu deletes itself when it closes.
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("appContextMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* clear = menu->addAction(Icons::symbol(QStringLiteral("trash")), Texts::clearHistory());
    clear->setObjectName(QStringLiteral("clearHistory"));
    connect(clear, &QAction::triggered, this,
        [this, id = id.toLongLong(), name = index.data().toString()] { confirmClear(id, name); });
    menu->popup(m_view->viewport()->mapToGlobal(at));
}

// Clearing deletes every message of the application on the server, beyond any undo, so it is asked first. The box
// is window-modal and answers through `finished`, without a nested event loop; Escape and closing it cancel.
void AppListPane::confirmClear(qint64 applicationId, const QString& name)
{
    if (m_clearConfirmation)
        m_clearConfirmation->done(QMessageBox::Cancel); // a question about another application replaces it
    Confirmation::Question question;
    question.objectName = QStringLiteral("clearHistoryConfirmation");
    question.title = Texts::clearHistoryTitle(name);
    question.message = Texts::clearHistoryMessage();
    question.confirm = Texts::clearHistory();
    question.confirmName = QStringLiteral("clearHistoryConfirm");
    question.cancel = Texts::cancel();
    question.cancelName = QStringLiteral("clearHistoryCancel");
    QMessageBox* box = Confirmation::build(this, question, [this, applicationId](bool confirmed) {
        if (confirmed)
            m_state.clearApp(applicationId); // runs on; the rows go when the cache changes
    });
    m_clearConfirmation = box;
    box->open();
}

} // namespace tidewell
