// SPDX-License-Identifier: GPL-3.0-or-later
// The device secret is the one thing that lets anybody read and delete the account's messages as this device, so
// these tests follow it: it never shows up in what Tidewell writes (terminal, system log, cache, preferences), its
// fallback file stays private, it never travels to another server (redirects, untrusted TLS) and a secret or poll
// token that would break a header line never reaches one. Link URLs in plain http are taken only from this machine.

#include "account/devicelinker.h"
#include "account/linkurl.h"
#include "accountserver.h"
#include "api/apiclient.h"
#include "base/systemlog.h"
#include "cache/store.h"
#include "coro.h"
#include "devserverprocess.h"
#include "fakeserver.h"
#include "memorycredentialstore.h"
#include "net/transporterror.h"
#include "platform/singleinstance.h"
#include "platform/systemcredentialstore.h"
#include "scriptedservices.h"
#include "state/appstate.h"
#include "storeditem.h"
#include "testchild.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QDirIterator>
#include <QLocalServer>
#include <QLocalSocket>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QSslKey>
#include <QSslServer>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tidewell;
using Response = FakeServer::Response;
using Placement = CredentialStore::Placement;

namespace {

constexpr int slow = 30000; // ms; only how long to wait before giving up on a stuck program

// A secret no text could hold by chance, with characters that percent-encoding and base64 change, so that every
// encoded form below differs from the plain one.
QString distinctiveSecret()
{
    return u"tw+"_qs + QUuid::createUuid().toString(QUuid::Id128) + u"/s="_qs
        + QUuid::createUuid().toString(QUuid::Id128).left(8);
}

struct SecretForm
{
    QString name;
    QByteArray bytes;
};

// The shapes in which a secret could end up in a file or a log line: whole, in part, escaped for a URL, in base64,
// or as the UTF-16 that a QString holds.
QList<SecretForm> formsOf(const QString& secret)
{
    const QByteArray utf8 = secret.toUtf8();
    const qsizetype half = utf8.size() / 2;
    return {
        { u"as is"_qs, utf8 },
        { u"first half"_qs, utf8.left(half) },
        { u"second half"_qs, utf8.mid(half) },
        { u"percent-encoded"_qs, QUrl::toPercentEncoding(secret) },
        { u"base64"_qs, utf8.toBase64() },
        { u"base64url"_qs, utf8.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals) },
        { u"UTF-16LE"_qs, QStringEncoder(QStringEncoder::Utf16LE)(secret) },
        { u"UTF-16BE"_qs, QStringEncoder(QStringEncoder::Utf16BE)(secret) },
    };
}

// Empty when `data` holds none of `forms`; otherwise says which, for the failure message.
QString leakIn(const QString& where, const QByteArray& data, const QList<SecretForm>& forms)
{
    QStringList found;
    for (const SecretForm& form : forms) {
        if (data.contains(form.bytes))
            found.append(form.name);
    }
    return found.isEmpty() ? QString() : where + u" holds the secret ("_qs + found.join(u", "_qs) + u')';
}

// Every file under `folder`, by path relative to it, except those in `skip`.
QHash<QString, QByteArray> filesUnder(const QString& folder, const QStringList& skip = {})
{
    QHash<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (skip.contains(path))
            continue;
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            files.insert(QDir(folder).relativeFilePath(path), file.readAll());
    }
    return files;
}

QString leakInFiles(const QHash<QString, QByteArray>& files, const QList<SecretForm>& forms)
{
    for (auto it = files.begin(); it != files.end(); ++it) {
        const QString leak = leakIn(it.key(), it.value(), forms);
        if (!leak.isEmpty())
            return leak;
    }
    return {};
}

bool anyFileContains(const QHash<QString, QByteArray>& files, const QByteArray& text)
{
    return std::any_of(files.begin(), files.end(), [&text](const QByteArray& data) { return data.contains(text); });
}

