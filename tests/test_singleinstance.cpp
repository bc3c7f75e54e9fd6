// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/singleinstance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QtEndian>
#include <QtTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>
#include <memory>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace tidewell;
using namespace std::chrono_literals;

// The program re-runs itself with one of these first arguments to play another launch of Tidewell.
static const QString actAsPrimary = u"--act-as-primary"_qs;
static const QString actAsSecondLaunch = u"--act-as-second-launch"_qs;
static constexpr int handOverTimeoutMs = 10000;
static constexpr int patienceMs = 20000;

// A running primary prints "listening", then one compact JSON array per hand-over it receives.
static int runAsPrimary(const QString& name)
{
    SingleInstance instance(name);
    if (!instance.tryBecomePrimary())
        return 2;
    const auto print = [](const QByteArray& line) {
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    };
    QObject::connect(&instance, &SingleInstance::argumentsReceived, [&](const QStringList& arguments) {
        print(QJsonDocument(QJsonArray::fromStringList(arguments)).toJson(QJsonDocument::Compact));
    });
    print("listening");
    return QCoreApplication::exec();
}

static QString uniqueName()
{
    static int counter = 0;
    // Characters that may not appear in a file name as they are, and one outside ASCII.
    return SingleInstance::serverName(u"test %1/%2 ü"_qs.arg(QCoreApplication::applicationPid()).arg(++counter));
}

static QString socketPath(const QString& name)
{
    return QDir::isAbsolutePath(name) ? name : QDir::tempPath() + u'/' + name;
}

static QByteArray frame(const QByteArray& payload, quint32 declaredLength, const char* magic = "TWL1")
{
    QByteArray bytes(magic);
    bytes.resize(8);
    qToBigEndian(declaredLength, bytes.data() + 4);
    return bytes + payload;
}

static QByteArray frame(const QByteArray& payload)
{
    return frame(payload, quint32(payload.size()));
}

// The frame that carries an activation token ahead of the arguments.
static QByteArray tokenFrame(const QByteArray& payload)
{
    return frame(payload, quint32(payload.size()), "TWL2");
}

// Blocking sends run on their own thread when the primary is in this process, whose event loop must keep turning
// to answer them.
static std::future<bool> sendInBackground(const QString& name, const QStringList& arguments, const QString& token = {})
{
    return std::async(std::launch::async,
        [name, arguments, token] { return SingleInstance::sendToPrimary(name, arguments, handOverTimeoutMs, token); });
}

#define AWAIT_FUTURE(future) QTRY_VERIFY_WITH_TIMEOUT((future).wait_for(0s) == std::future_status::ready, patienceMs)

class TestSingleInstance : public QObject
{
    Q_OBJECT
private slots:
    void serverNamesKeepProfilesApart_data();
    void serverNamesKeepProfilesApart();
    void onlyTheFirstBecomesPrimary();
    void handsArgumentsToPrimary_data();
    void handsArgumentsToPrimary();
    void assemblesAFrameSentInPieces();
    void handsTheActivationTokenOver_data();
    void handsTheActivationTokenOver();
    void givesAnOlderPrimaryTheArgumentsAlone();
    void refusesWhatCannotBeHandedOver_data();
    void refusesWhatCannotBeHandedOver();
    void dropsMalformedFrames_data();
    void dropsMalformedFrames();
    void failsWhenNoInstanceRuns();
    void capsSimultaneousConnections();
    void refusesANameOwnedByAnotherUser_data();
    void refusesANameOwnedByAnotherUser();
    void secondLaunchHandsOverToRunningInstance();
    void takesOverFromCrashedInstance();
    void simultaneousLaunchesElectOnePrimary();
    void decidesWhatALaunchIs_data();
    void decidesWhatALaunchIs();
};

