// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/singleinstance.h"

#include "base/logging.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QtEndian>

#include <limits>
#include <memory>
#include <optional>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tidewell {

namespace {

// A hand-over is one frame per connection: the magic, the payload length (32-bit big-endian) and the payload,
// which is every argument in UTF-8 followed by a NUL. The primary answers with one acknowledgement byte once it
// has decoded the frame, so the sender knows the link reached a live process before it exits. The magic's last
// byte is the frame's version: a token frame's payload starts with the activation token, terminated like an
// argument. Tokenless launches keep sending the first version, which every primary understands.
constexpr char magicStem[] = { 'T', 'W', 'L' };
constexpr char plainVersion = '1';
constexpr char tokenVersion = '2';
constexpr qsizetype magicSize = sizeof magicStem + 1;
constexpr qsizetype headerSize = magicSize + sizeof(quint32);
constexpr char acknowledgement = '\x06';

// Far longer than any real hand-over takes, short enough that a client that never finishes its frame does not
// hold a descriptor for the rest of the session.
constexpr int idleTimeoutMs = 30000;
constexpr int probeTimeoutMs = 1000;
constexpr int lockTimeoutMs = 3000;
constexpr int retryPauseMs = 100;
// Profiles longer than this are hashed: a Unix socket path has room for about 107 bytes.
constexpr qsizetype maxEncodedProfile = 40;

bool peerIsSameUser(qintptr descriptor)
{
#ifdef SO_PEERCRED
    struct ucred credentials
    { };
    socklen_t size = sizeof credentials;
    if (::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
        return false;
    return credentials.uid == ::getuid();
#else
    Q_UNUSED(descriptor);
    return true;
#endif
}

QString socketPath(const QString& name)
{
    return QDir::isAbsolutePath(name) ? name : QDir::tempPath() + u'/' + name;
}

QString lockPath(const QString& name)
{
    return socketPath(name) + u".lock"_qs;
}

// Whether `path` exists and belongs to another account. Such a file in the shared temporary folder is either a
// mistake or a trap, and neither is ours to replace or to hand a link to.
bool ownedByAnotherUser(const QString& path)
{
    struct stat status
    { };
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && status.st_uid != ::getuid();
}

int remaining(const QDeadlineTimer& deadline)
{
    const qint64 left = deadline.remainingTime();
    return left < 0 ? -1 : int(qMin<qint64>(left, std::numeric_limits<int>::max()));
}

std::optional<QByteArray> encodeArguments(const QStringList& arguments)
{
    QByteArray payload;
    for (const QString& argument : arguments) {
        if (argument.contains(QChar(0)))
            return std::nullopt;
        payload += argument.toUtf8();
        payload += '\0';
    }
    if (payload.size() > SingleInstance::maxPayloadSize)
        return std::nullopt;
    return payload;
}

std::optional<QStringList> decodeArguments(QByteArrayView payload)
{
    QStringList arguments;
    qsizetype start = 0;
    while (start < payload.size()) {
        const qsizetype end = payload.indexOf('\0', start);
        if (end < 0)
            return std::nullopt;
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString argument = decoder(payload.sliced(start, end - start));
        if (decoder.hasError())
            return std::nullopt;
        arguments.append(std::move(argument));
        start = end + 1;
    }
    return arguments;
}

// Whether something answers on the name. A refused connection or a missing file means no instance runs; any
// other failure (a busy or hung primary, a socket we may not open) is taken as a live one, since replacing the
// socket of a running instance would orphan it.
bool instanceAnswers(const QString& name)
{
    QLocalSocket probe;
    probe.connectToServer(name);
    if (probe.waitForConnected(probeTimeoutMs)) {
        probe.abort();
        return true;
    }
    switch (probe.error()) {
    case QLocalSocket::ServerNotFoundError:
    case QLocalSocket::ConnectionRefusedError:
        return false;
    default:
        return true;
    }
}

QByteArray frameOf(char version, const QByteArray& payload)
{
    QByteArray frame(magicStem, sizeof magicStem);
    frame += version;
    frame.resize(headerSize);
    qToBigEndian<quint32>(quint32(payload.size()), frame.data() + magicSize);
    return frame + payload;
}

// The token ahead of the encoded arguments, or nothing when it cannot travel: it is then left behind rather than
// costing the hand-over.
std::optional<QByteArray> tokenPayload(const QString& token, const QByteArray& arguments)
{
    if (token.isEmpty() || token.contains(QChar(0)))
        return std::nullopt;
    const QByteArray encoded = token.toUtf8();
    if (encoded.size() > SingleInstance::maxTokenSize
        || encoded.size() + 1 + arguments.size() > SingleInstance::maxPayloadSize)
        return std::nullopt;
    return encoded + '\0' + arguments;
}

enum class Delivery
{
    Acknowledged,
    Dropped, // the primary closed the connection unanswered, as one does with a frame it does not understand
    Failed,
};

Delivery deliver(const QString& name, const QByteArray& frame, const QDeadlineTimer& deadline)
{
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(remaining(deadline)))
        return Delivery::Failed;
    // A link URL carries the device secret: never hand it to a socket another account put in place.
    if (!peerIsSameUser(socket.socketDescriptor()))
        return Delivery::Failed;

    const auto unanswered
        = [&socket] { return socket.error() == QLocalSocket::PeerClosedError ? Delivery::Dropped : Delivery::Failed; };
    socket.write(frame);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(remaining(deadline)))
            return unanswered();
    }
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(remaining(deadline)))
            return unanswered();
    }
    char answer = 0;
    return socket.getChar(&answer) && answer == acknowledgement ? Delivery::Acknowledged : Delivery::Failed;
}

} // namespace

