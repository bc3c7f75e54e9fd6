// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/translationloader.h"

#include "base/logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

namespace tidewell {

QStringList TranslationLoader::searchFolders()
{
    QStringList folders;
    const QString programFolder = QCoreApplication::applicationDirPath();
    // An installed copy lies outside the tree it was built in, and must not pick up whatever that tree holds now.
    if (programFolder.startsWith(QStringLiteral(TIDEWELL_BUILD_TREE "/")))
        folders.append(QStringLiteral(TIDEWELL_BUILD_TRANSLATIONS));
    // Relative to the program, so that the package's /usr and a local prefix both find their own data folder.
    folders.append(QDir::cleanPath(programFolder + u'/' + QStringLiteral(TIDEWELL_INSTALLED_TRANSLATIONS)));
    return folders;
}

QString TranslationLoader::install(const QStringList& uiLanguages, const QStringList& folders, const QString& qtFolder)
{
    QCoreApplication::removeTranslator(&m_tidewell);
    QCoreApplication::removeTranslator(&m_qt);
    m_path.clear();
    for (const QString& uiLanguage : uiLanguages) {
        QString language = uiLanguage;
        language.replace(u'-', u'_');
        if (QLocale(language).language() == QLocale::English)
            break;
        // de_Latn_AT, then de_Latn, then de: a regional preference still gets the language's general translation.
        for (;;) {
            if (installFrom(language, folders, qtFolder))
                return m_path;
            const qsizetype cut = language.lastIndexOf(u'_');
            if (cut <= 0)
                break;
            language.truncate(cut);
        }
    }
    return {};
}

bool TranslationLoader::installFrom(const QString& language, const QStringList& folders, const QString& qtFolder)
{
    for (const QString& folder : folders) {
        const QString path = QDir(folder).filePath(u"tidewell_"_qs + language + u".qm"_qs);
        if (!QFileInfo::exists(path))
            continue;
        if (!m_tidewell.load(path)) {
            qCWarning(lcPlatform) << "The translation" << path << "cannot be read; looking further";
            continue;
        }
        m_path = path;
        QCoreApplication::installTranslator(&m_tidewell);
        qCInfo(lcPlatform) << "Texts from" << path;
        if (m_qt.load(QLocale(language), QStringLiteral("qtbase"), QStringLiteral("_"), qtFolder))
            QCoreApplication::installTranslator(&m_qt);
        else
            qCInfo(lcPlatform) << "No translation of Qt's own texts for" << language << "in" << qtFolder;
        return true;
    }
    return false;
}

} // namespace tidewell