int modeOf(const QString& path)
{
    struct stat info
    { };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

// Everything the process writes while one lives: the bytes on file descriptors 1 and 2 (so that writes through
// any library land here too), Qt's messages and the system log's lines. A test that fails meanwhile gets its
// captured output echoed afterwards, since the test framework's own report went into the capture as well.
class OutputCapture
{
public:
    explicit OutputCapture(const QString& folder)
        : m_outPath(folder + u"/stdout"_qs)
        , m_errPath(folder + u"/stderr"_qs)
    {
        std::fflush(stdout);
        std::fflush(stderr);
        m_savedOut = ::dup(STDOUT_FILENO);
        m_savedErr = ::dup(STDERR_FILENO);
        redirect(m_outPath, STDOUT_FILENO);
        redirect(m_errPath, STDERR_FILENO);
        s_current = this;
        m_previousHandler = qInstallMessageHandler(&OutputCapture::record);
        m_previousSink = SystemLog::setSink([this](const QString& line) { m_logLines.append(line); });
    }

    ~OutputCapture() { stop(); }

    // Restores the process's own outputs; the captures stay readable.
    void stop()
    {
        if (!s_current)
            return;
        SystemLog::setSink(std::move(m_previousSink));
        qInstallMessageHandler(m_previousHandler);
        s_current = nullptr;
        std::fflush(stdout);
        std::fflush(stderr);
        ::dup2(m_savedOut, STDOUT_FILENO);
        ::dup2(m_savedErr, STDERR_FILENO);
        ::close(m_savedOut);
        ::close(m_savedErr);
        if (QTest::currentTestFailed())
            std::fputs((out() + err()).constData(), stdout);
    }

    QByteArray out() const { return contents(m_outPath); }
    QByteArray err() const { return contents(m_errPath); }
    QByteArray messages() const { return m_messages.join(u'\n').toUtf8(); }
    QByteArray logLines() const { return m_logLines.join(u'\n').toUtf8(); }

private:
    static void redirect(const QString& path, int target)
    {
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, target);
        ::close(fd);
    }

    static QByteArray contents(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static void record(QtMsgType, const QMessageLogContext&, const QString& message)
    {
        if (s_current)
            s_current->m_messages.append(message);
    }

    static inline OutputCapture* s_current = nullptr;
    QString m_outPath;
    QString m_errPath;
    int m_savedOut = -1;
    int m_savedErr = -1;
    QtMessageHandler m_previousHandler = nullptr;
    SystemLog::Sink m_previousSink;
    QStringList m_messages;
    QStringList m_logLines;
};

// Records every request made through it, whatever its destination, so that a test can show nothing was sent.
class RecordingNetwork : public QNetworkAccessManager
{
public:
    QList<QUrl> requested;

protected:
    QNetworkReply* createRequest(Operation op, const QNetworkRequest& request, QIODevice* data) override
    {
        requested.append(request.url());
        return QNetworkAccessManager::createRequest(op, request, data);
    }
};

void addControlCharacterRows()
{
    QTest::addColumn<QString>("inserted");
    QTest::newRow("CR LF and a forged header") << u"\r\nX-Injected: 1"_qs;
    QTest::newRow("CR") << u"\r"_qs;
    QTest::newRow("LF") << u"\n"_qs;
    QTest::newRow("NUL") << QString(QChar(0));
    QTest::newRow("tab") << u"\t"_qs;
    QTest::newRow("escape") << u"\x1b"_qs;
    QTest::newRow("unit separator") << u"\x1f"_qs;
    QTest::newRow("DEL") << u"\x7f"_qs;
}

// Long enough to be a link URL's secret, with `inserted` in the middle.
const QString plainSecret = u"abcdefghijklmnopqrstuvwxyz012345"_qs;
QString secretWith(const QString& inserted)
{
    return plainSecret.left(16) + inserted + plainSecret.mid(16);
}

} // namespace

class TestSecrets : public QObject
{
    Q_OBJECT
private slots:
    void init();

    void secretStaysOutOfEverythingWritten();
    void programKeepsTheSecretOffItsOutput();
    void runningProgramShowsOthersNothing();
    void fallbackFileIsPrivateAndReplacedWhole_data();
    void fallbackFileIsPrivateAndReplacedWhole();
    void redirectToAnotherOriginIsNotFollowed_data();
    void redirectToAnotherOriginIsNotFollowed();
    void secretWithControlCharacterSendsNothing_data();
    void secretWithControlCharacterSendsNothing();
    void linkURLWithControlCharacterIsNotALink_data();
    void linkURLWithControlCharacterIsNotALink();
    void pollTokenWithControlCharacterSendsNothing_data();
    void pollTokenWithControlCharacterSendsNothing();
    void untrustedCertificateFailsBeforeAnythingIsSent();
    void plainHttpLinkOnlyToThisMachine_data();
    void plainHttpLinkOnlyToThisMachine();

private:
    // A state with in-memory credentials and cache that talks to servers through m_network.
    std::unique_ptr<AppState> makeState();
    void confirmsTheWaitingLinkDespite(AppState& state, const QUrl& refused);

    QTemporaryDir m_folder;
    RecordingNetwork m_network;
    std::unique_ptr<FakeServer> m_server;
    std::unique_ptr<Preferences> m_prefs;
    MemoryCredentialStore m_credentials;
};

void TestSecrets::init()
{
    m_server = std::make_unique<FakeServer>();
    m_network.clearConnectionCache();
    m_network.requested.clear();
    m_credentials = MemoryCredentialStore();
    m_prefs = std::make_unique<Preferences>(m_folder.filePath(QUuid::createUuid().toString(QUuid::WithoutBraces)));
}

std::unique_ptr<AppState> TestSecrets::makeState()
{
    AppState::Services services = scriptedServices(m_credentials, *m_prefs);
    services.network = &m_network;
    return std::make_unique<AppState>(false, services);
}

// ---- what Tidewell writes ----

