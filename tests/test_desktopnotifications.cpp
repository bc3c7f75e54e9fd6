// SPDX-License-Identifier: GPL-3.0-or-later
#include "cache/store.h"
#include "coro.h"
#include "memorycredentialstore.h"
#include "mockcalls.h"
#include "notify/newmessagealerts.h"
#include "notify/notificationhandler.h"
#include "platform/dbusnotificationcentre.h"
#include "scriptedclient.h"
#include "scriptedservices.h"
#include "services/badge.h"
#include "state/appstate.h"

#include <QBuffer>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QImage>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace tidewell;
using Urgency = MessageAlert::Urgency;
using Status = NotificationCentre::AuthorizationStatus;

// Which notifications a sync pass raises (pure, and through a real AppState), and the desktop adapter against a
// notification server: the mock daemon the test script puts on the session bus, and for the cases that need a
// bus without a server or a server that restarts, a bus of the test's own with a server object in this process.

namespace {

const DeviceConfig linked { QUrl(u"https://push.example.com"_qs), u"secret"_qs };
const QString service = QLatin1String(DBusNotificationCentre::serviceName);
const QString objectPath = QLatin1String(DBusNotificationCentre::objectPath);
const QString interfaceName = QLatin1String(DBusNotificationCentre::interfaceName);

struct NullBadge : Badge
{
    void setCount(qint64) override { }
};

QByteArray png(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

CachedMessage message(qint64 id, qint64 priority = 0, qint64 applicationId = 1)
{
    return CachedMessage(makeMessage(id, applicationId, 0, QString(), std::nullopt, priority));
}

MessageAlert alertFor(qint64 id, qint64 applicationId, Urgency urgency = Urgency::Normal)
{
    MessageAlert alert;
    alert.summary = u"Backups"_qs;
    alert.body = u"message %1"_qs.arg(id);
    alert.urgency = urgency;
    alert.messageId = id;
    alert.applicationId = applicationId;
    return alert;
}

QCoro::Task<> postAndRecord(DBusNotificationCentre* centre, MessageAlert alert, QList<quint32>* ids)
{
    const std::optional<quint32> id = co_await centre->post(std::move(alert));
    if (id)
        ids->append(*id);
}

// ---- the mock notification daemon ----

QDBusMessage mockCall(const char* method)
{
    return QDBusMessage::createMethodCall(
        service, objectPath, QStringLiteral("org.freedesktop.DBus.Mock"), QLatin1String(method));
}

struct NotifyCall
{
    QString appName;
    uint replacesId = 0;
    QString appIcon;
    QString summary;
    QString body;
    QStringList actions;
    QVariantMap hints;
    int timeout = 0;
};

// Every Notify the mock has answered, oldest first; nullopt when the session bus has no mock daemon.
std::optional<QList<NotifyCall>> notifyCalls()
{
    const std::optional<QList<QVariantList>> logged
        = mockedCalls(QString::fromLatin1(DBusNotificationCentre::serviceName),
            QString::fromLatin1(DBusNotificationCentre::objectPath), u"Notify"_qs);
    if (!logged)
        return std::nullopt;
    QList<NotifyCall> calls;
    for (const QVariantList& args : *logged) {
        NotifyCall call;
        call.appName = args.value(0).toString();
        call.replacesId = args.value(1).toUInt();
        call.appIcon = args.value(2).toString();
        call.summary = args.value(3).toString();
        call.body = args.value(4).toString();
        call.actions = qdbus_cast<QStringList>(args.value(5));
        call.hints = qdbus_cast<QVariantMap>(args.value(6));
        call.timeout = args.value(7).toInt();
        calls.append(call);
    }
    return calls;
}

// The Notify calls Tidewell made since `before` calls had been logged.
QList<NotifyCall> tidewellCallsSince(qsizetype before)
{
    QList<NotifyCall> calls = notifyCalls().value_or(QList<NotifyCall>());
    calls.remove(0, std::min(before, calls.size()));
    calls.removeIf([](const NotifyCall& call) { return call.appName != u"Tidewell"; });
    return calls;
}

qsizetype loggedCalls()
{
    return notifyCalls().value_or(QList<NotifyCall>()).size();
}

void emitFromMock(const QString& name, const QString& signature, const QVariantList& args)
{
    QDBusMessage emitting = mockCall("EmitSignal");
    emitting << interfaceName << name << signature << QVariant::fromValue(args);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(emitting);
    QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
}

// A notification of some other application, straight to the daemon.
uint foreignNotification()
{
    QDBusMessage notify = QDBusMessage::createMethodCall(service, objectPath, interfaceName, u"Notify"_qs);
    notify << u"Other"_qs << uint(0) << QString() << u"elsewhere"_qs << QString() << QStringList { u"default"_qs }
           << QVariantMap() << int(-1);
    return QDBusConnection::sessionBus().call(notify).arguments().value(0).toUInt();
}

struct SentImage
{
    int width = 0, height = 0, rowStride = 0, bitsPerSample = 0, channels = 0;
    bool hasAlpha = false;
    QByteArray data;
};

SentImage sentImage(const QVariant& hint)
{
    SentImage image;
    const QDBusArgument argument = hint.value<QDBusArgument>();
    argument.beginStructure();
    argument >> image.width >> image.height >> image.rowStride >> image.hasAlpha >> image.bitsPerSample
        >> image.channels >> image.data;
    argument.endStructure();
    return image;
}

// Without the test script's mock the D-Bus cases cannot run; under the script its absence is a failure. A real
// desktop's server is never used: the tests would put notifications on the user's screen.
#define REQUIRE_MOCK_DAEMON()                                                                                          \
    do {                                                                                                               \
        if (!notifyCalls()) {                                                                                          \
            if (qEnvironmentVariableIsSet("TIDEWELL_REQUIRE_NOTIFICATIONS"))                                           \
                QFAIL("no mock notification daemon on the session bus");                                               \
            QSKIP("no mock notification daemon on the session bus; scripts/test provides one");                        \
        }                                                                                                              \
    } while (false)

// ---- a bus of the test's own ----

// A dbus-daemon with no services to start on demand, so that "no server" really means none.
class PrivateBus
{
public:
    PrivateBus()
    {
        const QString daemon = QStandardPaths::findExecutable(u"dbus-daemon"_qs);
        if (daemon.isEmpty() || !m_folder.isValid())
            return;
        QFile config(m_folder.filePath(u"bus.conf"_qs));
        if (!config.open(QIODevice::WriteOnly))
            return;
        // Only the listening socket and an open policy: no service directories, so nothing starts on demand.
        const QByteArray policy = "<busconfig>"
                                  "<type>session</type>"
                                  "<listen>unix:dir="
            + QFile::encodeName(m_folder.path())
            + "</listen>"
              "<auth>EXTERNAL</auth>"
              "<policy context=\"default\">"
              "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
              "<allow eavesdrop=\"true\"/>"
              "<allow own=\"*\"/>"
              "</policy>"
              "</busconfig>\n";
        config.write(policy);
        config.close();
        m_daemon.start(daemon, { u"--config-file="_qs + config.fileName(), u"--nofork"_qs, u"--print-address"_qs });
        while (m_daemon.waitForReadyRead(5000)) {
            m_output += m_daemon.readAllStandardOutput();
            if (m_output.contains('\n'))
                break;
        }
        address = QString::fromUtf8(m_output).trimmed();
    }
    ~PrivateBus()
    {
        for (const QString& name : std::as_const(m_connections))
            QDBusConnection::disconnectFromBus(name);
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.terminate();
            m_daemon.waitForFinished(5000);
        }
    }

    QDBusConnection connect(const QString& name)
    {
        m_connections.append(name);
        return QDBusConnection::connectToBus(address, name);
    }

    QString address;

private:
    QTemporaryDir m_folder;
    QProcess m_daemon;
    QByteArray m_output;
    QStringList m_connections;
};

} // namespace

