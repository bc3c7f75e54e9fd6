// SPDX-License-Identifier: GPL-3.0-or-later
#include "account/devicelinker.h"
#include "base/cancellederror.h"
#include "coro.h"
#include "fakeserver.h"
#include "net/jsonsyntaxerror.h"
#include "net/transporterror.h"

#include <QNetworkAccessManager>
#include <QTcpServer>
#include <QtTest>

using namespace tidewell;
using Response = FakeServer::Response;
using LinkError = DeviceLinker::LinkError;

namespace {

// How an operation is expected to end.
enum class Outcome
{
    Success,
    BadResponse,
    Http,
    JsonSyntax
};

const QString alphabet = u"0123456789ABCDEFGHJKMNPQRSTVWXYZabcdefghjkmnpqrstvwxyz"_qs;

template <typename T> QString checkFailure(QCoro::Task<T>&& task, Outcome outcome, int status)
{
    switch (outcome) {
    case Outcome::Success:
        return u"expected success"_qs;
    case Outcome::BadResponse: {
        const auto error = awaitError<LinkError>(std::move(task));
        if (error.kind() != LinkError::Kind::BadResponse || error.description() != u"Unexpected server response"_qs)
            return u"wrong error: "_qs + error.description();
        return {};
    }
    case Outcome::Http: {
        const auto error = awaitError<LinkError>(std::move(task));
        if (error.kind() != LinkError::Kind::Http || error.status() != status
            || error.description() != u"Server returned HTTP "_qs + QString::number(status))
            return u"wrong error: "_qs + error.description();
        return {};
    }
    case Outcome::JsonSyntax: {
        const auto error = awaitError<JsonSyntaxError>(std::move(task));
        const QString prefix = u"The server's answer is not JSON: "_qs;
        if (!error.description().startsWith(prefix) || error.description().size() == prefix.size())
            return u"wrong description: "_qs + error.description();
        return {};
    }
    }
    Q_UNREACHABLE();
}

// Checks that a task fails as expected; the returned text is empty when it does and says what happened instead
// otherwise, so that a wrong outcome fails one row rather than aborting the whole run.
template <typename T> QString failureMismatch(QCoro::Task<T>&& task, Outcome outcome, int status)
{
    try {
        return checkFailure(std::move(task), outcome, status);
    } catch (const Error& error) {
        return u"unexpected error: "_qs + error.description();
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    }
}

} // namespace

Q_DECLARE_METATYPE(Outcome)
Q_DECLARE_METATYPE(DeviceLinker::PollResult)

class TestDeviceLinker : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void startDecoding_data();
    void startDecoding();
    void startRequest_data();
    void startRequest();
    void pollDecoding_data();
    void pollDecoding();
    void pollRequest();
    void answerOutside2xx_data();
    void answerOutside2xx();
    void badURLSendsNothing_data();
    void badURLSendsNothing();
    void approveURL_data();
    void approveURL();
    void approveURLAlphabet();
    void closedPortIsATransportError();
    void timeoutIsATransportError();
    void requestsWaitSixtySecondsByDefault();
    void pollRedirectToAnotherOriginIsNotFollowed();
    void stopCancelsThePoll();

private:
    DeviceLinker linker(const QString& suffix = {})
    {
        return DeviceLinker(QUrl(m_server->url().toString() + suffix), &m_nam);
    }

    QNetworkAccessManager m_nam;
    std::unique_ptr<FakeServer> m_server;
};

void TestDeviceLinker::init()
{
    m_server = std::make_unique<FakeServer>();
    m_nam.clearConnectionCache();
}

