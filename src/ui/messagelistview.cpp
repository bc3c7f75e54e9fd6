#include "messagelistview.h"

#include <QAccessible>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace tidewell {

MessageListView::MessageListView(QWidget* parent)
    : QListView(parent)
{
    setVerticalScrollMode(ScrollPerItem);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    verticalScrollBar()->setSingleStep(1);
}

int MessageListView::rowCount() const
{
    return model() ? model()->rowCount(rootIndex()) : 0;
}

QModelIndex MessageListView::indexOf(int row) const
{
    return model()->index(row, 0, rootIndex());
}

int MessageListView::rowHeight(int row) const
{
    const auto known = m_heights.constFind(row);
    if (known != m_heights.constEnd())
        return *known;
    const QModelIndex index = indexOf(row);
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = QRect(0, 0, viewport()->width(), 0);
    const int height = std::max(1, itemDelegateForIndex(index)->sizeHint(option, index).height());
    m_heights.insert(row, height);
    return height;
}

void MessageListView::forgetHeights()
{
    m_heights.clear();
}

int MessageListView::topForBottom(int row) const
{
    const int height = viewport()->height();
    int used = rowHeight(row);
    int top = row;
    while (top > 0 && used + rowHeight(top - 1) <= height)
        used += rowHeight(--top);
    return top;
}

int MessageListView::topForCentre(int row) const
{
    const int above = (viewport()->height() - rowHeight(row)) / 2;
    int used = 0;
    int top = row;
    while (top > 0 && used + rowHeight(top - 1) <= above)
        used += rowHeight(--top);
    return top;
}

int MessageListView::lastTop() const
{
    const int count = rowCount();
    return count == 0 ? 0 : topForBottom(count - 1);
}

int MessageListView::rowsOnScreen() const
{
    const int count = rowCount();
    const int height = viewport()->height();
    int rows = 0;
    for (int row = m_top, y = 0; row < count; ++row) {
        y += rowHeight(row);
        if (y > height)
            break;
        ++rows;
    }
    return std::max(1, rows);
}

std::optional<int> MessageListView::rowY(int row) const
{
    if (row < m_top)
        return std::nullopt;
    const int height = viewport()->height();
    int y = 0;
    for (int at = m_top; at < row; ++at) {
        y += rowHeight(at);
        if (y >= height)
            return std::nullopt;
    }
    return y;
}

void MessageListView::setTop(int row)
{
    const int top = std::clamp(row, 0, lastTop());
    if (verticalScrollBar()->maximum() < top)
        updateGeometries();
    verticalScrollBar()->setValue(top); // calls scrollContentsBy when it moves
    if (m_top != top) {
        m_top = top;
        viewport()->update();
    }
}

QRect MessageListView::visualRect(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != model() || index.parent() != rootIndex())
        return {};
    const std::optional<int> y = rowY(index.row());
    if (!y)
        return {};
    return { 0, *y, viewport()->width(), rowHeight(index.row()) };
}

void MessageListView::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    if (!index.isValid() || index.model() != model())
        return;
    const int row = index.row();
    switch (hint) {
    case PositionAtTop:
        setTop(row);
        break;
    case PositionAtBottom:
        setTop(topForBottom(row));
        break;
    case PositionAtCenter:
        setTop(topForCentre(row));
        break;
    case EnsureVisible:
        if (row < m_top) {
            setTop(row);
        } else {
            const std::optional<int> y = rowY(row);
            if (!y || *y + rowHeight(row) > viewport()->height())
                setTop(topForBottom(row)); // a row taller than the viewport goes to the top
        }
        break;
    }
}

QModelIndex MessageListView::indexAt(const QPoint& point) const
{
    if (point.y() < 0 || point.x() < 0 || point.x() >= viewport()->width())
        return {};
    const int count = rowCount();
    int y = 0;
    for (int row = m_top; row < count && y < viewport()->height(); ++row) {
        y += rowHeight(row);
        if (point.y() < y)
            return indexOf(row);
    }
    return {};
}

void MessageListView::doItemsLayout()
{
    forgetHeights();
    QAbstractItemView::doItemsLayout(); // the scroll bar, then a repaint
}

void MessageListView::reset()
{
    forgetHeights();
    QAbstractItemView::reset();
    updateGeometries();
    viewport()->update();
}

QModelIndex MessageListView::moveCursor(CursorAction action, Qt::KeyboardModifiers)
{
    const int count = rowCount();
    if (count == 0)
        return {};
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return indexOf(action == MoveEnd ? count - 1 : 0);
    int row = current.row();
    switch (action) {
    case MoveUp:
    case MovePrevious:
        --row;
        break;
    case MoveDown:
    case MoveNext:
        ++row;
        break;
    case MovePageUp:
        row -= rowsOnScreen();
        break;
    case MovePageDown:
        row += rowsOnScreen();
        break;
    case MoveHome:
        row = 0;
        break;
    case MoveEnd:
        row = count - 1;
        break;
    case MoveLeft:
    case MoveRight:
        break;
    }
    return indexOf(std::clamp(row, 0, count - 1));
}

