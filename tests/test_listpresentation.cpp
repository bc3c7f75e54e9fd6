// SPDX-License-Identifier: GPL-3.0-or-later
#include "cachedrecords.h"
#include "lists/listpresentation.h"
#include "lists/listrules.h"

#include <QtTest>

using namespace tidewell;

class TestListPresentation : public QObject
{
    Q_OBJECT
private slots:
    void listTitle_data();
    void listTitle();
    void headerText_data();
    void headerText();
    void priorityMark_data();
    void priorityMark();
    void badgeText_data();
    void badgeText();
    void link_data();
    void link();
    void colorFromHex_data();
    void colorFromHex();
};

void TestListPresentation::listTitle_data()
{
    QTest::addColumn<std::optional<qint64>>("selectedAppId");
    QTest::addColumn<QString>("expected");

    QTest::newRow("nothing selected") << std::optional<qint64>() << u"All Messages"_qs;
    QTest::newRow("cached application") << std::optional<qint64>(1) << u"Mail"_qs;
    QTest::newRow("cached application without a name") << std::optional<qint64>(2) << QString();
    QTest::newRow("application not cached") << std::optional<qint64>(3) << u"Messages"_qs;
}

void TestListPresentation::listTitle()
{
    QFETCH(std::optional<qint64>, selectedAppId);
    QFETCH(QString, expected);

    const QHash<qint64, CachedApp> apps = ListRules::appsById({ app(2, QString()), app(1, u"Mail"_qs) });
    QCOMPARE(apps.size(), 2);
    QCOMPARE(apps.value(1).name, u"Mail"_qs);
    const auto selected = selectedAppId ? apps.constFind(*selectedAppId) : apps.constEnd();
    QCOMPARE(ListPresentation::title(selectedAppId, selected == apps.constEnd() ? nullptr : &*selected), expected);
}

void TestListPresentation::headerText_data()
{
    QTest::addColumn<CachedMessage>("message");
    QTest::addColumn<bool>("appCached");
    QTest::addColumn<QString>("expected");

    QTest::newRow("title wins over the application") << CachedMessage(M(1).title(u"Disk"_qs)) << true << u"Disk"_qs;
    QTest::newRow("empty title is shown empty") << CachedMessage(M(1).title(u""_qs)) << true << QString();
    QTest::newRow("no title: application name") << CachedMessage(M(1)) << true << u"Backups"_qs;
    QTest::newRow("no title, application not cached") << CachedMessage(M(1)) << false << u"Message"_qs;
    QTest::newRow("title, application not cached") << CachedMessage(M(1).title(u"Disk"_qs)) << false << u"Disk"_qs;
}

void TestListPresentation::headerText()
{
    QFETCH(CachedMessage, message);
    QFETCH(bool, appCached);
    QFETCH(QString, expected);

    const CachedApp backups = app(1, u"Backups"_qs);
    const QString header = ListPresentation::headerText(message, appCached ? &backups : nullptr);
    QCOMPARE(header, expected);
}

void TestListPresentation::priorityMark_data()
{
    QTest::addColumn<qint64>("priority");
    QTest::addColumn<ListPresentation::PriorityMark>("expected");

    QTest::newRow("lowest") << std::numeric_limits<qint64>::min() << ListPresentation::PriorityMark::None;
    QTest::newRow("-2") << qint64(-2) << ListPresentation::PriorityMark::None;
    QTest::newRow("-1") << qint64(-1) << ListPresentation::PriorityMark::None;
    QTest::newRow("0") << qint64(0) << ListPresentation::PriorityMark::None;
    QTest::newRow("1") << qint64(1) << ListPresentation::PriorityMark::High;
    QTest::newRow("2") << qint64(2) << ListPresentation::PriorityMark::Emergency;
    QTest::newRow("5") << qint64(5) << ListPresentation::PriorityMark::Emergency;
    QTest::newRow("highest") << std::numeric_limits<qint64>::max() << ListPresentation::PriorityMark::Emergency;
}

