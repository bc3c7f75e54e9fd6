// SPDX-License-Identifier: GPL-3.0-or-later
#include "api/decodingerror.h"
#include "api/wiredecoder.h"

#include <QtTest>

using namespace tidewell;

class TestRecords : public QObject
{
    Q_OBJECT
private slots:
    void messageDecodes_data();
    void messageDecodes();
    void messageFails_data();
    void messageFails();
    void oneBadMessageFailsThePage();
    void pageShapes_data();
    void pageShapes();
    void hasIconIsLenient_data();
    void hasIconIsLenient();
    void appFails_data();
    void appFails();
    void appListMustBeAnArray();
    void dateFollowsTs_data();
    void dateFollowsTs();
    void equalityCoversEveryField();
};

static const QByteArray fullMessage = R"({"id":7,"application_id":3,"title":"Disk","message":"Disk almost full",
    "priority":1,"url":"https://example.com/d","url_title":"Details","sound":"bell","ts":1700000000})";

void TestRecords::messageDecodes_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<Message>("expected");

    QTest::newRow("every member") << fullMessage
                                  << Message { 7, 3, u"Disk"_qs, u"Disk almost full"_qs, 1, u"https://example.com/d"_qs,
                                         u"Details"_qs, u"bell"_qs, 1700000000 };
    QTest::newRow("null title, optional members absent")
        << QByteArray(R"({"id":1,"application_id":2,"title":null,"message":"m","priority":0,"ts":5})")
        << Message { 1, 2, std::nullopt, u"m"_qs, 0, std::nullopt, std::nullopt, std::nullopt, 5 };
    QTest::newRow("unknown members ignored")
        << QByteArray(R"({"id":1,"extra":{"a":[1]},"application_id":2,"message":"m","priority":-2,"ts":5,"Title":"x"})")
        << Message { 1, 2, std::nullopt, u"m"_qs, -2, std::nullopt, std::nullopt, std::nullopt, 5 };
    QTest::newRow("64-bit ids and negative ts")
        << QByteArray(R"({"id":9007199254740993,"application_id":-4,"message":"","priority":2,"ts":-86400})")
        << Message { 9007199254740993LL, -4, std::nullopt, QString(), 2, std::nullopt, std::nullopt, std::nullopt,
               -86400 };
    QTest::newRow("empty optional strings are values")
        << QByteArray(R"({"id":1,"application_id":2,"message":"m","priority":0,"ts":5,"url":"","url_title":""})")
        << Message { 1, 2, std::nullopt, u"m"_qs, 0, u""_qs, u""_qs, std::nullopt, 5 };
    QTest::newRow("escapes and non-ASCII text")
        << QByteArray(R"({"id":1,"application_id":2,"message":"caf\u00e9 \"ok\" \ud83d\ude00","priority":0,"ts":5})")
        << Message { 1, 2, std::nullopt, QString::fromUtf8("café \"ok\" 😀"), 0, std::nullopt, std::nullopt,
               std::nullopt, 5 };
}

void TestRecords::messageDecodes()
{
    QFETCH(QByteArray, json);
    QFETCH(Message, expected);
    const Message decoded = WireDecoder::message(json);
    QCOMPARE(decoded, expected);
    QVERIFY(decoded.title.has_value() == expected.title.has_value());
}