// A device's life in one process, with the real API client, a file-backed cache and preferences: linked from a
// link URL (the first save refused, which is logged), synced and read, then refused by the server (the push token
// and a deletion, then pages with 500 and 401) so that error lines are produced, and unlinked.
void TestSecrets::secretStaysOutOfEverythingWritten()
{
    const QString secret = distinctiveSecret();
    AccountServer server(3);
    QTemporaryDir written; // what Tidewell writes, and nothing else
    QTemporaryDir captured;
    Preferences prefs(written.filePath(u"preferences.conf"_qs));
    MemoryCredentialStore credentials;
    QHash<QString, QByteArray> whileLinked;

    OutputCapture capture(captured.path());
    // Markers, so that each capture is shown to work.
    qWarning("capture check: Qt messages");
    std::fputs("capture check: standard error\n", stderr);
    std::fputs("capture check: standard output\n", stdout);
    std::fflush(stdout);

    AppState::Services services;
    services.network = &m_network;
    services.credentials = &credentials;
    services.preferences = &prefs;
    services.openCache = [path = written.filePath(u"cache.sqlite"_qs)](bool) { return Store::open(path); };
    auto state = std::make_unique<AppState>(false, services);

    const QUrl link(server.url().toString() + u"/link#s="_qs + QString::fromLatin1(QUrl::toPercentEncoding(secret)));
    credentials.failAdds(Placement::Primary, 5);
    credentials.failAdds(Placement::Fallback, 13);
    state->handleIncomingURL(link);
    QCOMPARE(state->pendingLink(), (DeviceConfig { server.url(), secret }));
    state->confirmPendingLink();
    QTRY_COMPARE(state->lastSyncError(),
        std::optional<QString>(u"Couldn't save the device credential to the keyring \u2014 try linking again."_qs));

    credentials.failAdds(Placement::Primary, 0);
    credentials.failAdds(Placement::Fallback, 0);
    state->handleIncomingURL(link);
    state->confirmPendingLink();
    QTRY_VERIFY(state->lastSyncDate().has_value() && !state->isSyncing());
    QCOMPARE(state->lastSyncError(), std::nullopt);
    QCOMPARE(state->cache().fetchMessages().size(), 3);
    await(state->markRead());
    QCOMPARE(state->lastReadId(), 3);

    // From here on the server refuses: the push token and the deletion are unknown to it, and pages fail.
    await(state->uploadPushToken(QByteArray::fromHex("0a1b2c3d")));
    QVERIFY(!state->pushRegistered());
    await(state->deleteMessage(state->cache().fetchMessages().first()));
    QCOMPARE(state->lastSyncError(),
        std::optional<QString>(
            u"Delete didn't reach the server \u2014 the message is still on your other devices."_qs));
    int failWith = 500;
    server.setPageHook([&failWith](int, qint64, qint64) { return Response::json(R"({"error":"no"})", failWith); });
    await(state->sync());
    QCOMPARE(state->lastSyncError(), std::optional<QString>(u"Server returned HTTP 500"_qs));
    failWith = 401;
    await(state->sync());
    QCOMPARE(state->lastSyncError(), std::optional<QString>(u"Server returned HTTP 401"_qs));
    prefs.file().sync();
    whileLinked = filesUnder(written.path()); // the cache and its -wal and -shm, while they hold the messages

    await(state->unlink());
    QVERIFY(!state->isConfigured());
    state.reset();
    prefs.file().sync();
    capture.stop();

    // The secret really was in use: every call carried it.
    QVERIFY(!server.http().requests().isEmpty());
    for (const FakeServer::Request& request : server.http().requests())
        QCOMPARE(request.header("Authorization"), "Bearer " + secret.toUtf8());

    // Each capture holds what it should, so an empty one cannot pass for a clean one.
    QVERIFY2(capture.out().contains("capture check: standard output"), capture.out().constData());
    // A failure is logged, never printed to standard output.
    QVERIFY2(capture.messages().contains("push-token upload failed: Server returned HTTP 404"),
        capture.messages().constData());
    QVERIFY2(capture.err().contains("capture check: standard error"), capture.err().constData());
    QVERIFY2(capture.messages().contains("capture check: Qt messages"), capture.messages().constData());
    QVERIFY2(capture.logLines().contains("DeviceConfig.save keychain write failed: OSStatus 13"),
        capture.logLines().constData());
    QVERIFY(whileLinked.contains(u"cache.sqlite"_qs));
    QVERIFY(anyFileContains(whileLinked, AccountServer::message(3).message.toUtf8()));
    const QHash<QString, QByteArray> afterwards = filesUnder(written.path());
    QVERIFY(anyFileContains(afterwards, "pushRegistered"));

    const QList<SecretForm> forms = formsOf(secret);
    for (const QString& leak : { leakIn(u"standard output"_qs, capture.out(), forms),
             leakIn(u"standard error"_qs, capture.err(), forms), leakIn(u"Qt messages"_qs, capture.messages(), forms),
             leakIn(u"the system log"_qs, capture.logLines(), forms), leakInFiles(whileLinked, forms),
             leakInFiles(afterwards, forms) })
        QVERIFY2(leak.isEmpty(), qPrintable(leak));
}

