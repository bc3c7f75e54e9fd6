// SPDX-License-Identifier: GPL-3.0-or-later
#include "api/apiclient.h"
#include "api/decodingerror.h"
#include "base/cancellederror.h"
#include "coro.h"
#include "fakeserver.h"
#include "net/transporterror.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QTcpServer>
#include <QtTest>

using namespace tidewell;
using Response = FakeServer::Response;

namespace {

enum class Op
{
    Messages,
    MarkRead,
    Apps,
    AppIcon,
    PushToken,
    DeleteMessage,
    ClearApp,
    RevokeDevice
};

// Runs one operation with fixed arguments and discards its result.
QCoro::Task<> invoke(APIClient* client, Op op)
{
    switch (op) {
    case Op::Messages:
        co_await client->messages(0, 200);
        break;
    case Op::MarkRead:
        co_await client->markRead(42);
        break;
    case Op::Apps:
        co_await client->apps();
        break;
    case Op::AppIcon:
        co_await client->appIcon(-7);
        break;
    case Op::PushToken:
        co_await client->registerPushToken(u"0a1b2c"_qs);
        break;
    case Op::DeleteMessage:
        co_await client->deleteMessage(123);
        break;
    case Op::ClearApp:
        co_await client->clearApp(9);
        break;
    case Op::RevokeDevice:
        co_await client->revokeDevice();
        break;
    }
}

const QByteArray emptyPage = R"({"messages":[],"has_more":false})";

// Keeps the transfer time-out of every request it is asked to send.
class TimeoutRecordingNetwork : public QNetworkAccessManager
{
public:
    QList<int> timeouts;

protected:
    QNetworkReply* createRequest(Operation op, const QNetworkRequest& request, QIODevice* data) override
    {
        timeouts.append(request.transferTimeout());
        return QNetworkAccessManager::createRequest(op, request, data);
    }
};

} // namespace

Q_DECLARE_METATYPE(Op)

class TestAPIClient : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void endpoints_data();
    void endpoints();
    void baseURLSlashRule_data();
    void baseURLSlashRule();
    void endpointKeepsSecondSlash();
    void statusHandling_data();
    void statusHandling();
    void iconBodies();
    void pageIsDecoded();
    void badURLSendsNothing();
    void secretWithSpacesIsSentUnchanged();
    void closedPortIsATransportError();
    void timeoutIsATransportError();
    void requestsWaitSixtySecondsByDefault();
    void stopCancelsTheRequest();

private:
    APIClient client(const QString& base, const QString& secret = u"s3cret"_qs)
    {
        return APIClient(DeviceConfig { QUrl(base), secret }, &m_nam);
    }

    QNetworkAccessManager m_nam;
    std::unique_ptr<FakeServer> m_server;
};

void TestAPIClient::init()
{
    m_server = std::make_unique<FakeServer>();
    m_nam.clearConnectionCache();
}

void TestAPIClient::endpoints_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("body"); // JSON, compared as objects; empty: no body and no Content-Type
    QTest::addColumn<QByteArray>("answer");

    QTest::newRow("messages") << Op::Messages << QByteArray("GET") << QByteArray("/api/messages?since=0&limit=200")
                              << QByteArray() << emptyPage;
    QTest::newRow("markRead") << Op::MarkRead << QByteArray("POST") << QByteArray("/api/device/read")
                              << QByteArray(R"({"last_read_id":42})") << QByteArray();
    QTest::newRow("apps") << Op::Apps << QByteArray("GET") << QByteArray("/api/apps") << QByteArray()
                          << QByteArray("[]");
    QTest::newRow("appIcon") << Op::AppIcon << QByteArray("GET") << QByteArray("/api/apps/-7/icon") << QByteArray()
                             << QByteArray();
    QTest::newRow("registerPushToken") << Op::PushToken << QByteArray("POST") << QByteArray("/api/device/push-token")
                                       << QByteArray(R"({"push_token":"0a1b2c","sandbox":false})") << QByteArray();
    QTest::newRow("deleteMessage") << Op::DeleteMessage << QByteArray("DELETE") << QByteArray("/api/messages/123")
                                   << QByteArray() << QByteArray();
    QTest::newRow("clearApp") << Op::ClearApp << QByteArray("DELETE") << QByteArray("/api/messages?app=9")
                              << QByteArray() << QByteArray();
    QTest::newRow("revokeDevice") << Op::RevokeDevice << QByteArray("DELETE") << QByteArray("/api/device")
                                  << QByteArray() << QByteArray();
}

