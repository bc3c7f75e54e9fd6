// The message list's view over lists of any length: what a change to the list costs it, how it scrolls by row, and
// how it moves by keyboard and mouse, with rows of differing heights.
#include "messagelistview.h"

#include <QAbstractListModel>
#include <QAccessible>
#include <QAccessibleTableInterface>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTest>

using namespace tidewell;

namespace {

// A flat list that counts the indexes asked of it: a view that walks every row on a change asks for all of them.
class CountingModel : public QAbstractListModel
{
public:
    int rows = 0;
    mutable qint64 indexCalls = 0;

    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : rows; }
    QModelIndex index(int row, int column = 0, const QModelIndex& parent = {}) const override
    {
        ++indexCalls;
        return QAbstractListModel::index(row, column, parent);
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        return role == Qt::DisplayRole ? QVariant(index.row()) : QVariant();
    }
    void resetTo(int count)
    {
        beginResetModel();
        rows = count;
        endResetModel();
    }
};

// Rows 20, 35, 50 and 65 pixels high in turn.
class SteppedDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    static int heightOf(int row) { return 20 + (row % 4) * 15; }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return { option.rect.width(), heightOf(index.row()) };
    }
};

} // namespace

class TestMessageListView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void aChangeCostsOnlyTheRowsOnScreen();
    void keysMoveAndRevealTheCurrentRow_data();
    void keysMoveAndRevealTheCurrentRow();
    void scrollHintsPlaceTheRow_data();
    void scrollHintsPlaceTheRow();
    void positionsAgreeAndAClickSelects();

private:
    bool fullyVisible(int row) const;
    int height() const { return m_view->viewport()->height(); }

    std::unique_ptr<CountingModel> m_model;
    std::unique_ptr<MessageListView> m_view;
};

void TestMessageListView::init()
{
    m_model = std::make_unique<CountingModel>();
    m_model->rows = 200;
    m_view = std::make_unique<MessageListView>();
    m_view->setItemDelegate(new SteppedDelegate(m_view.get()));
    m_view->setModel(m_model.get());
    m_view->resize(300, 240);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
}

void TestMessageListView::cleanup()
{
    m_view.reset();
    m_model.reset();
}

bool TestMessageListView::fullyVisible(int row) const
{
    const QRect rect = m_view->visualRect(m_model->index(row));
    return rect.isValid() && rect.top() >= 0 && rect.bottom() < height();
}

// A million rows replaced, re-laid out and painted: the view asks for the rows it shows and the last screenful
// (for the scroll bar's range), never for every row.
void TestMessageListView::aChangeCostsOnlyTheRowsOnScreen()
{
    m_view->scrollTo(m_model->index(150), QAbstractItemView::PositionAtTop);
    m_model->indexCalls = 0;
    m_model->resetTo(1000000);
    m_view->doItemsLayout();
    m_view->viewport()->repaint();
    QVERIFY2(m_model->indexCalls < 1000, qPrintable(QString::number(m_model->indexCalls)));
    QCOMPARE(m_view->verticalScrollBar()->maximum() > 999900, true);

    // Fewer rows than the view had scrolled past: it comes back to show them.
    m_view->scrollTo(m_model->index(999999));
    QVERIFY(fullyVisible(999999));
    m_model->resetTo(5);
    QCOMPARE(m_view->topRow(), 0);
    QVERIFY(fullyVisible(0));
    QCOMPARE(m_view->verticalScrollBar()->maximum(), 0);
}

void TestMessageListView::keysMoveAndRevealTheCurrentRow_data()
{
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<int>("expected"); // -1: the last row

    QTest::newRow("down three") << QList<int> { Qt::Key_Down, Qt::Key_Down, Qt::Key_Down } << 3;
    QTest::newRow("up at the top stays") << QList<int> { Qt::Key_Up } << 0;
    QTest::newRow("end") << QList<int> { Qt::Key_End } << -1;
    QTest::newRow("down past the end stays") << QList<int> { Qt::Key_End, Qt::Key_Down } << -1;
    QTest::newRow("end then home") << QList<int> { Qt::Key_End, Qt::Key_Home } << 0;
    QTest::newRow("end then up") << QList<int> { Qt::Key_End, Qt::Key_Up } << 198;
    // 240 pixels hold rows 0-5 (20+35+50+65+20+35 = 225): a page is six rows.
    QTest::newRow("page down") << QList<int> { Qt::Key_PageDown } << 6;
    // Row 6 then sits at the bottom, below rows 2-5: that page is five rows.
    QTest::newRow("page down twice") << QList<int> { Qt::Key_PageDown, Qt::Key_PageDown } << 11;
    // At the end, rows 195-199 fill the view (65+20+35+50+65 = 235 pixels): a page up goes five rows back.
    QTest::newRow("page up from the end") << QList<int> { Qt::Key_End, Qt::Key_PageUp } << 194;
}

