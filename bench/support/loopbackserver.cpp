// SPDX-License-Identifier: GPL-3.0-or-later
#include "loopbackserver.h"

#include "sync/syncengine.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

QByteArray json(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// The account as the child serves it.
class ServedAccount
{
public:
    explicit ServedAccount(LoopbackServer::Account account)
        : m_account(std::move(account))
        , m_count(m_account.messageCount)
    {
        renderThrough(std::max(m_account.rendered, m_count));
        QJsonArray apps;
        for (qint64 id = 1; id <= m_account.appCount; ++id)
            apps.append(QJsonObject { { "id", id }, { "name", QStringLiteral("App %1").arg(id) },
                { "color", "#3366ff" }, { "has_icon", !m_account.icon.isEmpty() } });
        m_apps = QJsonDocument(apps).toJson(QJsonDocument::Compact);
    }

    struct Answer
    {
        int status = 200;
        QByteArray body;
    };

    Answer answer(const QByteArray& method, const QByteArray& target, const QByteArray& body)
    {
        const QUrl url(QString::fromLatin1(target));
        const QUrlQuery query(url);
        const QString path = url.path();
        auto number = [&query](const char* name) { return query.queryItemValue(QLatin1String(name)).toLongLong(); };
        const QStringList parts = path.split(u'/', Qt::SkipEmptyParts);

        if (method == "GET" && path == u"/api/messages")
            return { 200, page(number("since"), number("limit")) };
        if (method == "DELETE" && path == u"/api/messages" && query.hasQueryItem(QStringLiteral("app")))
            return { 200, json({ { "deleted", clearApp(number("app")) } }) };
        if (method == "DELETE" && parts.size() == 3 && parts[1] == u"messages")
            return removeMessage(parts[2].toLongLong()) ? Answer { 200, "{}" } : Answer { 404, "{}" };
        if (method == "POST" && path == u"/api/device/read") {
            m_lastReadId = QJsonDocument::fromJson(body).object().value("last_read_id").toInteger();
            return { 200, "{}" };
        }
        if (method == "GET" && path == u"/api/apps")
            return { 200, m_apps };
        if (method == "GET" && parts.size() == 4 && parts[1] == u"apps" && parts[3] == u"icon")
            return m_account.icon.isEmpty() ? Answer { 404, {} } : Answer { 200, m_account.icon };
        if (method == "GET" && path == u"/bench/serve") {
            m_count = number("count");
            renderThrough(m_count);
            std::fill(m_removed.begin(), m_removed.end(), false);
            return { 200, json({ { "messages", m_count } }) };
        }
        if (method == "GET" && path == u"/bench/grow") {
            m_count += number("count");
            renderThrough(m_count);
            return { 200, json({ { "messages", m_count } }) };
        }
        return { 404, "{}" };
    }

private:
    // Each message is kept with a comma after it, so that a run of ids is one slice of the text.
    void renderThrough(qint64 last)
    {
        constexpr qint64 pageSize = tidewell::SyncEngine::pageSize;
        for (qint64 id = qint64(m_appOf.size()) + 1; id <= last; ++id) {
            if ((id - 1) % pageSize == 0)
                m_random = QRandomGenerator(quint32(id));
            const QJsonObject message = m_account.message(id, m_random);
            m_text += json(message);
            m_text += ',';
            m_ends.push_back(m_text.size());
            m_appOf.push_back(message.value("application_id").toInteger());
            m_removed.push_back(false);
        }
    }

    qint64 start(qint64 id) const { return id == 1 ? 0 : m_ends[id - 2]; }

    // The messages above `since`, at most `limit`, as the server pages them.
    QByteArray page(qint64 since, qint64 limit)
    {
        QByteArray messages;
        qint64 included = 0;
        qint64 last = since;
        qint64 runFrom = 0;
        auto endRun = [&](qint64 next) {
            if (runFrom != 0)
                messages.append(m_text.constData() + start(runFrom), start(next) - start(runFrom));
            runFrom = 0;
        };
        qint64 id = std::max<qint64>(since + 1, 1);
        for (; id <= m_count && included < limit; ++id) {
            if (m_removed[id - 1]) {
                endRun(id);
                continue;
            }
            if (runFrom == 0)
                runFrom = id;
            ++included;
            last = id;
        }
        endRun(id);
        messages.chop(messages.endsWith(',') ? 1 : 0);
        const bool hasMore = included == limit && last < m_count;
        // The members in the order QJsonDocument writes them, as the server's encoder would.
        return QByteArray("{\"has_more\":") + (hasMore ? "true" : "false") + ",\"messages\":[" + messages + "]}";
    }

    bool removeMessage(qint64 id)
    {
        if (id < 1 || id > m_count || m_removed[id - 1])
            return false;
        m_removed[id - 1] = true;
        return true;
    }

    qint64 clearApp(qint64 app)
    {
        qint64 deleted = 0;
        for (qint64 id = 1; id <= m_count; ++id) {
            if (m_appOf[id - 1] == app && !m_removed[id - 1]) {
                m_removed[id - 1] = true;
                ++deleted;
            }
        }
        return deleted;
    }

    LoopbackServer::Account m_account;
    qint64 m_count;
    qint64 m_lastReadId = 0;
    QByteArray m_apps;
    QByteArray m_text;
    std::vector<qint64> m_ends; // where each message's text ends, comma included; index id - 1
    std::vector<qint64> m_appOf;
    std::vector<bool> m_removed;
    QRandomGenerator m_random;
};

QByteArray statusLine(int status)
{
    return status == 200 ? QByteArrayLiteral("HTTP/1.1 200 OK") : QByteArrayLiteral("HTTP/1.1 404 Not Found");
}

// A plain keep-alive HTTP/1.1 responder: each answer goes out in one write with Nagle off, so the figures show the
// client rather than delayed acknowledgements.
[[noreturn]] void serve(LoopbackServer::Account account, int argc, char** argv, int portPipe)
{
    QCoreApplication app(argc, argv);
    ServedAccount served(std::move(account));
    QTcpServer server;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* socket = server.nextPendingConnection()) {
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, &served] {
                QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
                qsizetype end;
                while ((end = buffer.indexOf("\r\n\r\n")) >= 0) {
                    const QList<QByteArray> lines = buffer.left(end).split('\n');
                    qsizetype length = 0;
                    for (const QByteArray& line : lines) {
                        if (line.toLower().startsWith("content-length:"))
                            length = line.mid(15).trimmed().toLongLong();
                    }
                    if (buffer.size() < end + 4 + length)
                        break; // the body is still on its way
                    const QList<QByteArray> request = lines.value(0).trimmed().split(' ');
                    const auto answer = served.answer(request.value(0), request.value(1), buffer.mid(end + 4, length));
                    buffer.remove(0, end + 4 + length);
                    socket->write(statusLine(answer.status) + "\r\nContent-Type: application/json\r\nContent-Length: "
                        + QByteArray::number(answer.body.size()) + "\r\n\r\n" + answer.body);
                }
                socket->setProperty("buffer", buffer);
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    const quint16 port = server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
    if (::write(portPipe, &port, sizeof port) != sizeof port)
        ::_exit(1);
    ::_exit(app.exec());
}

} // namespace

LoopbackServer::LoopbackServer(Account account, int argc, char** argv)
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return;
    m_child = ::fork();
    if (m_child == 0) {
        ::close(pipeEnds[0]);
        serve(std::move(account), argc, argv, pipeEnds[1]);
    }
    ::close(pipeEnds[1]);
    if (m_child < 0 || ::read(pipeEnds[0], &m_port, sizeof m_port) != sizeof m_port)
        m_port = 0;
    ::close(pipeEnds[0]);
}

LoopbackServer::~LoopbackServer()
{
    if (m_child > 0) {
        ::kill(m_child, SIGTERM);
        ::waitpid(m_child, nullptr, 0);
    }
}

QUrl LoopbackServer::url() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_port));
}
