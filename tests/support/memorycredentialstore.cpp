// SPDX-License-Identifier: GPL-3.0-or-later
#include "memorycredentialstore.h"

#include "account/deviceconfig.h"

#include <QTimer>

QString MemoryCredentialStore::key(const char* service, const char* account)
{
    return QString::fromLatin1(service) + u'/' + QString::fromLatin1(account);
}

void MemoryCredentialStore::hold()
{
    m_hold->held = true;
}

// The waiting operations resume from the event loop, as a store's answers arrive, not inside this call.
void MemoryCredentialStore::release()
{
    m_hold->held = false;
    if (m_hold->inOrder) {
        answerNext(m_hold);
        return;
    }
    QTimer::singleShot(0, [hold = m_hold] {
        for (const std::coroutine_handle<> waiting : std::exchange(hold->waiting, {}))
            waiting.resume();
    });
}

void MemoryCredentialStore::answerInOrder()
{
    m_hold->inOrder = true;
}

// One answer per event-loop turn; an operation asked meanwhile goes behind the ones already waiting.
void MemoryCredentialStore::answerNext(const std::shared_ptr<Hold>& hold)
{
    if (hold->held || hold->answerDue || hold->waiting.empty())
        return;
    hold->answerDue = true;
    QTimer::singleShot(0, [hold] {
        hold->answerDue = false;
        if (hold->held || hold->waiting.empty())
            return;
        const std::coroutine_handle<> next = hold->waiting.front();
        hold->waiting.pop_front();
        next.resume();
        answerNext(hold);
    });
}

QCoro::Task<> MemoryCredentialStore::gate()
{
    struct Awaiter
    {
        std::shared_ptr<Hold> hold;
        bool await_ready() const noexcept { return !hold->held && !hold->inOrder; }
        void await_suspend(std::coroutine_handle<> waiting)
        {
            hold->waiting.push_back(waiting);
            answerNext(hold);
        }
        void await_resume() const noexcept { }
    };
    Awaiter released { m_hold }; // named: see base/bounded.h
    co_await released;
}

QCoro::Task<tidewell::CredentialStore::Item> MemoryCredentialStore::copy(
    Placement placement, const char* service, const char* account)
{
    ++m_pending;
    co_await gate();
    --m_pending;
    if (m_readFailure[int(placement)])
        co_return Item { Item::Status::Unavailable, {} };
    const auto& items = m_items[int(placement)];
    const auto it = items.find(key(service, account));
    if (it == items.end())
        co_return Item { Item::Status::Missing, {} };
    co_return Item { Item::Status::Found, *it };
}

QCoro::Task<int> MemoryCredentialStore::add(
    Placement placement, const char* service, const char* account, QByteArray data)
{
    ++m_pending;
    co_await gate();
    --m_pending;
    if (m_failure[int(placement)] != 0)
        co_return m_failure[int(placement)];
    m_items[int(placement)].insert(key(service, account), data);
    co_return 0;
}

QCoro::Task<bool> MemoryCredentialStore::remove(Placement placement, const char* service, const char* account)
{
    ++m_pending;
    co_await gate();
    --m_pending;
    if (m_removeFailure[int(placement)])
        co_return false;
    m_items[int(placement)].remove(key(service, account));
    co_return true;
}

void MemoryCredentialStore::put(Placement placement, const QByteArray& data)
{
    m_items[int(placement)].insert(key(tidewell::DeviceConfig::service, tidewell::DeviceConfig::account), data);
}
