// SPDX-License-Identifier: GPL-3.0-or-later
#include "demoserver.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHttpServerResponder>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>
#include <cmath>

namespace tidewell {

namespace {

// The HTTP layer writes the status line, each header and the body as separate small writes; should they leave in
// separate segments, Nagle's algorithm makes a keep-alive client wait out its delayed ACK (about 40 ms) per request.
class LowDelayTcpServer : public QTcpServer
{
public:
    using QTcpServer::QTcpServer;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        addPendingConnection(socket);
    }
};

constexpr int defaultPageLimit = 100;
constexpr int maxPageLimit = 500;

QString methodName(QHttpServerRequest::Method method)
{
    switch (method) {
    case QHttpServerRequest::Method::Get:
        return u"GET"_qs;
    case QHttpServerRequest::Method::Post:
        return u"POST"_qs;
    case QHttpServerRequest::Method::Delete:
        return u"DELETE"_qs;
    case QHttpServerRequest::Method::Put:
        return u"PUT"_qs;
    case QHttpServerRequest::Method::Patch:
        return u"PATCH"_qs;
    case QHttpServerRequest::Method::Head:
        return u"HEAD"_qs;
    case QHttpServerRequest::Method::Options:
        return u"OPTIONS"_qs;
    default:
        return u"OTHER"_qs;
    }
}

QByteArray header(const QHttpServerRequest& request, const QByteArray& name)
{
    for (const auto& [key, value] : request.headers()) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

// The token after "Bearer ", or empty when the request carries none.
QString bearerToken(const QHttpServerRequest& request)
{
    const QByteArray value = header(request, "Authorization");
    return value.startsWith("Bearer ") ? QString::fromUtf8(value.mid(7)) : QString();
}

// Decimal text only: "+1", " 1" or "1e3" are refused rather than read leniently.
std::optional<qint64> parseInteger(const QString& text)
{
    static const QRegularExpression decimal(u"^-?[0-9]{1,18}$"_qs);
    if (!decimal.match(text).hasMatch())
        return std::nullopt;
    return text.toLongLong();
}

std::optional<qint64> integerValue(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (std::trunc(number) != number)
        return std::nullopt;
    return value.toInteger();
}

// The body as a JSON object; on failure `problem` says what is wrong with it.
std::optional<QJsonObject> bodyObject(const QHttpServerRequest& request, QString& problem)
{
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(request.body(), &error);
    if (error.error != QJsonParseError::NoError) {
        problem = u"the request body is not valid JSON (%1 at offset %2)"_qs.arg(error.errorString()).arg(error.offset);
        return std::nullopt;
    }
    if (!document.isObject()) {
        problem = u"the request body must be a JSON object"_qs;
        return std::nullopt;
    }
    return document.object();
}

// An optional string member: absent and null give none; `problem` is set when it has another type.
std::optional<QString> optionalString(const QJsonObject& object, const QString& name, QString& problem)
{
    const QJsonValue value = object.value(name);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    if (!value.isString()) {
        problem = u"\"%1\" must be a string"_qs.arg(name);
        return std::nullopt;
    }
    return value.toString();
}

QJsonValue textOrNull(const std::optional<QString>& text)
{
    return text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null);
}

QJsonObject messageJson(const DemoAccount::Message& message)
{
    // "title" is always present (null when there is none) while the link and sound members are left out when
    // empty: the client must cope with both ways of saying "none".
    QJsonObject object { { u"id"_qs, message.id }, { u"application_id"_qs, message.applicationId },
        { u"title"_qs, textOrNull(message.title) }, { u"message"_qs, message.text },
        { u"priority"_qs, message.priority }, { u"ts"_qs, message.ts } };
    if (message.url)
        object.insert(u"url"_qs, *message.url);
    if (message.urlTitle)
        object.insert(u"url_title"_qs, *message.urlTitle);
    if (message.sound)
        object.insert(u"sound"_qs, *message.sound);
    return object;
}

QByteArray resource(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("tidewell-devserver: missing resource %s", qPrintable(path));
    return file.readAll();
}

} // namespace

