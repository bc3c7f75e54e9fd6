// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QString>
#include <QtGlobal>

namespace tidewell::PlatformWords {

// The few words of the user-visible texts that name the machine or its secret store. The texts were worded for
// macOS; every other platform says "computer" and "keyring" instead. Texts build on these rather than spelling the
// words out, so the choice for a platform is made here and nowhere else. The words are translated on their own and
// reach the sentences as arguments, so a translator words each sentence around them.

// As a word in a title or a quoted command: "Link this Computer".
inline QString computerTitle()
{
#ifdef Q_OS_MACOS
    return QCoreApplication::translate("PlatformWords", "Mac");
#else
    return QCoreApplication::translate("PlatformWords", "Computer");
#endif
}

// As a word inside a sentence: "link this computer through your browser".
inline QString computerInSentence()
{
#ifdef Q_OS_MACOS
    return QCoreApplication::translate("PlatformWords", "Mac");
#else
    return QCoreApplication::translate("PlatformWords", "computer");
#endif
}

// Where a credential is saved, as the end of a phrase: "save the device credential to the keyring".
inline QString toTheKeychain()
{
#ifdef Q_OS_MACOS
    return QCoreApplication::translate("PlatformWords", "to the Keychain");
#else
    return QCoreApplication::translate("PlatformWords", "to the keyring");
#endif
}

} // namespace tidewell::PlatformWords