// The program itself, linked to the demo server, syncing on its own and handed a link URL by a second launch:
// what either process prints and the files they leave never hold the secret. The server is stopped while it runs,
// so that its failures are logged too.
void TestSecrets::programKeepsTheSecretOffItsOutput()
{
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    if (!bus || !bus->isServiceRegistered(u"org.freedesktop.secrets"_qs).value()) {
        if (qEnvironmentVariableIsSet("TIDEWELL_REQUIRE_SECRET_SERVICE"))
            QFAIL("no Secret Service on the session bus");
        QSKIP("no Secret Service on the session bus; scripts/test provides one");
    }
    DevServerProcess server(QStringLiteral(TIDEWELL_DEVSERVER));
    const QString problem = server.start({ u"--messages"_qs, u"5"_qs });
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    const QString url = server.url.toString();
    const QString secret = server.link.section(u"#s="_qs, 1);
    QVERIFY(LinkURL::parse(QUrl(server.link)));

    // A message of our own, so that its arrival can be seen in the list and in the cache.
    const QByteArray posted = "Disk check on nas-01 passed";
    QNetworkRequest request(QUrl(url + u"/demo/messages"_qs));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/json"));
    QNetworkReply* reply = m_network.post(request, R"({"message":")" + posted + R"("})");
    QSignalSpy postDone(reply, &QNetworkReply::finished);
    QVERIFY(reply->isFinished() || postDone.wait(slow));
    QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 201);
    reply->deleteLater();

    // A home of its own and a profile of its own, so that nothing of a real link is touched.
    QTemporaryDir home;
    const QString profile = u"secrets-"_qs + QUuid::createUuid().toString(QUuid::Id128);
    const QString configFolder = home.filePath(u"config/Tidewell-"_qs + profile);
    SystemCredentialStore credentials(configFolder, profile);
    const auto forget = qScopeGuard([&credentials] { QCoro::waitFor(DeviceConfig::clear(credentials)); });
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"HOME"_qs, home.path());
    environment.insert(u"XDG_CONFIG_HOME"_qs, home.filePath(u"config"_qs));
    environment.insert(u"XDG_DATA_HOME"_qs, home.filePath(u"data"_qs));
    environment.insert(u"XDG_CACHE_HOME"_qs, home.filePath(u"cache"_qs));
    environment.insert(u"XDG_STATE_HOME"_qs, home.filePath(u"state"_qs));
    environment.insert(u"TIDEWELL_PROFILE"_qs, profile);
    environment.insert(u"TIDEWELL_DEFAULT_URL"_qs, url);

    // Linked before it starts: the credential is in the secret store under the program's profile.
    QVERIFY((QCoro::waitFor(DeviceConfig { server.url, secret }.save(credentials))));
    environment.insert(u"QT_QPA_PLATFORM"_qs, u"offscreen"_qs);
    QProcess program;
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::MergedChannels); // standard output and standard error alike
    startsAsTestChild(program);
    program.start(QStringLiteral(TIDEWELL_APP), {});
    const auto stopProgram = qScopeGuard([&program] {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(5000);
        }
    });
    QVERIFY2(program.waitForStarted(slow), qPrintable(program.errorString()));

    // The window's start syncs; the posted message then reaches the cache file.
    QHash<QString, QByteArray> whileLinked;
    QDeadlineTimer synced(slow * 4);
    while (!synced.hasExpired() && !anyFileContains(whileLinked = filesUnder(home.path()), posted))
        QTest::qWait(100);
    QVERIFY2(anyFileContains(whileLinked, posted), program.readAll().constData());

    // A second launch hands the link URL (and so the secret) to the running program and leaves.
    QProcess second;
    second.setProcessEnvironment(environment);
    second.setProcessChannelMode(QProcess::MergedChannels);
    startsAsTestChild(second);
    second.start(QStringLiteral(TIDEWELL_APP), { server.link });
    QVERIFY(second.waitForFinished(slow));
    QCOMPARE(second.exitCode(), 0);
    const QByteArray secondOutput = second.readAll();

    server.stop();
    QTest::qWait(200);
    // The session ends the program as it would at logout; it closes the cache and leaves normally.
    program.terminate();
    QVERIFY(program.waitForFinished(slow));
    const QByteArray output = program.readAll() + secondOutput;
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);

    // The fallback file is where a secret belongs when no secret store takes it; with one, it is not even made.
    const QString fallback = credentials.fallbackPath(DeviceConfig::service, DeviceConfig::account);
    QVERIFY(!whileLinked.contains(QDir(home.path()).relativeFilePath(fallback)));

    const QList<SecretForm> forms = formsOf(secret);
    for (const QString& leak : { leakIn(u"the programs' output"_qs, output, forms), leakInFiles(whileLinked, forms),
             leakInFiles(filesUnder(home.path()), forms) })
        QVERIFY2(leak.isEmpty(), qPrintable(leak + u"\n"_qs + QString::fromUtf8(output)));
}