void TestDeviceLinker::startDecoding_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("pollToken");
    QTest::addColumn<qint64>("expiresIn");

    const auto ok = [](const char* name, int status, const char* body, const QString& code, const QString& token,
                        qint64 expiresIn) {
        QTest::newRow(name) << status << QByteArray(body) << Outcome::Success << code << token << expiresIn;
    };
    const auto fails = [](const char* name, int status, const char* body, Outcome outcome) {
        QTest::newRow(name) << status << QByteArray(body) << outcome << QString() << QString() << qint64(0);
    };

    ok("valid", 200, R"({"code":"AB12cd","poll_token":"tok-1","expires_in":900})", u"AB12cd"_qs, u"tok-1"_qs, 900);
    ok("no expires_in", 200, R"({"code":"AB12","poll_token":"t"})", u"AB12"_qs, u"t"_qs, 600);
    ok("expires_in as digits in a string", 200, R"({"code":"AB12","poll_token":"t","expires_in":"900"})", u"AB12"_qs,
        u"t"_qs, 600);
    ok("expires_in null", 200, R"({"code":"AB12","poll_token":"t","expires_in":null})", u"AB12"_qs, u"t"_qs, 600);
    ok("expires_in with a fraction", 200, R"({"code":"AB12","poll_token":"t","expires_in":90.5})", u"AB12"_qs, u"t"_qs,
        600);
    ok("expires_in 0 is kept", 200, R"({"code":"AB12","poll_token":"t","expires_in":0})", u"AB12"_qs, u"t"_qs, 0);
    ok("expires_in beyond 32 bits", 200, R"({"code":"AB12","poll_token":"t","expires_in":5000000000})", u"AB12"_qs,
        u"t"_qs, 5000000000);
    ok("other members ignored", 200, R"({"code":"X","poll_token":"t","expires_in":30,"secret":"no"})", u"X"_qs, u"t"_qs,
        30);
    // The code is checked when the approval address is built, not here.
    ok("code passed unchanged", 200, R"({"code":" ab-1 ","poll_token":"t"})", u" ab-1 "_qs, u"t"_qs, 600);
    ok("201 with a valid body", 201, R"({"code":"AB12","poll_token":"t","expires_in":60})", u"AB12"_qs, u"t"_qs, 60);

    fails("no poll_token", 200, R"({"code":"AB12","expires_in":900})", Outcome::BadResponse);
    fails("no code", 200, R"({"poll_token":"t"})", Outcome::BadResponse);
    fails("code as a number", 200, R"({"code":1234,"poll_token":"t"})", Outcome::BadResponse);
    fails("poll_token null", 200, R"({"code":"AB12","poll_token":null})", Outcome::BadResponse);
    fails(
        "poll_token with a line break", 200, R"({"code":"AB12","poll_token":"t\r\nX-Evil: 1"})", Outcome::BadResponse);
    fails("array at the top level", 200, R"([{"code":"AB12","poll_token":"t"}])", Outcome::BadResponse);
    fails("204 with an empty body", 204, "", Outcome::JsonSyntax);
    fails("200 with text", 200, "<html>hello</html>", Outcome::JsonSyntax);
    fails("500 with a valid body", 500, R"({"code":"AB12","poll_token":"t"})", Outcome::Http);
    fails("404", 404, "", Outcome::Http);
}

void TestDeviceLinker::startDecoding()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(Outcome, outcome);
    m_server->enqueue(Response::json(body, status));
    DeviceLinker link = linker();

    if (outcome != Outcome::Success) {
        const QString mismatch = failureMismatch(link.start(), outcome, status);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
        return;
    }
    QFETCH(QString, code);
    QFETCH(QString, pollToken);
    QFETCH(qint64, expiresIn);
    DeviceLinker::Start start;
    try {
        start = await(link.start());
    } catch (const Error& error) {
        QFAIL(qPrintable(error.description()));
    }
    QCOMPARE(start.code, code);
    QCOMPARE(start.pollToken, pollToken);
    QCOMPARE(start.expiresIn, expiresIn);
}

void TestDeviceLinker::startRequest_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QByteArray>("target");
    QTest::newRow("no slash") << "" << QByteArray("/api/link");
    QTest::newRow("one slash") << "/" << QByteArray("/api/link");
    QTest::newRow("path prefix") << "/push" << QByteArray("/push/api/link");
    QTest::newRow("path prefix with slash") << "/push/" << QByteArray("/push/api/link");
}

void TestDeviceLinker::startRequest()
{
    QFETCH(QString, suffix);
    QFETCH(QByteArray, target);
    m_server->enqueue(Response::json(R"({"code":"AB12","poll_token":"t"})"));
    await(linker(suffix).start());

    QCOMPARE(m_server->requests().size(), 1);
    const FakeServer::Request& request = m_server->requests().first();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.target, target);
    QVERIFY(request.body.isEmpty());
    QVERIFY(!request.hasHeader("Content-Type"));
    QVERIFY(!request.hasHeader("Authorization"));
}

