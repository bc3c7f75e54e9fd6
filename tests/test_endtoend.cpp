// SPDX-License-Identifier: GPL-3.0-or-later
// The client core against the demo server, run as its own process: a real AppState with a file-backed cache and
// the real secret store, taken through the life of a device from browser linking to unlinking. After every step
// the server's own account is read back (/demo/state, and the API as a second device of the same account), so a
// step that only looks right on the client side fails here.

#include "account/deviceconfig.h"
#include "account/linkurl.h"
#include "cache/cachecontext.h"
#include "cache/store.h"
#include "coro.h"
#include "devserverprocess.h"
#include "platform/systemcredentialstore.h"
#include "state/appstate.h"
#include "storeditem.h"
#include "sync/syncengine.h"

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace tidewell;

namespace {

constexpr int seededMessages = 450; // more than two of the client's pages
constexpr int slow = 30000; // ms; generous, for a loaded machine

struct Answer
{
    int status = 0;
    QByteArray body;

    QJsonObject object() const { return QJsonDocument::fromJson(body).object(); }
    QJsonArray array() const { return QJsonDocument::fromJson(body).array(); }
};

QString digest(const QString& secret)
{
    return QString::fromLatin1(QCryptographicHash::hash(secret.toUtf8(), QCryptographicHash::Sha256).toHex());
}

std::optional<QString> optionalText(const QJsonValue& value)
{
    return value.isString() ? std::optional<QString>(value.toString()) : std::nullopt;
}

// Read straight from the JSON, not through the client's decoder, so that a decoding fault cannot hide itself.
CachedMessage fromJson(const QJsonObject& object)
{
    CachedMessage message;
    message.id = object.value(u"id"_qs).toInteger();
    message.applicationId = object.value(u"application_id"_qs).toInteger();
    message.title = optionalText(object.value(u"title"_qs));
    message.message = object.value(u"message"_qs).toString();
    message.priority = object.value(u"priority"_qs).toInteger();
    message.url = optionalText(object.value(u"url"_qs));
    message.urlTitle = optionalText(object.value(u"url_title"_qs));
    message.ts = object.value(u"ts"_qs).toInteger();
    return message;
}

QString describe(const CachedMessage& m)
{
    return u"#%1 app %2 title %3 \"%4\" priority %5 url %6 (%7) ts %8"_qs.arg(m.id)
        .arg(m.applicationId)
        .arg(m.title.value_or(u"-"_qs), m.message)
        .arg(m.priority)
        .arg(m.url.value_or(u"-"_qs), m.urlTitle.value_or(u"-"_qs))
        .arg(m.ts);
}

// How many pages of `pageSize` a full sync of `count` messages takes: at least one, even for none.
int pagesFor(qint64 count)
{
    return int(std::max<qint64>(1, (count + SyncEngine::pageSize - 1) / SyncEngine::pageSize));
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    // The server on its own.
    void printedLinkURLIsALink();
    void serverRefusesBadRequests_data();
    void serverRefusesBadRequests();
    void linkRequestExpiresOnTheServer();

    // One device's life, in order; each step builds on the one before.
    void linkThroughTheBrowser();
    void firstSyncFetchesEveryPage();
    void pushToken();
    void markRead();
    void deleteMessage();
    void clearApplication();
    void postedMessageArrivesWithTheNextSync();
    void clearCacheAndResync();
    void unlinkRevokesTheDevice();

private:
    Answer send(const QUrl& base, const QByteArray& method, const QString& path, const QString& bearer = {},
        const QByteArray& body = {});
    Answer send(const QByteArray& method, const QString& path, const QString& bearer = {}, const QByteArray& body = {})
    {
        return send(m_server.url, method, path, bearer, body);
    }
    QJsonObject serverState() { return send("GET", u"/demo/state"_qs).object(); }
    static QJsonObject deviceIn(const QJsonObject& state, const QString& secret);
    static QJsonObject appIn(const QJsonObject& state, qint64 id);
    static int requestCount(const QJsonObject& state, const QString& route);
    QJsonObject ourDevice() { return deviceIn(serverState(), m_state->config()->deviceSecret); }
    // Every message the account holds, as another device of it sees them.
    QList<CachedMessage> serverMessages();
    // Fails the test unless the client's cache holds exactly the server's messages and applications.
    void compareWithServer();
    void approveInBrowser(const QUrl& address);

    DevServerProcess m_server { QStringLiteral(TIDEWELL_DEVSERVER) };
    QTemporaryDir m_folder;
    QNetworkAccessManager m_network; // the client's
    QNetworkAccessManager m_probe; // the test's own calls, as a browser or another device would make them
    std::unique_ptr<Preferences> m_prefs;
    std::unique_ptr<SystemCredentialStore> m_credentials;
    std::unique_ptr<AppState> m_state;

    QJsonObject m_requestsBeforeLink;
    bool m_flowStarted = false;
    bool m_flowBroken = false;
    QList<QUrl> m_opened;
    int m_pendingAtApproval = -1;
    int m_approvalStatus = 0;
};

void TestEndToEnd::initTestCase()
{
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    if (!bus || !bus->isServiceRegistered(u"org.freedesktop.secrets"_qs).value()) {
        if (qEnvironmentVariableIsSet("TIDEWELL_REQUIRE_SECRET_SERVICE"))
            QFAIL("no Secret Service on the session bus");
        QSKIP("no Secret Service on the session bus; scripts/test provides one");
    }
    QVERIFY(m_folder.isValid());
    const QString problem = m_server.start({ u"--messages"_qs, QString::number(seededMessages) });
    QVERIFY2(problem.isEmpty(), qPrintable(u"tidewell-devserver "_qs + problem));

    m_prefs = std::make_unique<Preferences>(m_folder.filePath(u"prefs.ini"_qs));
    // A profile of its own, so that tests running beside this one on the same keyring never see its item.
    m_credentials = std::make_unique<SystemCredentialStore>(
        m_folder.filePath(u"config"_qs), u"e2e-"_qs + QUuid::createUuid().toString(QUuid::WithoutBraces));

    AppState::Services services;
    services.network = &m_network;
    services.credentials = m_credentials.get();
    services.preferences = m_prefs.get();
    services.openCache = [path = m_folder.filePath(u"cache.sqlite"_qs)](bool) { return Store::open(path); };
    services.linkPollInterval = std::chrono::milliseconds(50);
    m_state = std::make_unique<AppState>(false, services);
    QVERIFY(!m_state->isConfigured());
    QVERIFY(!m_state->cache().isInMemory());
    QVERIFY(m_state->cache().fetchMessages().isEmpty());
}

void TestEndToEnd::cleanupTestCase()
{
    m_state.reset();
    if (m_credentials)
        QCoro::waitFor(DeviceConfig::clear(*m_credentials));
    // A server that died along the way would have failed its step already; this catches one that died at the end.
    if (m_server.process.processId() != 0)
        QCOMPARE(m_server.process.state(), QProcess::Running);
    m_server.stop();
}

void TestEndToEnd::init()
{
    if (m_flowBroken)
        QSKIP("an earlier step of the device's life failed");
}

void TestEndToEnd::cleanup()
{
    if (m_flowStarted && QTest::currentTestFailed())
        m_flowBroken = true;
}

Answer TestEndToEnd::send(
    const QUrl& base, const QByteArray& method, const QString& path, const QString& bearer, const QByteArray& body)
{
    QNetworkRequest request(QUrl(base.toString() + path));
    request.setTransferTimeout(slow);
    if (!bearer.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + bearer.toUtf8());
    if (!body.isEmpty())
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/json"));
    QNetworkReply* reply = m_probe.sendCustomRequest(request, method, body);
    QEventLoop loop;
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    Answer answer { reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll() };
    reply->deleteLater();
    return answer;
}

QJsonObject TestEndToEnd::deviceIn(const QJsonObject& state, const QString& secret)
{
    const QString wanted = digest(secret);
    for (const QJsonValue& device : state.value(u"devices"_qs).toArray()) {
        if (device[u"secret_sha256"_qs].toString() == wanted)
            return device.toObject();
    }
    return {};
}

QJsonObject TestEndToEnd::appIn(const QJsonObject& state, qint64 id)
{
    for (const QJsonValue& app : state.value(u"apps"_qs).toArray()) {
        if (app[u"id"_qs].toInteger() == id)
            return app.toObject();
    }
    return {};
}

int TestEndToEnd::requestCount(const QJsonObject& state, const QString& route)
{
    return state.value(u"requests"_qs)[route].toInt();
}

QList<CachedMessage> TestEndToEnd::serverMessages()
{
    QList<CachedMessage> messages;
    qint64 since = 0;
    for (int page = 0; page < 100; ++page) {
        const Answer answer = send("GET", u"/api/messages?since=%1&limit=500"_qs.arg(since), m_server.linkSecret);
        if (answer.status != 200)
            return {};
        const QJsonObject body = answer.object();
        for (const QJsonValue& message : body.value(u"messages"_qs).toArray())
            messages.append(fromJson(message.toObject()));
        if (!body.value(u"has_more"_qs).toBool() || messages.isEmpty())
            break;
        since = messages.last().id;
    }
    return messages;
}

void TestEndToEnd::compareWithServer()
{
    const QList<CachedMessage> server = serverMessages();
    const QList<CachedMessage> cached = m_state->cache().fetchMessages();
    QCOMPARE(cached.size(), server.size());
    for (qsizetype i = 0; i < server.size(); ++i)
        QVERIFY2(cached[i] == server[i],
            qPrintable(u"cached "_qs + describe(cached[i]) + u"\nserver "_qs + describe(server[i])));

    const Answer apps = send("GET", u"/api/apps"_qs, m_server.linkSecret);
    QCOMPARE(apps.status, 200);
    const QList<CachedApp> cachedApps = m_state->cache().fetchApps();
    QCOMPARE(cachedApps.size(), apps.array().size());
    for (qsizetype i = 0; i < cachedApps.size(); ++i) {
        const QJsonObject app = apps.array()[i].toObject();
        QCOMPARE(cachedApps[i].id, app[u"id"_qs].toInteger());
        QCOMPARE(cachedApps[i].name, app[u"name"_qs].toString());
        QCOMPARE(cachedApps[i].color, app[u"color"_qs].toString());
        if (app[u"has_icon"_qs].toBool()) {
            const Answer icon = send("GET", u"/api/apps/%1/icon"_qs.arg(cachedApps[i].id), m_server.linkSecret);
            QCOMPARE(icon.status, 200);
            QCOMPARE(cachedApps[i].icon, std::optional<QByteArray>(icon.body));
        } else {
            QCOMPARE(cachedApps[i].icon, std::nullopt);
        }
    }
}

// ---- the server on its own ----

void TestEndToEnd::printedLinkURLIsALink()
{
    const std::optional<DeviceConfig> config = LinkURL::parse(QUrl(m_server.link));
    QVERIFY(config);
    QCOMPARE(config->serverURL, m_server.url);
    QCOMPARE(config->deviceSecret, m_server.linkSecret);
    QVERIFY(m_server.linkSecret.size() >= 43);

    // The secret it carries is a working device of the account.
    const QJsonObject device = deviceIn(serverState(), m_server.linkSecret);
    QCOMPARE(device[u"origin"_qs].toString(), u"link-url"_qs);
    QCOMPARE(device[u"revoked"_qs].toBool(), false);
    QCOMPARE(send("GET", u"/api/apps"_qs, m_server.linkSecret).status, 200);
}

void TestEndToEnd::serverRefusesBadRequests_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("bearer"); // "device" for a working device secret
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");