// A notification server in this process, for the private bus. It numbers its notifications from 1, as a freshly
// started server does.
class FakeServer : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    explicit FakeServer(QStringList capabilities)
        : m_capabilities(std::move(capabilities))
    { }

    QStringList bodies;

public Q_SLOTS:
    QStringList GetCapabilities() { return m_capabilities; }
    uint Notify(const QString&, uint, const QString&, const QString&, const QString& body, const QStringList&,
        const QVariantMap&, int)
    {
        bodies.append(body);
        return m_nextId++;
    }

private:
    QStringList m_capabilities;
    uint m_nextId = 1;
};

class TestDesktopNotifications : public QObject
{
    Q_OBJECT
private slots:
    // What a pass announces.
    void selection_data();
    void selection();
    void messageAlert_data();
    void messageAlert();
    void overflowAlert_data();
    void overflowAlert();
    void passesOfARealState();

    // The desktop adapter.
    void postReachesTheServer_data();
    void postReachesTheServer();
    void serverTextsReachTheServerAsPlainText_data();
    void serverTextsReachTheServerAsPlainText();
    void clicksAndCloses_data();
    void clicksAndCloses();
    void clickTokensGoAheadOfTheirClicks_data();
    void clickTokensGoAheadOfTheirClicks();
    void authorizedWithTheMockDaemon();
    void serverComingAndGoing();
    void clickOnAnAnnouncedMessageSelectsIt();
};

// ---- what a pass announces ----

