// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/sortbutton.h"

#include <QMenu>
#include <QSignalSpy>
#include <QtTest>

using namespace tidewell;

class TestSortButton : public QObject
{
    Q_OBJECT
private slots:
    void menu();
    void choosing_data();
    void choosing();
};

namespace {

QList<QAction*> choices(const SortButton& button)
{
    QList<QAction*> found;
    for (QAction* action : button.menu()->actions()) {
        if (!action->isSeparator())
            found.append(action);
    }
    return found;
}

QList<bool> checks(const SortButton& button)
{
    QList<bool> checked;
    for (QAction* action : choices(button))
        checked.append(action->isChecked());
    return checked;
}

} // namespace

void TestSortButton::menu()
{
    QWidget pane;
    SortButton button(u"Sort Things"_qs, u"Things"_qs, &pane);
    button.addChoice(QIcon(), u"Newest"_qs);
    button.addChoice(QIcon(), u"Oldest"_qs);
    QCOMPARE(button.toolTip(), u"Sort Things"_qs);
    QCOMPARE(button.accessibleName(), u"Sort Things"_qs);
    QCOMPARE(button.popupMode(), QToolButton::InstantPopup);
    QCOMPARE(button.menu()->title(), u"Sort Things"_qs);
    const QList<QAction*> actions = button.menu()->actions();
    QCOMPARE(actions.size(), 3);
    QVERIFY(actions[0]->isSeparator()); // the section that names what is sorted
    QCOMPARE(actions[0]->text(), u"Things"_qs);
    QCOMPARE(actions[1]->text(), u"Newest"_qs);
    QCOMPARE(actions[2]->text(), u"Oldest"_qs);
    QVERIFY(actions[1]->isCheckable() && actions[2]->isCheckable());
}

void TestSortButton::choosing_data()
{
    QTest::addColumn<int>("current");
    QTest::addColumn<int>("picked");
    QTest::newRow("another choice") << 0 << 2;
    QTest::newRow("the first") << 2 << 0;
    QTest::newRow("the current one again") << 1 << 1;
}

// A pick is announced by its position and checks only that choice; setting the current choice announces nothing.
void TestSortButton::choosing()
{
    QFETCH(int, current);
    QFETCH(int, picked);
    SortButton button(u"Sort"_qs, u"Items"_qs, nullptr);
    for (const QString& text : { u"A"_qs, u"B"_qs, u"C"_qs })
        button.addChoice(QIcon(), text);
    QSignalSpy chosen(&button, &SortButton::chosen);
    button.setCurrent(current);
    QCOMPARE(chosen.size(), 0);
    QList<bool> expected { false, false, false };
    expected[current] = true;
    QCOMPARE(checks(button), expected);

    choices(button)[picked]->trigger();
    QCOMPARE(chosen.size(), 1);
    QCOMPARE(chosen.first().first().value<qsizetype>(), qsizetype(picked));
    expected = { false, false, false };
    expected[picked] = true;
    QCOMPARE(checks(button), expected);
}

QTEST_MAIN(TestSortButton)
#include "test_sortbutton.moc"
