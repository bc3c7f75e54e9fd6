// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakeserver.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

FakeServer::Response FakeServer::Response::json(const QByteArray& body, int status)
{
    Response response;
    response.status = status;
    response.body = body;
    response.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("application/json")));
    return response;
}

FakeServer::Response FakeServer::Response::empty(int status)
{
    Response response;
    response.status = status;
    return response;
}

FakeServer::FakeServer(QObject* parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &FakeServer::onConnection);
    if (!m_server.listen(QHostAddress::LocalHost, 0))
        qFatal("FakeServer: cannot listen on loopback: %s", qPrintable(m_server.errorString()));
}

QUrl FakeServer::url() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()));
}

void FakeServer::onConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { process(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

// Parses as many complete requests as the socket's buffer holds; keeps a partial one for the next readyRead.
void FakeServer::process(QTcpSocket* socket)
{
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    for (;;) {
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            break;
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        Request request;
        request.method = requestLine.value(0);
        request.target = requestLine.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
        }
        const qsizetype length = request.header("content-length").toLongLong();
        if (buffer.size() < headerEnd + 4 + length)
            break;
        request.body = buffer.mid(headerEnd + 4, length);
        buffer.remove(0, headerEnd + 4 + length);
        m_requests.append(request);
        emit requestReceived(request);
        respond(socket, request);
    }
    socket->setProperty("buffer", buffer);
}

void FakeServer::respond(QTcpSocket* socket, const Request& request)
{
    Response response;
    if (!m_queue.isEmpty())
        response = m_queue.takeFirst();
    else if (m_handler)
        response = m_handler(request);
    else
        response = Response::empty(404);

    if (response.fault == Response::Fault::CloseWithoutAnswer) {
        socket->abort();
        return;
    }
    QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + " Status\r\n";
    for (const auto& [name, value] : response.headers)
        out += name + ": " + value + "\r\n";
    out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n\r\n";
    if (response.fault == Response::Fault::CutBodyShort)
        out += response.body.left(response.body.size() / 2);
    else
        out += response.body;

    auto send = [socket = QPointer<QTcpSocket>(socket), out, cut = response.fault == Response::Fault::CutBodyShort] {
        if (!socket)
            return;
        socket->write(out);
        if (cut) {
            socket->flush();
            socket->disconnectFromHost();
        }
    };
    if (response.delay.count() > 0)
        QTimer::singleShot(response.delay, this, send);
    else
        send();
}