void TestDesktopNotifications::selection_data()
{
    QTest::addColumn<QList<CachedMessage>>("cached");
    QTest::addColumn<qint64>("previousMaxId");
    QTest::addColumn<qint64>("lastReadId");
    QTest::addColumn<QList<qint64>>("announced"); // message ids, in posting order
    QTest::addColumn<QString>("overflow"); // the overflow notification's summary, empty when there is none

    auto range = [](qint64 from, qint64 to) {
        QList<CachedMessage> messages;
        for (qint64 id = from; id <= to; ++id)
            messages.append(message(id));
        return messages;
    };

    QTest::newRow("history import into an empty cache") << range(1, 8) << 0LL << 0LL << QList<qint64>() << QString();
    QTest::newRow("only ids above the previous maximum")
        << range(1, 4) << 2LL << 0LL << QList<qint64> { 3, 4 } << QString();
    QTest::newRow("read position above the previous maximum")
        << range(1, 5) << 2LL << 4LL << QList<qint64> { 5 } << QString();
    QTest::newRow("everything new already read") << range(1, 5) << 2LL << 5LL << QList<qint64>() << QString();
    QTest::newRow("silent priorities skipped, low ones kept")
        << QList<CachedMessage> { message(3, -2), message(4, -3), message(5, -1), message(6, 2) } << 2LL << 0LL
        << QList<qint64> { 5, 6 } << QString();
    QTest::newRow("exactly five") << range(3, 7) << 2LL << 0LL << QList<qint64> { 3, 4, 5, 6, 7 } << QString();
    QTest::newRow("six: the newest five and one more")
        << range(3, 8) << 2LL << 0LL << QList<qint64> { 4, 5, 6, 7, 8 } << u"1 more new message"_qs;
    QTest::newRow("nine: the newest five and four more")
        << range(1, 10) << 1LL << 0LL << QList<qint64> { 6, 7, 8, 9, 10 } << u"4 more new messages"_qs;
    QTest::newRow("silent messages do not count towards the overflow")
        << QList<CachedMessage> { message(3), message(4, -2), message(5), message(6), message(7), message(8) } << 2LL
        << 0LL << QList<qint64> { 3, 5, 6, 7, 8 } << QString();
    QTest::newRow("any input order") << QList<CachedMessage> { message(9), message(7), message(3), message(8) } << 5LL
                                     << 0LL << QList<qint64> { 7, 8, 9 } << QString();
}

void TestDesktopNotifications::selection()
{
    QFETCH(QList<CachedMessage>, cached);
    QFETCH(qint64, previousMaxId);
    QFETCH(qint64, lastReadId);
    QFETCH(QList<qint64>, announced);
    QFETCH(QString, overflow);

    QList<MessageAlert> alerts = NewMessageAlerts::select(cached, {}, previousMaxId, lastReadId);
    if (!overflow.isEmpty()) {
        QVERIFY(!alerts.isEmpty());
        const MessageAlert more = alerts.takeFirst();
        QCOMPARE(more.summary, overflow);
        QCOMPARE(more.messageId, std::nullopt);
    }
    QList<qint64> ids;
    for (const MessageAlert& alert : std::as_const(alerts))
        ids.append(alert.messageId.value_or(-1));
    QCOMPARE(ids, announced);
}

void TestDesktopNotifications::messageAlert_data()
{
    QTest::addColumn<std::optional<QString>>("title");
    QTest::addColumn<qint64>("priority");
    QTest::addColumn<qint64>("applicationId"); // 1 is cached as "Backups" with an icon, 2 as a blank name, 3 not
    QTest::addColumn<QString>("summary");
    QTest::addColumn<Urgency>("urgency");

    const std::optional<QString> none;
    QTest::newRow("title") << std::optional(u"Disk full"_qs) << 0LL << 1LL << u"Disk full"_qs << Urgency::Normal;
    QTest::newRow("no title: the application's name") << none << 1LL << 1LL << u"Backups"_qs << Urgency::Normal;
    QTest::newRow("blank title: the application's name")
        << std::optional(u"  "_qs) << 0LL << 1LL << u"Backups"_qs << Urgency::Normal;
    QTest::newRow("blank application name") << none << 0LL << 2LL << u"Message"_qs << Urgency::Normal;
    QTest::newRow("application not cached") << none << 0LL << 3LL << u"Message"_qs << Urgency::Normal;
    QTest::newRow("priority -1 is low") << none << -1LL << 1LL << u"Backups"_qs << Urgency::Low;
    QTest::newRow("priority 2 is critical") << none << 2LL << 1LL << u"Backups"_qs << Urgency::Critical;
    QTest::newRow("priority 5 is critical") << none << 5LL << 1LL << u"Backups"_qs << Urgency::Critical;
    QTest::newRow("control characters left out of the title")
        << std::optional(u"Disk\x07 full\x1b"_qs) << 0LL << 1LL << u"Disk full"_qs << Urgency::Normal;
    QTest::newRow("title of control characters only: the application's name")
        << std::optional(u"\x07\x1b"_qs) << 0LL << 1LL << u"Backups"_qs << Urgency::Normal;
}

