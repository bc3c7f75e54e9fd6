// SPDX-License-Identifier: GPL-3.0-or-later
#include "mockcalls.h"
#include "platform/closedwindownotice.h"
#include "platform/dbusnotificationcentre.h"
#include "platform/trayhostwatcher.h"
#include "state/preferences.h"
#include "testchild.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace tidewell;

namespace {

// The summaries of every Notify the mock notification server has answered, oldest first.
QStringList notifiedSummaries()
{
    QStringList summaries;
    const auto calls = mockedCalls(QString::fromLatin1(DBusNotificationCentre::serviceName),
        QString::fromLatin1(DBusNotificationCentre::objectPath), u"Notify"_qs);
    for (const QVariantList& args : calls.value_or(QList<QVariantList> {}))
        summaries.append(args.value(3).toString());
    return summaries;
}

qsizetype noticesSince(qsizetype before)
{
    return notifiedSummaries().mid(before).count(ClosedWindowNotice::Texts::summary());
}

bool onBus(const QString& name)
{
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(name).value();
}

} // namespace

class TestClosedWindowNotice : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void saidOnceWithoutAHost();
    void notSaidWithAHost();
    void notSaidWhileQuitting();

private:
    void closeAndSettle(ClosedWindowNotice& notice);

    QTemporaryDir m_folder;
    std::unique_ptr<Preferences> m_prefs;
    std::unique_ptr<DBusNotificationCentre> m_centre;
    std::unique_ptr<TrayHostWatcher> m_host;
};

void TestClosedWindowNotice::init()
{
    QVERIFY(m_folder.isValid());
    QVERIFY2(onBus(QString::fromLatin1(DBusNotificationCentre::serviceName)), "run under scripts/with-test-services");
    m_prefs = std::make_unique<Preferences>(m_folder.filePath(u"prefs.ini"_qs));
    m_prefs->file().clear();
    m_centre = std::make_unique<DBusNotificationCentre>();
    m_host = std::make_unique<TrayHostWatcher>();
}

void TestClosedWindowNotice::cleanup()
{
    m_host.reset();
    m_centre.reset();
    m_prefs.reset();
}

// Closes the window and waits until the notice has been said or given up; a close that says nothing starts nothing.
void TestClosedWindowNotice::closeAndSettle(ClosedWindowNotice& notice)
{
    notice.windowClosed();
    QTRY_VERIFY(!notice.isShowing());
}

void TestClosedWindowNotice::saidOnceWithoutAHost()
{
    const qsizetype before = notifiedSummaries().size();
    {
        ClosedWindowNotice notice(*m_host, *m_centre, *m_prefs);
        QVERIFY(!notice.wasShown());
        notice.windowClosed(); // closed, reopened and closed again before the first notice is out
        closeAndSettle(notice);
        QCOMPARE(noticesSince(before), 1);
        QVERIFY(notice.wasShown());
        closeAndSettle(notice);
        QCOMPARE(noticesSince(before), 1);
    }
    // The next run remembers that it was said.
    m_prefs->file().sync();
    Preferences reread(m_prefs->fileName());
    QVERIFY(reread.file().value(u"closedWindowNoticeShown"_qs).toBool());
    ClosedWindowNotice later(*m_host, *m_centre, reread);
    closeAndSettle(later);
    QCOMPARE(noticesSince(before), 1);

    const QStringList summaries = notifiedSummaries();
    QCOMPARE(summaries.at(before), u"Tidewell is still running"_qs);
}

void TestClosedWindowNotice::notSaidWithAHost()
{
    QProcess watcher;
    watcher.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    startsAsTestChild(watcher);
    watcher.start(u"/usr/bin/python3"_qs,
        { u"-m"_qs, u"dbusmock"_qs, u"--session"_qs, u"-t"_qs, QStringLiteral(TIDEWELL_TRAY_WATCHER_TEMPLATE) });
    QTRY_VERIFY_WITH_TIMEOUT(m_host->hostPresent(), 20000);
    const qsizetype before = notifiedSummaries().size();
    ClosedWindowNotice notice(*m_host, *m_centre, *m_prefs);
    closeAndSettle(notice);
    QCOMPARE(noticesSince(before), 0);
    QVERIFY(!notice.wasShown()); // still owed for a later close without a host

    watcher.terminate();
    watcher.waitForFinished(10000);
    QTRY_VERIFY(!m_host->hostPresent());
    closeAndSettle(notice);
    QCOMPARE(noticesSince(before), 1);
}

// Quitting closes every window before the program ends; Tidewell is not running on after those.
void TestClosedWindowNotice::notSaidWhileQuitting()
{
    const qsizetype before = notifiedSummaries().size();
    ClosedWindowNotice notice(*m_host, *m_centre, *m_prefs);
    QEvent quit(QEvent::Quit);
    QCoreApplication::sendEvent(QCoreApplication::instance(), &quit);
    closeAndSettle(notice);
    QCOMPARE(noticesSince(before), 0);
    QVERIFY(!notice.wasShown());
}

QTEST_GUILESS_MAIN(TestClosedWindowNotice)
#include "test_closedwindownotice.moc"