void TestSingleInstance::serverNamesKeepProfilesApart_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");

    const QString longProfile(200, u'p');
    QTest::newRow("default and named") << QString() << u"work"_qs;
    QTest::newRow("case") << u"work"_qs << u"Work"_qs;
    QTest::newRow("slash and its escape") << u"a/b"_qs << u"a%2Fb"_qs;
    QTest::newRow("non-ASCII") << u"ü"_qs << u"u"_qs;
    QTest::newRow("named like a lock file") << u"work"_qs << u"work.lock"_qs;
    QTest::newRow("long, last character differs") << longProfile + u'1' << longProfile + u'2';
}

void TestSingleInstance::serverNamesKeepProfilesApart()
{
    QFETCH(QString, first);
    QFETCH(QString, second);

    const QString firstName = SingleInstance::serverName(first);
    const QString secondName = SingleInstance::serverName(second);
    QVERIFY(firstName != secondName);
    QCOMPARE(SingleInstance::serverName(first), firstName);

    const QString user = u"tidewell-"_qs + QString::number(::getuid());
    for (const QString& name : { firstName, secondName }) {
        const QFileInfo file(socketPath(name));
        QVERIFY2(file.fileName().startsWith(user), qPrintable(name));
        // No profile may reach into another folder or outgrow a socket address.
        QCOMPARE(file.absolutePath(), QFileInfo(socketPath(SingleInstance::serverName())).absolutePath());
        QVERIFY2(file.fileName().toUtf8().size() <= 64, qPrintable(name));
        // The lock beside each socket adds ".lock"; a profile must not be able to produce that name.
        QVERIFY2(!file.fileName().contains(u'.'), qPrintable(name));
    }
}

void TestSingleInstance::onlyTheFirstBecomesPrimary()
{
    const QString name = uniqueName();
    auto first = std::make_unique<SingleInstance>(name);
    QVERIFY(first->tryBecomePrimary());
    QVERIFY(first->isPrimary());
    QVERIFY(first->tryBecomePrimary()); // asking again changes nothing

    const QFileInfo socket(socketPath(name));
    QVERIFY(socket.exists());
    const auto othersMay = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther
        | QFile::ExeOther;
    QCOMPARE(socket.permissions() & othersMay, QFile::Permissions());

    SingleInstance second(name);
    QVERIFY(!second.tryBecomePrimary());
    QVERIFY(!second.isPrimary());

    // The first still owns the name: a hand-over reaches it, not the second.
    QSignalSpy firstReceived(first.get(), &SingleInstance::argumentsReceived);
    QSignalSpy secondReceived(&second, &SingleInstance::argumentsReceived);
    auto sent = sendInBackground(name, { u"hello"_qs });
    AWAIT_FUTURE(sent);
    QVERIFY(sent.get());
    QTRY_COMPARE(firstReceived.count(), 1);
    QCOMPARE(secondReceived.count(), 0);

    // Once the first has quit cleanly, the next launch takes over.
    first.reset();
    QVERIFY(!QFileInfo::exists(socketPath(name)));
    QVERIFY(second.tryBecomePrimary());
}

void TestSingleInstance::handsArgumentsToPrimary_data()
{
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("link URL") << QStringList {
        u"https://tidewell.app/link?server=https%3A%2F%2Fpush.example.com&x=1#secret=Äb&c=日本🌊"_qs
    };
    QTest::newRow("no arguments") << QStringList {};
    QTest::newRow("empty and spaced") << QStringList { QString(), u" "_qs, u"two words"_qs, QString() };
    QTest::newRow("several") << QStringList { u"--profile"_qs, u"work"_qs, u"https://a.example/#b&c"_qs };
    // With its NUL the payload is exactly at the cap, and large enough to arrive in several reads.
    QTest::newRow("payload at the cap") << QStringList { QString(SingleInstance::maxPayloadSize - 1, u'x') };
}

void TestSingleInstance::handsArgumentsToPrimary()
{
    QFETCH(QStringList, arguments);
    SingleInstance primary(uniqueName());
    QVERIFY(primary.tryBecomePrimary());
    QSignalSpy received(&primary, &SingleInstance::argumentsReceived);

    auto sent = sendInBackground(primary.name(), arguments);
    AWAIT_FUTURE(sent);
    QVERIFY(sent.get());
    QTRY_COMPARE(received.count(), 1);
    QCOMPARE(received.at(0).at(0).toStringList(), arguments);
    QCOMPARE(received.at(0).at(1).toString(), QString()); // a launch without a token
}