QString SingleInstance::serverName(const QString& profile)
{
    QString base = u"tidewell-"_qs + QString::number(::getuid());
    if (!profile.isEmpty()) {
        // Percent-encoding keeps distinct profiles distinct and keeps '/' out of the path. It escapes '.' as well,
        // so that no profile's socket can be named like another profile's lock file. A hashed name starts with '#',
        // which the encoding never leaves bare, so the two forms cannot meet.
        QByteArray encoded = QUrl::toPercentEncoding(profile, {}, ".");
        if (encoded.size() > maxEncodedProfile)
            encoded = '#' + QCryptographicHash::hash(profile.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
        base += u'-' + QString::fromLatin1(encoded);
    }
    // The runtime folder belongs to the user alone, so no other account can take the name first. Without one the
    // name falls back to the shared temporary folder, where the peer check still keeps other accounts out.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return folder.isEmpty() ? base : folder + u'/' + base;
}

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent)
    , m_name(std::move(name))
    , m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::isPrimary() const
{
    return m_server->isListening();
}

bool SingleInstance::tryBecomePrimary()
{
    return claim() == Claim::Taken;
}

SingleInstance::Claim SingleInstance::claim()
{
    if (m_server->isListening())
        return Claim::Taken;
    m_foreignPath.clear();
    for (const QString& path : { socketPath(m_name), lockPath(m_name) }) {
        if (ownedByAnotherUser(path)) {
            qCWarning(lcPlatform, "%ls belongs to another user", qUtf16Printable(path));
            m_foreignPath = path;
            return Claim::Foreign;
        }
    }

    // Listening with access options moves the new socket over whatever file holds the name, even a live
    // instance's, so the check for a running instance and the takeover must not interleave with another launch.
    QLockFile lock(lockPath(m_name));
    lock.setStaleLockTime(0); // a lock is stale only when its holder has died
    if (!lock.tryLock(lockTimeoutMs)) {
        qCWarning(lcPlatform, "Could not take %ls to start as the only instance", qUtf16Printable(lockPath(m_name)));
        return Claim::HeldByAnother;
    }
    if (instanceAnswers(m_name))
        return Claim::HeldByAnother;

    // Whatever holds the name now was left by an instance that did not shut down cleanly.
    QLocalServer::removeServer(m_name);
    if (!m_server->listen(m_name)) {
        qCWarning(lcPlatform, "Could not listen on %ls: %ls", qUtf16Printable(m_name),
            qUtf16Printable(m_server->errorString()));
        return Claim::Failed;
    }
    return Claim::Taken;
}

