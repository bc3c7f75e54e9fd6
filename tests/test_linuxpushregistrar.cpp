// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/linuxpushregistrar.h"

#include <QSignalSpy>
#include <QtTest>

using namespace tidewell;

class TestLinuxPushRegistrar : public QObject
{
    Q_OBJECT
private slots:
    void failsFromTheEventLoopWithItsReason();
};

void TestLinuxPushRegistrar::failsFromTheEventLoopWithItsReason()
{
    LinuxPushRegistrar registrar;
    PushRegistrar& asInterface = registrar;
    QSignalSpy failed(&registrar, &PushRegistrar::failedToRegister);
    QSignalSpy registered(&registrar, &PushRegistrar::registered);

    asInterface.registerForRemoteNotifications();
    asInterface.registerForRemoteNotifications();
    // Nothing may arrive inside the call: the caller is still setting up when it asks.
    QCOMPARE(failed.count(), 0);

    QTRY_COMPARE(failed.count(), 2); // every request gets its answer
    for (const QList<QVariant>& answer : failed) {
        QCOMPARE(answer.at(0).toString(), LinuxPushRegistrar::unavailableReason());
        QVERIFY(answer.at(0).toString().contains(u"no remote-push service"_qs));
    }
    QCOMPARE(registered.count(), 0);
}

QTEST_GUILESS_MAIN(TestLinuxPushRegistrar)
#include "test_linuxpushregistrar.moc"