    const QString device = u"device"_qs;
    const QString stranger = u"not-a-device-secret-of-this-account-at-all-000"_qs;
    QTest::newRow("messages without a secret")
        << QByteArray("GET") << u"/api/messages?since=0&limit=10"_qs << QString() << QByteArray() << 401;
    QTest::newRow("messages with an unknown secret")
        << QByteArray("GET") << u"/api/messages?since=0&limit=10"_qs << stranger << QByteArray() << 401;
    QTest::newRow("since not a number") << QByteArray("GET") << u"/api/messages?since=abc&limit=10"_qs << device
                                        << QByteArray() << 400;
    QTest::newRow("limit zero") << QByteArray("GET") << u"/api/messages?since=0&limit=0"_qs << device << QByteArray()
                                << 400;
    QTest::newRow("read position not JSON")
        << QByteArray("POST") << u"/api/device/read"_qs << device << QByteArray("{") << 400;
    QTest::newRow("read position missing")
        << QByteArray("POST") << u"/api/device/read"_qs << device << QByteArray("{}") << 400;
    QTest::newRow("read position as text")
        << QByteArray("POST") << u"/api/device/read"_qs << device << QByteArray(R"({"last_read_id":"5"})") << 400;
    QTest::newRow("read position without a secret")
        << QByteArray("POST") << u"/api/device/read"_qs << QString() << QByteArray(R"({"last_read_id":5})") << 401;
    QTest::newRow("push token missing") << QByteArray("POST") << u"/api/device/push-token"_qs << device
                                        << QByteArray(R"({"sandbox":false})") << 400;
    QTest::newRow("message id not a number")
        << QByteArray("DELETE") << u"/api/messages/abc"_qs << device << QByteArray() << 400;
    QTest::newRow("unknown message") << QByteArray("DELETE") << u"/api/messages/999999"_qs << device << QByteArray()
                                     << 404;
    QTest::newRow("delete without a secret")
        << QByteArray("DELETE") << u"/api/messages/1"_qs << QString() << QByteArray() << 401;
    QTest::newRow("clear without an application")
        << QByteArray("DELETE") << u"/api/messages"_qs << device << QByteArray() << 400;
    QTest::newRow("clear an unknown application")
        << QByteArray("DELETE") << u"/api/messages?app=999"_qs << device << QByteArray() << 404;
    QTest::newRow("icon id not a number")
        << QByteArray("GET") << u"/api/apps/x/icon"_qs << device << QByteArray() << 400;
    QTest::newRow("revoke without a secret")
        << QByteArray("DELETE") << u"/api/device"_qs << QString() << QByteArray() << 401;
    QTest::newRow("unknown path") << QByteArray("GET") << u"/api/nothing"_qs << device << QByteArray() << 404;
    QTest::newRow("known path, other method") << QByteArray("PUT") << u"/api/apps"_qs << device << QByteArray() << 405;
    QTest::newRow("approve without a code")
        << QByteArray("POST") << u"/api/link/approve"_qs << QString() << QByteArray("{}") << 400;
    QTest::newRow("approve an unknown code")
        << QByteArray("POST") << u"/api/link/approve"_qs << QString() << QByteArray(R"({"code":"ZZZZZZ"})") << 404;
    QTest::newRow("poll with an unknown token")
        << QByteArray("GET") << u"/api/link/poll"_qs << stranger << QByteArray() << 401;
    QTest::newRow("demo message without text")
        << QByteArray("POST") << u"/demo/messages"_qs << QString() << QByteArray(R"({"title":"x"})") << 400;
    QTest::newRow("demo message priority out of range") << QByteArray("POST") << u"/demo/messages"_qs << QString()
                                                        << QByteArray(R"({"message":"x","priority":3})") << 400;
    QTest::newRow("demo message for an unknown application")
        << QByteArray("POST") << u"/demo/messages"_qs << QString()
        << QByteArray(R"({"message":"x","application_id":99})") << 404;
}

