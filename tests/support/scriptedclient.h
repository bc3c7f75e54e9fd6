// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "api/apiclientprotocol.h"
#include "api/message.h"

#include <QHash>
#include <QList>
#include <QString>
#include <chrono>
#include <exception>
#include <functional>
#include <optional>

// A server in memory behind the client interface, for fast and exact tests of the engine and the application
// state. It serves its messages in id order from `since`, records every call, can fail any operation, can answer
// pages from a script instead, and can take its time so that a test may stop a call half way.
class ScriptedClient : public tidewell::APIClientProtocol
{
public:
    struct Call
    {
        QString op;
        qint64 argument = 0;
        qint64 limit = 0;
    };

    // Server state.
    QList<tidewell::Message> serverMessages; // kept in id order by addMessage()
    QList<tidewell::AppInfo> serverApps;
    QHash<qint64, QByteArray> icons; // an application without an entry answers no icon
    std::optional<qint64> lastReadId;
    QString pushToken;
    bool revoked = false;

    // Script.
    std::function<tidewell::SyncResponse(qint64 since, qint64 limit)> pages; // replaces the served pages when set
    QHash<QString, std::function<void()>> failures; // op name -> throws; consulted before the op does anything
    std::chrono::milliseconds latency { 0 }; // every op waits this long first, stopping early when asked
    // When set, replaces `latency` for each call: how long the op named `op` with `argument` waits.
    std::function<std::chrono::milliseconds(const QString& op, qint64 argument)> delay;
    // Without a latency, every op still returns to the event loop once before it answers, so that calls made
    // together overlap as they would over a network; otherwise an op without latency answers at once.
    bool suspends = false;
    QList<Call> calls;

    void addMessage(const tidewell::Message& message);
    tidewell::Message& message(qint64 id);
    int count(const QString& op) const;

    QCoro::Task<tidewell::SyncResponse> messages(qint64 since, qint64 limit, std::stop_token stop = {}) override;
    QCoro::Task<> markRead(qint64 lastReadId, std::stop_token stop = {}) override;
    QCoro::Task<QList<tidewell::AppInfo>> apps(std::stop_token stop = {}) override;
    QCoro::Task<std::optional<QByteArray>> appIcon(qint64 id, std::stop_token stop = {}) override;
    QCoro::Task<> registerPushToken(QString token, std::stop_token stop = {}) override;
    QCoro::Task<> deleteMessage(qint64 id, std::stop_token stop = {}) override;
    QCoro::Task<> clearApp(qint64 id, std::stop_token stop = {}) override;
    QCoro::Task<> revokeDevice(std::stop_token stop = {}) override;

private:
    QCoro::Task<> begin(QString op, qint64 argument, qint64 limit, std::stop_token stop);
};

// A failure for ScriptedClient::failures that throws `error` each time.
template <typename E> std::function<void()> failWith(E error)
{
    return [error] { throw error; };
}

// Builds a message with the fields tests usually care about.
tidewell::Message makeMessage(qint64 id, qint64 applicationId, qint64 ts = 0, const QString& body = QString(),
    std::optional<QString> title = std::nullopt, qint64 priority = 0);
