// SPDX-License-Identifier: GPL-3.0-or-later
// Choosing and installing the translations at start: which file the user's languages pick from which folder, Qt's
// own texts in the same language, English when it comes first or nothing matches, and the build's own German.

#include "platform/translationloader.h"

#include <QtTest>

using namespace tidewell;

namespace {

const char* const context = "TranslationLoaderTest";
const char* const sourceText = "Mark All Read";

// Qt's own text of the Cancel button, as its translations name it.
QString qtCancel()
{
    return QCoreApplication::translate("QPlatformTheme", "Cancel");
}

} // namespace

class TestTranslationLoader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void picksTheFileForTheLanguages_data();
    void picksTheFileForTheLanguages();
    void aLaterCallReplacesTheEarlierLanguage();
    void theBuildFolderComesFirstWhenRunFromTheBuild();
    void theBuildsGermanLoads();

private:
    QString folder(const QString& name) const;

    QTemporaryDir m_folders;
};

// The fixtures' .qm files, compiled by the test's build, copied beside an empty folder and one whose German file is
// not a translation at all.
void TestTranslationLoader::initTestCase()
{
    QVERIFY(m_folders.isValid());
    const QDir fixtures(QStringLiteral(TIDEWELL_TRANSLATION_FIXTURES));
    for (const QString& file :
        { u"first/tidewell_de.qm"_qs, u"second/tidewell_de.qm"_qs, u"second/tidewell_fr.qm"_qs }) {
        QVERIFY(QDir(m_folders.path()).mkpath(QFileInfo(file).path()));
        QVERIFY2(QFile::copy(fixtures.filePath(file), folder(file)), qPrintable(fixtures.filePath(file)));
    }
    QVERIFY(QDir(m_folders.path()).mkpath(u"empty"_qs));
    QVERIFY(QDir(m_folders.path()).mkpath(u"broken"_qs));
    QFile broken(folder(u"broken/tidewell_de.qm"_qs));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("not a translation\n");
}

QString TestTranslationLoader::folder(const QString& name) const
{
    return QDir(m_folders.path()).filePath(name);
}

void TestTranslationLoader::picksTheFileForTheLanguages_data()
{
    QTest::addColumn<QStringList>("uiLanguages");
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QString>("expectedFile"); // relative to the fixtures' folder; empty: none
    QTest::addColumn<QString>("expectedText");
    QTest::addColumn<QString>("expectedCancel");

    const QString german = u"Alle als gelesen markieren"_qs;
    QTest::newRow("German, first folder wins")
        << QStringList { u"de-DE"_qs, u"de"_qs } << QStringList { u"first"_qs, u"second"_qs }
        << u"first/tidewell_de.qm"_qs << german << u"Abbrechen"_qs;
    QTest::newRow("German with script and region") << QStringList { u"de-Latn-AT"_qs } << QStringList { u"first"_qs }
                                                   << u"first/tidewell_de.qm"_qs << german << u"Abbrechen"_qs;
    QTest::newRow("folders without it are passed over")
        << QStringList { u"de"_qs } << QStringList { u"missing"_qs, u"empty"_qs, u"broken"_qs, u"second"_qs }
        << u"second/tidewell_de.qm"_qs << u"Alles gelesen"_qs << u"Abbrechen"_qs;
    QTest::newRow("the preferred language beats the folder order")
        << QStringList { u"fr-FR"_qs, u"de-DE"_qs } << QStringList { u"first"_qs, u"second"_qs }
        << u"second/tidewell_fr.qm"_qs << u"Tout marquer comme lu"_qs << u"Annuler"_qs;
    QTest::newRow("an untranslated language passes to the next")
        << QStringList { u"it-IT"_qs, u"de-DE"_qs } << QStringList { u"first"_qs } << u"first/tidewell_de.qm"_qs
        << german << u"Abbrechen"_qs;
    QTest::newRow("English first stays English")
        << QStringList { u"en-GB"_qs, u"de-DE"_qs } << QStringList { u"first"_qs, u"second"_qs } << QString()
        << QString::fromLatin1(sourceText) << u"Cancel"_qs;
    QTest::newRow("no translation for the language")
        << QStringList { u"it-IT"_qs, u"it"_qs } << QStringList { u"first"_qs, u"second"_qs } << QString()
        << QString::fromLatin1(sourceText) << u"Cancel"_qs;
    QTest::newRow("the C locale") << QStringList { u"C"_qs } << QStringList { u"first"_qs } << QString()
                                  << QString::fromLatin1(sourceText) << u"Cancel"_qs;
}

void TestTranslationLoader::picksTheFileForTheLanguages()
{
    QFETCH(QStringList, uiLanguages);
    QFETCH(QStringList, folders);
    QFETCH(QString, expectedFile);
    QFETCH(QString, expectedText);
    QFETCH(QString, expectedCancel);

    for (QString& name : folders)
        name = folder(name);
    TranslationLoader loader;
    QCOMPARE(loader.install(uiLanguages, folders), expectedFile.isEmpty() ? QString() : folder(expectedFile));
    QCOMPARE(QCoreApplication::translate(context, sourceText), expectedText);
    QCOMPARE(qtCancel(), expectedCancel);
}

void TestTranslationLoader::aLaterCallReplacesTheEarlierLanguage()
{
    TranslationLoader loader;
    QVERIFY(!loader.install({ u"de"_qs }, { folder(u"first"_qs) }).isEmpty());
    QCOMPARE(qtCancel(), u"Abbrechen"_qs);
    QCOMPARE(loader.install({ u"en-US"_qs }, { folder(u"first"_qs) }), QString());
    QCOMPARE(QCoreApplication::translate(context, sourceText), QString::fromLatin1(sourceText));
    QCOMPARE(qtCancel(), u"Cancel"_qs);
}

// This test program lies in the build tree as the program does, so it sees the folders a build's program sees.
void TestTranslationLoader::theBuildFolderComesFirstWhenRunFromTheBuild()
{
    const QStringList folders = TranslationLoader::searchFolders();
    QCOMPARE(folders.size(), 2);
    QCOMPARE(folders.first(), QStringLiteral(TIDEWELL_TRANSLATIONS_BUILD_DIR));
    QCOMPARE(folders.last(),
        QDir::cleanPath(QCoreApplication::applicationDirPath() + u"/../share/tidewell/translations"_qs));
}

void TestTranslationLoader::theBuildsGermanLoads()
{
    TranslationLoader loader;
    const QString build = QStringLiteral(TIDEWELL_TRANSLATIONS_BUILD_DIR);
    QCOMPARE(loader.install({ u"de-DE"_qs }, { build }), QDir(build).filePath(u"tidewell_de.qm"_qs));
    QCOMPARE(QCoreApplication::translate("tidewell::MainWindow", "&File"), u"&Datei"_qs);
    QCOMPARE(qtCancel(), u"Abbrechen"_qs);
}

QTEST_GUILESS_MAIN(TestTranslationLoader)
#include "test_translationloader.moc"