void TestDeviceLinker::pollDecoding_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<DeviceLinker::PollResult>("result");

    using PollResult = DeviceLinker::PollResult;
    const auto row = [](const char* name, int status, const char* body, Outcome outcome, PollResult result = {}) {
        QTest::newRow(name) << status << QByteArray(body) << outcome << result;
    };

    row("approved with a secret", 200, R"({"status":"approved","secret":"s3cret-XYZ"})", Outcome::Success,
        PollResult::approved(u"s3cret-XYZ"_qs));
    row("approved, other members ignored", 201, R"({"status":"approved","secret":"k","code":"AB12"})", Outcome::Success,
        PollResult::approved(u"k"_qs));
    row("pending", 200, R"({"status":"pending"})", Outcome::Success, PollResult::pending());
    row("expired", 200, R"({"status":"expired","secret":"ignored"})", Outcome::Success, PollResult::expired());
    row("Approved with a capital A", 200, R"({"status":"Approved","secret":"s"})", Outcome::Success,
        PollResult::pending());
    row("EXPIRED in capitals", 200, R"({"status":"EXPIRED"})", Outcome::Success, PollResult::pending());
    row("unknown status", 200, R"({"status":"denied"})", Outcome::Success, PollResult::pending());

    row("approved without a secret", 200, R"({"status":"approved"})", Outcome::BadResponse);
    row("approved with a numeric secret", 200, R"({"status":"approved","secret":42})", Outcome::BadResponse);
    row("approved with a secret that breaks a header line", 200, R"({"status":"approved","secret":"ab\r\nX: y"})",
        Outcome::BadResponse);
    row("empty object", 200, "{}", Outcome::BadResponse);
    row("status as a number", 200, R"({"status":1})", Outcome::BadResponse);
    row("array at the top level", 200, R"(["approved"])", Outcome::BadResponse);
    row("204 with an empty body", 204, "", Outcome::JsonSyntax);
    row("401", 401, R"({"status":"approved","secret":"s"})", Outcome::Http);
    row("503", 503, "", Outcome::Http);
}

void TestDeviceLinker::pollDecoding()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(Outcome, outcome);
    QFETCH(DeviceLinker::PollResult, result);
    m_server->enqueue(Response::json(body, status));
    DeviceLinker link = linker();

    if (outcome != Outcome::Success) {
        const QString mismatch = failureMismatch(link.poll(u"tok"_qs), outcome, status);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
        return;
    }
    DeviceLinker::PollResult actual;
    try {
        actual = await(link.poll(u"tok"_qs));
    } catch (const Error& error) {
        QFAIL(qPrintable(error.description()));
    }
    QCOMPARE(int(actual.kind), int(result.kind));
    QCOMPARE(actual.secret, result.secret);
}

void TestDeviceLinker::pollRequest()
{
    m_server->enqueue(Response::json(R"({"status":"pending"})"));
    await(linker(u"/push/"_qs).poll(u"tok en-1"_qs));

    QCOMPARE(m_server->requests().size(), 1);
    const FakeServer::Request& request = m_server->requests().first();
    QCOMPARE(request.method, QByteArray("GET"));
    QCOMPARE(request.target, QByteArray("/push/api/link/poll"));
    QCOMPARE(request.header("Authorization"), QByteArray("Bearer tok en-1"));
    QVERIFY(request.body.isEmpty());
}

void TestDeviceLinker::answerOutside2xx_data()
{
    QTest::addColumn<bool>("poll"); // else start
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("location"); // the Location header; empty: none
    QTest::addColumn<QString>("text");

    // Qt files these statuses under error codes of their own, unlike most of 4xx; they are still the server's answer.
    QTest::newRow("start, 400") << false << 400 << QByteArray() << u"Server returned HTTP 400"_qs;
    QTest::newRow("poll, 400") << true << 400 << QByteArray() << u"Server returned HTTP 400"_qs;
    QTest::newRow("start, 407") << false << 407 << QByteArray() << u"Server returned HTTP 407"_qs;
    QTest::newRow("poll, 418") << true << 418 << QByteArray() << u"Server returned HTTP 418"_qs;
    // A redirect that cannot be followed is an answer too: neither a success nor a broken exchange.
    QTest::newRow("poll, 302 without a Location") << true << 302 << QByteArray() << u"Server returned HTTP 302"_qs;
    QTest::newRow("start, 303 with an unreadable Location")
        << false << 303 << QByteArray("http://[::1") << u"Server returned HTTP 303"_qs;
}