void TestDesktopNotifications::messageAlert()
{
    QFETCH(std::optional<QString>, title);
    QFETCH(qint64, priority);
    QFETCH(qint64, applicationId);
    QFETCH(QString, summary);
    QFETCH(Urgency, urgency);

    const QByteArray icon = png(QSize(4, 4), Qt::red);
    const QList<CachedApp> apps { { 1, u"Backups"_qs, u"#336699"_qs, icon }, { 2, u" "_qs, {}, std::nullopt } };
    CachedMessage cached = message(12, priority, applicationId);
    cached.title = title;
    cached.message = u"Nightly run finished"_qs;

    MessageAlert expected;
    expected.summary = summary;
    expected.body = u"Nightly run finished"_qs;
    expected.icon = applicationId == 1 ? std::optional(icon) : std::nullopt;
    expected.urgency = urgency;
    expected.messageId = 12;
    expected.applicationId = applicationId;
    QCOMPARE(NewMessageAlerts::select({ cached }, apps, 11, 0), QList<MessageAlert> { expected });
}

void TestDesktopNotifications::overflowAlert_data()
{
    // Eight new messages; the first three are covered by the overflow notification.
    QTest::addColumn<QList<qint64>>("coveredApps");
    QTest::addColumn<QList<qint64>>("coveredPriorities");
    QTest::addColumn<Urgency>("urgency");
    QTest::addColumn<std::optional<qint64>>("applicationId");

    QTest::newRow("one application, low")
        << QList<qint64> { 1, 1, 1 } << QList<qint64> { -1, -1, -1 } << Urgency::Low << std::optional<qint64>(1);
    QTest::newRow("mixed applications") << QList<qint64> { 1, 2, 1 } << QList<qint64> { -1, 0, 1 } << Urgency::Normal
                                        << std::optional<qint64>();
    QTest::newRow("a critical one behind it")
        << QList<qint64> { 2, 2, 2 } << QList<qint64> { 0, 3, -1 } << Urgency::Critical << std::optional<qint64>(2);
}

void TestDesktopNotifications::overflowAlert()
{
    QFETCH(QList<qint64>, coveredApps);
    QFETCH(QList<qint64>, coveredPriorities);
    QFETCH(Urgency, urgency);
    QFETCH(std::optional<qint64>, applicationId);

    const QByteArray icon = png(QSize(4, 4), Qt::blue);
    const QList<CachedApp> apps { { 1, u"Backups"_qs, {}, std::nullopt }, { 2, u"Alerts"_qs, {}, icon } };
    QList<CachedMessage> cached;
    for (qsizetype i = 0; i < coveredApps.size(); ++i)
        cached.append(message(10 + i, coveredPriorities[i], coveredApps[i]));
    for (qint64 id = 20; id < 25; ++id)
        cached.append(message(id, 0, 1));

    const QList<MessageAlert> alerts = NewMessageAlerts::select(cached, apps, 9, 0);
    QCOMPARE(alerts.size(), 6);
    MessageAlert expected;
    expected.summary = u"3 more new messages"_qs;
    expected.urgency = urgency;
    expected.applicationId = applicationId;
    expected.icon = applicationId == 2 ? std::optional(icon) : std::nullopt;
    QCOMPARE(alerts.first(), expected);
}

void TestDesktopNotifications::passesOfARealState()
{
    QTemporaryDir folder;
    Preferences prefs(folder.filePath(u"prefs.ini"_qs));
    MemoryCredentialStore credentials;
    QVERIFY(QCoro::waitFor(linked.save(credentials)));
    NullBadge badge;
    auto client = std::make_shared<ScriptedClient>();
    client->serverApps = { AppInfo { 7, u"Backups"_qs, u"#336699"_qs, true } };
    const QByteArray icon = png(QSize(8, 8), Qt::green);
    client->icons.insert(7, icon);
    for (qint64 id = 1; id <= 3; ++id)
        client->addMessage(makeMessage(id, 7));

    AppState::Services services = scriptedServices(credentials, prefs, client);
    services.badge = &badge;
    AppState state(false, services);
    QList<MessageAlert> posted;
    NewMessageAlerts alerts(state.sharedCache(), [&posted](const MessageAlert& alert) { posted.append(alert); });
    connect(&state, &AppState::newMessagesSynced, &alerts, &NewMessageAlerts::announce);

    await(state.sync());
    QCOMPARE(state.cache().fetchMessages().size(), 3);
    QVERIFY(posted.isEmpty()); // the history import

    await(state.sync());
    QVERIFY(posted.isEmpty()); // nothing new

    for (qint64 id = 4; id <= 11; ++id)
        client->addMessage(makeMessage(id, 7, 0, QString(), std::nullopt, id == 6 ? -2 : 0));
    await(state.sync());
    QCOMPARE(posted.size(), 6);
    QCOMPARE(posted.first().summary, u"2 more new messages"_qs); // 4 and 5
    QCOMPARE(posted.first().icon, std::optional(icon));
    QList<qint64> ids;
    for (qsizetype i = 1; i < posted.size(); ++i)
        ids.append(posted[i].messageId.value_or(-1));
    QCOMPARE(ids, (QList<qint64> { 7, 8, 9, 10, 11 }));
    QCOMPARE(posted.last().summary, u"Backups"_qs);
    QCOMPARE(posted.last().icon, std::optional(icon));

    // A read position ahead of the cache (everything through 13 read before it arrived): only 14 is news.
    posted.clear();
    await(state.markRead(13));
    for (qint64 id = 12; id <= 14; ++id)
        client->addMessage(makeMessage(id, 7));
    await(state.sync());
    QCOMPARE(state.lastReadId(), 13);
    QCOMPARE(posted.size(), 1);
    QCOMPARE(posted.first().messageId, std::optional<qint64>(14));
}

