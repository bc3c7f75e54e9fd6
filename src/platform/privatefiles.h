// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

namespace tidewell {

// Keeps the folders and files that hold the user's messages, settings and link to the user's account alone,
// whatever the umask and whatever an earlier run left behind: on a shared machine every other account could read
// them otherwise. Rights are only ever taken away from others; the owner's are left as they are on files.
class PrivateFiles
{
public:
    // Creates the folder (parents as the umask has them) and leaves it readable by its owner alone (0700).
    static bool makeFolder(const QString& path);
    // Creates the file empty when it is missing (0600), and takes every right of others off one that exists.
    // Programs that replace a file by renaming a new one over it, as QSettings does, keep the old file's mode.
    static bool makeFile(const QString& path);
    // Both for each of the folders, then each of the files (which may lie in them). True when all are private.
    static bool makeAll(const QStringList& folders, const QStringList& files);

    PrivateFiles() = delete;
};

} // namespace tidewell