void TestRecords::messageFails_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("member");
    QTest::addColumn<QString>("problem");

    QTest::newRow("ts missing") << QByteArray(R"({"id":1,"application_id":2,"message":"m","priority":0})") << "ts"
                                << "is missing";
    QTest::newRow("ts as a string") << QByteArray(R"({"id":1,"application_id":2,"message":"m","priority":0,"ts":"5"})")
                                    << "ts"
                                    << "is not a 64-bit integer";
    QTest::newRow("id null") << QByteArray(R"({"id":null,"application_id":2,"message":"m","priority":0,"ts":5})")
                             << "id"
                             << "is null";
    QTest::newRow("fractional priority") << QByteArray(
        R"({"id":1,"application_id":2,"message":"m","priority":1.5,"ts":5})")
                                         << "priority"
                                         << "is not a 64-bit integer";
    QTest::newRow("id beyond 64 bits") << QByteArray(
        R"({"id":18446744073709551615,"application_id":2,"message":"m","priority":0,"ts":5})")
                                       << "id"
                                       << "is not a 64-bit integer";
    QTest::newRow("url of the wrong type")
        << QByteArray(R"({"id":1,"application_id":2,"message":"m","priority":0,"ts":5,"url":3})") << "url"
        << "is not a string";
    QTest::newRow("message not a string")
        << QByteArray(R"({"id":1,"application_id":2,"message":false,"priority":0,"ts":5})") << "message"
        << "is not a string";
    // Members are read in a fixed order, so with several faults the earliest in that order is the one reported.
    QTest::newRow("sound before ts before application_id")
        << QByteArray(R"({"id":1,"message":"m","priority":0,"sound":1})") << "sound"
        << "is not a string";
    QTest::newRow("ts before application_id") << QByteArray(R"({"id":1,"message":"m","priority":0})") << "ts"
                                              << "is missing";
    QTest::newRow("application_id before url_title")
        << QByteArray(R"({"id":1,"message":"m","priority":0,"ts":1,"url_title":2})") << "application_id"
        << "is missing";
    QTest::newRow("not an object") << QByteArray(R"([1,2])") << ""
                                   << "is not an object";
}

void TestRecords::messageFails()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, member);
    QFETCH(QString, problem);
    try {
        WireDecoder::message(json);
        QFAIL("decoding succeeded");
    } catch (const DecodingError& error) {
        QCOMPARE(error.member(), member);
        QCOMPARE(error.problem(), problem);
        if (!member.isEmpty())
            QVERIFY2(error.description().contains(member), qPrintable(error.description()));
    }
}

void TestRecords::oneBadMessageFailsThePage()
{
    const QByteArray page = R"({"messages":[{"id":1,"application_id":2,"message":"m","priority":0,"ts":5},
        {"id":2,"application_id":2,"message":"m","priority":0}],"has_more":false})";
    try {
        WireDecoder::syncResponse(page);
        QFAIL("decoding succeeded");
    } catch (const DecodingError& error) {
        QCOMPARE(error.member(), u"messages[1].ts"_qs);
    }
}

void TestRecords::pageShapes_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("count"); // -1: must fail
    QTest::addColumn<bool>("hasMore");

    QTest::newRow("empty page, no more") << QByteArray(R"({"messages":[],"has_more":false})") << 0 << false;
    QTest::newRow("one message, more") << QByteArray(R"({"has_more":true,"next":9,"messages":[
        {"id":1,"application_id":2,"message":"m","priority":0,"ts":5}]})")
                                       << 1 << true;
    QTest::newRow("has_more as a number") << QByteArray(R"({"messages":[],"has_more":1})") << -1 << false;
    QTest::newRow("has_more missing") << QByteArray(R"({"messages":[]})") << -1 << false;
    QTest::newRow("messages missing") << QByteArray(R"({"has_more":false})") << -1 << false;
    QTest::newRow("messages not an array") << QByteArray(R"({"messages":{},"has_more":false})") << -1 << false;
    QTest::newRow("empty body") << QByteArray() << -1 << false;
    QTest::newRow("truncated body") << QByteArray(R"({"messages":[{"id":1,)") << -1 << false;
    QTest::newRow("not JSON") << QByteArray("<html>502 Bad Gateway</html>") << -1 << false;
}

void TestRecords::pageShapes()
{
    QFETCH(QByteArray, json);
    QFETCH(int, count);
    QFETCH(bool, hasMore);
    if (count < 0) {
        QVERIFY_THROWS_EXCEPTION(DecodingError, WireDecoder::syncResponse(json));
        return;
    }
    const SyncResponse page = WireDecoder::syncResponse(json);
    QCOMPARE(page.messages.size(), count);
    QCOMPARE(page.hasMore, hasMore);
}

