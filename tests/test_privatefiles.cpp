// SPDX-License-Identifier: GPL-3.0-or-later
// The folders and files that hold the user's messages and settings are the user's alone, whatever the umask, and
// those an earlier run left readable to others are tightened.

#include "cache/store.h"
#include "platform/privatefiles.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>
#include <sys/stat.h>

using namespace tidewell;

namespace {

int modeOf(const QString& path)
{
    struct stat info
    { };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

void makeFileWithMode(const QString& path, const QByteArray& contents, int mode)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(contents);
    file.close();
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(mode)), 0);
}

// Sets the process's umask for as long as it lives.
class Umask
{
public:
    explicit Umask(int mask)
        : m_previous(::umask(mode_t(mask)))
    { }
    ~Umask() { ::umask(m_previous); }

private:
    mode_t m_previous;
};

} // namespace

class TestPrivateFiles : public QObject
{
    Q_OBJECT
private slots:
    void folderIsPrivate_data();
    void folderIsPrivate();
    void fileIsPrivate_data();
    void fileIsPrivate();
    void cacheFilesArePrivate_data();
    void cacheFilesArePrivate();
};

void TestPrivateFiles::folderIsPrivate_data()
{
    QTest::addColumn<int>("umask");
    QTest::addColumn<int>("oldMode"); // of a folder already there; 0: none
    QTest::newRow("new, umask 022") << 022 << 0;
    QTest::newRow("new, umask 000") << 0 << 0;
    QTest::newRow("0755 from before") << 022 << 0755;
    QTest::newRow("0777 from before") << 0 << 0777;
    QTest::newRow("0711 from before") << 077 << 0711;
}

void TestPrivateFiles::folderIsPrivate()
{
    QFETCH(int, umask);
    QFETCH(int, oldMode);
    const Umask mask(umask);
    QTemporaryDir root;
    const QString folder = root.filePath(u"share/Tidewell"_qs);
    if (oldMode != 0) {
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), mode_t(oldMode)), 0);
    }

    QVERIFY(PrivateFiles::makeFolder(folder));
    QCOMPARE(modeOf(folder), 0700);
}

void TestPrivateFiles::fileIsPrivate_data()
{
    QTest::addColumn<int>("umask");
    QTest::addColumn<int>("oldMode"); // of a file already there; 0: none
    QTest::addColumn<int>("mode");
    QTest::newRow("new, umask 022") << 022 << 0 << 0600;
    QTest::newRow("new, umask 000") << 0 << 0 << 0600;
    QTest::newRow("0644 from before") << 022 << 0644 << 0600;
    QTest::newRow("0666 from before") << 0 << 0666 << 0600;
    QTest::newRow("0604 from before") << 022 << 0604 << 0600;
    // Only others lose rights: a file its owner made read-only stays so.
    QTest::newRow("0444 from before") << 022 << 0444 << 0400;
}

// The preferences file, as QSettings then writes it: it replaces the file by renaming a new one over it.
void TestPrivateFiles::fileIsPrivate()
{
    QFETCH(int, umask);
    QFETCH(int, oldMode);
    QFETCH(int, mode);
    const Umask mask(umask);
    QTemporaryDir folder;
    const QString path = folder.filePath(u"preferences.conf"_qs);
    const QByteArray old = "[General]\nlastReadId=7\n";
    if (oldMode != 0)
        makeFileWithMode(path, old, oldMode);

    QVERIFY(PrivateFiles::makeFile(path));
    QCOMPARE(modeOf(path), mode);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), oldMode != 0 ? old : QByteArray()); // never truncated
    file.close();

    if (mode & 0200) {
        QSettings settings(path, QSettings::IniFormat);
        settings.setValue(u"pushRegistered"_qs, true);
        settings.sync();
        QCOMPARE(settings.status(), QSettings::NoError);
        QCOMPARE(modeOf(path), mode);
        QCOMPARE(QSettings(path, QSettings::IniFormat).value(u"pushRegistered"_qs).toBool(), true);
    }
}

void TestPrivateFiles::cacheFilesArePrivate_data()
{
    QTest::addColumn<int>("umask");
    QTest::addColumn<QString>("before");
    QTest::newRow("new, umask 022") << 022 << u"nothing"_qs;
    QTest::newRow("new, umask 000") << 0 << u"nothing"_qs;
    QTest::newRow("an open cache left readable") << 022 << u"open cache"_qs;
    QTest::newRow("an unusable file left readable") << 022 << u"unusable file"_qs;
}

// The cache, its log and its index, while the cache is open (SQLite removes the last two when the last connection
// closes).
void TestPrivateFiles::cacheFilesArePrivate()
{
    QFETCH(int, umask);
    QFETCH(QString, before);
    const Umask mask(umask);
    QTemporaryDir folder;
    const QString path = folder.filePath(u"cache.sqlite"_qs);
    const QStringList files { path, path + u"-wal"_qs, path + u"-shm"_qs };

    // Another connection keeps the log and the index in place, as after a crash.
    sqlite3* other = nullptr;
    const auto closeOther = qScopeGuard([&other] { sqlite3_close(other); });
    if (before == u"open cache"_qs) {
        QVERIFY(Store::open(path));
        QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &other), SQLITE_OK);
        QCOMPARE(sqlite3_exec(other, "SELECT count(*) FROM messages", nullptr, nullptr, nullptr), SQLITE_OK);
        for (const QString& file : files)
            QCOMPARE(::chmod(QFile::encodeName(file).constData(), 0644), 0);
    } else if (before == u"unusable file"_qs) {
        makeFileWithMode(path, "not a database, but long enough to be read as one's header", 0644);
    }

    const std::unique_ptr<CacheContext> cache = Store::open(path);
    QVERIFY(cache);
    for (const QString& file : files)
        QCOMPARE(modeOf(file), 0600);
}

QTEST_GUILESS_MAIN(TestPrivateFiles)
#include "test_privatefiles.moc"