void TestListPresentation::priorityMark()
{
    QFETCH(qint64, priority);
    QFETCH(ListPresentation::PriorityMark, expected);
    QCOMPARE(ListPresentation::priorityMark(priority), expected);
}

void TestListPresentation::badgeText_data()
{
    QTest::addColumn<qint64>("count");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QString>("expected");

    QTest::newRow("-3") << qint64(-3) << false << QString();
    QTest::newRow("0") << qint64(0) << false << QString();
    QTest::newRow("1") << qint64(1) << true << u"1"_qs;
    QTest::newRow("42") << qint64(42) << true << u"42"_qs;
    QTest::newRow("99") << qint64(99) << true << u"99"_qs;
    QTest::newRow("100") << qint64(100) << true << u"99+"_qs;
    QTest::newRow("2500") << qint64(2500) << true << u"99+"_qs;
    QTest::newRow("beyond 32 bits") << (qint64(1) << 40) << true << u"99+"_qs;
}

void TestListPresentation::badgeText()
{
    QFETCH(qint64, count);
    QFETCH(bool, shown);
    QFETCH(QString, expected);

    const std::optional<QString> text = ListPresentation::badgeText(count);
    QCOMPARE(text.has_value(), shown);
    if (text)
        QCOMPARE(*text, expected);
}

void TestListPresentation::link_data()
{
    QTest::addColumn<CachedMessage>("message");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<QString>("text");

    QTest::newRow("no address") << CachedMessage(M(1).urlTitle(u"Details"_qs)) << false << QUrl() << QString();
    QTest::newRow("https with a link title")
        << CachedMessage(M(1).url(u"https://example.com/a?b=1"_qs).urlTitle(u"Details"_qs)) << true
        << QUrl(u"https://example.com/a?b=1"_qs) << u"Details"_qs;
    QTest::newRow("http without a link title shows the address")
        << CachedMessage(M(1).url(u"http://example.com/x"_qs)) << true << QUrl(u"http://example.com/x"_qs)
        << u"http://example.com/x"_qs;
    QTest::newRow("scheme in capitals") << CachedMessage(M(1).url(u"HTTPS://Example.com/Path"_qs)) << true
                                        << QUrl(u"https://example.com/Path"_qs) << u"HTTPS://Example.com/Path"_qs;
    QTest::newRow("empty link title is a title") << CachedMessage(M(1).url(u"https://example.com"_qs).urlTitle(u""_qs))
                                                 << true << QUrl(u"https://example.com"_qs) << QString();
    QTest::newRow("mail link") << CachedMessage(M(1).url(u"mailto:ops@example.com"_qs).urlTitle(u"Mail us"_qs)) << false
                               << QUrl() << QString();
    QTest::newRow("ftp") << CachedMessage(M(1).url(u"ftp://example.com/f"_qs)) << false << QUrl() << QString();
    QTest::newRow("file") << CachedMessage(M(1).url(u"file:///etc/passwd"_qs)) << false << QUrl() << QString();
    QTest::newRow("look-alike scheme") << CachedMessage(M(1).url(u"httpx://example.com"_qs)) << false << QUrl()
                                       << QString();
    QTest::newRow("no scheme") << CachedMessage(M(1).url(u"example.com/a"_qs)) << false << QUrl() << QString();
    QTest::newRow("does not parse") << CachedMessage(M(1).url(u"https://exa mple.com/"_qs)) << false << QUrl()
                                    << QString();
    QTest::newRow("empty address") << CachedMessage(M(1).url(u""_qs).urlTitle(u"Details"_qs)) << false << QUrl()
                                   << QString();
}

void TestListPresentation::link()
{
    QFETCH(CachedMessage, message);
    QFETCH(bool, shown);
    QFETCH(QUrl, url);
    QFETCH(QString, text);

    const std::optional<ListPresentation::Link> link = ListPresentation::link(message);
    QCOMPARE(link.has_value(), shown);
    if (link) {
        QCOMPARE(link->url, url);
        QCOMPARE(link->text, text);
    }
}