void TestSingleInstance::handsTheActivationTokenOver_data()
{
    QTest::addColumn<QString>("token");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expectedToken");

    const QStringList link { u"https://tidewell.app/link#secret=x"_qs };
    const QString atCap(SingleInstance::maxTokenSize, u't');
    QTest::newRow("Wayland token with a link") << u"3f2a9c0e1d7b4e5f"_qs << link << u"3f2a9c0e1d7b4e5f"_qs;
    QTest::newRow("X11 startup id, no arguments") << u"launcher-4711-host-tidewell-0_TIME123456"_qs << QStringList {}
                                                  << u"launcher-4711-host-tidewell-0_TIME123456"_qs;
    QTest::newRow("token beside empty arguments") << u"tok"_qs << QStringList { QString(), QString() } << u"tok"_qs;
    QTest::newRow("token at the cap") << atCap << link << atCap;
    // A token that cannot travel stays behind; the link must still arrive.
    QTest::newRow("token over the cap") << atCap + u't' << link << QString();
    QTest::newRow("token over the cap in non-ASCII")
        << QString(SingleInstance::maxTokenSize / 2 + 1, u'ü') << link << QString();
    QTest::newRow("token with a NUL") << u"a"_qs + QChar(0) + u"b"_qs << link << QString();
    QTest::newRow("token that would push the payload over the cap")
        << u"tok"_qs << QStringList { QString(SingleInstance::maxPayloadSize - 3, u'x') } << QString();
}

void TestSingleInstance::handsTheActivationTokenOver()
{
    QFETCH(QString, token);
    QFETCH(QStringList, arguments);
    QFETCH(QString, expectedToken);
    SingleInstance primary(uniqueName());
    QVERIFY(primary.tryBecomePrimary());
    QSignalSpy received(&primary, &SingleInstance::argumentsReceived);

    auto sent = sendInBackground(primary.name(), arguments, token);
    AWAIT_FUTURE(sent);
    QVERIFY(sent.get());
    QTRY_COMPARE(received.count(), 1);
    QCOMPARE(received.at(0).at(0).toStringList(), arguments);
    QCOMPARE(received.at(0).at(1).toString(), expectedToken);
}

// A primary started before an upgrade knows only the frame without a token, and drops the other unanswered.
void TestSingleInstance::givesAnOlderPrimaryTheArgumentsAlone()
{
    const QString name = uniqueName();
    QLocalServer older;
    QVERIFY(older.listen(name));
    QList<QByteArray> frames;
    QObject::connect(&older, &QLocalServer::newConnection, [&] {
        while (QLocalSocket* socket = older.nextPendingConnection()) {
            auto buffer = std::make_shared<QByteArray>();
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket, buffer, &frames] {
                buffer->append(socket->readAll());
                if (!buffer->startsWith(QByteArray("TWL1").left(buffer->size()))) {
                    frames.append(*buffer);
                    socket->abort();
                    return;
                }
                if (buffer->size() < 8 || buffer->size() < 8 + qFromBigEndian<quint32>(buffer->constData() + 4))
                    return;
                frames.append(*buffer);
                socket->write("\x06");
                socket->disconnectFromServer();
            });
        }
    });

    const QStringList link { u"https://tidewell.app/link#secret=x"_qs };
    auto sent = sendInBackground(name, link, u"3f2a9c0e"_qs);
    AWAIT_FUTURE(sent);
    QVERIFY(sent.get());
    QCOMPARE(frames.size(), 2);
    QVERIFY(frames.first().startsWith("TWL2"));
    QCOMPARE(frames.last(), frame(link.first().toUtf8() + '\0'));
}