void TestEndToEnd::serverRefusesBadRequests()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(QString, bearer);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    if (bearer == u"device"_qs)
        bearer = m_server.linkSecret;

    const QJsonObject before = serverState();
    const Answer answer = send(method, path, bearer, body);
    QCOMPARE(answer.status, status);
    const QString error = answer.object().value(u"error"_qs).toString();
    QVERIFY2(!error.isEmpty(), answer.body.constData()); // every refusal says why

    // Nothing was changed by it: the same messages, the same devices in the same state.
    const QJsonObject after = serverState();
    QCOMPARE(after[u"message_ids"_qs], before[u"message_ids"_qs]);
    QCOMPARE(after[u"devices"_qs], before[u"devices"_qs]);
    QCOMPARE(after[u"pending_links"_qs], before[u"pending_links"_qs]);
    QCOMPARE(after[u"unauthorized"_qs].toInt(), before[u"unauthorized"_qs].toInt() + (status == 401 ? 1 : 0));
}

void TestEndToEnd::linkRequestExpiresOnTheServer()
{
    DevServerProcess shortLived(QStringLiteral(TIDEWELL_DEVSERVER));
    const QString problem = shortLived.start({ u"--messages"_qs, u"0"_qs, u"--link-expiry"_qs, u"1"_qs });
    QVERIFY2(problem.isEmpty(), qPrintable(problem));

    const Answer started = send(shortLived.url, "POST", u"/api/link"_qs);
    QCOMPARE(started.status, 200);
    const QJsonObject start = started.object();
    const QString code = start[u"code"_qs].toString();
    const QString pollToken = start[u"poll_token"_qs].toString();
    QCOMPARE(start[u"expires_in"_qs].toInteger(), 1);
    QVERIFY2(QRegularExpression(u"^[0-9A-HJKMNP-TV-Za-hjkmnp-tv-z]{6}$"_qs).match(code).hasMatch(), qPrintable(code));
    QVERIFY(pollToken.size() >= 32);
    QCOMPARE(send(shortLived.url, "GET", u"/demo/state"_qs).object().value(u"pending_links"_qs).toInt(), 1);

    auto status = [&] {
        return send(shortLived.url, "GET", u"/api/link/poll"_qs, pollToken).object().value(u"status"_qs).toString();
    };
    QTRY_COMPARE_WITH_TIMEOUT(status(), u"expired"_qs, slow);

    const QByteArray approval = QJsonDocument(QJsonObject { { u"code"_qs, code } }).toJson(QJsonDocument::Compact);
    QCOMPARE(send(shortLived.url, "POST", u"/api/link/approve"_qs, {}, approval).status, 410);
    const QJsonObject state = send(shortLived.url, "GET", u"/demo/state"_qs).object();
    QCOMPARE(state[u"pending_links"_qs].toInt(), 0);
    QCOMPARE(state[u"devices"_qs].toArray().size(), 1); // only the one issued for the printed link
    QCOMPARE(status(), u"expired"_qs); // and it stays expired
}