// ---- the desktop adapter ----

void TestDesktopNotifications::postReachesTheServer_data()
{
    QTest::addColumn<MessageAlert>("alert");
    QTest::addColumn<QString>("sentBody");
    QTest::addColumn<QSize>("sentIconSize"); // invalid: no image hint
    QTest::addColumn<QVariantMap>("payload");

    const QVariantMap payload { { u"mid"_qs, qint64(41) }, { u"aid"_qs, qint64(3) } };
    MessageAlert plain = alertFor(41, 3);
    plain.summary = u"Nightly run – done"_qs;
    QTest::newRow("plain") << plain << u"message 41"_qs << QSize() << payload;

    MessageAlert low = alertFor(41, 3, Urgency::Low);
    QTest::newRow("low urgency") << low << u"message 41"_qs << QSize() << payload;

    MessageAlert critical = alertFor(41, 3, Urgency::Critical);
    critical.icon = png(QSize(16, 8), QColor(200, 30, 60));
    QTest::newRow("critical, with icon") << critical << u"message 41"_qs << QSize(16, 8) << payload;

    MessageAlert large = alertFor(41, 3);
    large.icon = png(QSize(600, 300), QColor(200, 30, 60));
    QTest::newRow("large icon scaled down") << large << u"message 41"_qs << QSize(256, 128) << payload;

    MessageAlert broken = alertFor(41, 3);
    broken.icon = QByteArray("not an image");
    QTest::newRow("icon that does not decode left out") << broken << u"message 41"_qs << QSize() << payload;

    MessageAlert markup = alertFor(41, 3);
    markup.body = u"<b>5 < 6</b> & \"so\""_qs;
    QTest::newRow("markup characters escaped for a markup server")
        << markup << u"&lt;b&gt;5 &lt; 6&lt;/b&gt; &amp; &quot;so&quot;"_qs << QSize() << payload;

    MessageAlert overflow;
    overflow.summary = u"3 more new messages"_qs;
    QTest::newRow("overflow, no ids") << overflow << QString() << QSize() << QVariantMap();
}

void TestDesktopNotifications::postReachesTheServer()
{
    REQUIRE_MOCK_DAEMON();
    QFETCH(MessageAlert, alert);
    QFETCH(QString, sentBody);
    QFETCH(QSize, sentIconSize);
    QFETCH(QVariantMap, payload);

    DBusNotificationCentre centre;
    QSignalSpy responses(&centre, &NotificationCentre::didReceiveResponse);
    const qsizetype before = loggedCalls();
    const std::optional<quint32> id = await(centre.post(alert));
    QVERIFY(id);
    QVERIFY(centre.isTracking(*id));

    const QList<NotifyCall> calls = tidewellCallsSince(before);
    QCOMPARE(calls.size(), 1);
    const NotifyCall& call = calls.first();
    QCOMPARE(call.replacesId, 0u);
    QCOMPARE(call.summary, alert.summary);
    QCOMPARE(call.body, sentBody);
    QCOMPARE(call.actions, (QStringList { u"default"_qs, u"Open"_qs }));
    QCOMPARE(call.timeout, -1);
    QCOMPARE(call.hints.value(u"desktop-entry"_qs).toString(), QStringLiteral(TIDEWELL_APP_ID));
    const QVariant urgency = call.hints.value(u"urgency"_qs);
    QCOMPARE(urgency.typeId(), QMetaType::UChar);
    QCOMPARE(urgency.value<uchar>(), uchar(alert.urgency));

    QCOMPARE(call.hints.contains(u"image-data"_qs), sentIconSize.isValid());
    if (sentIconSize.isValid()) {
        const SentImage image = sentImage(call.hints.value(u"image-data"_qs));
        QCOMPARE(QSize(image.width, image.height), sentIconSize);
        QVERIFY(image.rowStride >= image.width * 4);
        QVERIFY(image.hasAlpha);
        QCOMPARE(image.bitsPerSample, 8);
        QCOMPARE(image.channels, 4);
        QCOMPARE(image.data.size(), qsizetype(image.rowStride) * image.height);
        QCOMPARE(image.data.left(4), QByteArray("\xc8\x1e\x3c\xff", 4)); // R, G, B, A
    }

    // The payload a click on it carries.
    emitFromMock(u"ActionInvoked"_qs, u"us"_qs, { *id, u"default"_qs });
    QTRY_COMPARE(responses.size(), 1);
    QCOMPARE(responses.first().first().toMap(), payload);
}

