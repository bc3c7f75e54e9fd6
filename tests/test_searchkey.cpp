// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/keylowering.h"
#include "lists/searchkey.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace tidewell;

namespace {

// What the search means: the text lowered by the locale holds the lowered search text, code unit by code unit.
bool reference(const QLocale& locale, const QString& text, const QString& search)
{
    return locale.toLower(text).indexOf(locale.toLower(search)) >= 0;
}

bool byKeys(const QLocale& locale, const QString& text, const QString& search)
{
    const KeyLowering lowering(locale);
    std::vector<char> keys { 'x' }; // a key rarely starts its buffer
    const quint32 length = lowering.append(text, keys);
    return SearchKey::contains(keys.data() + 1, length, lowering.needle(search));
}

} // namespace

class TestSearchKey : public QObject
{
    Q_OBJECT
private slots:
    void agreesWithTheLoweredText_data();
    void agreesWithTheLoweredText();
    void agreesOnRandomTexts_data();
    void agreesOnRandomTexts();
    void storedFormGivesTheSameKey_data();
    void storedFormGivesTheSameKey();
};

void TestSearchKey::agreesWithTheLoweredText_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("search");
    QTest::addColumn<bool>("found");

    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale turkish(QLocale::Turkish, QLocale::Turkey);
    const QString longText = u"The nightly backup of host-5 finished with 3 warnings; disk usage is above 90%"_qs;
    QTest::newRow("empty search") << english << u"anything"_qs << QString() << true;
    QTest::newRow("empty text") << english << QString() << u"a"_qs << false;
    QTest::newRow("one letter, other case") << english << u"Disk"_qs << u"D"_qs << true;
    QTest::newRow("two letters") << english << u"xDy"_qs << u"dy"_qs << true;
    QTest::newRow("longer than the text") << english << u"disk"_qs << u"disks"_qs << false;
    QTest::newRow("whole text") << english << u"Disk"_qs << u"dISK"_qs << true;
    QTest::newRow("at the very end of a long text") << english << longText << u"ABOVE 90%"_qs << true;
    QTest::newRow("ends match, middle does not") << english << longText << u"hxst-5"_qs << false;
    QTest::newRow("long search in a long text") << english << longText << u"FINISHED WITH 3 WARNINGS; DISK"_qs << true;
    QTest::newRow("long search, one letter off") << english << longText << u"finished with 4 warnings"_qs << false;
    QTest::newRow("accented, other case") << english << u"Caf\u00e9 au lait"_qs << u"CAF\u00c9"_qs << true;
    QTest::newRow("accent is not folded") << english << u"Cafe"_qs << u"caf\u00e9"_qs << false;
    QTest::newRow("sharp s is not ss") << english << u"Stra\u00dfe"_qs << u"STRASSE"_qs << false;
    QTest::newRow("sharp s as itself") << english << u"STRA\u00dfE"_qs << u"stra\u00df"_qs << true;
    QTest::newRow("emoji") << english << u"ok \U0001F600 done"_qs << u"\U0001F600 D"_qs << true;
    QTest::newRow("half an emoji") << english << u"ok \U0001F600"_qs << QString(QChar(0xD83D)) << true;
    QTest::newRow("other emoji sharing a surrogate") << english << u"\U0001F600"_qs << u"\U0001F601"_qs << false;
    QTest::newRow("greek") << english << u"\u039a\u0391\u039b\u0397\u039c\u0395\u03a1\u0391"_qs
                           << u"\u03b1\u03bb\u03b7"_qs << true;
    QTest::newRow("turkish dotless i") << turkish << u"ISI"_qs << u"\u0131s\u0131"_qs << true;
    QTest::newRow("turkish dotted I") << turkish << u"\u0130stanbul"_qs << u"istan"_qs << true;
    QTest::newRow("english I is i") << english << u"ISI"_qs << u"isi"_qs << true;
    QTest::newRow("english I is not dotless") << english << u"ISI"_qs << u"\u0131s\u0131"_qs << false;
}

void TestSearchKey::agreesWithTheLoweredText()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, text);
    QFETCH(QString, search);
    QFETCH(bool, found);

    QCOMPARE(reference(locale, text, search), found);
    QCOMPARE(byKeys(locale, text, search), found);
}

void TestSearchKey::agreesOnRandomTexts_data()
{
    QTest::addColumn<QLocale>("locale");

    QTest::newRow("english") << QLocale(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("turkish") << QLocale(QLocale::Turkish, QLocale::Turkey);
}

// Texts long enough for sixteen starting places at once, from few characters, so that near misses are common.
void TestSearchKey::agreesOnRandomTexts()
{
    QFETCH(QLocale, locale);

    static const QStringList pieces { u"a"_qs, u"A"_qs, u"b"_qs, u"I"_qs, u"\u0131"_qs, u"\u00e9"_qs, u"\u00c9"_qs,
        u"\u00df"_qs, u"\U0001F600"_qs, u"\u20ac"_qs, u" "_qs };
    QRandomGenerator random(7);
    const auto text = [&](int length) {
        QString result;
        for (int i = 0; i < length; ++i)
            result += pieces[random.bounded(int(pieces.size()))];
        return result;
    };
    for (int round = 0; round < 3000; ++round) {
        const QString haystack = text(random.bounded(70));
        // Half the searches are taken from the text itself, so that many are found.
        QString needle = text(1 + random.bounded(5));
        if (round % 2 == 0 && haystack.size() > 2) {
            const int from = random.bounded(int(haystack.size()) - 1);
            needle = haystack.mid(from, 1 + random.bounded(int(haystack.size()) - from));
        }
        QVERIFY2(byKeys(locale, haystack, needle) == reference(locale, haystack, needle),
            qPrintable(u"\"%1\" in \"%2\""_qs.arg(needle, haystack)));
    }
}

void TestSearchKey::storedFormGivesTheSameKey_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("text");

    const QLocale english(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("ascii") << english << u"Disk FULL on host-5"_qs;
    QTest::newRow("accented") << english << u"\u00c9t\u00e9 Caf\u00c9"_qs;
    QTest::newRow("emoji") << english << u"OK \U0001F600"_qs;
    QTest::newRow("turkish ascii") << QLocale(QLocale::Turkish, QLocale::Turkey) << u"ISTANBUL"_qs;
}

// Keys read from the cache's UTF-8 must be the keys of the same text as a QString, or searches would differ by how a
// row arrived.
void TestSearchKey::storedFormGivesTheSameKey()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, text);

    const KeyLowering lowering(locale);
    std::vector<char> fromText;
    std::vector<char> fromStored;
    const quint32 textLength = lowering.append(text, fromText);
    const QByteArray utf8 = text.toUtf8();
    const quint32 storedLength = lowering.append(QByteArrayView(utf8), fromStored);
    QCOMPARE(storedLength, textLength);
    QCOMPARE(fromStored, fromText);
    QCOMPARE(QByteArray(fromText.data(), qsizetype(fromText.size())), SearchKey::of(locale.toLower(text)));
}

QTEST_GUILESS_MAIN(TestSearchKey)
#include "test_searchkey.moc"