// ---- one device's life ----

// What a browser does with the approval address: the page reads the code from the fragment, and the user, seeing
// the request pending, presses "Approve". Asynchronous, as a browser is: the flow must go on polling meanwhile.
void TestEndToEnd::approveInBrowser(const QUrl& address)
{
    m_opened.append(address);
    const QString code = address.fragment().section(u'/', 1);
    QNetworkReply* state = m_probe.get(QNetworkRequest(QUrl(m_server.url.toString() + u"/demo/state"_qs)));
    connect(state, &QNetworkReply::finished, this, [this, state, code] {
        state->deleteLater();
        m_pendingAtApproval = QJsonDocument::fromJson(state->readAll()).object().value(u"pending_links"_qs).toInt();
        QNetworkRequest request(QUrl(m_server.url.toString() + u"/api/link/approve"_qs));
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/json"));
        QNetworkReply* approval
            = m_probe.post(request, QJsonDocument(QJsonObject { { u"code"_qs, code } }).toJson(QJsonDocument::Compact));
        connect(approval, &QNetworkReply::finished, this, [this, approval] {
            approval->deleteLater();
            m_approvalStatus = approval->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        });
    });
}

void TestEndToEnd::linkThroughTheBrowser()
{
    m_flowStarted = true;
    const QJsonObject before = serverState();
    m_requestsBeforeLink = before[u"requests"_qs].toObject();
    QCOMPARE(before[u"devices"_qs].toArray().size(), 1);
    QCOMPARE(before[u"pending_links"_qs].toInt(), 0);

    m_state->beginBrowserLink(m_server.url, [this](const QUrl& address) { approveInBrowser(address); });
    QCOMPARE(m_state->linkPhase(), LinkPhase::waiting());
    QTRY_VERIFY_WITH_TIMEOUT(m_state->isConfigured(), slow);
    QTRY_COMPARE(m_state->linkPhase(), LinkPhase::idle());
    QCOMPARE(m_state->linkCode(), std::nullopt);

    // The browser was sent to the approval page with the code in the fragment, and the server held the request.
    QCOMPARE(m_opened.size(), 1);
    const QString code = m_opened.first().fragment().section(u'/', 1);
    QCOMPARE(m_opened.first(), QUrl(m_server.url.toString() + u"/#pair/"_qs + code));
    QCOMPARE(m_pendingAtApproval, 1);
    QCOMPARE(m_approvalStatus, 200);

    // The server issued a new device for this client and forgot the request.
    const QJsonObject after = serverState();
    QCOMPARE(after[u"devices"_qs].toArray().size(), 2);
    QCOMPARE(after[u"pending_links"_qs].toInt(), 0);
    QCOMPARE(requestCount(after, u"POST /api/link"_qs) - requestCount(before, u"POST /api/link"_qs), 1);
    QVERIFY(requestCount(after, u"GET /api/link/poll"_qs) >= 1);
    const DeviceConfig config = *m_state->config();
    QCOMPARE(config.serverURL, m_server.url);
    QVERIFY(config.deviceSecret.size() >= 43);
    QVERIFY(config.deviceSecret != m_server.linkSecret);
    const QJsonObject device = deviceIn(after, config.deviceSecret);
    QCOMPARE(device[u"origin"_qs].toString(), u"browser"_qs);
    QCOMPARE(device[u"revoked"_qs].toBool(), false);

    // The credential went to the secret store itself, not to the fallback file.
    QVERIFY(storedItem(*m_credentials, CredentialStore::Placement::Primary));
    QVERIFY(!QFileInfo::exists(m_credentials->fallbackPath(DeviceConfig::service, DeviceConfig::account)));
    QCOMPARE(QCoro::waitFor(DeviceConfig::load(*m_credentials)), std::optional<DeviceConfig>(config));
}

