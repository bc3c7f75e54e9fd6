#pragma once

#include <QHash>
#include <QListView>

#include <optional>

namespace tidewell {

// The message list's view: one column of rows whose heights differ, at any length. It scrolls by row, and knows
// the rows only from the top one on screen down, measuring each with the delegate when it first shows it. A change
// to the list therefore costs what the rows on screen cost, whether it holds twenty messages or a million; the
// stock views keep an entry for every row and build them all again on each change.
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
    void reset() override;

    int topRow() const { return m_top; }

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
    QSize viewportSizeHint() const override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

private:
    int rowCount() const;
    QModelIndex indexOf(int row) const;
    int rowHeight(int row) const; // measured once, until the rows or the width change
    // The top row that puts the bottom of `row` at the bottom of the viewport (or `row` itself, when it is taller).
    int topForBottom(int row) const;
    int topForCentre(int row) const;
    int lastTop() const; // the greatest top row: from it, the last rows fill the viewport
    int rowsOnScreen() const; // rows from the top one that fit in the viewport, at least one
    // The viewport's vertical position of `row`'s top edge, or none when the row is above the top or below the
    // viewport's bottom.
    std::optional<int> rowY(int row) const;
    void setTop(int row);
    void forgetHeights();

    int m_top = 0;
    mutable QHash<int, int> m_heights;
};

} // namespace tidewell
