// SPDX-License-Identifier: GPL-3.0-or-later
// The message list's view over lists of any length: what a change to the list costs it, how it scrolls by the pixel,
// and how it moves by wheel, scroll bar, keyboard and mouse, with rows of differing heights and one taller than the
// list.
#include "ui/messagelistview.h"
#include "ui/textblock.h"

#include <QAbstractListModel>
#include <QAccessible>
#include <QAccessibleTableInterface>
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTest>
#include <QWheelEvent>

#include <thread>

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
    void insertRowsAtFront(int count)
    {
        beginInsertRows({}, 0, count - 1);
        rows += count;
        endInsertRows();
    }
    void resetTo(int count)
    {
        beginResetModel();
        rows = count;
        endResetModel();
    }
};

// Rows 20, 35, 50 and 65 pixels high in turn; when a tall row is set, that one is 6,000 pixels high, as a message
// of 400 lines is.
class SteppedDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    static inline int tallRow = -1;
    static constexpr int tallHeight = 6000;
    static int heightOf(int row) { return row == tallRow ? tallHeight : 20 + (row % 4) * 15; }
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
    void pageKeysMoveByAViewportLessALine_data();
    void pageKeysMoveByAViewportLessALine();
    void aTallRowIsReadToItsLastLine_data();
    void aTallRowIsReadToItsLastLine();
    void wheelStepsDownAndUpReturnToTheSamePixel();
    void rowsInsertedAboveKeepWhatIsRead();
    void aLongTextBrokenOnAnotherThreadDrawsAsItsWholeLayout();

private:
    bool fullyVisible(int row) const;
    // The pixels of the list above the viewport's top edge, from the delegate's heights.
    qint64 position() const;
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
    SteppedDelegate::tallRow = -1;
}