void TestEndToEnd::firstSyncFetchesEveryPage()
{
    // Linking started the first sync.
    QTRY_VERIFY_WITH_TIMEOUT(m_state->lastSyncDate().has_value() && !m_state->isSyncing(), slow);
    QCOMPARE(m_state->lastSyncError(), std::nullopt);

    const QJsonObject state = serverState();
    QCOMPARE(state[u"message_count"_qs].toInt(), seededMessages);
    // Requests made by the client since it began linking; the test's own probes come after these reads.
    auto sinceLink
        = [&](const QString& route) { return requestCount(state, route) - m_requestsBeforeLink.value(route).toInt(); };
    QCOMPARE(sinceLink(u"GET /api/messages"_qs), pagesFor(seededMessages));
    QCOMPARE(sinceLink(u"GET /api/apps"_qs), 1);
    QCOMPARE(sinceLink(u"GET /api/apps/{id}/icon"_qs), 1); // only the application that has one
    QCOMPARE(deviceIn(state, m_state->config()->deviceSecret)[u"last_read_id"_qs].toInteger(), 0);

    QCOMPARE(m_state->cache().fetchMessages().size(), qsizetype(seededMessages));
    compareWithServer();
    if (QTest::currentTestFailed())
        return;

    const QList<CachedApp> apps = m_state->cache().fetchApps();
    QCOMPARE(apps.size(), 4);
    const auto withIcon = std::find_if(apps.begin(), apps.end(), [](const CachedApp& a) { return a.icon.has_value(); });
    QVERIFY(withIcon != apps.end());
    QVERIFY(withIcon->icon->startsWith("\x89PNG\r\n\x1a\n"));
    QVERIFY(appIn(state, withIcon->id)[u"has_icon"_qs].toBool());

    QCOMPARE(m_state->lastReadId(), qint64(0));
    QCOMPARE(m_state->unreadCount(), qint64(seededMessages));
}