void TestListPresentation::colorFromHex_data()
{
    QTest::addColumn<QString>("hex");
    QTest::addColumn<bool>("parses");
    QTest::addColumn<int>("red");
    QTest::addColumn<int>("green");
    QTest::addColumn<int>("blue");

    QTest::newRow("#FF8000") << u"#FF8000"_qs << true << 255 << 128 << 0;
    QTest::newRow("spaces around, no #") << u" ff8000 "_qs << true << 255 << 128 << 0;
    QTest::newRow("tabs around") << u"\t#ff8000\t"_qs << true << 255 << 128 << 0;
    QTest::newRow("no-break space around") << u"\u00a0ff8000\u2003"_qs << true << 255 << 128 << 0;
    QTest::newRow("mixed case") << u"aBcDeF"_qs << true << 0xab << 0xcd << 0xef;
    QTest::newRow("black") << u"000000"_qs << true << 0 << 0 << 0;
    QTest::newRow("white") << u"#ffffff"_qs << true << 255 << 255 << 255;
    QTest::newRow("trailing newline") << u"ff8000\n"_qs << false << 0 << 0 << 0;
    QTest::newRow("leading carriage return") << u"\rff8000"_qs << false << 0 << 0 << 0;
    QTest::newRow("line separator") << u"ff8000\u2028"_qs << false << 0 << 0 << 0;
    QTest::newRow("5 digits") << u"FF800"_qs << false << 0 << 0 << 0;
    QTest::newRow("7 digits") << u"#FF80000"_qs << false << 0 << 0 << 0;
    QTest::newRow("3-digit shorthand") << u"#F80"_qs << false << 0 << 0 << 0;
    QTest::newRow("not hexadecimal") << u"#GG0000"_qs << false << 0 << 0 << 0;
    QTest::newRow("empty") << QString() << false << 0 << 0 << 0;
    QTest::newRow("only #") << u"#"_qs << false << 0 << 0 << 0;
    QTest::newRow("two #") << u"##FF8000"_qs << false << 0 << 0 << 0;
    QTest::newRow("space after #") << u"# FF8000"_qs << false << 0 << 0 << 0;
    QTest::newRow("inner space") << u"FF 800"_qs << false << 0 << 0 << 0;
    QTest::newRow("0x prefix") << u"0x8000"_qs << false << 0 << 0 << 0;
    QTest::newRow("fullwidth digits") << u"\uff26\uff26\uff18\uff10\uff10\uff10"_qs << false << 0 << 0 << 0;
    QTest::newRow("plus sign") << u"+F8000"_qs << true << 0x0f << 0x80 << 0;
    QTest::newRow("plus sign after #") << u"#+00001"_qs << true << 0 << 0 << 1;
    QTest::newRow("minus sign on zero") << u"-00000"_qs << true << 0 << 0 << 0;
    QTest::newRow("minus sign on non-zero") << u"-00001"_qs << false << 0 << 0 << 0;
    QTest::newRow("two signs") << u"+-0000"_qs << false << 0 << 0 << 0;
    QTest::newRow("sign inside") << u"00+000"_qs << false << 0 << 0 << 0;
}

void TestListPresentation::colorFromHex()
{
    QFETCH(QString, hex);
    QFETCH(bool, parses);
    QFETCH(int, red);
    QFETCH(int, green);
    QFETCH(int, blue);

    const std::optional<ListPresentation::Rgb> rgb = ListPresentation::colorFromHex(hex);
    QCOMPARE(rgb.has_value(), parses);
    if (rgb) {
        QCOMPARE(int(*rgb >> 24), 0xff); // opaque
        QCOMPARE(int(*rgb >> 16 & 0xff), red);
        QCOMPARE(int(*rgb >> 8 & 0xff), green);
        QCOMPARE(int(*rgb & 0xff), blue);
    }
}

QTEST_GUILESS_MAIN(TestListPresentation)
#include "test_listpresentation.moc"