void TestAPIClient::endpoints()
{
    QFETCH(Op, op);
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, answer);

    m_server->enqueue(Response::json(answer));
    APIClient api = client(m_server->url().toString());
    await(invoke(&api, op));

    QCOMPARE(m_server->requests().size(), 1);
    const FakeServer::Request& request = m_server->requests().first();
    QCOMPARE(request.method, method);
    QCOMPARE(request.target, target);
    QCOMPARE(request.header("Authorization"), QByteArray("Bearer s3cret"));
    if (body.isEmpty()) {
        QVERIFY(request.body.isEmpty());
        QVERIFY(!request.hasHeader("Content-Type"));
    } else {
        QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
        QVERIFY2(!request.body.contains(' ') && !request.body.contains('\n'), "body is not compact");
        QCOMPARE(QJsonDocument::fromJson(request.body).object(), QJsonDocument::fromJson(body).object());
    }
}

void TestAPIClient::baseURLSlashRule_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QByteArray>("target");
    QTest::newRow("no slash") << "" << QByteArray("/api/apps");
    QTest::newRow("one slash") << "/" << QByteArray("/api/apps");
    QTest::newRow("path prefix") << "/push" << QByteArray("/push/api/apps");
    QTest::newRow("path prefix with slash") << "/push/" << QByteArray("/push/api/apps");
}

void TestAPIClient::baseURLSlashRule()
{
    QFETCH(QString, suffix);
    QFETCH(QByteArray, target);
    m_server->enqueue(Response::json("[]"));
    APIClient api = client(m_server->url().toString() + suffix);
    await(api.apps());
    QCOMPARE(m_server->requests().value(0).target, target);
}

// Only one trailing slash is removed. Qt collapses the leading "//" of such a path on the wire, so the rule is
// checked on the address itself.
void TestAPIClient::endpointKeepsSecondSlash()
{
    const auto url = HttpTransport::endpoint(QUrl(u"https://push.example.com//"_qs), u"/api/apps"_qs);
    QVERIFY(url);
    QCOMPARE(url->toString(), u"https://push.example.com//api/apps"_qs);
    QCOMPARE(HttpTransport::endpoint(QUrl(u"https://push.example.com/"_qs), u"/api/apps"_qs)->toString(),
        u"https://push.example.com/api/apps"_qs);
    QCOMPARE(HttpTransport::endpoint(QUrl(), u"/api/apps"_qs), std::nullopt);
}

void TestAPIClient::statusHandling_data()
{
    QTest::addColumn<Op>("op");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("error"); // empty: success
    QTest::addColumn<QByteArray>("location"); // the Location header; empty: none

    const auto row = [](const QByteArray& name, Op op, int status, const QByteArray& body, const QString& error,
                         const QByteArray& location = {}) {
        QTest::newRow(name.constData()) << op << status << body << error << location;
    };
    for (Op op : { Op::DeleteMessage, Op::ClearApp, Op::MarkRead, Op::PushToken, Op::RevokeDevice }) {
        row("204 satisfies op " + QByteArray::number(int(op)), op, 204, {}, {});
        row("404 fails op " + QByteArray::number(int(op)), op, 404, {}, u"Server returned HTTP 404"_qs);
    }
    row("404 accepted for icons", Op::AppIcon, 404, {}, {});
    row("500 for icons", Op::AppIcon, 500, "oops", u"Server returned HTTP 500"_qs);
    row("401 for messages", Op::Messages, 401, emptyPage, u"Server returned HTTP 401"_qs);
    row("201 is success", Op::Apps, 201, "[]", {});
    // Qt files these statuses under error codes of their own, unlike most of 4xx; they are still the server's answer.
    row("400", Op::Apps, 400, "[]", u"Server returned HTTP 400"_qs);
    row("407", Op::MarkRead, 407, {}, u"Server returned HTTP 407"_qs);
    row("418", Op::DeleteMessage, 418, {}, u"Server returned HTTP 418"_qs);
    // A redirect that cannot be followed is an answer too: neither a success nor a broken exchange.
    row("302 without a Location", Op::Apps, 302, "[]", u"Server returned HTTP 302"_qs);
    row("303 with an unreadable Location", Op::RevokeDevice, 303, {}, u"Server returned HTTP 303"_qs, "http://[::1");
}

void TestAPIClient::statusHandling()
{
    QFETCH(Op, op);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, error);
    QFETCH(QByteArray, location);
    Response response = Response::json(body, status);
    if (!location.isEmpty())
        response.headers.append(qMakePair(QByteArray("Location"), location));
    m_server->enqueue(response);
    APIClient api = client(m_server->url().toString());
    std::optional<APIClient::APIError> failure;
    try {
        await(invoke(&api, op));
    } catch (const APIClient::APIError& apiError) {
        failure = apiError;
    } catch (const Error& other) {
        QFAIL(qPrintable(u"unexpected error: "_qs + other.description()));
    }
    if (error.isEmpty()) {
        QVERIFY2(!failure, failure ? qPrintable(failure->description()) : "");
        return;
    }
    QVERIFY2(failure, "the request succeeded");
    QCOMPARE(failure->description(), error);
    QCOMPARE(failure->status(), status);
}