void TestEndToEnd::pushToken()
{
    await(m_state->uploadPushToken(QByteArray::fromHex("0a1b2c3d")));
    QVERIFY(m_state->pushRegistered());
    const QJsonObject device = ourDevice();
    QCOMPARE(device[u"push_token"_qs].toString(), u"0a1b2c3d"_qs);
    QCOMPARE(device[u"sandbox"_qs].toBool(), false);
    QCOMPARE(deviceIn(serverState(), m_server.linkSecret)[u"push_token"_qs], QJsonValue(QJsonValue::Null));
}

void TestEndToEnd::markRead()
{
    const QList<CachedMessage> messages = m_state->cache().fetchMessages();
    const qint64 middle = messages[99].id;
    await(m_state->markRead(middle));
    QCOMPARE(m_state->lastReadId(), middle);
    QCOMPARE(m_state->unreadCount(), qint64(messages.size() - 100));
    QCOMPARE(ourDevice()[u"last_read_id"_qs].toInteger(), middle);

    await(m_state->markRead());
    const qint64 last = messages.last().id;
    QCOMPARE(m_state->lastReadId(), last);
    QCOMPARE(m_state->unreadCount(), qint64(0));
    QCOMPARE(m_prefs->file().value(u"lastReadId"_qs).toLongLong(), last);
    const QJsonObject state = serverState();
    QCOMPARE(deviceIn(state, m_state->config()->deviceSecret)[u"last_read_id"_qs].toInteger(), last);
    // The read position is this device's: the account's other device has not read anything.
    QCOMPARE(deviceIn(state, m_server.linkSecret)[u"last_read_id"_qs].toInteger(), 0);
}