void TestSingleInstance::assemblesAFrameSentInPieces()
{
    SingleInstance primary(uniqueName());
    QVERIFY(primary.tryBecomePrimary());
    QSignalSpy received(&primary, &SingleInstance::argumentsReceived);

    const QStringList arguments { u"https://tidewell.app/link#s=é&t"_qs };
    const QByteArray bytes = frame(arguments.first().toUtf8() + '\0');
    const qsizetype insideCharacter = bytes.indexOf("\xc3\xa9") + 1;
    QLocalSocket client;
    client.connectToServer(primary.name());
    QVERIFY(client.waitForConnected(handOverTimeoutMs));
    // Split inside the magic, inside the length and inside a two-byte character; the pauses let the primary read
    // each piece on its own.
    qsizetype at = 0;
    for (qsizetype end : { qsizetype(2), qsizetype(6), insideCharacter }) {
        client.write(bytes.mid(at, end - at));
        client.flush();
        at = end;
        QTest::qWait(20);
        QCOMPARE(client.state(), QLocalSocket::ConnectedState);
        QCOMPARE(received.count(), 0);
    }
    client.write(bytes.mid(at));
    QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, patienceMs);
    QCOMPARE(received.at(0).at(0).toStringList(), arguments);
    QCOMPARE(client.readAll(), QByteArray("\x06"));
}

void TestSingleInstance::refusesWhatCannotBeHandedOver_data()
{
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("NUL inside an argument") << QStringList { u"https://a.example/"_qs + QChar(0) + u"x"_qs };
    QTest::newRow("one byte over the cap") << QStringList { QString(SingleInstance::maxPayloadSize, u'x') };
    QTest::newRow("over the cap in non-ASCII") << QStringList { QString(SingleInstance::maxPayloadSize / 2, u'ü') };
}

void TestSingleInstance::refusesWhatCannotBeHandedOver()
{
    QFETCH(QStringList, arguments);
    SingleInstance primary(uniqueName());
    QVERIFY(primary.tryBecomePrimary());
    QSignalSpy received(&primary, &SingleInstance::argumentsReceived);

    auto refused = sendInBackground(primary.name(), arguments);
    AWAIT_FUTURE(refused);
    QVERIFY(!refused.get());

    // Anything the refused hand-over had delivered would arrive before this one.
    auto sent = sendInBackground(primary.name(), { u"after"_qs });
    AWAIT_FUTURE(sent);
    QVERIFY(sent.get());
    QTRY_COMPARE(received.count(), 1);
    QCOMPARE(received.at(0).at(0).toStringList(), QStringList { u"after"_qs });
}

void TestSingleInstance::dropsMalformedFrames_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("wrong magic") << QByteArray("TWL0\0\0\0\2a\0", 10);
    QTest::newRow("not ours at all") << QByteArray("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
    QTest::newRow("length one over the cap") << frame({}, quint32(SingleInstance::maxPayloadSize + 1));
    QTest::newRow("length of 4 GiB") << frame(QByteArray(100, 'x'), 0xffffffffu);
    QTest::newRow("argument without its NUL") << frame("https://a.example/");
    QTest::newRow("invalid UTF-8") << frame(QByteArray("ok\0\xff\xfe\0", 6));
    QTest::newRow("UTF-8 cut inside a character") << frame(QByteArray("caf\xc3\0", 5));
    QTest::newRow("surrogate encoded as UTF-8") << frame(QByteArray("\xed\xa0\x80\0", 4));
    QTest::newRow("bytes after the frame") << frame(QByteArray("a\0", 2)) + "extra";
    QTest::newRow("unknown version") << frame(QByteArray("a\0", 2), 2, "TWL3");
    QTest::newRow("token frame without a token") << tokenFrame({});
    QTest::newRow("token without its NUL") << tokenFrame("tok");
    QTest::newRow("token over the cap") << tokenFrame(QByteArray(SingleInstance::maxTokenSize + 1, 't') + '\0');
    QTest::newRow("token in invalid UTF-8") << tokenFrame(QByteArray("\xff\0a\0", 4));
}

