// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/servertext.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace tidewell;

// Texts as a server may send them, made safe to show and to hand on.

namespace {

const QString fsi = QStringLiteral("\u2068");
const QString pdi = QStringLiteral("\u2069");
const QString rlo = QStringLiteral("\u202E");
const QString lro = QStringLiteral("\u202D");
const QString rle = QStringLiteral("\u202B");
const QString pdf = QStringLiteral("\u202C");
const QString rli = QStringLiteral("\u2067");
const QString hebrew = QStringLiteral("\u05E9\u05DC\u05D5\u05DD"); // "shalom"

bool isDirectionControl(QChar c)
{
    return (c.unicode() >= 0x202A && c.unicode() <= 0x202E) || (c.unicode() >= 0x2066 && c.unicode() <= 0x2069);
}

QString withoutDirectionControls(QString text)
{
    text.removeIf(isDirectionControl);
    return text;
}

// Whether every direction control of `paragraph` pairs up: each closer closes the innermost opener, and nothing is
// left open at its end.
bool pairsUp(QStringView paragraph)
{
    QList<QChar> open;
    for (const QChar c : paragraph) {
        if (c.unicode() >= 0x2066 && c.unicode() <= 0x2068) {
            open.append(QChar(0x2069));
        } else if (c.unicode() >= 0x202A && c.unicode() <= 0x202E && c != QChar(0x202C)) {
            open.append(QChar(0x202C));
        } else if (c == QChar(0x202C) || c == QChar(0x2069)) {
            if (open.isEmpty() || open.last() != c)
                return false;
            open.removeLast();
        }
    }
    return open.isEmpty();
}

bool everyParagraphPairsUp(const QString& text)
{
    const QStringList paragraphs = text.split(u'\n');
    return std::all_of(paragraphs.cbegin(), paragraphs.cend(), [](const QString& p) { return pairsUp(p); });
}

// Whether each paragraph of `text` is empty or one isolate that only its last character closes.
bool everyParagraphIsOneIsolate(const QString& text)
{
    const QStringList paragraphs = text.split(u'\n');
    return std::all_of(paragraphs.cbegin(), paragraphs.cend(), [](const QString& p) {
        return p.isEmpty()
            || (p.size() >= 2 && p.startsWith(fsi) && p.endsWith(pdi)
                && pairsUp(QStringView(p).sliced(1, p.size() - 2)));
    });
}

} // namespace

class TestServerText : public QObject
{
    Q_OBJECT
private slots:
    void withoutControls_data();
    void withoutControls();
    void isolated_data();
    void isolated();
    void forDisplayAndPlain_data();
    void forDisplayAndPlain();
    void pairedUpForAnyMixOfControls();
};

void TestServerText::withoutControls_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain text unchanged") << u"Disk full: 93 % used"_qs << u"Disk full: 93 % used"_qs;
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("NUL inside keeps what follows") << u"before"_qs + QChar(0) + u"after"_qs << u"beforeafter"_qs;
    QTest::newRow("NUL first") << QChar(0) + u"text"_qs << u"text"_qs;
    QTest::newRow("bell and escape sequence") << u"\x07"_qs + u"\x1b[31mred\x1b[0m"_qs << u"[31mred[0m"_qs;
    QTest::newRow("backspace, DEL and other C0") << u"a\x08"
                                                    "b\x7f"
                                                    "c\x01\x1f"
                                                    "d"_qs
                                                 << u"abcd"_qs;
    QTest::newRow("C1 range") << u"a\u0080b\u009bc\u009fd"_qs << u"abcd"_qs;
    QTest::newRow("tab and line feed stay") << u"a\tb\nc"_qs << u"a\tb\nc"_qs;
    QTest::newRow("CR LF becomes LF") << u"one\r\ntwo\r\n"_qs << u"one\ntwo\n"_qs;
    QTest::newRow("lone CR is a break") << u"one\rtwo\r\r\n"_qs << u"one\ntwo\n\n"_qs;
    QTest::newRow("VT, FF and NEL are breaks") << u"a\x0b"
                                                  "b\x0c"
                                                  "c\u0085d"_qs
                                               << u"a\nb\nc\nd"_qs;
    QTest::newRow("only controls") << u"\x01\x02\x1b\u0090"_qs << QString();
    QTest::newRow("not controls: no-break space, separators, marks, emoji")
        << u"a\u00a0b\u2028c\u2029d\u200fe\u202e\U0001F600"_qs << u"a\u00a0b\u2028c\u2029d\u200fe\u202e\U0001F600"_qs;
}

void TestServerText::withoutControls()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(ServerText::withoutControls(text), expected);
}