void TestDesktopNotifications::serverTextsReachTheServerAsPlainText_data()
{
    // The mock daemon renders markup in bodies, so bodies reach it escaped; summaries never carry markup.
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("sentSummary");
    QTest::addColumn<QString>("sentBody");

    const QString rlo = u"\u202e"_qs;
    const QString pdf = u"\u202c"_qs;
    const QString arabic = u"\u0645\u0631\u062d\u0628\u0627 \u0628\u0627\u0644\u0639\u0627\u0644\u0645"_qs;
    const QString hebrew = u"\u05e9\u05dc\u05d5\u05dd"_qs;

    QTest::newRow("NUL inside: nothing after it lost")
        << u"Disk"_qs + QChar(0) + u" full"_qs << u"before"_qs + QChar(0) + u" after"_qs << u"Disk full"_qs
        << u"before after"_qs;
    QTest::newRow("bell and escape sequences")
        << u"\x07"_qs + u"Alarm"_qs << u"\x1b[31mred\x1b[0m done\x07"_qs << u"Alarm"_qs << u"[31mred[0m done"_qs;
    QTest::newRow("C1 controls and DEL") << u"a\u009bb\x7f"_qs << u"x\u0085y"_qs << u"ab"_qs << u"x\ny"_qs;
    QTest::newRow("tab and line breaks stay")
        << u"Build"_qs << u"step\t1\r\nstep\t2\rend"_qs << u"Build"_qs << u"step\t1\nstep\t2\nend"_qs;
    QTest::newRow("markup stays text") << u"<b>x</b>"_qs << u"<b>x</b>&amp;"_qs << u"<b>x</b>"_qs
                                       << u"&lt;b&gt;x&lt;/b&gt;&amp;amp;"_qs;
    QTest::newRow("right-to-left override closed inside its text")
        << rlo + u"gnp.exe"_qs << u"see "_qs + rlo + u"txt.exe"_qs << rlo + u"gnp.exe"_qs + pdf
        << u"see "_qs + rlo + u"txt.exe"_qs + pdf;
    QTest::newRow("right-to-left texts as they are") << hebrew << arabic << hebrew << arabic;
}

void TestDesktopNotifications::serverTextsReachTheServerAsPlainText()
{
    REQUIRE_MOCK_DAEMON();
    QFETCH(QString, summary);
    QFETCH(QString, body);
    QFETCH(QString, sentSummary);
    QFETCH(QString, sentBody);

    DBusNotificationCentre centre;
    MessageAlert alert = alertFor(41, 3);
    alert.summary = summary;
    alert.body = body;
    const qsizetype before = loggedCalls();
    QVERIFY(await(centre.post(alert)));

    const QList<NotifyCall> calls = tidewellCallsSince(before);
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.first().summary, sentSummary);
    QCOMPARE(calls.first().body, sentBody);
}

void TestDesktopNotifications::clicksAndCloses_data()
{
    // Tidewell posts A (message 11 of application 3) and B (the overflow, application 4 only); "other" is another
    // application's notification. Each row ends with an event that must be answered, so that when the last answer
    // has come every earlier event has been handled.
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("answered");

    QTest::newRow("click on A") << QStringList { u"click A"_qs } << QStringList { u"A"_qs };
    QTest::newRow("click on B: the overflow") << QStringList { u"click B"_qs } << QStringList { u"B"_qs };
    QTest::newRow("click on another application's")
        << QStringList { u"click other"_qs, u"click B"_qs } << QStringList { u"B"_qs };
    QTest::newRow("an action other than the default")
        << QStringList { u"action A"_qs, u"click B"_qs } << QStringList { u"B"_qs };
    QTest::newRow("closed, then a click on its id")
        << QStringList { u"close A"_qs, u"click A"_qs, u"click B"_qs } << QStringList { u"B"_qs };
    QTest::newRow("another application's closed: ours stays")
        << QStringList { u"close other"_qs, u"click A"_qs } << QStringList { u"A"_qs };
    QTest::newRow("clicks while it stays open")
        << QStringList { u"click A"_qs, u"click A"_qs, u"click B"_qs } << QStringList { u"A"_qs, u"A"_qs, u"B"_qs };
}

void TestDesktopNotifications::clicksAndCloses()
{
    REQUIRE_MOCK_DAEMON();
    QFETCH(QStringList, events);
    QFETCH(QStringList, answered);

    DBusNotificationCentre centre;
    QSignalSpy responses(&centre, &NotificationCentre::didReceiveResponse);
    MessageAlert overflow;
    overflow.summary = u"2 more new messages"_qs;
    overflow.applicationId = 4;
    const std::optional<quint32> a = await(centre.post(alertFor(11, 3)));
    const std::optional<quint32> b = await(centre.post(overflow));
    QVERIFY(a && b);
    const QHash<QString, uint> ids { { u"A"_qs, *a }, { u"B"_qs, *b }, { u"other"_qs, foreignNotification() } };
    QVERIFY(ids.value(u"other"_qs) != 0);
    const QHash<QString, QVariantMap> payloads { { u"A"_qs, { { u"mid"_qs, qint64(11) }, { u"aid"_qs, qint64(3) } } },
        { u"B"_qs, { { u"aid"_qs, qint64(4) } } } };

    for (const QString& event : std::as_const(events)) {
        const QStringList parts = event.split(u' ');
        const uint id = ids.value(parts.last());
        if (parts.first() == u"click")
            emitFromMock(u"ActionInvoked"_qs, u"us"_qs, { id, u"default"_qs });
        else if (parts.first() == u"action")
            emitFromMock(u"ActionInvoked"_qs, u"us"_qs, { id, u"reply"_qs });
        else
            emitFromMock(u"NotificationClosed"_qs, u"uu"_qs, { id, 2u });
    }

    QTRY_COMPARE(responses.size(), answered.size());
    for (qsizetype i = 0; i < answered.size(); ++i)
        QCOMPARE(responses.at(i).first().toMap(), payloads.value(answered[i]));
    if (events.contains(u"close A"_qs))
        QVERIFY(!centre.isTracking(*a));
}