int MessageListView::horizontalOffset() const
{
    return 0;
}

// Positions are those of the viewport: the view has no coordinates for rows above the top one.
int MessageListView::verticalOffset() const
{
    return 0;
}

bool MessageListView::isIndexHidden(const QModelIndex&) const
{
    return false;
}

void MessageListView::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command)
{
    if (!selectionModel())
        return;
    const QRect area = rect.normalized();
    QItemSelection selection;
    const int count = rowCount();
    int y = 0;
    for (int row = m_top; row < count && y < viewport()->height() && y <= area.bottom(); ++row) {
        const int height = rowHeight(row);
        if (y + height > area.top())
            selection.select(indexOf(row), indexOf(row));
        y += height;
    }
    selectionModel()->select(selection, command);
}

QRegion MessageListView::visualRegionForSelection(const QItemSelection& selection) const
{
    QRegion region;
    for (const QItemSelectionRange& range : selection) {
        if (range.parent() != rootIndex())
            continue;
        for (int row = std::max(range.top(), m_top); row <= range.bottom(); ++row) {
            const QRect rect = visualRect(indexOf(row));
            if (!rect.isValid())
                break;
            region += rect;
        }
    }
    return region;
}

void MessageListView::updateGeometries()
{
    const int last = lastTop();
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, last);
    bar->setPageStep(rowsOnScreen());
    if (m_top > last) {
        m_top = last;
        viewport()->update();
    }
    QAbstractItemView::updateGeometries();
}

void MessageListView::scrollContentsBy(int, int)
{
    m_top = std::clamp(verticalScrollBar()->value(), 0, std::max(0, rowCount() - 1));
    viewport()->update();
}

void MessageListView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles)
{
    for (int row = topLeft.row(); row <= bottomRight.row() && !m_heights.isEmpty(); ++row)
        m_heights.remove(row);
    QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
    if (topLeft != bottomRight)
        viewport()->update();
}

void MessageListView::rowsInserted(const QModelIndex& parent, int start, int end)
{
    forgetHeights();
    QAbstractItemView::rowsInserted(parent, start, end);
    scheduleDelayedItemsLayout();
}

void MessageListView::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end)
{
    forgetHeights();
    QAbstractItemView::rowsAboutToBeRemoved(parent, start, end);
    scheduleDelayedItemsLayout();
}

void MessageListView::paintEvent(QPaintEvent* event)
{
    if (!model())
        return;
    QPainter painter(viewport());
    QStyleOptionViewItem base;
    initViewItemOption(&base);
    const QModelIndex current = currentIndex();
    const int count = rowCount();
    const int width = viewport()->width();
    const int height = viewport()->height();
    int y = 0;
    for (int row = m_top; row < count && y < height; ++row) {
        const int rowHeight = this->rowHeight(row);
        const QRect rect(0, y, width, rowHeight);
        y += rowHeight;
        if (!event->rect().intersects(rect))
            continue;
        const QModelIndex index = indexOf(row);
        QStyleOptionViewItem option = base;
        option.rect = rect;
        if (selectionModel() && selectionModel()->isSelected(index))
            option.state |= QStyle::State_Selected;
        if (index == current && hasFocus())
            option.state |= QStyle::State_HasFocus;
        itemDelegateForIndex(index)->paint(&painter, option, index);
    }
}

// The list view would name the row by a place in its own layout, which this view never makes; assistive
// technologies know a row of a one-column list by its number.
void MessageListView::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    if (QAccessible::isActive() && current.isValid() && hasFocus()) {
        QAccessibleEvent event(this, QAccessible::Focus);
        event.setChild(current.row());
        QAccessible::updateAccessibility(&event);
    }
    QAbstractItemView::currentChanged(current, previous);
}

void MessageListView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    if (QAccessible::isActive()) {
        const auto tell = [this](const QItemSelection& rows, QAccessible::Event kind) {
            const QModelIndex first = rows.indexes().value(0);
            if (!first.isValid())
                return;
            QAccessibleEvent event(this, kind);
            event.setChild(first.row());
            QAccessible::updateAccessibility(&event);
        };
        tell(selected, QAccessible::SelectionAdd);
        tell(deselected, QAccessible::SelectionRemove);
    }
    QAbstractItemView::selectionChanged(selected, deselected);
}

QSize MessageListView::viewportSizeHint() const
{
    return QAbstractItemView::viewportSizeHint();
}

void MessageListView::resizeEvent(QResizeEvent* event)
{
    forgetHeights(); // heights follow the width
    QAbstractItemView::resizeEvent(event);
    updateGeometries();
}

} // namespace tidewell
