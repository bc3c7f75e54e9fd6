// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "demoaccount.h"

#include <QAbstractHttpServer>
#include <QHttpServerRequest>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QStringList>
#include <QUrl>
#include <optional>

namespace tidewell {

// The demo server's HTTP face: the server API that Tidewell speaks, the browser page that approves a link
// request, and two endpoints for the demo itself (post a message, inspect the account). It listens on 127.0.0.1
// only.
//
// Dispatch is our own table rather than QHttpServer's router, so that every refusal is deliberate: an id that is
// not a number is a 400 that says so, a known path with another method is a 405, and anything else a 404, each
// with a JSON {"error"} body — except the icon endpoint, whose 404 must stay empty because the client reads a
// non-empty body as an icon.
class DemoServer : public QAbstractHttpServer
{
    Q_OBJECT
public:
    explicit DemoServer(DemoAccount& account, QObject* parent = nullptr);

    // Listens on 127.0.0.1; port 0 picks a free one. Returns the port, or 0 when it could not listen.
    quint16 start(quint16 port);
    QUrl url() const;

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    struct Reply
    {
        int status = 200;
        QByteArray contentType;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;

        static Reply json(const QJsonValue& value, int status = 200);
        static Reply error(int status, const QString& text);
        static Reply empty(int status);
    };

    struct Call
    {
        const QHttpServerRequest& request;
        QStringList args; // the path segments that stood for {placeholders}
        DemoAccount::Device* device; // the authenticated device, on authenticated routes
    };

    using Handler = Reply (DemoServer::*)(const Call&);

    struct Route
    {
        QHttpServerRequest::Method method;
        QString pattern; // segments in braces match any one segment
        bool authenticated;
        Handler handler;
    };

    Reply dispatch(const QHttpServerRequest& request);
    static bool matches(const QStringList& pattern, const QStringList& path, QStringList& args);

    // Server API.
    Reply listMessages(const Call& call);
    Reply markRead(const Call& call);
    Reply listApps(const Call& call);
    Reply appIcon(const Call& call);
    Reply registerPushToken(const Call& call);
    Reply deleteMessage(const Call& call);
    Reply clearApp(const Call& call);
    Reply revokeDevice(const Call& call);
    // Linking.
    Reply startLink(const Call& call);
    Reply pollLink(const Call& call);
    Reply approveLink(const Call& call);
    // Pages and the demo's own endpoints.
    Reply approvalPage(const Call& call);
    Reply linkPage(const Call& call);
    Reply postMessage(const Call& call);
    Reply state(const Call& call);

    DemoAccount& m_account;
    QList<Route> m_routes;
    QMap<QString, int> m_requestCounts; // by "METHOD pattern"
    int m_unauthorized = 0;
    quint16 m_port = 0;
};

} // namespace tidewell