DemoServer::Reply DemoServer::Reply::json(const QJsonValue& value, int status)
{
    const QJsonDocument document = value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    return { status, "application/json", document.toJson(QJsonDocument::Compact), {} };
}

DemoServer::Reply DemoServer::Reply::error(int status, const QString& text)
{
    return json(QJsonObject { { u"error"_qs, text } }, status);
}

DemoServer::Reply DemoServer::Reply::empty(int status)
{
    return { status, {}, {}, {} };
}

DemoServer::DemoServer(DemoAccount& account, QObject* parent)
    : QAbstractHttpServer(parent)
    , m_account(account)
{
    using M = QHttpServerRequest::Method;
    m_routes = {
        { M::Get, u"/"_qs, false, &DemoServer::approvalPage },
        { M::Get, u"/link"_qs, false, &DemoServer::linkPage },
        { M::Post, u"/api/link"_qs, false, &DemoServer::startLink },
        { M::Get, u"/api/link/poll"_qs, false, &DemoServer::pollLink }, // authenticated by its poll token
        { M::Post, u"/api/link/approve"_qs, false, &DemoServer::approveLink },
        { M::Get, u"/api/messages"_qs, true, &DemoServer::listMessages },
        { M::Delete, u"/api/messages"_qs, true, &DemoServer::clearApp },
        { M::Delete, u"/api/messages/{id}"_qs, true, &DemoServer::deleteMessage },
        { M::Post, u"/api/device/read"_qs, true, &DemoServer::markRead },
        { M::Post, u"/api/device/push-token"_qs, true, &DemoServer::registerPushToken },
        { M::Delete, u"/api/device"_qs, true, &DemoServer::revokeDevice },
        { M::Get, u"/api/apps"_qs, true, &DemoServer::listApps },
        { M::Get, u"/api/apps/{id}/icon"_qs, true, &DemoServer::appIcon },
        { M::Post, u"/demo/messages"_qs, false, &DemoServer::postMessage },
        { M::Get, u"/demo/state"_qs, false, &DemoServer::state },
    };
}

quint16 DemoServer::start(quint16 port)
{
    auto* server = new LowDelayTcpServer(this);
    if (!server->listen(QHostAddress::LocalHost, port)) {
        delete server;
        return 0;
    }
    bind(server);
    m_port = server->serverPort();
    return m_port;
}

QUrl DemoServer::url() const
{
    return QUrl(u"http://127.0.0.1:%1"_qs.arg(m_port));
}

bool DemoServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    const Reply reply = dispatch(request);
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.writeStatusLine(QHttpServerResponder::StatusCode(reply.status));
    if (!reply.contentType.isEmpty())
        responder.writeHeader("Content-Type", reply.contentType);
    for (const auto& [name, value] : reply.headers)
        responder.writeHeader(name, value);
    responder.writeHeader("Cache-Control", "no-store");
    if (reply.status != 204) // a 204 carries no body and, by the rules of HTTP, no length either
        responder.writeHeader("Content-Length", QByteArray::number(reply.body.size()));
    responder.writeBody(reply.body);
    return true;
}

void DemoServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket)
{
    // Not reached: handleRequest answers everything.
    makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
}

bool DemoServer::matches(const QStringList& pattern, const QStringList& path, QStringList& args)
{
    if (pattern.size() != path.size())
        return false;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        if (pattern[i].startsWith(u'{')) {
            if (path[i].isEmpty())
                return false;
            args.append(path[i]);
        } else if (pattern[i] != path[i]) {
            return false;
        }
    }
    return true;
}

