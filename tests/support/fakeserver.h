// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QUrl>
#include <chrono>
#include <functional>

// An HTTP/1.1 server on loopback for tests. It records every request in full (method, target with query,
// headers, body) and answers from a script: a handler function, or a queue of canned responses served in order.
// Responses can also misbehave — close the connection early, cut the body short, answer late — so that tests can
// show how the client copes with a broken server.
class FakeServer : public QObject
{
    Q_OBJECT
public:
    struct Request
    {
        QByteArray method;
        QByteArray target; // path and query, exactly as sent
        QHash<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;

        QByteArray header(const QByteArray& name) const { return headers.value(name.toLower()); }
        bool hasHeader(const QByteArray& name) const { return headers.contains(name.toLower()); }
    };

    struct Response
    {
        enum class Fault
        {
            None,
            CloseWithoutAnswer,
            CutBodyShort
        };

        int status = 200;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
        Fault fault = Fault::None;
        std::chrono::milliseconds delay { 0 };

        static Response json(const QByteArray& body, int status = 200);
        static Response empty(int status);
    };

    using Handler = std::function<Response(const Request&)>;

    explicit FakeServer(QObject* parent = nullptr);

    QUrl url() const; // http://127.0.0.1:PORT
    quint16 port() const { return m_server.serverPort(); }

    void setHandler(Handler handler) { m_handler = std::move(handler); }
    // Served in order before the handler is asked; an empty queue falls through to the handler (404 without one).
    void enqueue(Response response) { m_queue.append(std::move(response)); }

    const QList<Request>& requests() const { return m_requests; }
    void clearRequests() { m_requests.clear(); }

signals:
    void requestReceived(const FakeServer::Request& request);

private:
    void onConnection();
    void process(QTcpSocket* socket);
    void respond(QTcpSocket* socket, const Request& request);

    QTcpServer m_server;
    Handler m_handler;
    QList<Response> m_queue;
    QList<Request> m_requests;
};
