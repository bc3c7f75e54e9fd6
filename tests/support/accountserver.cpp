// SPDX-License-Identifier: GPL-3.0-or-later
#include "accountserver.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

using namespace tidewell;

namespace {

constexpr qint64 applicationCount = 3;

QJsonObject wireMessage(const CachedMessage& message)
{
    QJsonObject object { { u"id"_qs, message.id }, { u"application_id"_qs, message.applicationId },
        { u"message"_qs, message.message }, { u"priority"_qs, message.priority }, { u"ts"_qs, message.ts } };
    if (message.title)
        object.insert(u"title"_qs, *message.title);
    if (message.url)
        object.insert(u"url"_qs, *message.url);
    return object;
}

} // namespace

AccountServer::AccountServer(qint64 messageCount, QObject* parent)
    : QObject(parent)
    , m_messageCount(messageCount)
{
    m_http.setHandler([this](const FakeServer::Request& request) { return answer(request); });
}

CachedMessage AccountServer::message(qint64 id)
{
    CachedMessage message;
    message.id = id;
    message.applicationId = id % applicationCount + 1;
    // Some with a title and a link, so that optional columns are written both ways.
    if (id % 2 == 0)
        message.title = u"Job %1"_qs.arg(id);
    if (id % 5 == 0)
        message.url = u"https://status.example.com/runs/%1"_qs.arg(id);
    message.message = u"Run %1 finished with \"code\" %2 — ünïcödé"_qs.arg(id).arg(id % 7);
    message.priority = id % 5 - 2;
    message.ts = 1700000000 + id;
    return message;
}

QList<CachedApp> AccountServer::apps()
{
    QList<CachedApp> apps;
    for (qint64 id = 1; id <= applicationCount; ++id)
        apps.append(CachedApp { id, u"Service %1"_qs.arg(id), u"#2080%1%1"_qs.arg(id), std::nullopt });
    return apps;
}

FakeServer::Response AccountServer::page(qint64 since, qint64 limit) const
{
    QJsonArray messages;
    const qint64 first = std::max<qint64>(since + 1, 1);
    const qint64 last = std::min(m_messageCount, since + limit);
    for (qint64 id = first; id <= last; ++id)
        messages.append(wireMessage(message(id)));
    const QJsonObject body { { u"messages"_qs, messages }, { u"has_more"_qs, last < m_messageCount } };
    return FakeServer::Response::json(QJsonDocument(body).toJson(QJsonDocument::Compact));
}

void AccountServer::holdFirstPage(std::chrono::milliseconds delay)
{
    setPageHook([this, delay](int n, qint64 since, qint64 limit) -> std::optional<FakeServer::Response> {
        if (n != 1)
            return std::nullopt;
        FakeServer::Response response = page(since, limit);
        response.delay = delay;
        return response;
    });
}

FakeServer::Response AccountServer::answer(const FakeServer::Request& request)
{
    const QUrl url(QString::fromLatin1(request.target));
    const QUrlQuery query(url);
    if (url.path() == u"/api/messages"_qs && request.method == "GET") {
        const qint64 since = query.queryItemValue(u"since"_qs).toLongLong();
        const qint64 limit = query.queryItemValue(u"limit"_qs).toLongLong();
        m_sinceValues.append(since);
        const int n = int(m_sinceValues.size());
        emit pageRequested(n, since);
        if (m_pageHook) {
            if (std::optional<FakeServer::Response> replaced = m_pageHook(n, since, limit))
                return *replaced;
        }
        return page(since, limit);
    }
    if (url.path() == u"/api/apps"_qs) {
        ++m_appListRequests;
        QJsonArray list;
        for (const CachedApp& app : apps())
            list.append(QJsonObject { { u"id"_qs, app.id }, { u"name"_qs, app.name }, { u"color"_qs, app.color },
                { u"has_icon"_qs, false } });
        return FakeServer::Response::json(QJsonDocument(list).toJson(QJsonDocument::Compact));
    }
    if (url.path() == u"/api/device/read"_qs)
        return FakeServer::Response::empty(204);
    return FakeServer::Response::empty(404);
}