DemoServer::Reply DemoServer::dispatch(const QHttpServerRequest& request)
{
    const QString pathText = request.url().path();
    const QStringList path = pathText.mid(1).split(u'/');
    QStringList allowed;
    for (const Route& route : std::as_const(m_routes)) {
        QStringList args;
        if (!matches(route.pattern.mid(1).split(u'/'), path, args))
            continue;
        if (route.method != request.method()) {
            allowed.append(methodName(route.method));
            continue;
        }
        ++m_requestCounts[methodName(route.method) + u' ' + route.pattern];
        DemoAccount::Device* device = nullptr;
        if (route.authenticated) {
            const QString token = bearerToken(request);
            device = token.isEmpty() ? nullptr : m_account.liveDevice(token);
            if (!device) {
                ++m_unauthorized;
                Reply reply = Reply::error(401,
                    token.isEmpty() ? u"missing \"Authorization: Bearer <device secret>\""_qs
                                    : u"unknown or revoked device secret"_qs);
                reply.headers.append(qMakePair(QByteArray("WWW-Authenticate"), QByteArray("Bearer")));
                return reply;
            }
        }
        return (this->*route.handler)(Call { request, args, device });
    }
    if (!allowed.isEmpty()) {
        Reply reply = Reply::error(
            405, u"%1 does not take %2; use %3"_qs.arg(pathText, methodName(request.method()), allowed.join(u", "_qs)));
        reply.headers.append(qMakePair(QByteArray("Allow"), allowed.join(u", "_qs).toLatin1()));
        return reply;
    }
    return Reply::error(404, u"no such endpoint: %1"_qs.arg(pathText));
}

// ---- server API ----

DemoServer::Reply DemoServer::listMessages(const Call& call)
{
    const QUrlQuery query(call.request.url());
    qint64 since = 0;
    if (query.hasQueryItem(u"since"_qs)) {
        const auto value = parseInteger(query.queryItemValue(u"since"_qs));
        if (!value)
            return Reply::error(400, u"\"since\" must be an integer message id"_qs);
        since = *value;
    }
    int limit = defaultPageLimit;
    if (query.hasQueryItem(u"limit"_qs)) {
        const auto value = parseInteger(query.queryItemValue(u"limit"_qs));
        if (!value || *value < 1)
            return Reply::error(400, u"\"limit\" must be a positive integer"_qs);
        limit = int(std::min<qint64>(*value, maxPageLimit));
    }
    bool hasMore = false;
    QJsonArray messages;
    for (const DemoAccount::Message& message : m_account.messagesAfter(since, limit, hasMore))
        messages.append(messageJson(message));
    return Reply::json(QJsonObject { { u"messages"_qs, messages }, { u"has_more"_qs, hasMore } });
}

DemoServer::Reply DemoServer::markRead(const Call& call)
{
    QString problem;
    const auto body = bodyObject(call.request, problem);
    if (!body)
        return Reply::error(400, problem);
    const auto id = integerValue(body->value(u"last_read_id"_qs));
    if (!id)
        return Reply::error(400, u"\"last_read_id\" must be an integer"_qs);
    call.device->lastReadId = *id;
    return Reply::empty(204);
}

DemoServer::Reply DemoServer::listApps(const Call&)
{
    QJsonArray apps;
    for (const DemoAccount::App& app : m_account.apps()) {
        apps.append(QJsonObject { { u"id"_qs, app.id }, { u"name"_qs, app.name }, { u"color"_qs, app.color },
            { u"has_icon"_qs, !app.icon.isEmpty() } });
    }
    return Reply::json(apps);
}

DemoServer::Reply DemoServer::appIcon(const Call& call)
{
    const auto id = parseInteger(call.args.value(0));
    if (!id)
        return Reply::error(400, u"application id \"%1\" is not an integer"_qs.arg(call.args.value(0)));
    const DemoAccount::App* app = m_account.app(*id);
    if (!app || app->icon.isEmpty())
        return Reply::empty(404);
    return { 200, "image/png", app->icon, {} };
}