void TestSingleInstance::dropsMalformedFrames()
{
    QFETCH(QByteArray, bytes);
    SingleInstance primary(uniqueName());
    QVERIFY(primary.tryBecomePrimary());
    QSignalSpy received(&primary, &SingleInstance::argumentsReceived);

    QLocalSocket client;
    client.connectToServer(primary.name());
    QVERIFY(client.waitForConnected(handOverTimeoutMs));
    client.write(bytes);
    // Dropped as soon as the fault shows (well before the primary's idle time-out), and never acknowledged.
    QTRY_COMPARE_WITH_TIMEOUT(client.state(), QLocalSocket::UnconnectedState, patienceMs);
    QCOMPARE(client.readAll(), QByteArray());

    auto sent = sendInBackground(primary.name(), { u"after"_qs });
    AWAIT_FUTURE(sent);
    QVERIFY(sent.get());
    QTRY_COMPARE(received.count(), 1);
    QCOMPARE(received.at(0).at(0).toStringList(), QStringList { u"after"_qs });
}

void TestSingleInstance::failsWhenNoInstanceRuns()
{
    QVERIFY(!SingleInstance::sendToPrimary(uniqueName(), { u"https://a.example/"_qs }, handOverTimeoutMs));
}

void TestSingleInstance::secondLaunchHandsOverToRunningInstance()
{
    SingleInstance primary(uniqueName());
    QVERIFY(primary.tryBecomePrimary());
    QSignalSpy received(&primary, &SingleInstance::argumentsReceived);

    const QStringList link { u"https://tidewell.app/link#secret=ÄÖ&server=x"_qs };
    QProcess second;
    second.start(QCoreApplication::applicationFilePath(), QStringList { actAsSecondLaunch, primary.name() } + link);
    QVERIFY(second.waitForStarted());
    // Not waitForFinished: the primary in this process has to keep answering meanwhile.
    QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, patienceMs);
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QTRY_COMPARE(received.count(), 1);
    QCOMPARE(received.at(0).at(0).toStringList(), link);
}

void TestSingleInstance::takesOverFromCrashedInstance()
{
    const QString name = uniqueName();
    QProcess crashing;
    crashing.start(QCoreApplication::applicationFilePath(), { actAsPrimary, name });
    QVERIFY(crashing.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(crashing.canReadLine(), patienceMs);
    QCOMPARE(crashing.readLine(), QByteArray("listening\n"));

    // While it runs, a new launch is not the primary and hands its link over.
    SingleInstance next(name);
    QVERIFY(!next.tryBecomePrimary());
    const QStringList link { u"https://tidewell.app/link#a&b=ü"_qs };
    QVERIFY(SingleInstance::sendToPrimary(name, link, handOverTimeoutMs));
    QTRY_VERIFY_WITH_TIMEOUT(crashing.canReadLine(), patienceMs);
    QCOMPARE(
        crashing.readLine().trimmed(), QJsonDocument(QJsonArray::fromStringList(link)).toJson(QJsonDocument::Compact));

    crashing.kill();
    QVERIFY(crashing.waitForFinished(patienceMs));
    QCOMPARE(crashing.exitStatus(), QProcess::CrashExit);
    // The killed primary could not clean up: its socket is still there, with nobody behind it.
    QVERIFY(QFileInfo::exists(socketPath(name)));
    QVERIFY(!SingleInstance::sendToPrimary(name, link, handOverTimeoutMs));

    QVERIFY(next.tryBecomePrimary());
    QSignalSpy received(&next, &SingleInstance::argumentsReceived);
    auto sent = sendInBackground(name, link);
    AWAIT_FUTURE(sent);
    QVERIFY(sent.get());
    QTRY_COMPARE(received.count(), 1);
    QCOMPARE(received.at(0).at(0).toStringList(), link);
}

void TestSingleInstance::simultaneousLaunchesElectOnePrimary()
{
    const QString name = uniqueName();
    std::vector<std::unique_ptr<QProcess>> launches;
    for (int i = 0; i < 4; ++i) {
        launches.push_back(std::make_unique<QProcess>());
        launches.back()->start(QCoreApplication::applicationFilePath(), { actAsPrimary, name });
    }
    const auto settled
        = [](const QProcess& launch) { return launch.canReadLine() || launch.state() == QProcess::NotRunning; };
    QTRY_VERIFY_WITH_TIMEOUT(
        std::all_of(launches.begin(), launches.end(), [&](auto& p) { return settled(*p); }), patienceMs);

    int primaries = 0;
    for (auto& launch : launches) {
        if (launch->state() == QProcess::NotRunning) {
            QCOMPARE(launch->exitCode(), 2); // found the primary and stood back
            continue;
        }
        QCOMPARE(launch->readLine(), QByteArray("listening\n"));
        ++primaries;
        launch->kill();
        launch->waitForFinished(patienceMs);
    }
    QCOMPARE(primaries, 1);
}

// Who holds the name when a launch decides.
enum class Holder
{
    Nobody,
    StaleSocket, // a socket file with no process behind it, as a killed instance leaves
    Primary, // a running instance that acknowledges hand-overs
    SilentPrimary, // a process that accepts connections and reads them, but never acknowledges
};
Q_DECLARE_METATYPE(Holder)
Q_DECLARE_METATYPE(SingleInstance::Launch)

// Leaves a bound Unix socket file behind with nobody listening on it.
static bool leaveStaleSocket(const QString& name)
{
    const QByteArray path = QFile::encodeName(socketPath(name));
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0)
        ::close(fd);
    return bound;
}

