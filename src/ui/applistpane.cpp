#include "applistpane.h"

#include "applistmodel.h"
#include "approwdelegate.h"
#include "icons.h"
#include "lists/listprojection.h"
#include "state/appstate.h"

#include <QActionGroup>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QScopedValueRollback>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace tidewell {

QString AppListPane::Texts::title()
{
    return QStringLiteral("Applications");
}

QString AppListPane::Texts::sortMenu()
{
    return QStringLiteral("Sort Applications");
}

QString AppListPane::Texts::sortPicker()
{
    return QStringLiteral("Applications");
}

QString AppListPane::Texts::settings()
{
    return QStringLiteral("Settings");
}

QString AppListPane::Texts::clearHistory()
{
    return QStringLiteral("Clear History");
}

AppListPane::AppListPane(AppState& state, ListProjection& projection, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
    , m_model(new AppListModel(projection, this))
    , m_view(new QTreeView(this))
    , m_sort(new QToolButton(this))
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

    auto* sortMenu = new QMenu(Texts::sortMenu(), this);
    sortMenu->addSection(Texts::sortPicker());
    auto* sortGroup = new QActionGroup(sortMenu);
    for (const ApplicationSort sort : ApplicationSort::allCases()) {
        QAction* choice = sortMenu->addAction(sort.rawValue());
        choice->setCheckable(true);
        choice->setChecked(sort == state.applicationSort());
        choice->setData(int(sort.value()));
        sortGroup->addAction(choice);
        connect(choice, &QAction::triggered, this, [this, sort] { m_state.setApplicationSort(sort); });
    }
    connect(&state, &AppState::applicationSortChanged, sortMenu, [sortGroup, &state] {
        for (QAction* choice : sortGroup->actions())
            choice->setChecked(choice->data().toInt() == int(state.applicationSort().value()));
    });
    m_sort->setObjectName(QStringLiteral("sortApplications"));
    m_sort->setMenu(sortMenu);
    m_sort->setPopupMode(QToolButton::InstantPopup);
    m_sort->setIcon(Icons::symbol(QStringLiteral("arrow.up.arrow.down")));
    m_sort->setToolTip(Texts::sortMenu());
    m_sort->setAccessibleName(Texts::sortMenu());
    header->addWidget(m_sort);
    QAction* settings = header->addAction(Icons::symbol(QStringLiteral("gearshape")), Texts::settings());
    settings->setObjectName(QStringLiteral("sidebarSettings"));
    connect(settings, &QAction::triggered, this, &AppListPane::settingsRequested);
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
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    m_view->setMouseTracking(true);
    layout->addWidget(m_view, 1);

    connect(m_view->selectionModel(), &QItemSelectionModel::currentChanged, this,
        [this](const QModelIndex& current) { selectRow(current); });
    connect(m_model, &QAbstractItemModel::modelReset, this, &AppListPane::showSelection);
    connect(&state, &AppState::selectedAppIdChanged, this, &AppListPane::showSelection);
    connect(m_view, &QWidget::customContextMenuRequested, this, &AppListPane::showContextMenu);

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

void AppListPane::showContextMenu(const QPoint& position)
{
    QModelIndex index = m_view->indexAt(position);
    QPoint at = position;
    if (!index.isValid()) { // from the keyboard's menu key
        index = m_view->currentIndex();
        at = m_view->visualRect(index).center();
    }
    const QVariant id = index.data(AppListModel::AppIdRole);
    if (!id.isValid())
        return;
    // Shown without a nested event loop: the menu deletes itself when it closes.
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("appContextMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* clear = menu->addAction(Icons::symbol(QStringLiteral("trash")), Texts::clearHistory());
    clear->setObjectName(QStringLiteral("clearHistory"));
    connect(clear, &QAction::triggered, this, [this, id] { m_state.clearApp(id.toLongLong()); });
    menu->popup(m_view->viewport()->mapToGlobal(at));
}

} // namespace tidewell