DemoServer::Reply DemoServer::registerPushToken(const Call& call)
{
    QString problem;
    const auto body = bodyObject(call.request, problem);
    if (!body)
        return Reply::error(400, problem);
    const QJsonValue token = body->value(u"push_token"_qs);
    if (!token.isString() || token.toString().isEmpty())
        return Reply::error(400, u"\"push_token\" must be a non-empty string"_qs);
    const QJsonValue sandbox = body->value(u"sandbox"_qs);
    if (!sandbox.isUndefined() && !sandbox.isBool())
        return Reply::error(400, u"\"sandbox\" must be true or false"_qs);
    call.device->pushToken = token.toString();
    call.device->sandbox = sandbox.toBool(false);
    return Reply::empty(204);
}

DemoServer::Reply DemoServer::deleteMessage(const Call& call)
{
    const auto id = parseInteger(call.args.value(0));
    if (!id)
        return Reply::error(400, u"message id \"%1\" is not an integer"_qs.arg(call.args.value(0)));
    if (!m_account.removeMessage(*id))
        return Reply::error(404, u"no message %1"_qs.arg(*id));
    return Reply::empty(204);
}

DemoServer::Reply DemoServer::clearApp(const Call& call)
{
    const QUrlQuery query(call.request.url());
    if (!query.hasQueryItem(u"app"_qs))
        return Reply::error(400, u"say which application to clear: DELETE /api/messages?app=ID"_qs);
    const auto id = parseInteger(query.queryItemValue(u"app"_qs));
    if (!id)
        return Reply::error(400, u"\"app\" must be an integer application id"_qs);
    if (!m_account.app(*id))
        return Reply::error(404, u"no application %1"_qs.arg(*id));
    const int deleted = m_account.removeMessagesOf(*id);
    return Reply::json(QJsonObject { { u"deleted"_qs, deleted } });
}

DemoServer::Reply DemoServer::revokeDevice(const Call& call)
{
    call.device->revoked = true;
    return Reply::empty(204);
}

// ---- linking ----

DemoServer::Reply DemoServer::startLink(const Call&)
{
    const DemoAccount::LinkRequest& link = m_account.startLink();
    return Reply::json(QJsonObject { { u"code"_qs, link.code }, { u"poll_token"_qs, link.pollToken },
        { u"expires_in"_qs, qint64(m_account.linkLifetime().count()) } });
}

DemoServer::Reply DemoServer::pollLink(const Call& call)
{
    const QString token = bearerToken(call.request);
    DemoAccount::LinkRequest* link = token.isEmpty() ? nullptr : m_account.linkByPollToken(token);
    if (!link) {
        ++m_unauthorized;
        return Reply::error(401, u"unknown poll token (the request may already have been collected)"_qs);
    }
    if (link->approved) {
        // The secret is handed out once: the request is forgotten with it, so its poll token stops working.
        const QString secret = m_account.issueDevice(u"browser"_qs).secret;
        m_account.forgetLink(token);
        return Reply::json(QJsonObject { { u"status"_qs, u"approved"_qs }, { u"secret"_qs, secret } });
    }
    if (link->expiry.hasExpired())
        return Reply::json(QJsonObject { { u"status"_qs, u"expired"_qs } });
    return Reply::json(QJsonObject { { u"status"_qs, u"pending"_qs } });
}

DemoServer::Reply DemoServer::approveLink(const Call& call)
{
    QString problem;
    const auto body = bodyObject(call.request, problem);
    if (!body)
        return Reply::error(400, problem);
    const QJsonValue code = body->value(u"code"_qs);
    if (!code.isString())
        return Reply::error(400, u"\"code\" must be a string"_qs);
    DemoAccount::LinkRequest* link = m_account.linkByCode(code.toString());
    if (!link)
        return Reply::error(404, u"no link request has the code %1"_qs.arg(code.toString()));
    if (link->approved)
        return Reply::error(409, u"this link request is already approved"_qs);
    if (link->expiry.hasExpired())
        return Reply::error(410, u"this link request has expired; start linking again in Tidewell"_qs);
    link->approved = true;
    return Reply::json(QJsonObject { { u"status"_qs, u"approved"_qs } });
}

// ---- pages and the demo's own endpoints ----