void TestRecords::hasIconIsLenient_data()
{
    QTest::addColumn<QByteArray>("member");
    QTest::addColumn<bool>("expected");

    QTest::newRow("true") << QByteArray(R"(,"has_icon":true)") << true;
    QTest::newRow("1") << QByteArray(R"(,"has_icon":1)") << true;
    QTest::newRow("-3") << QByteArray(R"(,"has_icon":-3)") << true;
    QTest::newRow("false") << QByteArray(R"(,"has_icon":false)") << false;
    QTest::newRow("0") << QByteArray(R"(,"has_icon":0)") << false;
    QTest::newRow("\"yes\"") << QByteArray(R"(,"has_icon":"yes")") << false;
    QTest::newRow("null") << QByteArray(R"(,"has_icon":null)") << false;
    QTest::newRow("object") << QByteArray(R"(,"has_icon":{})") << false;
    QTest::newRow("absent") << QByteArray() << false;
}

void TestRecords::hasIconIsLenient()
{
    QFETCH(QByteArray, member);
    QFETCH(bool, expected);
    const AppInfo app = WireDecoder::appInfo(R"({"id":4,"name":"Backups","color":"#FF8800")" + member + "}");
    QCOMPARE(app, (AppInfo { 4, u"Backups"_qs, u"#FF8800"_qs, expected }));
}

void TestRecords::appFails_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("member");
    QTest::newRow("name missing") << QByteArray(R"({"id":4,"color":"red"})") << "name";
    QTest::newRow("color null") << QByteArray(R"({"id":4,"name":"n","color":null})") << "color";
    QTest::newRow("id as text") << QByteArray(R"({"id":"4","name":"n","color":"red"})") << "id";
}

void TestRecords::appFails()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, member);
    try {
        WireDecoder::appInfo(json);
        QFAIL("decoding succeeded");
    } catch (const DecodingError& error) {
        QCOMPARE(error.member(), member);
    }
}

void TestRecords::appListMustBeAnArray()
{
    QCOMPARE(WireDecoder::appList("[]"), QList<AppInfo>());
    const QList<AppInfo> apps
        = WireDecoder::appList(R"([{"id":1,"name":"a","color":"red"},{"id":2,"name":"b","color":"","has_icon":1}])");
    QCOMPARE(apps, (QList<AppInfo> { { 1, u"a"_qs, u"red"_qs, false }, { 2, u"b"_qs, u""_qs, true } }));
    QVERIFY_THROWS_EXCEPTION(DecodingError, WireDecoder::appList(R"({"apps":[]})"));
    try {
        WireDecoder::appList(R"([{"id":1,"name":"a","color":"red"},{"id":2,"color":"red"}])");
        QFAIL("decoding succeeded");
    } catch (const DecodingError& error) {
        QCOMPARE(error.member(), u"[1].name"_qs);
    }
}

void TestRecords::dateFollowsTs_data()
{
    QTest::addColumn<qint64>("ts");
    QTest::addColumn<QString>("iso");
    QTest::newRow("epoch") << qint64(0) << "1970-01-01T00:00:00Z";
    QTest::newRow("before the epoch") << qint64(-1) << "1969-12-31T23:59:59Z";
    QTest::newRow("recent") << qint64(1700000000) << "2023-11-14T22:13:20Z";
}

void TestRecords::dateFollowsTs()
{
    QFETCH(qint64, ts);
    QFETCH(QString, iso);
    Message m;
    m.ts = ts;
    QCOMPARE(m.date().toString(Qt::ISODate), iso);
}

void TestRecords::equalityCoversEveryField()
{
    const Message base = WireDecoder::message(fullMessage);
    Message other = base;
    QCOMPARE(other, base);
    QCOMPARE(qHash(other), qHash(base));
    other.sound.reset();
    QVERIFY(other != base);
    QVERIFY(qHash(other) != qHash(base));
    other = base;
    other.urlTitle = u""_qs;
    QVERIFY(other != base);
}

QTEST_GUILESS_MAIN(TestRecords)
#include "test_records.moc"
