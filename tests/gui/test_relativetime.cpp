// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/relativetime.h"

#include <QtTest>

using namespace tidewell;

class TestRelativeTime : public QObject
{
    Q_OBJECT
private slots:
    void named_data();
    void named();
    void dateText_data();
    void dateText();
};

void TestRelativeTime::named_data()
{
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("text");
    // Local noon, so that hour offsets stay within the day.
    const QDateTime now(QDate(2026, 6, 17), QTime(12, 0));
    QTest::newRow("seconds") << now.addSecs(-40) << u"now"_qs;
    QTest::newRow("one minute") << now.addSecs(-61) << u"1 minute ago"_qs;
    QTest::newRow("minutes") << now.addSecs(-59 * 60) << u"59 minutes ago"_qs;
    QTest::newRow("hours") << now.addSecs(-3 * 3600) << u"3 hours ago"_qs;
    QTest::newRow("yesterday, late") << QDateTime(QDate(2026, 6, 16), QTime(23, 50)) << u"yesterday"_qs;
    QTest::newRow("days") << now.addDays(-3) << u"3 days ago"_qs;
    QTest::newRow("last week") << now.addDays(-8) << u"last week"_qs;
    QTest::newRow("weeks") << now.addDays(-22) << u"3 weeks ago"_qs;
    QTest::newRow("last month") << now.addDays(-40) << u"last month"_qs;
    QTest::newRow("months") << now.addMonths(-5) << u"5 months ago"_qs;
    QTest::newRow("last year") << now.addMonths(-13) << u"last year"_qs;
    QTest::newRow("years") << now.addYears(-4) << u"4 years ago"_qs;
    QTest::newRow("a clock ahead") << now.addSecs(2 * 3600) << u"in 2 hours"_qs;
}

void TestRelativeTime::named()
{
    QFETCH(QDateTime, when);
    QFETCH(QString, text);
    QCOMPARE(RelativeTime::text(when, QDateTime(QDate(2026, 6, 17), QTime(12, 0))), text);
}

void TestRelativeTime::dateText_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("text");
    const QDateTime afternoon(QDate(2025, 1, 5), QTime(15, 4));
    const QLocale british(QLocale::English, QLocale::UnitedKingdom);
    const QLocale american(QLocale::English, QLocale::UnitedStates);
    // The weekday goes and the month is abbreviated, whatever punctuation the locale puts around them.
    QTest::newRow("day first") << british << afternoon << u"5 Jan 2025, 15:04"_qs;
    QTest::newRow("month first") << american << afternoon
                                 << u"Jan 5, 2025, "_qs + american.toString(QTime(15, 4), QLocale::ShortFormat);
    QTest::newRow("shown in local time") << british << afternoon.toUTC() << u"5 Jan 2025, 15:04"_qs;
}

void TestRelativeTime::dateText()
{
    QFETCH(QLocale, locale);
    QFETCH(QDateTime, when);
    QFETCH(QString, text);
    const QLocale before;
    QLocale::setDefault(locale);
    const QString shown = RelativeTime::dateText(when);
    QLocale::setDefault(before);
    QCOMPARE(shown, text);
}

QTEST_GUILESS_MAIN(TestRelativeTime)
#include "test_relativetime.moc"
