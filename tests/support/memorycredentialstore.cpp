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
    QTimer::singleShot(0, [hold = m_hold] {
        for (const std::coroutine_handle<> waiting : std::exchange(hold->waiting, {}))
            waiting.resume();
    });
}

QCoro::Task<> MemoryCredentialStore::gate()
{
    struct Awaiter
    {
        std::shared_ptr<Hold> hold;
        bool await_ready() const noexcept { return !hold->held; }
        void await_suspend(std::coroutine_handle<> waiting) { hold->waiting.push_back(waiting); }
        void await_resume() const noexcept { }
    };
    Awaiter released { m_hold }; // a named awaiter: GCC 12 destroys a temporary one too early
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

QCoro::Task<> MemoryCredentialStore::remove(Placement placement, const char* service, const char* account)
{
    ++m_pending;
    co_await gate();
    --m_pending;
    m_items[int(placement)].remove(key(service, account));
}

void MemoryCredentialStore::put(Placement placement, const QByteArray& data)
{
    m_items[int(placement)].insert(key(tidewell::DeviceConfig::service, tidewell::DeviceConfig::account), data);
}