void TestMessageListView::keysMoveAndRevealTheCurrentRow()
{
    QFETCH(QList<int>, keys);
    QFETCH(int, expected);
    if (expected < 0)
        expected = m_model->rows - 1;
    m_view->setFocus();
    m_view->setCurrentIndex(m_model->index(0));
    for (const int key : keys)
        QTest::keyClick(m_view.get(), Qt::Key(key));
    QCOMPARE(m_view->currentIndex().row(), expected);
    QVERIFY(fullyVisible(expected));
    if (expected == m_model->rows - 1) // the last row sits at the bottom, with no empty space below it
        QCOMPARE(m_view->verticalScrollBar()->value(), m_view->verticalScrollBar()->maximum());
}

void TestMessageListView::scrollHintsPlaceTheRow_data()
{
    QTest::addColumn<int>("hint");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("place");

    QTest::newRow("top") << int(QAbstractItemView::PositionAtTop) << 120 << u"top"_qs;
    QTest::newRow("bottom") << int(QAbstractItemView::PositionAtBottom) << 120 << u"bottom"_qs;
    QTest::newRow("centre") << int(QAbstractItemView::PositionAtCenter) << 120 << u"centre"_qs;
    QTest::newRow("ensure visible below") << int(QAbstractItemView::EnsureVisible) << 120 << u"bottom"_qs;
    QTest::newRow("ensure visible, already shown") << int(QAbstractItemView::EnsureVisible) << 2 << u"unmoved"_qs;
    QTest::newRow("top of the last rows") << int(QAbstractItemView::PositionAtTop) << 199 << u"bottom"_qs;
    QTest::newRow("centre of the first rows") << int(QAbstractItemView::PositionAtCenter) << 1 << u"unmoved"_qs;
}

void TestMessageListView::scrollHintsPlaceTheRow()
{
    QFETCH(int, hint);
    QFETCH(int, row);
    QFETCH(QString, place);
    m_view->scrollTo(m_model->index(row), QAbstractItemView::ScrollHint(hint));
    QVERIFY(fullyVisible(row));
    const QRect rect = m_view->visualRect(m_model->index(row));
    if (place == u"top") {
        QCOMPARE(rect.top(), 0);
    } else if (place == u"bottom") {
        // As low as it goes: one more row above it would not fit.
        const int top = m_view->topRow();
        QVERIFY(top == 0 || rect.bottom() + 1 + SteppedDelegate::heightOf(top - 1) > height());
    } else if (place == u"centre") {
        QVERIFY2(qAbs(rect.center().y() - height() / 2) <= 65, qPrintable(QString::number(rect.center().y())));
    } else {
        QCOMPARE(m_view->topRow(), 0);
    }
}

void TestMessageListView::positionsAgreeAndAClickSelects()
{
    m_view->scrollTo(m_model->index(50), QAbstractItemView::PositionAtTop);
    QVERIFY(!m_view->visualRect(m_model->index(49)).isValid()); // above the top
    QVERIFY(!m_view->visualRect(m_model->index(80)).isValid()); // below the bottom
    int y = 0;
    for (int row = 50; y < height(); ++row) {
        const QRect rect = m_view->visualRect(m_model->index(row));
        QCOMPARE(rect.top(), y);
        QCOMPARE(rect.height(), SteppedDelegate::heightOf(row));
        QCOMPARE(m_view->indexAt(rect.center()).row(), row);
        y += rect.height();
    }
    // Assistive technologies see the rows, with the places the view gives them.
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(m_view.get());
    QVERIFY(accessible && accessible->tableInterface());
    QCOMPARE(accessible->tableInterface()->rowCount(), 200);
    QAccessibleInterface* cell = accessible->tableInterface()->cellAt(51, 0);
    QVERIFY(cell);
    QCOMPARE(cell->rect().topLeft(), m_view->viewport()->mapToGlobal(QPoint(0, SteppedDelegate::heightOf(50))));

    const QRect third = m_view->visualRect(m_model->index(52));
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, third.center());
    QCOMPARE(m_view->currentIndex().row(), 52);
    QVERIFY(m_view->selectionModel()->isSelected(m_model->index(52)));
}

QTEST_MAIN(TestMessageListView)
#include "test_messagelistview.moc"