SingleInstance::Launch SingleInstance::becomePrimaryOrHandOver(
    const QStringList& arguments, std::chrono::milliseconds patience, const QString& activationToken)
{
    const QDeadlineTimer deadline(patience);
    for (;;) {
        switch (claim()) {
        case Claim::Taken:
            return Launch::BecamePrimary;
        case Claim::Failed:
            return Launch::NameUnavailable;
        case Claim::Foreign:
            return Launch::OwnedByAnotherUser;
        case Claim::HeldByAnother:
            break;
        }
        if (!encodeArguments(arguments))
            return Launch::TooLarge;
        // One connection waits out the whole patience: a busy primary reads the frame when it gets to it, and a
        // second frame sent meanwhile would hand the same link over twice.
        if (sendToPrimary(m_name, arguments, remaining(deadline), activationToken))
            return Launch::HandedOver;
        if (deadline.hasExpired())
            return Launch::PrimaryUnresponsive;
        // The primary dropped the connection or is still starting up: look again, and take over if it has gone.
        QThread::msleep(retryPauseMs);
    }
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection())
        serve(socket);
}

void SingleInstance::serve(QLocalSocket* socket)
{
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    // Each connection costs a descriptor for as long as its sender takes; a launch that meets the cap tries again.
    if (m_connections >= maxConnections || !peerIsSameUser(socket->socketDescriptor())) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    ++m_connections;
    connect(socket, &QObject::destroyed, this, [this] { --m_connections; });
    // Bounds what one connection can make us hold before the size check sees it.
    socket->setReadBufferSize(headerSize + maxPayloadSize + 1);
    QTimer::singleShot(idleTimeoutMs, socket, [socket] { socket->abort(); });

    auto buffer = std::make_shared<QByteArray>();
    connect(socket, &QLocalSocket::readyRead, socket, [this, socket, buffer] {
        const auto drop = [socket] {
            socket->abort();
            socket->deleteLater();
        };
        buffer->append(socket->readAll());
        const qsizetype prefix = qMin<qsizetype>(buffer->size(), sizeof magicStem);
        if (QByteArrayView(*buffer).first(prefix) != QByteArrayView(magicStem, prefix))
            return drop();
        if (buffer->size() < magicSize)
            return;
        const char version = buffer->at(sizeof magicStem);
        if (version != plainVersion && version != tokenVersion)
            return drop();
        if (buffer->size() < headerSize)
            return;
        const quint32 length = qFromBigEndian<quint32>(buffer->constData() + magicSize);
        if (length > maxPayloadSize)
            return drop();
        if (buffer->size() < headerSize + qsizetype(length))
            return;
        // The sender waits for the acknowledgement, so anything after its frame is not ours to interpret.
        if (buffer->size() > headerSize + qsizetype(length))
            return drop();
        std::optional<QStringList> arguments = decodeArguments(QByteArrayView(*buffer).sliced(headerSize));
        if (!arguments)
            return drop();
        QString token;
        if (version == tokenVersion) {
            if (arguments->isEmpty() || arguments->constFirst().toUtf8().size() > maxTokenSize)
                return drop();
            token = arguments->takeFirst();
        }

        socket->write(&acknowledgement, 1);
        socket->disconnectFromServer();
        // Queued, so that a receiver may tear the instance down without pulling the socket from under its own
        // signal.
        QMetaObject::invokeMethod(
            this,
            [this, arguments = std::move(*arguments), token = std::move(token)] {
                emit argumentsReceived(arguments, token);
            },
            Qt::QueuedConnection);
    });
}

bool SingleInstance::sendToPrimary(
    const QString& name, const QStringList& arguments, int timeoutMs, const QString& activationToken)
{
    const QDeadlineTimer deadline(timeoutMs);
    const std::optional<QByteArray> payload = encodeArguments(arguments);
    if (!payload)
        return false;

    if (const std::optional<QByteArray> withToken = tokenPayload(activationToken, *payload)) {
        switch (deliver(name, frameOf(tokenVersion, *withToken), deadline)) {
        case Delivery::Acknowledged:
            return true;
        case Delivery::Failed:
            return false;
        case Delivery::Dropped:
            // A primary from before tokens were handed over: the link matters more than the focus.
            break;
        }
    }
    return deliver(name, frameOf(plainVersion, *payload), deadline) == Delivery::Acknowledged;
}

} // namespace tidewell