void TestSingleInstance::decidesWhatALaunchIs_data()
{
    QTest::addColumn<Holder>("holder");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("patience");
    QTest::addColumn<SingleInstance::Launch>("expected");

    using Launch = SingleInstance::Launch;
    const QStringList link { u"https://tidewell.app/link#secret=x"_qs };
    const QStringList oversized { QString(SingleInstance::maxPayloadSize, u'x') };
    QTest::newRow("nobody") << Holder::Nobody << link << patienceMs << Launch::BecamePrimary;
    QTest::newRow("stale socket") << Holder::StaleSocket << link << patienceMs << Launch::BecamePrimary;
    QTest::newRow("primary acknowledges") << Holder::Primary << link << patienceMs << Launch::HandedOver;
    // The only wait on a silent primary is the patience given, kept short here.
    QTest::newRow("primary never acknowledges") << Holder::SilentPrimary << link << 300 << Launch::PrimaryUnresponsive;
    QTest::newRow("oversized for a primary") << Holder::Primary << oversized << patienceMs << Launch::TooLarge;
    QTest::newRow("oversized for a silent primary")
        << Holder::SilentPrimary << oversized << patienceMs << Launch::TooLarge;
    QTest::newRow("oversized with nobody") << Holder::Nobody << oversized << patienceMs << Launch::BecamePrimary;
}

// A second process must never run beside a live primary: it hands over, or it leaves saying why.
void TestSingleInstance::decidesWhatALaunchIs()
{
    QFETCH(Holder, holder);
    QFETCH(QStringList, arguments);
    QFETCH(int, patience);
    QFETCH(SingleInstance::Launch, expected);
    const QString name = uniqueName();

    SingleInstance primary(name);
    QSignalSpy received(&primary, &SingleInstance::argumentsReceived);
    QLocalServer silent;
    switch (holder) {
    case Holder::Nobody:
        break;
    case Holder::StaleSocket:
        QVERIFY(leaveStaleSocket(name));
        break;
    case Holder::Primary:
        QVERIFY(primary.tryBecomePrimary());
        break;
    case Holder::SilentPrimary:
        QVERIFY(silent.listen(name));
        QObject::connect(&silent, &QLocalServer::newConnection, [&] {
            while (QLocalSocket* socket = silent.nextPendingConnection()) {
                QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket] { socket->readAll(); });
            }
        });
        break;
    }

    // Decided on a thread of its own, since the primaries above answer from this thread's event loop.
    auto decided = std::async(std::launch::async, [name, arguments, patience] {
        SingleInstance launch(name);
        return launch.becomePrimaryOrHandOver(arguments, std::chrono::milliseconds(patience));
    });
    AWAIT_FUTURE(decided);
    QCOMPARE(decided.get(), expected);

    if (expected == SingleInstance::Launch::HandedOver) {
        QTRY_COMPARE(received.count(), 1);
        QCOMPARE(received.at(0).at(0).toStringList(), arguments);
    }
    if (holder == Holder::Primary) {
        // Still the one primary: nothing took its name, and nothing else reached it.
        QVERIFY(primary.isPrimary());
        auto sent = sendInBackground(name, { u"after"_qs });
        AWAIT_FUTURE(sent);
        QVERIFY(sent.get());
        QTRY_COMPARE(received.count(), expected == SingleInstance::Launch::HandedOver ? 2 : 1);
        QCOMPARE(received.last().at(0).toStringList(), QStringList { u"after"_qs });
    }
    if (holder == Holder::SilentPrimary) {
        QVERIFY(silent.isListening());
        QVERIFY(QFileInfo::exists(socketPath(name)));
    }
}