// What every account on the machine reads of a running process's command line (ps, top): its arguments, each
// ended by a NUL. Empty once the process has gone.
QByteArray commandLineOf(qint64 pid)
{
    QFile file(u"/proc/%1/cmdline"_qs.arg(pid));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The program started with a link URL, and a second launch with one, each seen as another account sees it while it
// runs. On the command line the link's bytes are blanked from the start, Qt's own option beside it still works (the
// program has no display but the one that option names), and the second launch still hands the whole link over.
// The folders and files the program made under a permissive umask are its user's alone.
void TestSecrets::runningProgramShowsOthersNothing()
{
    if (!QFileInfo(u"/proc/self/cmdline"_qs).isReadable())
        QSKIP("no /proc on this system");
    const QString secret = distinctiveSecret();
    const QString link
        = m_server->url().toString() + u"/link#s="_qs + QString::fromLatin1(QUrl::toPercentEncoding(secret));
    QVERIFY(LinkURL::parse(QUrl(link)));
    const QStringList arguments { u"-platform"_qs, u"offscreen"_qs, link };
    // The command line the kernel shows once the link is blanked: the program, Qt's option, and NULs.
    QByteArray blanked = QByteArrayLiteral(TIDEWELL_APP) + '\0' + "-platform" + '\0' + "offscreen" + '\0';
    blanked += QByteArray(link.toUtf8().size(), '\0') + '\0';

    QTemporaryDir home;
    const QString profile = u"cmdline-"_qs + QUuid::createUuid().toString(QUuid::Id128);
    const QString instanceName = SingleInstance::serverName(profile);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : { "HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME" })
        environment.insert(QString::fromLatin1(name), home.filePath(QString::fromLatin1(name)));
    environment.insert(u"TIDEWELL_PROFILE"_qs, profile);
    // No display but the one the option names, and nothing for a hand-over to carry but the arguments.
    for (const char* name :
        { "QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID" })
        environment.remove(QString::fromLatin1(name));
    const mode_t previousMask = ::umask(022);
    const auto restoreMask = qScopeGuard([previousMask] { ::umask(previousMask); });
    const auto stop = [](QProcess& process) {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    };
    // What each one prints, kept in a file so that reading it for a failure message takes nothing away.
    const auto outputOf = [&home](const QString& name) {
        QFile file(home.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };

    QProcess first;
    first.setProcessEnvironment(environment);
    first.setProcessChannelMode(QProcess::MergedChannels);
    first.setStandardOutputFile(home.filePath(u"first.out"_qs));
    startsAsTestChild(first);
    first.start(QStringLiteral(TIDEWELL_APP), arguments);
    const auto stopFirst = qScopeGuard([&] { stop(first); });
    QVERIFY2(first.waitForStarted(slow), qPrintable(first.errorString()));
    // Listening for later launches comes after the arguments were taken, and after the application object was
    // made from the option.
    QTRY_VERIFY2_WITH_TIMEOUT(
        first.state() == QProcess::Running &&
            [&instanceName] {
                QLocalSocket probe;
                probe.connectToServer(instanceName);
                return probe.waitForConnected(1000);
            }(),
        outputOf(u"first.out"_qs).constData(), slow);
    QCOMPARE(commandLineOf(first.processId()), blanked);
    QCOMPARE(first.state(), QProcess::Running);

    const QString config = home.filePath(u"XDG_CONFIG_HOME/Tidewell-"_qs + profile);
    const QString data = home.filePath(u"XDG_DATA_HOME/Tidewell-"_qs + profile);
    const QString cache = data + u"/cache.sqlite"_qs;
    // The cache's log is there once the cache is open, which comes after the folders and the preferences.
    QTRY_VERIFY2_WITH_TIMEOUT(QFileInfo::exists(cache + u"-wal"_qs), outputOf(u"first.out"_qs).constData(), slow);
    QCOMPARE(modeOf(config), 0700);
    QCOMPARE(modeOf(data), 0700);
    for (const QString& file : { config + u"/preferences.conf"_qs, cache, cache + u"-wal"_qs, cache + u"-shm"_qs })
        QVERIFY2(modeOf(file) == 0600, qPrintable(file + u": "_qs + QString::number(modeOf(file), 8)));
    first.terminate();
    QVERIFY(first.waitForFinished(slow));

    // The second launch meets a stand-in for the running program that takes the link and holds the answer back,
    // so the launch is still waiting, past the taking of its arguments, when its command line is read.
    QLocalServer primary;
    QLocalServer::removeServer(instanceName);
    QVERIFY2(primary.listen(instanceName), qPrintable(primary.errorString()));
    QList<QLocalSocket*> connections;
    connect(&primary, &QLocalServer::newConnection, this, [&primary, &connections] {
        while (QLocalSocket* connection = primary.nextPendingConnection())
            connections.append(connection);
    });
    QHash<QLocalSocket*, QByteArray> received;
    QLocalSocket* sender = nullptr;
    const auto frameArrived = [&] {
        for (QLocalSocket* connection : std::as_const(connections)) {
            QByteArray& frame = received[connection];
            frame += connection->readAll();
            if (frame.size() >= 8 && frame.size() >= 8 + qsizetype(qFromBigEndian<quint32>(frame.constData() + 4)))
                sender = connection;
        }
        return sender != nullptr;
    };

    QProcess second;
    second.setProcessEnvironment(environment);
    second.setProcessChannelMode(QProcess::MergedChannels);
    second.setStandardOutputFile(home.filePath(u"second.out"_qs));
    startsAsTestChild(second);
    second.start(QStringLiteral(TIDEWELL_APP), arguments);
    const auto stopSecond = qScopeGuard([&] { stop(second); });
    QVERIFY2(second.waitForStarted(slow), qPrintable(second.errorString()));
    QTRY_VERIFY2_WITH_TIMEOUT(frameArrived(), outputOf(u"second.out"_qs).constData(), slow);
    QCOMPARE(commandLineOf(second.processId()), blanked);
    QCOMPARE(second.state(), QProcess::Running);
    QCOMPARE(received.value(sender).mid(8), link.toUtf8() + '\0');

    // Waiting for the launch to leave runs no event loop, so the answer goes out now.
    sender->write("\x06");
    QVERIFY(sender->flush());
    QVERIFY(second.waitForFinished(slow));
    const QByteArray output = outputOf(u"first.out"_qs) + outputOf(u"second.out"_qs);
    QCOMPARE(second.exitCode(), 0);
    const QString leak = leakIn(u"the programs' output"_qs, output, formsOf(secret));
    QVERIFY2(leak.isEmpty(), qPrintable(leak));
}

// ---- the fallback file ----

void TestSecrets::fallbackFileIsPrivateAndReplacedWhole_data()
{
    QTest::addColumn<int>("umask");
    QTest::addColumn<int>("oldMode"); // of a file already there; 0: none
    QTest::newRow("umask 077") << 077 << 0;
    QTest::newRow("umask 022") << 022 << 0;
    QTest::newRow("umask 000") << 0 << 0;
    QTest::newRow("world-readable file from before") << 0 << 0666;
}

void TestSecrets::fallbackFileIsPrivateAndReplacedWhole()
{
    QFETCH(int, umask);
    QFETCH(int, oldMode);
    const mode_t previousMask = ::umask(mode_t(umask));
    const auto restoreMask = qScopeGuard([previousMask] { ::umask(previousMask); });
    QTemporaryDir folder;
    const QString config = folder.path() + u"/config"_qs;
    // No secret store on the bus, as far as this store knows: the file is where the secret goes.
    SystemCredentialStore store(config, {}, [] { return false; });
    const QString path = store.fallbackPath(DeviceConfig::service, DeviceConfig::account);
    if (oldMode != 0) {
        QVERIFY(QDir().mkpath(config));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(oldMode)), 0);
    }

    QCOMPARE(addItem(store, Placement::Fallback, "first"), 0);
    QCOMPARE(modeOf(path), 0600);
    QCOMPARE(modeOf(config), 0700);
    QCOMPARE(storedItem(store, Placement::Fallback), QByteArray("first"));

    // A reader that opened the file before a replacement still reads the old content: the new content comes as a
    // new file renamed over the old one, never written into it, so no reader ever sees a mix.
    QFile reader(path);
    QVERIFY(reader.open(QIODevice::ReadOnly));
    QCOMPARE(addItem(store, Placement::Fallback, "second"), 0);
    QCOMPARE(reader.readAll(), QByteArray("first"));
    QCOMPARE(storedItem(store, Placement::Fallback), QByteArray("second"));
    QCOMPARE(modeOf(path), 0600);
    QCOMPARE(QDir(config).entryList(QDir::Files | QDir::Hidden).size(), 1); // no temporary file left

    removeItem(store, Placement::Fallback);
    QVERIFY(!QFileInfo::exists(path));
    QCOMPARE(storedItem(store, Placement::Fallback), std::nullopt);
}

