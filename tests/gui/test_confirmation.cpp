// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/confirmation.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>
#include <optional>

using namespace tidewell;

class TestConfirmation : public QObject
{
    Q_OBJECT
private slots:
    void answers_data();
    void answers();
    void buttons();

private:
    static Confirmation::Question question(bool confirmIsDefault);
};

Confirmation::Question TestConfirmation::question(bool confirmIsDefault)
{
    Confirmation::Question q;
    q.objectName = u"eraseConfirmation"_qs;
    q.title = u"Erase everything?"_qs;
    q.message = u"Nothing comes back."_qs;
    q.confirm = u"Erase"_qs;
    q.confirmName = u"eraseConfirm"_qs;
    q.confirmColour = QColor(0x12, 0x34, 0x56);
    q.cancel = u"Keep"_qs;
    q.cancelName = u"eraseCancel"_qs;
    q.confirmIsDefault = confirmIsDefault;
    return q;
}

void TestConfirmation::answers_data()
{
    QTest::addColumn<bool>("confirmIsDefault");
    QTest::addColumn<int>("key");
    QTest::addColumn<std::optional<bool>>("answer");
    QTest::newRow("Return takes the refusal by default") << false << int(Qt::Key_Return) << std::optional(false);
    QTest::newRow("Return takes the confirmation when it is the default")
        << true << int(Qt::Key_Return) << std::optional(true);
    QTest::newRow("Escape refuses even when confirming is the default")
        << true << int(Qt::Key_Escape) << std::optional(false);
}

void TestConfirmation::answers()
{
    QFETCH(bool, confirmIsDefault);
    QFETCH(int, key);
    QFETCH(std::optional<bool>, answer);
    QWidget parent;
    parent.show();
    QList<bool> answers;
    QPointer<QMessageBox> box
        = Confirmation::build(&parent, question(confirmIsDefault), [&answers](bool yes) { answers.append(yes); });
    QVERIFY(!box->isVisible()); // the caller opens it
    box->open();
    QVERIFY(box->isVisible());
    QCOMPARE(box->windowModality(), Qt::WindowModal);
    QTest::keyClick(box, Qt::Key(key));
    QCOMPARE(answers, QList<bool> { *answer });
    QTRY_VERIFY(!box); // deleted once closed
}

void TestConfirmation::buttons()
{
    QWidget parent;
    QMessageBox* box = Confirmation::build(&parent, question(false), [](bool) {});
    QCOMPARE(box->parent(), &parent);
    QCOMPARE(box->objectName(), u"eraseConfirmation"_qs);
    QCOMPARE(box->text(), u"Erase everything?"_qs);
    QCOMPARE(box->windowTitle(), u"Erase everything?"_qs);
    QCOMPARE(box->informativeText(), u"Nothing comes back."_qs);
    QCOMPARE(box->icon(), QMessageBox::Warning);
    auto* confirm = box->findChild<QPushButton*>(u"eraseConfirm"_qs);
    auto* cancel = box->findChild<QPushButton*>(u"eraseCancel"_qs);
    QVERIFY(confirm && cancel);
    QCOMPARE(confirm->text(), u"Erase"_qs);
    QCOMPARE(cancel->text(), u"Keep"_qs);
    QCOMPARE(box->buttonRole(confirm), QMessageBox::DestructiveRole);
    QCOMPARE(box->buttonRole(cancel), QMessageBox::RejectRole);
    QCOMPARE(confirm->palette().color(QPalette::ButtonText), QColor(0x12, 0x34, 0x56));
    QCOMPARE(box->defaultButton(), cancel);
    QCOMPARE(box->escapeButton(), cancel);
    QVERIFY(box->testAttribute(Qt::WA_DeleteOnClose));
}

QTEST_MAIN(TestConfirmation)
#include "test_confirmation.moc"