void TestEndToEnd::deleteMessage()
{
    const CachedMessage victim = m_state->cache().fetchMessages().at(10);
    const QJsonObject before = serverState();
    QVERIFY(before[u"message_ids"_qs].toArray().contains(victim.id));

    await(m_state->deleteMessage(victim));
    QCOMPARE(m_state->lastSyncError(), std::nullopt);
    QCOMPARE(m_state->cache().fetchMessage(victim.id), std::nullopt);

    const QJsonObject after = serverState();
    QVERIFY(!after[u"message_ids"_qs].toArray().contains(victim.id));
    QCOMPARE(after[u"message_count"_qs].toInt(), before[u"message_count"_qs].toInt() - 1);
    QCOMPARE(
        requestCount(after, u"DELETE /api/messages/{id}"_qs) - requestCount(before, u"DELETE /api/messages/{id}"_qs),
        1);
    compareWithServer();
}

void TestEndToEnd::clearApplication()
{
    const qint64 appId = 3;
    const QJsonObject before = serverState();
    const int inApp = appIn(before, appId)[u"message_count"_qs].toInt();
    QVERIFY(inApp > 0);

    await(m_state->clearApp(appId));
    QCOMPARE(m_state->lastSyncError(), std::nullopt);
    const QList<CachedMessage> cached = m_state->cache().fetchMessages();
    QVERIFY(std::none_of(
        cached.begin(), cached.end(), [appId](const CachedMessage& m) { return m.applicationId == appId; }));

    const QJsonObject after = serverState();
    QCOMPARE(appIn(after, appId)[u"message_count"_qs].toInt(), 0);
    QCOMPARE(after[u"message_count"_qs].toInt(), before[u"message_count"_qs].toInt() - inApp);
    QCOMPARE(requestCount(after, u"DELETE /api/messages"_qs) - requestCount(before, u"DELETE /api/messages"_qs), 1);
    compareWithServer(); // the application itself stays, on both sides
}