void TestAPIClient::iconBodies()
{
    APIClient api = client(m_server->url().toString());
    m_server->enqueue(Response::empty(200));
    QCOMPARE(await(api.appIcon(1)), std::nullopt);
    m_server->enqueue(Response::json("PNGDATA", 200));
    QCOMPARE(await(api.appIcon(1)), std::optional<QByteArray>("PNGDATA"));
    // A body is the icon whatever the accepted status it came with.
    m_server->enqueue(Response::json("\x89PNG", 404));
    QCOMPARE(await(api.appIcon(1)), std::optional<QByteArray>("\x89PNG"));

    // Without a body, lists fail to decode; the decoder's error comes through unchanged.
    m_server->enqueue(Response::empty(204));
    awaitError<DecodingError>(api.messages(0, 200));
    m_server->enqueue(Response::empty(200));
    awaitError<DecodingError>(api.apps());
}

void TestAPIClient::pageIsDecoded()
{
    m_server->enqueue(Response::json(R"({"messages":[{"id":5,"application_id":1,"message":"hi","priority":0,
        "ts":10}],"has_more":true})"));
    APIClient api = client(m_server->url().toString());
    const SyncResponse page = await(api.messages(4, 200));
    QCOMPARE(page.messages.size(), 1);
    QCOMPARE(page.messages.first().id, 5);
    QVERIFY(page.hasMore);
    QCOMPARE(m_server->requests().first().target, QByteArray("/api/messages?since=4&limit=200"));
}

void TestAPIClient::badURLSendsNothing()
{
    for (const QString& base : { QString(), u"127.0.0.1:%1"_qs.arg(m_server->port()), u"/relative"_qs }) {
        APIClient api = client(base);
        const auto failure = awaitError<APIClient::APIError>(api.apps());
        QCOMPARE(failure.description(), u"Invalid server URL"_qs);
        QCOMPARE(failure.kind(), APIClient::APIError::Kind::BadURL);
    }
    QVERIFY(m_server->requests().isEmpty());
}

void TestAPIClient::secretWithSpacesIsSentUnchanged()
{
    m_server->enqueue(Response::json("[]"));
    APIClient api = client(m_server->url().toString(), u"a b  c"_qs);
    await(api.apps());
    QCOMPARE(m_server->requests().first().header("Authorization"), QByteArray("Bearer a b  c"));
}

void TestAPIClient::closedPortIsATransportError()
{
    quint16 port;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    }
    APIClient api = client(u"http://127.0.0.1:%1"_qs.arg(port));
    const auto failure = awaitError<TransportError>(api.revokeDevice());
    QCOMPARE(failure.code(), QNetworkReply::ConnectionRefusedError);
    QVERIFY(!failure.description().isEmpty());
}

void TestAPIClient::timeoutIsATransportError()
{
    Response slow = Response::json("[]");
    slow.delay = std::chrono::milliseconds(2000);
    m_server->enqueue(slow);
    APIClient api(DeviceConfig { m_server->url(), u"s"_qs }, &m_nam, std::chrono::milliseconds(200));
    const auto failure = awaitError<TransportError>(api.apps());
    QCOMPARE(failure.code(), QNetworkReply::TimeoutError);
}

void TestAPIClient::requestsWaitSixtySecondsByDefault()
{
    QCOMPARE(HttpTransport::makeRequest(QUrl(u"https://push.example.com/api/apps"_qs)).transferTimeout(), 60000);

    TimeoutRecordingNetwork network;
    m_server->enqueue(Response::json("[]"));
    m_server->enqueue(Response::empty(204));
    APIClient api(DeviceConfig { m_server->url(), u"s"_qs }, &network);
    await(api.apps());
    await(api.markRead(1));
    QCOMPARE(network.timeouts, (QList<int> { 60000, 60000 }));
}

void TestAPIClient::stopCancelsTheRequest()
{
    Response slow = Response::json("[]");
    slow.delay = std::chrono::milliseconds(5000);
    m_server->enqueue(slow);
    APIClient api = client(m_server->url().toString());
    std::stop_source source;
    QTimer::singleShot(50, [&source] { source.request_stop(); });
    QElapsedTimer timer;
    timer.start();
    awaitError<CancelledError>(api.apps(source.get_token()));
    QVERIFY(timer.elapsed() < 4000);
}

QTEST_GUILESS_MAIN(TestAPIClient)
#include "test_apiclient.moc"