// ---- where the secret is sent ----

void TestSecrets::redirectToAnotherOriginIsNotFollowed_data()
{
    QTest::addColumn<int>("status");
    for (int status : { 301, 302, 303, 307, 308 })
        QTest::addRow("%d", status) << status;
}

void TestSecrets::redirectToAnotherOriginIsNotFollowed()
{
    QFETCH(int, status);
    FakeServer elsewhere;
    elsewhere.setHandler([](const FakeServer::Request&) { return Response::json("[]"); });
    // Answered by path rather than from a queue: Qt may send an idempotent request again on a fresh connection.
    m_server->setHandler([&elsewhere, status](const FakeServer::Request& request) {
        Response redirect = Response::empty(status);
        if (request.target == "/away/api/apps")
            redirect.headers.append(qMakePair(QByteArray("Location"), elsewhere.url().toEncoded() + "/api/apps"));
        else if (request.target == "/here/api/apps")
            redirect.headers.append(qMakePair(QByteArray("Location"), QByteArray("/v2/api/apps")));
        else
            return Response::json("[]");
        return redirect;
    });

    APIClient away(DeviceConfig { QUrl(m_server->url().toString() + u"/away"_qs), u"s3cret"_qs }, &m_network);
    QCOMPARE(awaitError<TransportError>(away.apps()).code(), QNetworkReply::InsecureRedirectError);
    QCOMPARE(m_server->requests().last().target, QByteArray("/away/api/apps"));
    QVERIFY(elsewhere.requests().isEmpty());

    // Within the same origin the same redirect is followed, with the credential.
    APIClient here(DeviceConfig { QUrl(m_server->url().toString() + u"/here"_qs), u"s3cret"_qs }, &m_network);
    await(here.apps());
    QCOMPARE(m_server->requests().last().target, QByteArray("/v2/api/apps"));
    QCOMPARE(m_server->requests().last().header("Authorization"), QByteArray("Bearer s3cret"));
}