void TestEndToEnd::postedMessageArrivesWithTheNextSync()
{
    const qint64 previousMax = m_state->cache().maxMessageId().value_or(0);
    const QJsonObject before = serverState();
    const qint64 sentAt = QDateTime::currentSecsSinceEpoch();
    const Answer posted = send("POST", u"/demo/messages"_qs, {},
        R"({"title":"Disk almost full","message":"/dev/sdb is 91% full.","priority":2,"application_id":2,)"
        R"("url":"https://status.example.com/disks/sdb","url_title":"Disk report"})");
    QCOMPARE(posted.status, 201);
    const qint64 id = posted.object().value(u"id"_qs).toInteger();
    QVERIFY(id > previousMax);
    const QJsonObject stored = serverState();
    QCOMPARE(stored[u"message_count"_qs].toInt(), before[u"message_count"_qs].toInt() + 1);
    QCOMPARE(stored[u"max_message_id"_qs].toInteger(), id);

    QSignalSpy arrived(m_state.get(), &AppState::newMessagesSynced);
    await(m_state->sync());
    QCOMPARE(m_state->lastSyncError(), std::nullopt);
    QCOMPARE(arrived.size(), 1);
    QCOMPARE(arrived.first().first().toLongLong(), previousMax);

    const std::optional<CachedMessage> message = m_state->cache().fetchMessage(id);
    QVERIFY(message);
    QCOMPARE(message->applicationId, qint64(2));
    QCOMPARE(message->title, std::optional<QString>(u"Disk almost full"_qs));
    QCOMPARE(message->message, u"/dev/sdb is 91% full."_qs);
    QCOMPARE(message->priority, qint64(2));
    QCOMPARE(message->url, std::optional<QString>(u"https://status.example.com/disks/sdb"_qs));
    QCOMPARE(message->urlTitle, std::optional<QString>(u"Disk report"_qs));
    QVERIFY(message->ts >= sentAt && message->ts <= QDateTime::currentSecsSinceEpoch());
    QCOMPARE(m_state->unreadCount(), qint64(1));

    // One page from the highest cached id was enough.
    const QJsonObject after = serverState();
    QCOMPARE(requestCount(after, u"GET /api/messages"_qs), requestCount(stored, u"GET /api/messages"_qs) + 1);
    QCOMPARE(ourDevice()[u"last_read_id"_qs].toInteger(), m_state->lastReadId()); // syncing reads nothing
    compareWithServer();
}

void TestEndToEnd::clearCacheAndResync()
{
    const qint64 lastRead = m_state->lastReadId();
    const QJsonObject before = serverState();
    const int count = before[u"message_count"_qs].toInt();

    await(m_state->clearCache()); // empties the cache and starts a sync
    QTRY_VERIFY_WITH_TIMEOUT(!m_state->isSyncing(), slow);
    QCOMPARE(m_state->lastSyncError(), std::nullopt);

    const QJsonObject after = serverState();
    QCOMPARE(
        requestCount(after, u"GET /api/messages"_qs), requestCount(before, u"GET /api/messages"_qs) + pagesFor(count));
    QCOMPARE(
        requestCount(after, u"GET /api/apps/{id}/icon"_qs), requestCount(before, u"GET /api/apps/{id}/icon"_qs) + 1);
    QCOMPARE(after[u"message_ids"_qs], before[u"message_ids"_qs]); // clearing the cache deletes nothing there
    QCOMPARE(m_state->cache().fetchMessages().size(), qsizetype(count));
    compareWithServer();
    if (QTest::currentTestFailed())
        return;

    // The read position is the device's, not the cache's: it survives on both sides.
    QCOMPARE(m_state->lastReadId(), lastRead);
    QCOMPARE(deviceIn(after, m_state->config()->deviceSecret)[u"last_read_id"_qs].toInteger(), lastRead);
    QCOMPARE(m_state->unreadCount(), qint64(1));
}

void TestEndToEnd::unlinkRevokesTheDevice()
{
    const QString secret = m_state->config()->deviceSecret;
    const QJsonObject before = serverState();
    const int messagesBefore = before[u"message_count"_qs].toInt();

    await(m_state->unlink());
    QVERIFY(!m_state->isConfigured());
    QVERIFY(m_state->cache().fetchMessages().isEmpty());
    QVERIFY(m_state->cache().fetchApps().isEmpty());
    QCOMPARE(m_state->lastReadId(), qint64(0));
    QVERIFY(!m_state->pushRegistered());
    QCOMPARE(QCoro::waitFor(DeviceConfig::load(*m_credentials)), std::nullopt);
    QCOMPARE(storedItem(*m_credentials, CredentialStore::Placement::Primary), std::nullopt);

    const QJsonObject state = serverState();
    QCOMPARE(requestCount(state, u"DELETE /api/device"_qs) - requestCount(before, u"DELETE /api/device"_qs), 1);
    QCOMPARE(deviceIn(state, secret)[u"revoked"_qs].toBool(), true);
    QCOMPARE(state[u"message_count"_qs].toInt(), messagesBefore); // the account keeps its messages
    // The old secret no longer opens anything; the account's other device still works.
    QCOMPARE(send("GET", u"/api/messages?since=0&limit=1"_qs, secret).status, 401);
    QCOMPARE(send("POST", u"/api/device/read"_qs, secret, R"({"last_read_id":1})").status, 401);
    QCOMPARE(send("GET", u"/api/messages?since=0&limit=1"_qs, m_server.linkSecret).status, 200);
    QCOMPARE(deviceIn(serverState(), m_server.linkSecret)[u"revoked"_qs].toBool(), false);
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "test_endtoend.moc"
