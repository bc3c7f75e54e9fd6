// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/privatefiles.h"

#include "base/logging.h"

#include <QDir>
#include <QFile>

namespace tidewell {

namespace {

constexpr QFile::Permissions ownerRights = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
// What this process may do with the file, not a part of its mode; for root it is everything.
constexpr QFile::Permissions processRights = QFile::ReadUser | QFile::WriteUser | QFile::ExeUser;

bool restrictToOwner(const QString& path, QFile::Permissions wanted)
{
    if ((QFile::permissions(path) & ~processRights) == wanted || QFile::setPermissions(path, wanted))
        return true;
    qCWarning(lcPlatform, "Could not make %ls private to its owner", qUtf16Printable(path));
    return false;
}

} // namespace

bool PrivateFiles::makeFolder(const QString& path)
{
    if (!QDir().mkpath(path)) {
        qCWarning(lcPlatform, "Could not create %ls", qUtf16Printable(path));
        return false;
    }
    return restrictToOwner(path, ownerRights);
}

bool PrivateFiles::makeFile(const QString& path)
{
    QFile file(path);
    // Never truncates: a file that appeared meanwhile is kept and only tightened.
    if (!file.exists() && file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFile::ReadOwner | QFile::WriteOwner))
        file.close();
    if (!file.exists()) {
        qCWarning(lcPlatform, "Could not create %ls", qUtf16Printable(path));
        return false;
    }
    return restrictToOwner(path, QFile::permissions(path) & ownerRights);
}

bool PrivateFiles::makeAll(const QStringList& folders, const QStringList& files)
{
    bool all = true;
    for (const QString& folder : folders)
        all = makeFolder(folder) && all;
    for (const QString& file : files)
        all = makeFile(file) && all;
    return all;
}

} // namespace tidewell