void TestSecrets::secretWithControlCharacterSendsNothing_data()
{
    addControlCharacterRows();
}

void TestSecrets::secretWithControlCharacterSendsNothing()
{
    QFETCH(QString, inserted);
    m_server->setHandler([](const FakeServer::Request&) { return Response::json("[]"); });
    APIClient api(DeviceConfig { m_server->url(), secretWith(inserted) }, &m_network);
    QCOMPARE(awaitError<APIClient::APIError>(api.apps()).kind(), APIClient::APIError::Kind::BadCredential);
    QCOMPARE(awaitError<APIClient::APIError>(api.markRead(7)).kind(), APIClient::APIError::Kind::BadCredential);
    QVERIFY(m_server->requests().isEmpty());

    // Without the character the same calls go out.
    APIClient clean(DeviceConfig { m_server->url(), plainSecret }, &m_network);
    await(clean.apps());
    QCOMPARE(m_server->requests().size(), 1);
}

void TestSecrets::linkURLWithControlCharacterIsNotALink_data()
{
    addControlCharacterRows();
}

void TestSecrets::linkURLWithControlCharacterIsNotALink()
{
    QFETCH(QString, inserted);
    const QString prefix = m_server->url().toString() + u"/link#s="_qs;
    const QUrl tainted(prefix + QString::fromLatin1(QUrl::toPercentEncoding(secretWith(inserted))));
    QCOMPARE(
        LinkURL::parse(QUrl(prefix + plainSecret)), (std::optional<DeviceConfig>({ m_server->url(), plainSecret })));
    QCOMPARE(LinkURL::parse(tainted), std::nullopt);

    auto state = makeState();
    state->handleIncomingURL(tainted);
    QCOMPARE(state->pendingLink(), std::nullopt);
    QVERIFY(m_network.requested.isEmpty());
    confirmsTheWaitingLinkDespite(*state, tainted);
}

void TestSecrets::pollTokenWithControlCharacterSendsNothing_data()
{
    addControlCharacterRows();
}

void TestSecrets::pollTokenWithControlCharacterSendsNothing()
{
    QFETCH(QString, inserted);
    m_server->setHandler([](const FakeServer::Request&) { return Response::json(R"({"status":"pending"})"); });
    DeviceLinker linker(m_server->url(), &m_network);
    const auto failure = awaitError<DeviceLinker::LinkError>(linker.poll(u"pt-"_qs + inserted + u"1"_qs));
    QCOMPARE(failure.kind(), DeviceLinker::LinkError::Kind::BadResponse);
    QVERIFY(m_server->requests().isEmpty());

    // Without the character the same poll goes out.
    await(linker.poll(u"pt-1"_qs));
    QCOMPARE(m_server->requests().size(), 1);
}

// A server whose certificate nobody vouches for gets a TLS handshake and nothing more: the request, and the
// secret in it, is never written to the connection.
void TestSecrets::untrustedCertificateFailsBeforeAnythingIsSent()
{
    if (!QSslSocket::supportsSsl())
        QFAIL(qPrintable(u"Qt has no working TLS backend (active: "_qs + QSslSocket::activeBackend() + u')'));
    const QString openssl = QStandardPaths::findExecutable(u"openssl"_qs);
    if (openssl.isEmpty())
        QSKIP("openssl is not installed (scripts/install-deps installs it)");

    // A throw-away self-signed certificate that names 127.0.0.1, so that the only fault is that nobody trusts it.
    QTemporaryDir folder;
    QProcess generate;
    generate.setProcessChannelMode(QProcess::MergedChannels);
    generate.start(openssl,
        { u"req"_qs, u"-x509"_qs, u"-newkey"_qs, u"rsa:2048"_qs, u"-nodes"_qs, u"-subj"_qs, u"/CN=127.0.0.1"_qs,
            u"-addext"_qs, u"subjectAltName=IP:127.0.0.1"_qs, u"-days"_qs, u"1"_qs, u"-keyout"_qs,
            folder.filePath(u"key.pem"_qs), u"-out"_qs, folder.filePath(u"cert.pem"_qs) });
    QVERIFY(generate.waitForFinished(slow));
    QVERIFY2(generate.exitCode() == 0, generate.readAll().constData());
    QFile keyFile(folder.filePath(u"key.pem"_qs));
    QVERIFY(keyFile.open(QIODevice::ReadOnly));
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(QSslCertificate::fromPath(folder.filePath(u"cert.pem"_qs)).value(0));
    tls.setPrivateKey(QSslKey(keyFile.readAll(), QSsl::Rsa));
    QVERIFY(!tls.localCertificate().isNull());
    QVERIFY(!tls.privateKey().isNull());

    int handshakes = 0;
    bool encrypted = false;
    QByteArray readable; // what the server could read of the request
    QSslServer server;
    server.setSslConfiguration(tls);
    connect(&server, &QSslServer::startedEncryptionHandshake, &server, [&](QSslSocket* socket) {
        ++handshakes;
        connect(socket, &QSslSocket::encrypted, &server, [&encrypted] { encrypted = true; });
        connect(socket, &QIODevice::readyRead, &server, [&readable, socket] { readable += socket->readAll(); });
    });
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));

    const QString secret = distinctiveSecret();
    APIClient api(DeviceConfig { QUrl(u"https://127.0.0.1:%1"_qs.arg(server.serverPort())), secret }, &m_network);
    const auto failure = awaitError<TransportError>(api.apps());
    QCOMPARE(failure.code(), QNetworkReply::SslHandshakeFailedError);
    QVERIFY2(failure.description().contains(u"certificate"_qs, Qt::CaseInsensitive), qPrintable(failure.description()));
    QVERIFY2(!failure.description().contains(u'\n'), qPrintable(failure.description()));

    QVERIFY(handshakes >= 1); // the client did reach the server
    QVERIFY(!encrypted);
    QVERIFY(readable.isEmpty());
    QVERIFY(!server.hasPendingConnections());
}