void TestServerText::isolated_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty stays empty") << QString() << QString();
    QTest::newRow("left to right") << u"Backups"_qs << fsi + u"Backups"_qs + pdi;
    QTest::newRow("right to left kept as it is") << hebrew + u" 42!"_qs << fsi + hebrew + u" 42!"_qs + pdi;
    QTest::newRow("override left open is closed inside")
        << rlo + u"gnp.exe"_qs << fsi + rlo + u"gnp.exe"_qs + pdf + pdi;
    QTest::newRow("balanced override kept")
        << u"a"_qs + rlo + u"b"_qs + pdf + u"c"_qs << fsi + u"a"_qs + rlo + u"b"_qs + pdf + u"c"_qs + pdi;
    QTest::newRow("PDF without an embedding dropped") << u"a"_qs + pdf + u"b"_qs << fsi + u"ab"_qs + pdi;
    QTest::newRow("PDI that would close the run early dropped")
        << pdi + rlo + u"x"_qs << fsi + rlo + u"x"_qs + pdf + pdi;
    QTest::newRow("embedding inside an isolate closed before its PDI")
        << rli + rle + u"x"_qs + pdi + u"y"_qs << fsi + rli + rle + u"x"_qs + pdf + pdi + u"y"_qs + pdi;
    QTest::newRow("PDF cannot close an embedding outside its isolate")
        << lro + rli + pdf + u"x"_qs << fsi + lro + rli + u"x"_qs + pdi + pdf + pdi;
    QTest::newRow("nested openers closed innermost first")
        << rle + lro + u"x"_qs << fsi + rle + lro + u"x"_qs + pdf + pdf + pdi;
    QTest::newRow("each line its own run")
        << rlo + u"one\n"_qs + hebrew + u"\u2029three"_qs
        << fsi + rlo + u"one"_qs + pdf + pdi + u"\n"_qs + fsi + hebrew + pdi + u"\u2029"_qs + fsi + u"three"_qs + pdi;
    QTest::newRow("empty lines stay empty")
        << u"a\n\nb\n"_qs << fsi + u"a"_qs + pdi + u"\n\n"_qs + fsi + u"b"_qs + pdi + u"\n"_qs;
    QTest::newRow("a line of stray closers only") << pdf + pdi + u"\nx"_qs << u"\n"_qs + fsi + u"x"_qs + pdi;
}

void TestServerText::isolated()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(ServerText::isolated(text), expected);
}

void TestServerText::forDisplayAndPlain_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("plain");

    QTest::newRow("ordinary text") << u"Nightly run finished"_qs << fsi + u"Nightly run finished"_qs + pdi
                                   << u"Nightly run finished"_qs;
    QTest::newRow("NUL and override") << u"\x07tit"_qs + QChar(0) + u"le"_qs + rlo
                                      << fsi + u"title"_qs + rlo + pdf + pdi << u"title"_qs + rlo + pdf;
    QTest::newRow("CR LF between lines") << u"a\r\nb"_qs << fsi + u"a"_qs + pdi + u"\n"_qs + fsi + u"b"_qs + pdi
                                         << u"a\nb"_qs;
    QTest::newRow("right to left") << hebrew << fsi + hebrew + pdi << hebrew;
    QTest::newRow("stray PDI") << u"x"_qs + pdi << fsi + u"x"_qs + pdi << u"x"_qs;
}

void TestServerText::forDisplayAndPlain()
{
    QFETCH(QString, text);
    QFETCH(QString, display);
    QFETCH(QString, plain);
    QCOMPARE(ServerText::forDisplay(text), display);
    QCOMPARE(ServerText::plain(text), plain);
}

// Whatever mix of letters, line breaks and direction controls a text holds, its balanced and isolated forms close
// everything they open inside each line, and lose no character other than direction controls.
void TestServerText::pairedUpForAnyMixOfControls()
{
    const QList<QChar> alphabet { u'a', QChar(0x05D0), u' ', u'\n', QChar(0x202A), QChar(0x202B), QChar(0x202C),
        QChar(0x202D), QChar(0x202E), QChar(0x2066), QChar(0x2067), QChar(0x2068), QChar(0x2069) };
    QRandomGenerator random(20240607);
    for (int round = 0; round < 2000; ++round) {
        QString text;
        const int length = int(random.bounded(1, 24));
        for (int i = 0; i < length; ++i)
            text.append(alphabet.at(random.bounded(alphabet.size())));
        const QString isolated = ServerText::isolated(text);
        const QString balanced = ServerText::balanced(text);
        const QString escaped = QString::fromLatin1(text.toUtf8().toPercentEncoding());
        QVERIFY2(everyParagraphIsOneIsolate(isolated), qPrintable(escaped));
        QVERIFY2(withoutDirectionControls(isolated) == withoutDirectionControls(text), qPrintable(escaped));
        QVERIFY2(everyParagraphPairsUp(balanced), qPrintable(escaped));
        QVERIFY2(withoutDirectionControls(balanced) == withoutDirectionControls(text), qPrintable(escaped));
    }
}

QTEST_GUILESS_MAIN(TestServerText)
#include "test_servertext.moc"