DemoServer::Reply DemoServer::approvalPage(const Call&)
{
    return { 200, "text/html; charset=utf-8", resource(u":/devserver/approve.html"_qs), {} };
}

DemoServer::Reply DemoServer::linkPage(const Call&)
{
    return { 200, "text/html; charset=utf-8", resource(u":/devserver/link.html"_qs), {} };
}

DemoServer::Reply DemoServer::postMessage(const Call& call)
{
    QString problem;
    const auto body = bodyObject(call.request, problem);
    if (!body)
        return Reply::error(400, problem);

    DemoAccount::Message message;
    const QJsonValue text = body->value(u"message"_qs);
    if (!text.isString() || text.toString().isEmpty())
        return Reply::error(400, u"\"message\" must be a non-empty string"_qs);
    message.text = text.toString();
    message.title = optionalString(*body, u"title"_qs, problem);
    message.url = optionalString(*body, u"url"_qs, problem);
    message.urlTitle = optionalString(*body, u"url_title"_qs, problem);
    message.sound = optionalString(*body, u"sound"_qs, problem);
    if (!problem.isEmpty())
        return Reply::error(400, problem);

    if (body->contains(u"priority"_qs)) {
        const auto priority = integerValue(body->value(u"priority"_qs));
        if (!priority || *priority < -2 || *priority > 2)
            return Reply::error(400, u"\"priority\" must be an integer from -2 to 2"_qs);
        message.priority = int(*priority);
    }
    if (m_account.apps().isEmpty())
        return Reply::error(409, u"the account has no application to post as"_qs);
    message.applicationId = m_account.apps().first().id;
    if (body->contains(u"application_id"_qs)) {
        const auto id = integerValue(body->value(u"application_id"_qs));
        if (!id)
            return Reply::error(400, u"\"application_id\" must be an integer"_qs);
        if (!m_account.app(*id))
            return Reply::error(404, u"no application %1"_qs.arg(*id));
        message.applicationId = *id;
    }
    const qint64 id = m_account.addMessage(std::move(message));
    return Reply::json(QJsonObject { { u"id"_qs, id } }, 201);
}

DemoServer::Reply DemoServer::state(const Call&)
{
    QJsonArray apps;
    for (const DemoAccount::App& app : m_account.apps()) {
        apps.append(QJsonObject { { u"id"_qs, app.id }, { u"name"_qs, app.name },
            { u"has_icon"_qs, !app.icon.isEmpty() }, { u"message_count"_qs, m_account.messageCount(app.id) } });
    }
    QJsonArray messageIds;
    for (const DemoAccount::Message& message : m_account.messages())
        messageIds.append(message.id);
    QJsonArray devices;
    for (const DemoAccount::Device& device : m_account.devices()) {
        // A digest, not the secret: what is shown here must not be enough to act as the device.
        const QByteArray digest = QCryptographicHash::hash(device.secret.toUtf8(), QCryptographicHash::Sha256).toHex();
        devices.append(QJsonObject { { u"id"_qs, device.id }, { u"origin"_qs, device.origin },
            { u"secret_sha256"_qs, QString::fromLatin1(digest) }, { u"last_read_id"_qs, device.lastReadId },
            { u"push_token"_qs, textOrNull(device.pushToken) }, { u"sandbox"_qs, device.sandbox },
            { u"revoked"_qs, device.revoked } });
    }
    QJsonObject requests;
    for (auto it = m_requestCounts.cbegin(); it != m_requestCounts.cend(); ++it)
        requests.insert(it.key(), it.value());

    return Reply::json(QJsonObject {
        { u"message_count"_qs, qint64(m_account.messages().size()) },
        { u"max_message_id"_qs, m_account.messages().isEmpty() ? 0 : m_account.messages().last().id },
        { u"message_ids"_qs, messageIds },
        { u"apps"_qs, apps },
        { u"devices"_qs, devices },
        { u"pending_links"_qs, m_account.pendingLinkCount() },
        { u"requests"_qs, requests },
        { u"unauthorized"_qs, m_unauthorized },
    });
}

} // namespace tidewell