void TestDeviceLinker::answerOutside2xx()
{
    QFETCH(bool, poll);
    QFETCH(int, status);
    QFETCH(QByteArray, location);
    QFETCH(QString, text);
    // A body that would decode, so that only the status can make the request fail.
    Response response = Response::json(
        poll ? R"({"status":"approved","secret":"s"})" : R"({"code":"AB12","poll_token":"t"})", status);
    if (!location.isEmpty())
        response.headers.append(qMakePair(QByteArray("Location"), location));
    m_server->enqueue(response);
    DeviceLinker link = linker();

    std::optional<LinkError> failure;
    try {
        if (poll)
            await(link.poll(u"tok"_qs));
        else
            await(link.start());
    } catch (const LinkError& error) {
        failure = error;
    } catch (const Error& error) {
        QFAIL(qPrintable(u"unexpected error: "_qs + error.description()));
    }
    QVERIFY2(failure, "the request succeeded");
    QCOMPARE(failure->kind(), LinkError::Kind::Http);
    QCOMPARE(failure->status(), status);
    QCOMPARE(failure->description(), text);
}

void TestDeviceLinker::badURLSendsNothing_data()
{
    QTest::addColumn<QString>("base");
    QTest::newRow("empty") << QString();
    QTest::newRow("relative") << u"/relative"_qs;
    QTest::newRow("no scheme") << u"127.0.0.1:1"_qs; // parsed as a relative path
}

void TestDeviceLinker::badURLSendsNothing()
{
    QFETCH(QString, base);
    DeviceLinker link(QUrl(base), &m_nam);
    const auto startFailure = awaitError<LinkError>(link.start());
    QCOMPARE(startFailure.kind(), LinkError::Kind::BadURL);
    QCOMPARE(startFailure.description(), u"Invalid server URL"_qs);
    const auto pollFailure = awaitError<LinkError>(link.poll(u"tok"_qs));
    QCOMPARE(pollFailure.kind(), LinkError::Kind::BadURL);
    QCOMPARE(pollFailure.description(), u"Invalid server URL"_qs);
    QCOMPARE(link.approveURL(u"AB12"_qs), std::nullopt);
    QVERIFY(m_server->requests().isEmpty());
}

void TestDeviceLinker::approveURL_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("address"); // empty: none

    const QString base = u"https://push.example.com"_qs;
    QTest::newRow("plain") << base << u"AB12"_qs << u"https://push.example.com/#pair/AB12"_qs;
    QTest::newRow("blanks trimmed") << base << u"  AB12 "_qs << u"https://push.example.com/#pair/AB12"_qs;
    QTest::newRow("line breaks and tabs trimmed")
        << base << u"\r\n\tAB12\n"_qs << u"https://push.example.com/#pair/AB12"_qs;
    QTest::newRow("lower case unchanged") << base << u"xy9mnq"_qs << u"https://push.example.com/#pair/xy9mnq"_qs;
    QTest::newRow("base ending in a slash")
        << u"https://push.example.com/"_qs << u"AB12"_qs << u"https://push.example.com/#pair/AB12"_qs;
    QTest::newRow("base ending in two slashes")
        << u"https://push.example.com//"_qs << u"AB12"_qs << u"https://push.example.com//#pair/AB12"_qs;
    QTest::newRow("path prefix and port")
        << u"http://localhost:8080/push/"_qs << u"AB12"_qs << u"http://localhost:8080/push/#pair/AB12"_qs;

    QTest::newRow("hyphen") << base << u"AB-12"_qs << QString();
    QTest::newRow("I") << base << u"AI12"_qs << QString();
    QTest::newRow("L") << base << u"AL12"_qs << QString();
    QTest::newRow("O") << base << u"AO12"_qs << QString();
    QTest::newRow("U") << base << u"AU12"_qs << QString();
    QTest::newRow("lower-case u") << base << u"au12"_qs << QString();
    QTest::newRow("blank inside") << base << u"AB 12"_qs << QString();
    QTest::newRow("full-width digit") << base << u"AB1\uFF12"_qs << QString();
    QTest::newRow("empty") << base << QString() << QString();
    QTest::newRow("empty after trimming") << base << u" \r\n\t "_qs << QString();
}