// Senders that connect and never finish their frame hold their connections open; past the cap, more are closed at
// once, and the primary serves hand-overs again as soon as one goes.
void TestSingleInstance::capsSimultaneousConnections()
{
    SingleInstance primary(uniqueName());
    QVERIFY(primary.tryBecomePrimary());
    QSignalSpy received(&primary, &SingleInstance::argumentsReceived);
    std::vector<std::unique_ptr<QLocalSocket>> idle;
    for (int i = 0; i < SingleInstance::maxConnections; ++i) {
        idle.push_back(std::make_unique<QLocalSocket>());
        idle.back()->connectToServer(primary.name());
        QVERIFY(idle.back()->waitForConnected(handOverTimeoutMs));
    }
    QLocalSocket extra;
    extra.connectToServer(primary.name());
    QVERIFY(extra.waitForConnected(handOverTimeoutMs));
    QTRY_COMPARE(extra.state(), QLocalSocket::UnconnectedState);
    for (const auto& socket : idle)
        QCOMPARE(socket->state(), QLocalSocket::ConnectedState);

    idle.front()->abort();
    // The primary frees the place once it has seen the connection go, not as the launch drops it.
    QTRY_COMPARE(primary.openConnections(), SingleInstance::maxConnections - 1);
    auto sent = sendInBackground(primary.name(), { u"after"_qs });
    AWAIT_FUTURE(sent);
    QVERIFY(sent.get());
    QTRY_COMPARE(received.count(), 1);
}

void TestSingleInstance::refusesANameOwnedByAnotherUser_data()
{
    QTest::addColumn<bool>("lockFile");
    QTest::newRow("the socket's place") << false;
    QTest::newRow("the lock file") << true;
}

// Where there is no runtime folder the name lies in the shared temporary folder, where another account may have put
// a file first.
void TestSingleInstance::refusesANameOwnedByAnotherUser()
{
    QFETCH(bool, lockFile);
    if (::getuid() != 0)
        QSKIP("giving a file to another user takes root");
    const QString name = uniqueName();
    const QString path = socketPath(name) + (lockFile ? u".lock"_qs : QString());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const auto remove = qScopeGuard([&file] { file.remove(); });
    QCOMPARE(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);

    SingleInstance launch(name);
    QCOMPARE(launch.becomePrimaryOrHandOver({ u"link"_qs }, 1s), SingleInstance::Launch::OwnedByAnotherUser);
    QCOMPARE(launch.foreignPath(), path);
    QVERIFY(!launch.tryBecomePrimary());
    QVERIFY(!launch.isPrimary());
}

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() >= 3 && arguments.at(1) == actAsPrimary)
        return runAsPrimary(arguments.at(2));
    if (arguments.size() >= 3 && arguments.at(1) == actAsSecondLaunch)
        return SingleInstance::sendToPrimary(arguments.at(2), arguments.mid(3), handOverTimeoutMs) ? 0 : 1;

    // A runtime folder of its own, private like a login session's, keeps the test apart from a Tidewell the user
    // may be running.
    QTemporaryDir runtime;
    if (!runtime.isValid())
        return 3;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));

    TestSingleInstance test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_singleinstance.moc"
