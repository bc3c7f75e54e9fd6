// SPDX-License-Identifier: GPL-3.0-or-later
#include "coro.h"
#include "fakenotificationcentre.h"
#include "notify/notificationhandler.h"

#include <QtTest>

using namespace tidewell;

Q_DECLARE_METATYPE(std::optional<qint64>)

class TestNotificationHandler : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void intValue_data();
    void intValue();
    void clickCallsOnTapWithBothIds_data();
    void clickCallsOnTapWithBothIds();
    void foregroundNotificationReachesTheCallbackOnce();
    void replacedCentreIsNoLongerHeard();
    void permission();

private:
    NotificationHandler m_handler;
    FakeNotificationCentre m_centre;
};

void TestNotificationHandler::init()
{
    m_handler.setCentre(&m_centre);
}

void TestNotificationHandler::intValue_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<std::optional<qint64>>("expected");
    const std::optional<qint64> none;
    QTest::newRow("absent") << QVariant() << none;
    QTest::newRow("int") << QVariant(7) << std::optional<qint64>(7);
    QTest::newRow("64-bit") << QVariant(qint64(9007199254740993LL)) << std::optional<qint64>(9007199254740993LL);
    QTest::newRow("unsigned beyond range") << QVariant(quint64(1) << 63) << none;
    QTest::newRow("number truncated") << QVariant(42.9) << std::optional<qint64>(42);
    QTest::newRow("negative number truncated") << QVariant(-42.9) << std::optional<qint64>(-42);
    QTest::newRow("infinite number") << QVariant(qInf()) << none;
    QTest::newRow("decimal text") << QVariant(u"42"_qs) << std::optional<qint64>(42);
    QTest::newRow("plus sign") << QVariant(u"+5"_qs) << std::optional<qint64>(5);
    QTest::newRow("minus sign") << QVariant(u"-5"_qs) << std::optional<qint64>(-5);
    QTest::newRow("letter among digits") << QVariant(u"4a2"_qs) << none;
    QTest::newRow("empty text") << QVariant(u""_qs) << none;
    QTest::newRow("sign only") << QVariant(u"-"_qs) << none;
    QTest::newRow("blank around") << QVariant(u" 42"_qs) << none;
    QTest::newRow("text overflow") << QVariant(u"9223372036854775808"_qs) << none;
    QTest::newRow("text at the limit") << QVariant(u"-9223372036854775808"_qs)
                                       << std::optional<qint64>(std::numeric_limits<qint64>::min());
    QTest::newRow("boolean") << QVariant(true) << none;
    QTest::newRow("list") << QVariant(QVariantList { 1 }) << none;
}

void TestNotificationHandler::intValue()
{
    QFETCH(QVariant, value);
    QFETCH(std::optional<qint64>, expected);
    QCOMPARE(NotificationHandler::intValue(value), expected);
}

void TestNotificationHandler::clickCallsOnTapWithBothIds_data()
{
    QTest::addColumn<QVariantMap>("payload");
    QTest::addColumn<std::optional<qint64>>("messageId");
    QTest::addColumn<std::optional<qint64>>("applicationId");
    QTest::newRow("text and number") << QVariantMap { { "mid", u"42"_qs }, { "aid", 7 } } << std::optional<qint64>(42)
                                     << std::optional<qint64>(7);
    QTest::newRow("no aid") << QVariantMap { { "mid", 42 } } << std::optional<qint64>(42) << std::optional<qint64>();
    QTest::newRow("unusable mid") << QVariantMap { { "mid", u"x1"_qs }, { "aid", u"-3"_qs } } << std::optional<qint64>()
                                  << std::optional<qint64>(-3);
}

void TestNotificationHandler::clickCallsOnTapWithBothIds()
{
    QFETCH(QVariantMap, payload);
    QFETCH(std::optional<qint64>, messageId);
    QFETCH(std::optional<qint64>, applicationId);
    QList<QPair<std::optional<qint64>, std::optional<qint64>>> taps;
    QObject listener; // the connection ends with the test
    connect(&m_handler, &NotificationHandler::onTap, &listener,
        [&taps](std::optional<qint64> mid, std::optional<qint64> aid) {
            taps.append({ mid, aid });
        });
    emit m_centre.didReceiveResponse(payload);
    QCOMPARE(taps.size(), 1);
    QCOMPARE(taps.first().first, messageId);
    QCOMPARE(taps.first().second, applicationId);
}

void TestNotificationHandler::foregroundNotificationReachesTheCallbackOnce()
{
    int calls = 0;
    QObject listener;
    connect(&m_handler, &NotificationHandler::onForegroundNotification, &listener, [&calls] { ++calls; });
    m_handler.setCentre(&m_centre); // made the receiver again, as at every launch: still one call per event
    emit m_centre.willPresent();
    QCOMPARE(calls, 1);
    emit m_centre.willPresent();
    QCOMPARE(calls, 2);
}

void TestNotificationHandler::replacedCentreIsNoLongerHeard()
{
    int foreground = 0;
    int taps = 0;
    QObject listener;
    connect(&m_handler, &NotificationHandler::onForegroundNotification, &listener, [&foreground] { ++foreground; });
    connect(&m_handler, &NotificationHandler::onTap, &listener,
        [&taps](std::optional<qint64>, std::optional<qint64>) { ++taps; });
    FakeNotificationCentre other;
    m_handler.setCentre(&other);
    emit m_centre.willPresent();
    emit m_centre.didReceiveResponse({ { "mid", 1 } });
    QCOMPARE(foreground, 0);
    QCOMPARE(taps, 0);

    emit other.willPresent();
    emit other.didReceiveResponse({ { "mid", 1 } });
    QCOMPARE(foreground, 1);
    QCOMPARE(taps, 1);
    QCOMPARE(m_handler.centre(), &other);
}

void TestNotificationHandler::permission()
{
    m_centre.grant = true;
    QVERIFY(await(m_handler.requestAuthorization()));
    m_centre.grant = false;
    QVERIFY(!await(m_handler.requestAuthorization()));
    m_centre.failRequest = true;
    QVERIFY(!await(m_handler.requestAuthorization())); // a failed request counts as refused
    m_centre.status = NotificationCentre::AuthorizationStatus::Authorized;
    QCOMPARE(await(m_handler.authorizationStatus()), NotificationCentre::AuthorizationStatus::Authorized);

    m_handler.setCentre(nullptr);
    QCOMPARE(await(m_handler.authorizationStatus()), NotificationCentre::AuthorizationStatus::NotDetermined);
    QVERIFY(!await(m_handler.requestAuthorization()));
}

QTEST_GUILESS_MAIN(TestNotificationHandler)
#include "test_notificationhandler.moc"