void TestDesktopNotifications::clickTokensGoAheadOfTheirClicks_data()
{
    // As in clicksAndCloses: A is Tidewell's, "other" another application's; "token X t" is the server's activation
    // token t for X, sent ahead of the click as servers of protocol version 1.2 do. `heard` is what the centre passed
    // on, in order; each row ends with an event that is passed on.
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("heard");

    QTest::newRow("token, then the click") << QStringList { u"token A sway-1f3e"_qs, u"click A"_qs }
                                           << QStringList { u"token sway-1f3e"_qs, u"click A"_qs };
    QTest::newRow("another application's token is not ours")
        << QStringList { u"token other kwin-77"_qs, u"click other"_qs, u"click A"_qs } << QStringList { u"click A"_qs };
    QTest::newRow("a token for a closed notification") << QStringList { u"close A"_qs, u"token A late"_qs,
        u"token B b2"_qs, u"click B"_qs } << QStringList { u"token b2"_qs, u"click B"_qs };
    QTest::newRow("each click with its own token") << QStringList { u"token A one"_qs, u"click A"_qs, u"token B two"_qs,
        u"click B"_qs } << QStringList { u"token one"_qs, u"click A"_qs, u"token two"_qs, u"click B"_qs };
}

void TestDesktopNotifications::clickTokensGoAheadOfTheirClicks()
{
    REQUIRE_MOCK_DAEMON();
    QFETCH(QStringList, events);
    QFETCH(QStringList, heard);

    DBusNotificationCentre centre;
    const std::optional<quint32> a = await(centre.post(alertFor(11, 3)));
    const std::optional<quint32> b = await(centre.post(alertFor(12, 4)));
    QVERIFY(a && b);
    const QHash<QString, uint> ids { { u"A"_qs, *a }, { u"B"_qs, *b }, { u"other"_qs, foreignNotification() } };
    QStringList passedOn;
    connect(&centre, &DBusNotificationCentre::activationTokenReceived, this,
        [&passedOn](const QString& token) { passedOn << u"token "_qs + token; });
    connect(&centre, &NotificationCentre::didReceiveResponse, this, [&passedOn](const QVariantMap& payload) {
        passedOn << (payload.value(u"mid"_qs).toLongLong() == 11 ? u"click A"_qs : u"click B"_qs);
    });

    for (const QString& event : std::as_const(events)) {
        const QStringList parts = event.split(u' ');
        const uint id = ids.value(parts.at(1));
        if (parts.first() == u"token")
            emitFromMock(u"ActivationToken"_qs, u"us"_qs, { id, parts.at(2) });
        else if (parts.first() == u"click")
            emitFromMock(u"ActionInvoked"_qs, u"us"_qs, { id, u"default"_qs });
        else
            emitFromMock(u"NotificationClosed"_qs, u"uu"_qs, { id, 2u });
    }

    QTRY_COMPARE(passedOn.size(), heard.size());
    QCOMPARE(passedOn, heard);
}

void TestDesktopNotifications::authorizedWithTheMockDaemon()
{
    REQUIRE_MOCK_DAEMON();
    DBusNotificationCentre centre;
    QCOMPARE(await(centre.authorizationStatus()), Status::Authorized);
    QVERIFY(await(centre.requestAuthorization()));
}

