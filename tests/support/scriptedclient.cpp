// SPDX-License-Identifier: GPL-3.0-or-later
#include "scriptedclient.h"

#include "base/cancellederror.h"

#include <QCoroTimer>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>

using namespace tidewell;

Message makeMessage(
    qint64 id, qint64 applicationId, qint64 ts, const QString& body, std::optional<QString> title, qint64 priority)
{
    Message m;
    m.id = id;
    m.applicationId = applicationId;
    m.ts = ts ? ts : id;
    m.message = body.isNull() ? QStringLiteral("message %1").arg(id) : body;
    m.title = std::move(title);
    m.priority = priority;
    return m;
}

void ScriptedClient::addMessage(const Message& message)
{
    const auto at = std::lower_bound(serverMessages.begin(), serverMessages.end(), message.id,
        [](const Message& m, qint64 id) { return m.id < id; });
    if (at != serverMessages.end() && at->id == message.id)
        *at = message;
    else
        serverMessages.insert(at, message);
}

Message& ScriptedClient::message(qint64 id)
{
    return *std::find_if(serverMessages.begin(), serverMessages.end(), [id](const Message& m) { return m.id == id; });
}

int ScriptedClient::count(const QString& op) const
{
    return int(std::count_if(calls.begin(), calls.end(), [&op](const Call& call) { return call.op == op; }));
}

QCoro::Task<> ScriptedClient::begin(QString op, qint64 argument, qint64 limit, std::stop_token stop)
{
    calls.append({ op, argument, limit });
    const std::chrono::milliseconds wait = delay ? delay(op, argument) : latency;
    if (wait.count() > 0) {
        QElapsedTimer elapsed;
        elapsed.start();
        while (elapsed.elapsed() < wait.count() && !stop.stop_requested()) {
            QTimer tick;
            tick.setSingleShot(true);
            tick.start(std::chrono::milliseconds(2));
            co_await tick;
        }
    } else if (suspends) {
        QTimer tick;
        tick.setSingleShot(true);
        tick.start(0);
        co_await tick;
    }
    if (stop.stop_requested())
        throw CancelledError();
    if (const auto failure = failures.value(op))
        failure();
}

QCoro::Task<SyncResponse> ScriptedClient::messages(qint64 since, qint64 limit, std::stop_token stop)
{
    co_await begin(QStringLiteral("messages"), since, limit, stop);
    if (pages)
        co_return pages(since, limit);
    SyncResponse page;
    auto it = std::upper_bound(
        serverMessages.cbegin(), serverMessages.cend(), since, [](qint64 id, const Message& m) { return id < m.id; });
    for (; it != serverMessages.cend() && page.messages.size() < limit; ++it)
        page.messages.append(*it);
    page.hasMore = it != serverMessages.cend();
    co_return page;
}

QCoro::Task<> ScriptedClient::markRead(qint64 id, std::stop_token stop)
{
    co_await begin(QStringLiteral("markRead"), id, 0, stop);
    lastReadId = id;
}

QCoro::Task<QList<AppInfo>> ScriptedClient::apps(std::stop_token stop)
{
    co_await begin(QStringLiteral("apps"), 0, 0, stop);
    // A copy: QCoro moves from any non-const lvalue handed to co_return, which would empty the server state.
    co_return QList<AppInfo>(serverApps);
}

QCoro::Task<std::optional<QByteArray>> ScriptedClient::appIcon(qint64 id, std::stop_token stop)
{
    co_await begin(QStringLiteral("appIcon"), id, 0, stop);
    if (!icons.contains(id))
        co_return std::nullopt;
    co_return icons.value(id);
}

QCoro::Task<> ScriptedClient::registerPushToken(QString token, std::stop_token stop)
{
    co_await begin(QStringLiteral("registerPushToken"), 0, 0, stop);
    pushToken = token;
}

QCoro::Task<> ScriptedClient::deleteMessage(qint64 id, std::stop_token stop)
{
    co_await begin(QStringLiteral("deleteMessage"), id, 0, stop);
    serverMessages.removeIf([id](const Message& m) { return m.id == id; });
}

QCoro::Task<> ScriptedClient::clearApp(qint64 id, std::stop_token stop)
{
    co_await begin(QStringLiteral("clearApp"), id, 0, stop);
    serverMessages.removeIf([id](const Message& m) { return m.applicationId == id; });
}

QCoro::Task<> ScriptedClient::revokeDevice(std::stop_token stop)
{
    co_await begin(QStringLiteral("revokeDevice"), 0, 0, stop);
    revoked = true;
}
