// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QListView>

#include <map>
#include <optional>

namespace tidewell {

// The message list's view: one column of rows whose heights differ, at any length, scrolled by the pixel so that a
// message taller than the list can be read to its last line by wheel, touchpad, scroll bar and keys alike.
//
// A position is a row and an offset into it. The view knows the rows only from the top one on screen down,
// measuring each with the delegate when it first shows it; a change to the list therefore costs what the rows on
// screen cost, whether it holds twenty messages or a million. The scroll bar's range counts the measured rows at
// their height and every other row at the mean height measured before the list last changed, so it is refined as
// rows are measured without ever walking the whole list.
//
// It is a list view only to be known as one, to assistive technologies among others: every part of the list
// view's own layout is replaced, and the overrides call past it to the item view beneath.
class MessageListView : public QListView
{
    Q_OBJECT
public:
    explicit MessageListView(QWidget* parent = nullptr);

    QRect visualRect(const QModelIndex& index) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint& point) const override;
    void doItemsLayout() override;
    void setModel(QAbstractItemModel* model) override;
    void reset() override;

    int topRow() const { return m_top; }
    // How far the top row is scrolled out of the viewport at its top, in pixels.
    int topOffset() const { return m_offset; }
    // Puts `row` at the top, `offset` pixels of it above the viewport, as far as the list's ends allow.
    void setTopRow(int row, int offset = 0);
    // Moves the content by `pixels` (down when positive), as far as the list's ends allow.
    void scrollByPixels(int pixels);
    // The distance one line of text, one wheel step and the keys within a tall message move by.
    int lineStep() const;

signals:
    // The top row on screen, or how far it is scrolled, changed.
    void topChanged();

protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex& index) const override;
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles) override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    QSize viewportSizeHint() const override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

private:
    struct Position
    {
        int row = 0;
        int offset = 0; // pixels of `row` above the viewport's top edge
        auto operator<=>(const Position&) const = default;
    };

    int rowCount() const;
    QModelIndex indexOf(int row) const;
    int rowHeight(int row) const; // measured once, until the rows or the width change
    // `from` moved by `pixels`, walking and measuring the rows it passes, and held within the list's ends.
    Position moved(Position from, qint64 pixels) const;
    Position end() const; // the last position: the last row's bottom on the viewport's bottom
    // The viewport's vertical position of `row`'s top edge, or none when the row is not on screen.
    std::optional<int> rowY(int row) const;
    void setPosition(Position position);
    // The scroll bar's reading of a position, in pixels from the top of the list as far as it is known.
    qint64 pixelsAbove(Position position) const;
    Position positionAt(qint64 pixels) const;
    int barScale() const; // pixels per scroll-bar unit, so that a list of any height fits the bar's integers
    void syncScrollBar();
    void forgetHeights();
    // Moves the measured heights of the rows from `from` on by `by` rows.
    void shiftHeights(int from, int by);
    void rowsGone(); // after rows were removed
    // The first row whose top edge is on screen, or none.
    std::optional<int> firstRowStartingOnScreen() const;

    int m_top = 0;
    int m_offset = 0;
    mutable std::map<int, int> m_heights; // measured rows, in order
    mutable qint64 m_measuredSum = 0;
    mutable std::optional<Position> m_end;
    int m_estimate = 48; // the height assumed of a row not yet measured, fixed until the rows change
    int m_wheelRemainder = 0; // eighths of a degree turned, not yet a whole pixel
    bool m_syncingBar = false;
    bool m_topMoved = false; // rows about to go took the top row's place
    std::optional<Position> m_pending; // where a step or page of the scroll bar is taking the content
};

} // namespace tidewell
