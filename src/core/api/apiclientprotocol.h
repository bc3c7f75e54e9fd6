// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "api/appinfo.h"
#include "api/syncresponse.h"

#include <QByteArray>
#include <QCoroTask>
#include <QList>
#include <optional>
#include <stop_token>

namespace tidewell {

// The server operations the sync engine and the application state use. Abstract so that tests can drive the
// engine with a scripted server. Every operation runs on the UI thread and raises tidewell::Error subclasses;
// a stopped token ends it with CancelledError.
class APIClientProtocol
{
public:
    virtual ~APIClientProtocol() = default;

    virtual QCoro::Task<SyncResponse> messages(qint64 since, qint64 limit, std::stop_token stop = {}) = 0;
    virtual QCoro::Task<> markRead(qint64 lastReadId, std::stop_token stop = {}) = 0;
    virtual QCoro::Task<QList<AppInfo>> apps(std::stop_token stop = {}) = 0;
    virtual QCoro::Task<std::optional<QByteArray>> appIcon(qint64 id, std::stop_token stop = {}) = 0;
    virtual QCoro::Task<> registerPushToken(QString token, std::stop_token stop = {}) = 0;
    virtual QCoro::Task<> deleteMessage(qint64 id, std::stop_token stop = {}) = 0;
    virtual QCoro::Task<> clearApp(qint64 id, std::stop_token stop = {}) = 0;
    virtual QCoro::Task<> revokeDevice(std::stop_token stop = {}) = 0;
};

} // namespace tidewell