qint64 TestMessageListView::position() const
{
    qint64 pixels = m_view->topOffset();
    for (int row = 0; row < m_view->topRow(); ++row)
        pixels += SteppedDelegate::heightOf(row);
    return pixels;
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
    QTest::newRow("page up at the top") << QList<int> { Qt::Key_PageUp } << 0;
    QTest::newRow("page down at the end") << QList<int> { Qt::Key_End, Qt::Key_PageDown } << -1;
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

void TestMessageListView::pageKeysMoveByAViewportLessALine_data()
{
    QTest::addColumn<int>("startRow");
    QTest::addColumn<int>("key");

    QTest::newRow("down from the top") << 0 << int(Qt::Key_PageDown);
    QTest::newRow("down from the middle") << 100 << int(Qt::Key_PageDown);
    QTest::newRow("up from the middle") << 100 << int(Qt::Key_PageUp);
}

// The content moves by exactly a viewport less one line, so that the last line read stays in sight, and the current
// row becomes the first one wholly on screen.
void TestMessageListView::pageKeysMoveByAViewportLessALine()
{
    QFETCH(int, startRow);
    QFETCH(int, key);
    m_view->setFocus();
    m_view->setCurrentIndex(m_model->index(startRow));
    m_view->scrollTo(m_model->index(startRow), QAbstractItemView::PositionAtTop);
    const qint64 before = position();
    QTest::keyClick(m_view.get(), Qt::Key(key));
    const qint64 page = height() - m_view->lineStep();
    QCOMPARE(position() - before, key == Qt::Key_PageDown ? page : -page);
    const int current = m_view->currentIndex().row();
    QVERIFY(fullyVisible(current));
    QVERIFY2(current == m_view->topRow() || !fullyVisible(current - 1), qPrintable(QString::number(current)));
}

void TestMessageListView::aTallRowIsReadToItsLastLine_data()
{
    QTest::addColumn<QString>("hand");
    QTest::newRow("wheel") << u"wheel"_qs;
    QTest::newRow("touchpad") << u"touchpad"_qs;
    QTest::newRow("scroll bar dragged") << u"drag"_qs;
    QTest::newRow("scroll bar paged") << u"bar page"_qs;
    QTest::newRow("page down") << u"page down"_qs;
    QTest::newRow("down key") << u"down"_qs;
}

// A message of 400 lines in a list 600 pixels high: each way of scrolling goes through it to its last line, moving
// the content by less than a viewport at a time, so that no line is skipped.
void TestMessageListView::aTallRowIsReadToItsLastLine()
{
    QFETCH(QString, hand);
    SteppedDelegate::tallRow = 3;
    m_model->resetTo(20);
    m_view->resize(300, 600 + m_view->height() - height());
    QTRY_COMPARE(height(), 600);
    m_view->setFocus();
    m_view->setCurrentIndex(m_model->index(3));
    m_view->scrollTo(m_model->index(3), QAbstractItemView::PositionAtTop);
    QCOMPARE(m_view->visualRect(m_model->index(3)).top(), 0);

    QScrollBar* bar = m_view->verticalScrollBar();
    const QModelIndex tall = m_model->index(3);
    const auto step = [&] {
        if (hand == u"wheel") {
            QWheelEvent wheel(QPointF(50, 50), m_view->viewport()->mapToGlobal(QPointF(50, 50)), {}, { 0, -120 },
                Qt::NoButton, {}, Qt::NoScrollPhase, false);
            QApplication::sendEvent(m_view->viewport(), &wheel);
        } else if (hand == u"touchpad") {
            QWheelEvent wheel(QPointF(50, 50), m_view->viewport()->mapToGlobal(QPointF(50, 50)), { 0, -37 }, { 0, -37 },
                Qt::NoButton, {}, Qt::ScrollUpdate, false);
            QApplication::sendEvent(m_view->viewport(), &wheel);
        } else if (hand == u"drag") {
            bar->setSliderDown(true);
            bar->setSliderPosition(bar->sliderPosition() + 40);
            bar->setSliderDown(false);
        } else if (hand == u"bar page") {
            bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        } else if (hand == u"page down") {
            QTest::keyClick(m_view.get(), Qt::Key_PageDown);
        } else {
            QTest::keyClick(m_view.get(), Qt::Key_Down);
        }
        m_view->viewport()->repaint(); // rows are measured as they are painted
    };
    bool bottomReached = false;
    for (int steps = 0; steps < 1000 && !bottomReached; ++steps) {
        const qint64 before = position();
        step();
        const QRect rect = m_view->visualRect(tall);
        if (!rect.isValid() || rect.bottom() < height()) {
            // The step that brought the row's last line on screen left no line of it unseen.
            QVERIFY(rect.isValid());
            bottomReached = true;
        }
        QVERIFY2(position() > before, qPrintable(QString::number(position())));
        QVERIFY2(position() - before < height(), qPrintable(QString::number(position() - before)));
    }
    QVERIFY(bottomReached);
    if (hand == u"down") // the keys go on to the next message only once the last line is on screen
        QCOMPARE(m_view->currentIndex().row(), 3);

    // And the row's bottom edge can sit on the viewport's bottom edge.
    m_view->scrollTo(tall, QAbstractItemView::PositionAtBottom);
    QCOMPARE(m_view->visualRect(tall).bottom(), height() - 1);
}

// Rows of mixed heights: the wheel down, then up by as many steps, comes back to the same pixel.
void TestMessageListView::wheelStepsDownAndUpReturnToTheSamePixel()
{
    m_view->scrollTo(m_model->index(40), QAbstractItemView::PositionAtTop);
    m_view->scrollByPixels(7);
    const qint64 start = position();
    const auto turn = [this](int eighths, int times) {
        for (int i = 0; i < times; ++i) {
            QWheelEvent wheel(QPointF(50, 50), m_view->viewport()->mapToGlobal(QPointF(50, 50)), {}, { 0, eighths },
                Qt::NoButton, {}, Qt::NoScrollPhase, false);
            QApplication::sendEvent(m_view->viewport(), &wheel);
        }
    };
    turn(-120, 13);
    QVERIFY(position() > start);
    turn(120, 13);
    QCOMPARE(position(), start);
    // A fine wheel's small steps add up to what a notch does.
    turn(-15, 8);
    const qint64 fine = position();
    turn(120, 1);
    QCOMPARE(position(), start);
    QCOMPARE(fine - start, qint64(QApplication::wheelScrollLines() * m_view->lineStep()));
}

// Rows that come above what is on screen do not move it; at the very top they show.
void TestMessageListView::rowsInsertedAboveKeepWhatIsRead()
{
    m_view->scrollTo(m_model->index(30), QAbstractItemView::PositionAtTop);
    m_view->scrollByPixels(5);
    m_model->insertRowsAtFront(4);
    QCOMPARE(m_view->topRow(), 34);
    QCOMPARE(m_view->topOffset(), 5);

    m_view->scrollTo(m_model->index(0), QAbstractItemView::PositionAtTop);
    m_model->insertRowsAtFront(4);
    QCOMPARE(m_view->topRow(), 0);
    QCOMPARE(m_view->topOffset(), 0);
}

// A long text's lines are found on a worker thread and only those on screen laid out again to be drawn: the pixels
// are those of the whole text laid out here, at its start, in its middle and at its end.
void TestMessageListView::aLongTextBrokenOnAnotherThreadDrawsAsItsWholeLayout()
{
    QString text;
    for (int i = 0; text.size() < 60000; ++i)
        text += u"line %1: a frame of a long trace, with a word too long to fit: %2\n"_qs.arg(i).arg(
            QString(i % 7 * 20, u'x'));
    QFont font;
    font.setWeight(QFont::Medium);
    TextBlock::Lines lines;
    std::thread worker([&, description = font.toString()] { lines = TextBlock::breakLines(text, description, 400); });
    worker.join();
    const TextBlock broken(text, font, 400, std::move(lines));
    const TextBlock whole(text, font, 400);
    QCOMPARE(broken.height(), whole.height());
    QCOMPARE(broken.width(), whole.width());
    for (const int at : { 0, whole.height() / 2 + 7, whole.height() - 300 }) {
        QImage drawn(420, 300, QImage::Format_ARGB32_Premultiplied);
        QImage expected = drawn;
        for (auto [image, block] : { std::pair { &drawn, &broken }, std::pair { &expected, &whole } }) {
            image->fill(Qt::white);
            QPainter painter(image);
            painter.setClipRect(image->rect());
            block->draw(&painter, QPoint(0, -at));
        }
        QVERIFY2(drawn == expected, qPrintable(QString::number(at)));
    }
    // Until its lines are found, a long text shows its beginning and is taken to be about as tall as it will be.
    const TextBlock head(text, font, 400, 8000);
    QVERIFY(!head.isComplete());
    QVERIFY(qAbs(head.height() - whole.height()) < whole.height() / 5);
}

QTEST_MAIN(TestMessageListView)
#include "test_messagelistview.moc"
