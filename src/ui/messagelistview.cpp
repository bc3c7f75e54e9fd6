// SPDX-License-Identifier: GPL-3.0-or-later
// Longer than our other files, and kept whole: every part of it serves one contract, Qt's item view, whose overrides
// (positions, the scroll bar, wheel and keys, hit tests, the selection's region, painting) all read and move the one
// position of a row and an offset into it. Cut apart, each piece would need the others' private state.
#include "ui/messagelistview.h"

#include <QAccessible>
#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <vector>

namespace tidewell {

namespace {

// Heights beyond this many pixels in all make the scroll bar count in larger units: its value is an int.
constexpr qint64 barLimit = 1'000'000'000;

} // namespace

MessageListView::MessageListView(QWidget* parent)
    : QListView(parent)
{
    setVerticalScrollMode(ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QScrollBar* bar = verticalScrollBar();
    bar->installEventFilter(this);
    // A step or a page asked of the scroll bar (its arrows, a click on its track, its keys) moves the content by
    // exactly that many pixels, walking the rows it passes; the bar's own reading of a position is only an estimate
    // below the rows measured so far.
    connect(bar, &QAbstractSlider::actionTriggered, this, [this](int action) {
        std::optional<Position> target;
        const Position here { m_top, m_offset };
        const int page = std::max(1, viewport()->height() - lineStep());
        switch (action) {
        case QAbstractSlider::SliderSingleStepAdd:
            target = moved(here, lineStep());
            break;
        case QAbstractSlider::SliderSingleStepSub:
            target = moved(here, -lineStep());
            break;
        case QAbstractSlider::SliderPageStepAdd:
            target = moved(here, page);
            break;
        case QAbstractSlider::SliderPageStepSub:
            target = moved(here, -page);
            break;
        case QAbstractSlider::SliderToMinimum:
            target = Position {};
            break;
        case QAbstractSlider::SliderToMaximum:
            target = end();
            break;
        default:
            return; // a drag: the bar's reading decides
        }
        m_pending = *target;
        verticalScrollBar()->setSliderPosition(int(pixelsAbove(*target) / barScale()));
    });
}

int MessageListView::rowCount() const
{
    return model() ? model()->rowCount(rootIndex()) : 0;
}

QModelIndex MessageListView::indexOf(int row) const
{
    return model()->index(row, 0, rootIndex());
}

int MessageListView::lineStep() const
{
    return std::max(1, fontMetrics().lineSpacing());
}

int MessageListView::rowHeight(int row) const
{
    const auto known = m_heights.find(row);
    if (known != m_heights.end())
        return known->second;
    const QModelIndex index = indexOf(row);
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = QRect(0, 0, viewport()->width(), 0);
    const int height = std::max(1, itemDelegateForIndex(index)->sizeHint(option, index).height());
    m_heights.emplace(row, height);
    return height;
}

void MessageListView::forgetHeights()
{
    // The rows not yet measured are assumed to be as tall as the middle one of those measured so far: a few tall
    // messages must not stretch the estimate for all the others.
    if (!m_heights.empty()) {
        std::vector<int> heights;
        heights.reserve(m_heights.size());
        for (const auto& [row, height] : m_heights)
            heights.push_back(height);
        const auto middle = heights.begin() + qsizetype(heights.size() / 2);
        std::nth_element(heights.begin(), middle, heights.end());
        m_estimate = std::max(1, *middle);
    }
    m_heights.clear();
    m_end.reset();
}

MessageListView::Position MessageListView::end() const
{
    if (m_end)
        return *m_end;
    const int count = rowCount();
    const int height = std::max(1, viewport()->height());
    Position last;
    int used = 0;
    for (int row = count - 1; row >= 0; --row) {
        const int rowHeight = this->rowHeight(row);
        if (used + rowHeight >= height) {
            last = { row, used + rowHeight - height };
            break;
        }
        used += rowHeight;
    }
    m_end = last;
    return last;
}

MessageListView::Position MessageListView::moved(Position from, qint64 pixels) const
{
    const int count = rowCount();
    if (count == 0)
        return {};
    const Position last = end();
    Position to { std::clamp(from.row, 0, count - 1), 0 };
    qint64 offset = from.offset + pixels;
    while (offset < 0 && to.row > 0)
        offset += rowHeight(--to.row);
    while (to.row < last.row && offset >= rowHeight(to.row))
        offset -= rowHeight(to.row++);
    to.offset = int(std::clamp<qint64>(offset, 0, rowHeight(to.row) - 1));
    return std::min(to, last);
}

std::optional<int> MessageListView::rowY(int row) const
{
    if (row < m_top || row >= rowCount())
        return std::nullopt;
    const int height = viewport()->height();
    int y = -m_offset;
    for (int at = m_top; at < row; ++at) {
        y += rowHeight(at);
        if (y >= height)
            return std::nullopt;
    }
    return y;
}

qint64 MessageListView::pixelsAbove(Position position) const
{
    qint64 pixels = qint64(position.row) * m_estimate + position.offset;
    for (auto it = m_heights.begin(); it != m_heights.end() && it->first < position.row; ++it)
        pixels += it->second - m_estimate;
    return pixels;
}

MessageListView::Position MessageListView::positionAt(qint64 pixels) const
{
    const int count = rowCount();
    if (count == 0 || pixels <= 0)
        return {};
    // Between measured rows every row counts as the estimate; a measured row counts as itself.
    qint64 top = 0; // the top edge of `row`
    int row = 0;
    for (const auto& [measured, height] : m_heights) {
        const qint64 span = qint64(measured - row) * m_estimate;
        if (pixels < top + span)
            break;
        top += span;
        row = measured;
        if (pixels < top + height)
            return std::min(Position { row, int(pixels - top) }, end());
        top += height;
        row = measured + 1;
    }
    const qint64 rows = (pixels - top) / m_estimate;
    if (row + rows >= count)
        return end();
    row += int(rows);
    // An estimated row is entered as far, in proportion, as the bar was moved into its estimate.
    const qint64 into = pixels - top - rows * m_estimate;
    return std::min(Position { row, int(into * rowHeight(row) / m_estimate) }, end());
}

int MessageListView::barScale() const
{
    return int(1 + (pixelsAbove(end()) + viewport()->height()) / barLimit);
}

void MessageListView::syncScrollBar()
{
    // The rows on screen are measured first: counted at the estimate, a tall one would put the list's end above
    // the position shown.
    const int count = rowCount();
    for (int row = m_top, y = -m_offset; row < count && y < viewport()->height(); ++row)
        y += rowHeight(row);
    QScrollBar* bar = verticalScrollBar();
    const int scale = barScale();
    m_syncingBar = true;
    bar->setRange(0, int(pixelsAbove(end()) / scale));
    bar->setPageStep(std::max(1, viewport()->height() / scale));
    bar->setSingleStep(std::max(1, lineStep() / scale));
    bar->setValue(int(pixelsAbove({ m_top, m_offset }) / scale));
    m_syncingBar = false;
}

void MessageListView::setPosition(Position position)
{
    position = std::min(position, end());
    const bool moves = position != Position { m_top, m_offset };
    if (moves) {
        m_top = position.row;
        m_offset = position.offset;
        viewport()->update();
    }
    syncScrollBar();
    if (moves)
        emit topChanged();
}

void MessageListView::setTopRow(int row, int offset)
{
    const int count = rowCount();
    if (count == 0) {
        setPosition({});
        return;
    }
    row = std::clamp(row, 0, count - 1);
    setPosition(moved({ row, 0 }, std::max(0, offset)));
}

void MessageListView::scrollByPixels(int pixels)
{
    setPosition(moved({ m_top, m_offset }, pixels));
}

std::optional<int> MessageListView::firstRowStartingOnScreen() const
{
    const int count = rowCount();
    const int height = viewport()->height();
    int y = -m_offset;
    for (int row = m_top; row < count && y < height; ++row) {
        const int rowHeight = this->rowHeight(row);
        if (y >= 0 && y + rowHeight <= height)
            return row;
        y += rowHeight;
    }
    return std::nullopt;
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
    const int height = rowHeight(row);
    const int viewportHeight = viewport()->height();
    const Position top { row, 0 };
    switch (hint) {
    case PositionAtTop:
        setPosition(moved(top, 0));
        break;
    case PositionAtBottom:
        setPosition(moved(top, height - viewportHeight));
        break;
    case PositionAtCenter:
        // A message taller than the list is shown from its beginning.
        setPosition(moved(top, height >= viewportHeight ? 0 : (height - viewportHeight) / 2));
        break;
    case EnsureVisible: {
        const std::optional<int> y = rowY(row);
        if (!y) {
            // Off screen: above comes in at the top, below at the bottom (or at the top, when it is taller).
            setPosition(moved(top, row < m_top || height >= viewportHeight ? 0 : height - viewportHeight));
        } else if (height > viewportHeight) {
            // Part of a tall message shows: the reader is inside it, unless only its top has come in from below.
            if (*y > 0)
                setPosition(moved(top, 0));
        } else if (*y < 0) {
            setPosition(moved(top, 0));
        } else if (*y + height > viewportHeight) {
            setPosition(moved(top, height - viewportHeight));
        }
        break;
    }
    }
}

QModelIndex MessageListView::indexAt(const QPoint& point) const
{
    if (point.y() < 0 || point.x() < 0 || point.x() >= viewport()->width())
        return {};
    const int count = rowCount();
    int y = -m_offset;
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
    const int viewportHeight = viewport()->height();
    const int height = rowHeight(row);
    const std::optional<int> y = rowY(row);
    const Position before { m_top, m_offset };
    // Paging moves the content by a viewport less a line, so the last line read stays in sight; the current row
    // becomes the first one wholly on screen, or the one being read through when none is.
    const auto page = [&](int pixels) {
        scrollByPixels(pixels);
        if (Position { m_top, m_offset } == before)
            return pixels > 0 ? count - 1 : 0;
        return firstRowStartingOnScreen().value_or(m_top);
    };
    switch (action) {
    case MoveUp:
    case MovePrevious:
        // Within a message taller than the list, the keys read it line by line before moving on, as in a text view.
        if (height > viewportHeight && y && *y < 0) {
            scrollByPixels(-std::min(lineStep(), -*y));
            return current;
        }
        --row;
        break;
    case MoveDown:
    case MoveNext:
        if (height > viewportHeight && y && *y + height > viewportHeight) {
            scrollByPixels(std::min(lineStep(), *y + height - viewportHeight));
            return current;
        }
        ++row;
        break;
    case MovePageUp:
        row = page(-std::max(1, viewportHeight - lineStep()));
        break;
    case MovePageDown:
        row = page(std::max(1, viewportHeight - lineStep()));
        break;
    case MoveHome:
        setPosition({});
        row = 0;
        break;
    case MoveEnd:
        setPosition(end());
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
    int y = -m_offset;
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
    setPosition({ m_top, m_offset }); // held within the list as it now is, and the scroll bar told
    QAbstractItemView::updateGeometries();
}

// The scroll bar moved by itself: dragged, or stepped through one of its actions.
void MessageListView::scrollContentsBy(int, int)
{
    if (m_syncingBar)
        return;
    QScrollBar* bar = verticalScrollBar();
    Position to;
    if (m_pending) {
        to = *std::exchange(m_pending, std::nullopt);
    } else if (bar->value() >= bar->maximum()) {
        to = end();
    } else {
        to = positionAt(qint64(bar->value()) * barScale());
    }
    const bool moves = to != Position { m_top, m_offset };
    if (moves) {
        m_top = to.row;
        m_offset = to.offset;
        viewport()->update();
    }
    // The range follows the rows measured meanwhile; the value stays where the hand put it.
    m_syncingBar = true;
    bar->setMaximum(std::max(bar->value(), int(pixelsAbove(end()) / barScale())));
    m_syncingBar = false;
    if (moves)
        emit topChanged();
}

bool MessageListView::eventFilter(QObject* watched, QEvent* event)
{
    // The wheel over the scroll bar scrolls as it does over the rows, by pixels rather than by the bar's estimate.
    if (watched == verticalScrollBar() && event->type() == QEvent::Wheel) {
        wheelEvent(static_cast<QWheelEvent*>(event));
        return true;
    }
    return QListView::eventFilter(watched, event);
}

void MessageListView::wheelEvent(QWheelEvent* event)
{
    int pixels = 0;
    if (!event->pixelDelta().isNull()) {
        pixels = -event->pixelDelta().y(); // a touchpad's smooth scrolling, already in pixels
    } else {
        // A notch is 120 eighths of a degree and moves the desktop's number of lines; finer wheels add up.
        m_wheelRemainder += event->angleDelta().y() * QApplication::wheelScrollLines() * lineStep();
        pixels = -(m_wheelRemainder / 120);
        m_wheelRemainder %= 120;
    }
    const Position before { m_top, m_offset };
    if (pixels != 0)
        scrollByPixels(pixels);
    // At either end the wheel is left to whatever holds the list.
    event->setAccepted(Position { m_top, m_offset } != before);
}

// The item view finds the rectangle of every row it is told changed, which for a change over a long list is a walk
// over rows nowhere on screen: it is told only of those from the top row on screen to the last, found while their
// heights are still known.
void MessageListView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles)
{
    const int first = std::max(topLeft.row(), m_top);
    int last = first - 1;
    if (first <= bottomRight.row()) {
        const int count = rowCount();
        for (int row = m_top, y = -m_offset; row < count && y < viewport()->height() && row <= bottomRight.row();
             ++row) {
            y += rowHeight(row);
            last = row;
        }
    }
    if (!m_heights.empty()) {
        m_heights.erase(m_heights.lower_bound(topLeft.row()), m_heights.upper_bound(bottomRight.row()));
        m_end.reset();
    }
    if (first <= last)
        QAbstractItemView::dataChanged(indexOf(first), indexOf(last), roles);
    if (topLeft != bottomRight)
        viewport()->update();
}

// Rows that come or go carry the measured heights below them along, so that only new rows are measured. What is on
// screen stays there when rows come or go above it; at the very top, new rows show.
void MessageListView::rowsInserted(const QModelIndex& parent, int start, int end)
{
    QAbstractItemView::rowsInserted(parent, start, end);
    if (parent != rootIndex())
        return;
    const int count = end - start + 1;
    shiftHeights(start, count);
    const bool moves = start <= m_top && (m_top > 0 || m_offset > 0);
    if (moves)
        m_top += count;
    updateGeometries();
    viewport()->update();
    if (moves)
        emit topChanged();
}

// The item view first moves the current row off rows that go, while they are still there; then the positions of
// the rows below them follow.
void MessageListView::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end)
{
    QAbstractItemView::rowsAboutToBeRemoved(parent, start, end);
    if (parent != rootIndex())
        return;
    const int count = end - start + 1;
    m_heights.erase(m_heights.lower_bound(start), m_heights.upper_bound(end));
    shiftHeights(end + 1, -count);
    m_topMoved = start <= m_top;
    if (end < m_top) {
        m_top -= count;
    } else if (start <= m_top) {
        m_top = start;
        m_offset = 0;
    }
}

void MessageListView::rowsGone()
{
    updateGeometries();
    viewport()->update();
    if (std::exchange(m_topMoved, false))
        emit topChanged();
}

void MessageListView::shiftHeights(int from, int by)
{
    m_end.reset();
    std::map<int, int> moved;
    for (auto it = m_heights.lower_bound(from); it != m_heights.end();) {
        moved.emplace(it->first + by, it->second);
        it = m_heights.erase(it);
    }
    m_heights.merge(moved);
}

void MessageListView::setModel(QAbstractItemModel* model)
{
    if (this->model())
        disconnect(this->model(), &QAbstractItemModel::rowsRemoved, this, &MessageListView::rowsGone);
    QAbstractItemView::setModel(model);
    if (model)
        connect(model, &QAbstractItemModel::rowsRemoved, this, &MessageListView::rowsGone);
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
    int y = -m_offset;
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
        // Only the part on screen is painted: a message of thousands of lines is drawn a screenful at a time.
        painter.save();
        painter.setClipRect(rect.intersected(event->rect()));
        itemDelegateForIndex(index)->paint(&painter, option, index);
        painter.restore();
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

// Heights follow the width, so they are measured again; the top row and how far into it the list was read stay.
void MessageListView::resizeEvent(QResizeEvent* event)
{
    forgetHeights();
    QAbstractItemView::resizeEvent(event);
    updateGeometries();
}

} // namespace tidewell
