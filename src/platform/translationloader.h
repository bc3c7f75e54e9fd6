// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLibraryInfo>
#include <QString>
#include <QStringList>
#include <QTranslator>

namespace tidewell {

// Installs Tidewell's translation for the user's preferred languages, and Qt's own translation (standard buttons
// and dialogs) for the same language, so that one window never mixes two languages. Tidewell's texts are written in
// English: a user who prefers English to every language Tidewell has been translated into keeps English throughout.
// The translations stay installed while the loader lives; install it before any window is built.
class TranslationLoader
{
public:
    // Where Tidewell's .qm files are looked for, in order: the build tree's own folder when this program runs from
    // the build tree it was built in (so a build shows its current translations), then the data folder of the
    // prefix the program is installed in.
    static QStringList searchFolders();

    // Installs the translation of the first of `uiLanguages` (most preferred first, as QLocale::uiLanguages() gives
    // them) that has a file in one of `folders`, replacing what an earlier call installed. Returns that file's path;
    // empty when the texts stay English.
    QString install(const QStringList& uiLanguages, const QStringList& folders,
        const QString& qtFolder = QLibraryInfo::path(QLibraryInfo::TranslationsPath));

private:
    bool installFrom(const QString& language, const QStringList& folders, const QString& qtFolder);

    QTranslator m_tidewell;
    QTranslator m_qt;
    QString m_path;
};

} // namespace tidewell
