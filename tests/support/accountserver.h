// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cache/cachedapp.h"
#include "cache/cachedmessage.h"
#include "fakeserver.h"

#include <functional>
#include <optional>

// A FakeServer that plays one whole account over HTTP: messages with ids 1..messageCount() spread over three
// applications, served in pages exactly as the server pages them, the application list, and the read position.
// A test can replace the answer to any page request, which is how faults are injected in the middle of a sync.
class AccountServer : public QObject
{
    Q_OBJECT
public:
    explicit AccountServer(qint64 messageCount, QObject* parent = nullptr);

    QUrl url() const { return m_http.url(); }
    FakeServer& http() { return m_http; }

    qint64 messageCount() const { return m_messageCount; }
    void setMessageCount(qint64 count) { m_messageCount = count; }

    // What the cache must hold for message `id` and for the account's applications once in step.
    static tidewell::CachedMessage message(qint64 id);
    static QList<tidewell::CachedApp> apps();

    // The n-th page request (1-based, counted from the last clearCounts) may be answered by the hook instead;
    // returning nothing serves the real page.
    using PageHook = std::function<std::optional<FakeServer::Response>(int n, qint64 since, qint64 limit)>;
    void setPageHook(PageHook hook) { m_pageHook = std::move(hook); }

    // The real answer to a page request.
    FakeServer::Response page(qint64 since, qint64 limit) const;

    // Holds back the answer to the first page request by `delay`, so that a sync pass is still running while a
    // test makes more requests.
    void holdFirstPage(std::chrono::milliseconds delay);

    // The `since` of every page request, in order, and the number of application-list requests (each ends a
    // complete pass), since the last clearCounts.
    const QList<qint64>& pageRequests() const { return m_sinceValues; }
    int appListRequests() const { return m_appListRequests; }
    void clearCounts()
    {
        m_sinceValues.clear();
        m_appListRequests = 0;
    }

signals:
    // Emitted when a page request arrives, before it is answered.
    void pageRequested(int n, qint64 since);

private:
    FakeServer::Response answer(const FakeServer::Request& request);

    FakeServer m_http;
    qint64 m_messageCount;
    PageHook m_pageHook;
    QList<qint64> m_sinceValues;
    int m_appListRequests = 0;
};