// ---- link URLs ----

void TestSecrets::plainHttpLinkOnlyToThisMachine_data()
{
    QTest::addColumn<QString>("link"); // %1: the fake server's port
    QTest::addColumn<QString>("server"); // of the pending link; empty: not a link

    QTest::newRow("http to a public name") << u"http://push.example.com/link"_qs << QString();
    QTest::newRow("http to a private address") << u"http://10.0.0.1/link"_qs << QString();
    QTest::newRow("http to a name starting with localhost") << u"http://localhost.example.com:%1/link"_qs << QString();
    QTest::newRow("http to a name starting with 127.0.0.1") << u"http://127.0.0.1.example.com:%1/link"_qs << QString();
    QTest::newRow("http to 127.0.0.1 as user name") << u"http://127.0.0.1@push.example.com/link"_qs << QString();
    QTest::newRow("http to another loopback address") << u"http://127.0.0.2:%1/link"_qs << QString();
    QTest::newRow("http to the IPv6 loopback") << u"http://[::1]:%1/link"_qs << QString();

    QTest::newRow("http to 127.0.0.1") << u"http://127.0.0.1:%1/link"_qs << u"http://127.0.0.1:%1"_qs;
    QTest::newRow("http to localhost") << u"http://localhost:%1/link"_qs << u"http://localhost:%1"_qs;
    // The address parser reads any spelling of an IPv4 address as dotted decimal: this one is 127.0.0.1.
    QTest::newRow("http to 127.0.0.1 as one number") << u"http://2130706433:%1/link"_qs << u"http://127.0.0.1:%1"_qs;
    QTest::newRow("https to a public name") << u"https://push.example.com/link"_qs << u"https://push.example.com"_qs;
}

// Whatever comes in as a link URL: one that is refused leaves nothing pending, stores nothing and sends nothing
// anywhere, even when confirmed; one that is taken waits for confirmation and sends nothing before it.
void TestSecrets::plainHttpLinkOnlyToThisMachine()
{
    QFETCH(QString, link);
    QFETCH(QString, server);
    const QString port = QString::number(m_server->port());
    const QUrl url(link.replace(u"%1"_qs, port) + u"#s="_qs + plainSecret);
    auto state = makeState();
    QSignalSpy pending(state.get(), &AppState::pendingLinkChanged);

    state->handleIncomingURL(url);
    if (server.isEmpty()) {
        QCOMPARE(state->pendingLink(), std::nullopt);
        QCOMPARE(pending.size(), 0);
    } else {
        QCOMPARE(state->pendingLink(), (DeviceConfig { QUrl(server.replace(u"%1"_qs, port)), plainSecret }));
    }
    QVERIFY(m_credentials.items(Placement::Primary).isEmpty());
    QVERIFY(m_credentials.items(Placement::Fallback).isEmpty());
    QVERIFY(m_network.requested.isEmpty());
    QVERIFY(m_server->requests().isEmpty());
    if (server.isEmpty())
        confirmsTheWaitingLinkDespite(*state, url);
}

// Confirming after a refused link installs the link that was waiting before it, and only that one: the refused
// link neither replaced nor cleared it, and nothing of it is stored or sent.
void TestSecrets::confirmsTheWaitingLinkDespite(AppState& state, const QUrl& refused)
{
    const DeviceConfig waiting { m_server->url(), u"waiting-link-secret-0123456789ab"_qs };
    state.setPendingLink(waiting);
    state.handleIncomingURL(refused);
    QCOMPARE(state.pendingLink(), waiting);

    state.confirmPendingLink();
    QCOMPARE(state.pendingLink(), std::nullopt);
    QTRY_VERIFY(state.isConfigured());
    QCOMPARE(state.config(), waiting);
    QCOMPARE(QCoro::waitFor(DeviceConfig::load(m_credentials)), waiting);
    QTRY_VERIFY(!state.isSyncing());
    QVERIFY(!m_network.requested.isEmpty());
    for (const QUrl& sent : std::as_const(m_network.requested))
        QCOMPARE(sent.authority(), m_server->url().authority());
    for (const FakeServer::Request& request : m_server->requests())
        QCOMPARE(request.header("Authorization"), "Bearer " + waiting.deviceSecret.toUtf8());
}

QTEST_GUILESS_MAIN(TestSecrets)
#include "test_secrets.moc"