void TestDeviceLinker::approveURL()
{
    QFETCH(QString, base);
    QFETCH(QString, code);
    QFETCH(QString, address);
    const std::optional<QUrl> url = DeviceLinker(QUrl(base), &m_nam).approveURL(code);
    if (address.isEmpty()) {
        QCOMPARE(url, std::nullopt);
        return;
    }
    QVERIFY(url);
    QCOMPARE(url->toString(), address);
    // The code rides in the fragment, so a browser never sends it to the server.
    QVERIFY(url->fragment().startsWith(u"pair/"_qs));
}

// Every printable ASCII character is accepted exactly when it is one of the 54 of the pairing alphabet.
void TestDeviceLinker::approveURLAlphabet()
{
    QCOMPARE(DeviceLinker::codeAllowed(), alphabet);
    const DeviceLinker link(QUrl(u"https://push.example.com"_qs), &m_nam);
    for (char16_t c = 0x21; c < 0x7f; ++c) {
        const QString code = u"A"_qs + QChar(c) + u"9"_qs;
        const bool accepted = link.approveURL(code).has_value();
        QVERIFY2(accepted == alphabet.contains(QChar(c)), qPrintable(code));
    }
}

void TestDeviceLinker::closedPortIsATransportError()
{
    quint16 port;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    }
    DeviceLinker link(QUrl(u"http://127.0.0.1:%1"_qs.arg(port)), &m_nam);
    QCOMPARE(awaitError<TransportError>(link.start()).code(), QNetworkReply::ConnectionRefusedError);
    QCOMPARE(awaitError<TransportError>(link.poll(u"tok"_qs)).code(), QNetworkReply::ConnectionRefusedError);
}

void TestDeviceLinker::timeoutIsATransportError()
{
    Response slow = Response::json(R"({"status":"pending"})");
    slow.delay = std::chrono::milliseconds(2000);
    m_server->enqueue(slow);
    DeviceLinker link(m_server->url(), &m_nam, std::chrono::milliseconds(200));
    QCOMPARE(awaitError<TransportError>(link.poll(u"tok"_qs)).code(), QNetworkReply::TimeoutError);
}

void TestDeviceLinker::requestsWaitSixtySecondsByDefault()
{
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
    } network;
    m_server->enqueue(Response::json(R"({"code":"AB12","poll_token":"t"})"));
    m_server->enqueue(Response::json(R"({"status":"pending"})"));
    DeviceLinker link(m_server->url(), &network);
    await(link.start());
    await(link.poll(u"t"_qs));
    QCOMPARE(network.timeouts, (QList<int> { 60000, 60000 }));
}

// The poll token is a credential: a redirect may not carry it to another origin.
void TestDeviceLinker::pollRedirectToAnotherOriginIsNotFollowed()
{
    FakeServer elsewhere;
    elsewhere.setHandler([](const FakeServer::Request&) { return Response::json(R"({"status":"pending"})"); });
    m_server->setHandler([&elsewhere](const FakeServer::Request&) {
        Response redirect = Response::empty(307);
        redirect.headers.append(qMakePair(QByteArray("Location"), elsewhere.url().toEncoded() + "/api/link/poll"));
        return redirect;
    });
    awaitError<TransportError>(linker().poll(u"tok"_qs));
    QVERIFY(elsewhere.requests().isEmpty());
}

void TestDeviceLinker::stopCancelsThePoll()
{
    Response slow = Response::json(R"({"status":"approved","secret":"s"})");
    slow.delay = std::chrono::milliseconds(5000);
    m_server->enqueue(slow);
    std::stop_source source;
    QObject context; // ends the connection with this test
    connect(m_server.get(), &FakeServer::requestReceived, &context, [&source] { source.request_stop(); });
    DeviceLinker link = linker();
    awaitError<CancelledError>(link.poll(u"tok"_qs, source.get_token()));

    // Stopped before it starts, nothing is sent.
    m_server->clearRequests();
    awaitError<CancelledError>(link.start(source.get_token()));
    QVERIFY(m_server->requests().isEmpty());
}

QTEST_GUILESS_MAIN(TestDeviceLinker)
#include "test_devicelinker.moc"