void TestDesktopNotifications::serverComingAndGoing()
{
    PrivateBus bus;
    if (bus.address.isEmpty())
        QSKIP("dbus-daemon could not be started");
    DBusNotificationCentre centre(bus.connect(u"tidewell"_qs));
    QSignalSpy responses(&centre, &NotificationCentre::didReceiveResponse);
    MessageAlert first = alertFor(1, 2);
    first.body = u"x < y"_qs;

    QCOMPARE(await(centre.authorizationStatus()), Status::Unavailable);
    QVERIFY(!await(centre.requestAuthorization()));
    QCOMPARE(await(centre.post(first)), std::nullopt);

    FakeServer plainServer({ u"body"_qs });
    QDBusConnection plain = bus.connect(u"plain server"_qs);
    QVERIFY(plain.registerObject(objectPath, &plainServer, QDBusConnection::ExportAllSlots));
    QVERIFY(plain.registerService(service));
    QCOMPARE(await(centre.authorizationStatus()), Status::Authorized);
    QVERIFY(await(centre.requestAuthorization()));
    QCOMPARE(await(centre.post(first)), std::optional<quint32>(1));
    QCOMPARE(plainServer.bodies, QStringList { u"x < y"_qs }); // a server without markup gets the text as it is

    // The server restarts; its successor numbers from 1 again, so the old id 1 must not answer for the new one.
    QVERIFY(plain.unregisterService(service));
    FakeServer markupServer({ u"body"_qs, u"body-markup"_qs });
    QDBusConnection markup = bus.connect(u"markup server"_qs);
    QVERIFY(markup.registerObject(objectPath, &markupServer, QDBusConnection::ExportAllSlots));
    QVERIFY(markup.registerService(service));
    QTRY_VERIFY(!centre.isTracking(1));

    MessageAlert second = alertFor(5, 6);
    second.body = u"x < y"_qs;
    QCOMPARE(await(centre.post(second)), std::optional<quint32>(1));
    QCOMPARE(markupServer.bodies, QStringList { u"x &lt; y"_qs }); // capabilities asked of the new server
    QDBusMessage click = QDBusMessage::createSignal(objectPath, interfaceName, u"ActionInvoked"_qs);
    click << uint(1) << u"default"_qs;
    QVERIFY(markup.send(click));
    QTRY_COMPARE(responses.size(), 1);
    QCOMPARE(responses.first().first().toMap(), (QVariantMap { { u"mid"_qs, qint64(5) }, { u"aid"_qs, qint64(6) } }));

    // The same signal from a sender that is not the server is no click. The impostor's signal is routed before
    // its own round trip to the bus ends, so it would arrive ahead of the server's next click.
    MessageAlert third = alertFor(9, 6);
    QCOMPARE(await(centre.post(third)), std::optional<quint32>(2));
    QDBusConnection impostor = bus.connect(u"impostor"_qs);
    QVERIFY(impostor.send(click));
    QVERIFY(impostor.interface()->isServiceRegistered(service).value());
    QDBusMessage clickThird = QDBusMessage::createSignal(objectPath, interfaceName, u"ActionInvoked"_qs);
    clickThird << uint(2) << u"default"_qs;
    QVERIFY(markup.send(clickThird));
    QTRY_COMPARE(responses.size(), 2);
    QCOMPARE(responses.at(1).first().toMap(), (QVariantMap { { u"mid"_qs, qint64(9) }, { u"aid"_qs, qint64(6) } }));
}

void TestDesktopNotifications::clickOnAnAnnouncedMessageSelectsIt()
{
    REQUIRE_MOCK_DAEMON();
    QTemporaryDir folder;
    Preferences prefs(folder.filePath(u"prefs.ini"_qs));
    MemoryCredentialStore credentials;
    QVERIFY(QCoro::waitFor(linked.save(credentials)));
    NullBadge badge;
    auto client = std::make_shared<ScriptedClient>();
    client->serverApps = { AppInfo { 7, u"Backups"_qs, u"#336699"_qs, true } };
    client->icons.insert(7, png(QSize(8, 8), QColor(200, 30, 60)));
    client->addMessage(makeMessage(1, 7));

    NotificationHandler handler;
    DBusNotificationCentre centre;
    handler.setCentre(&centre);
    AppState::Services services = scriptedServices(credentials, prefs, client);
    services.badge = &badge;
    services.notifications = &handler;
    services.tapSelectionLifetime = std::chrono::minutes(10);
    AppState state(false, services);
    state.configureNotifications({});
    QList<quint32> ids;
    NewMessageAlerts alerts(
        state.sharedCache(), [&centre, &ids](const MessageAlert& alert) { postAndRecord(&centre, alert, &ids); });
    connect(&state, &AppState::newMessagesSynced, &alerts, &NewMessageAlerts::announce);

    await(state.sync());
    const qsizetype before = loggedCalls();
    client->addMessage(makeMessage(2, 7, 0, u"Disk almost full"_qs, u"Storage"_qs, 2));
    await(state.sync());
    QTRY_COMPARE(ids.size(), 1);
    const QList<NotifyCall> calls = tidewellCallsSince(before);
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.first().summary, u"Storage"_qs);
    QCOMPARE(calls.first().body, u"Disk almost full"_qs);
    QCOMPARE(calls.first().hints.value(u"urgency"_qs).value<uchar>(), uchar(2));
    QVERIFY(calls.first().hints.contains(u"image-data"_qs));

    emitFromMock(u"ActionInvoked"_qs, u"us"_qs, { ids.first(), u"default"_qs });
    QTRY_COMPARE(state.selectedMessageId(), std::optional<qint64>(2));
    QCOMPARE(state.selectedAppId(), std::optional<qint64>(7));
}

QTEST_GUILESS_MAIN(TestDesktopNotifications)
#include "test_desktopnotifications.moc"
