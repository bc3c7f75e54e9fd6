// SPDX-License-Identifier: GPL-3.0-or-later
// The preferences file: the names and values earlier releases wrote read back the same, what is missing or of another
// type reads as the key's default, and whoever follows a key hears of a change once, and only of a change.
#include "state/preferences.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace tidewell;
using Key = Preferences::Key;

class TestPreferences : public QObject
{
    Q_OBJECT
private slots:
    void readsWhatEarlierReleasesWrote_data();
    void readsWhatEarlierReleasesWrote();
    void changedOnlyWhenTheValueChanges();

private:
    QTemporaryDir m_folder;
};

void TestPreferences::readsWhatEarlierReleasesWrote_data()
{
    QTest::addColumn<Key>("key");
    QTest::addColumn<QString>("line"); // as the file holds it; empty: no line
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("message sort") << Key::MessageSort << u"messageSort=date"_qs << QVariant(u"date"_qs);
    QTest::newRow("message sort, none") << Key::MessageSort << QString() << QVariant();
    QTest::newRow("application sort") << Key::ApplicationSort << u"applicationSort=name"_qs << QVariant(u"name"_qs);
    QTest::newRow("read position") << Key::LastReadId << u"lastReadId=4711"_qs << QVariant(qlonglong(4711));
    QTest::newRow("read position, none") << Key::LastReadId << QString() << QVariant();
    QTest::newRow("read position, not a number") << Key::LastReadId << u"lastReadId=soon"_qs << QVariant();
    QTest::newRow("push registered") << Key::PushRegistered << u"pushRegistered=true"_qs << QVariant(true);
    QTest::newRow("push registered, none") << Key::PushRegistered << QString() << QVariant(false);
    QTest::newRow("check interval") << Key::CheckInterval << u"checkInterval=900"_qs << QVariant(qlonglong(900));
    QTest::newRow("check interval, none") << Key::CheckInterval << QString() << QVariant(qlonglong(300));
    QTest::newRow("check interval, edited")
        << Key::CheckInterval << u"checkInterval=often"_qs << QVariant(qlonglong(300));
    QTest::newRow("closed-window notice")
        << Key::ClosedWindowNoticeShown << u"closedWindowNoticeShown=true"_qs << QVariant(true);
    QTest::newRow("unlinked credential") << Key::UnlinkedCredential << u"unlinkedCredential=@ByteArray(d1g3st)"_qs
                                         << QVariant(QByteArray("d1g3st"));
}

void TestPreferences::readsWhatEarlierReleasesWrote()
{
    QFETCH(Key, key);
    QFETCH(QString, line);
    QFETCH(QVariant, expected);
    const QString path = m_folder.filePath(QString::fromLatin1(QTest::currentDataTag()) + u".conf"_qs);
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write((u"[General]\n"_qs + line + u"\n"_qs).toUtf8());
    }
    Preferences preferences(path);
    QCOMPARE(preferences.value(key), expected);
    QCOMPARE(preferences.contains(key), !line.isEmpty());

    // Written back, the file says it as before: the same name, and a value that reads back the same.
    if (expected.isValid()) {
        preferences.remove(key);
        preferences.setValue(key, expected);
        preferences.file().sync();
        QSettings reread(path, QSettings::IniFormat);
        QVERIFY(reread.contains(Preferences::name(key)));
        QCOMPARE(Preferences(path).value(key), expected);
    }
}

void TestPreferences::changedOnlyWhenTheValueChanges()
{
    Preferences preferences(m_folder.filePath(u"changes.conf"_qs));
    QSignalSpy changed(&preferences, &Preferences::changed);

    preferences.setValue(Key::CheckInterval, qlonglong(300)); // the default, but not yet stored
    preferences.setValue(Key::CheckInterval, qlonglong(300));
    preferences.setValue(Key::CheckInterval, qlonglong(60));
    preferences.remove(Key::LastReadId); // nothing there
    preferences.setValue(Key::LastReadId, qlonglong(7));
    preferences.remove(Key::LastReadId);

    QList<Key> keys;
    for (const QList<QVariant>& arguments : changed)
        keys.append(arguments.first().value<Key>());
    QCOMPARE(keys, (QList<Key> { Key::CheckInterval, Key::CheckInterval, Key::LastReadId, Key::LastReadId }));
    QCOMPARE(preferences.value(Key::CheckInterval), QVariant(qlonglong(60)));
    QVERIFY(!preferences.contains(Key::LastReadId));
}

QTEST_GUILESS_MAIN(TestPreferences)
#include "test_preferences.moc"
