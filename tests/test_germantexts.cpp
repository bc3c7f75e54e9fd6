// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/applicationsort.h"
#include "lists/messagesort.h"
#include "notify/newmessagealerts.h"
#include "state/appstate.h"
#include "ui/relativetime.h"
#include "ui/settings/settingstexts.h"
#include "ui/statusitemcontent.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QTranslator>
#include <QXmlStreamReader>

using namespace tidewell;
using namespace Qt::StringLiterals;

// The German that ships: counted texts take the form their count asks for, the words of one platform land inside
// their sentences, stored values stay as stored, and no translation loses or invents a placeholder.
class TestGermanTexts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void countedAndJoinedTexts_data();
    void countedAndJoinedTexts();
    void sortNamesAreTranslatedButStoredValuesAreNot();
    void everyTranslationKeepsItsPlaceholders_data();
    void everyTranslationKeepsItsPlaceholders();

private:
    QTranslator m_german;
};

void TestGermanTexts::initTestCase()
{
    QVERIFY(m_german.load(QDir(QStringLiteral(TIDEWELL_TRANSLATIONS_BUILD_DIR)).filePath(u"tidewell_de.qm"_qs)));
    QVERIFY(QCoreApplication::installTranslator(&m_german));
}

void TestGermanTexts::countedAndJoinedTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    const QDateTime now(QDate(2026, 3, 18), QTime(12, 0));
    QTest::newRow("one minute ago") << RelativeTime::text(now.addSecs(-60), now) << u"vor 1 Minute"_qs;
    QTest::newRow("minutes ago") << RelativeTime::text(now.addSecs(-5 * 60), now) << u"vor 5 Minuten"_qs;
    QTest::newRow("in hours") << RelativeTime::text(now.addSecs(3 * 3600), now) << u"in 3 Stunden"_qs;
    QTest::newRow("yesterday") << RelativeTime::text(now.addDays(-1), now) << u"gestern"_qs;
    QTest::newRow("days ago") << RelativeTime::text(now.addDays(-3), now) << u"vor 3 Tagen"_qs;
    QTest::newRow("weeks ago") << RelativeTime::text(now.addDays(-14), now) << u"vor 2 Wochen"_qs;
    QTest::newRow("years ahead") << RelativeTime::text(now.addYears(4), now) << u"in 4 Jahren"_qs;
    QTest::newRow("tray count") << StatusItemContent::Texts::unread(3) << u"3 ungelesene Benachrichtigungen"_qs;
    QTest::newRow("tray mark all") << StatusItemContent::Texts::markAllRead(12) << u"Alle 12 als gelesen markieren"_qs;
    QTest::newRow("more messages") << NewMessageAlerts::Texts::moreNewMessages(2) << u"2 weitere neue Nachrichten"_qs;
    QTest::newRow("interval") << SettingsTexts::minutes(15) << u"15 Minuten"_qs;
    QTest::newRow("one minute interval") << SettingsTexts::minutes(1) << u"1 Minute"_qs;
    QTest::newRow("machine in a title") << SettingsTexts::linkThisComputer() << u"Diesen Computer verknüpfen"_qs;
    QTest::newRow("keyring in a sentence")
        << AppState::Texts::credentialNotSaved()
        << u"Die Zugangsdaten des Geräts ließen sich nicht im Schlüsselbund speichern \u2013 verknüpfen Sie es "
           "erneut."_qs;
}

void TestGermanTexts::countedAndJoinedTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(text, expected);
}

void TestGermanTexts::sortNamesAreTranslatedButStoredValuesAreNot()
{
    const MessageSort newest(MessageSort::Newest);
    QCOMPARE(newest.label(), u"Neueste zuerst"_qs);
    QCOMPARE(newest.rawValue(), u"Newest"_qs);
    QCOMPARE(MessageSort::fromRawValue(u"Newest"), std::optional(newest));
    const ApplicationSort newestFirst(ApplicationSort::NewestMessage);
    QCOMPARE(newestFirst.label(), u"Zuletzt empfangen"_qs);
    QCOMPARE(newestFirst.rawValue(), u"Newest Received"_qs);
    QCOMPARE(ApplicationSort::fromRawValue(u"Newest Received"), std::optional(newestFirst));
}

void TestGermanTexts::everyTranslationKeepsItsPlaceholders_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("translation");

    const QDir folder(QStringLiteral(TIDEWELL_SOURCE_TRANSLATIONS));
    const QStringList files = folder.entryList({ u"*.ts"_qs }, QDir::Files);
    QVERIFY(!files.isEmpty());
    for (const QString& name : files) {
        QFile file(folder.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&file);
        QString source;
        int form = 0;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == u"source") {
                source = xml.readElementText();
                form = 0;
            } else if (xml.name() == u"translation" || xml.name() == u"numerusform") {
                const bool numerus = xml.name() == u"numerusform";
                const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
                if (!text.isEmpty())
                    QTest::addRow("%s: %s [%d]", qPrintable(name), qPrintable(source), numerus ? form++ : 0)
                        << source << text;
            }
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    }
}

// A translation that drops "%1" shows a sentence without its subject; one that invents "%2" shows a raw marker.
void TestGermanTexts::everyTranslationKeepsItsPlaceholders()
{
    QFETCH(QString, source);
    QFETCH(QString, translation);
    static const QRegularExpression placeholder(u"%(?:L?\\d+|n)"_qs);
    const auto placeholders = [](const QString& text) {
        QSet<QString> found;
        for (const QRegularExpressionMatch& match : placeholder.globalMatch(text))
            found.insert(match.captured());
        return found;
    };
    QCOMPARE(placeholders(translation), placeholders(source));
}

QTEST_MAIN(TestGermanTexts)
#include "test_germantexts.moc"
