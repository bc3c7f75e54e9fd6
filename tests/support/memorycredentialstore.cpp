#include "memorycredentialstore.h"

#include "account/deviceconfig.h"

QString MemoryCredentialStore::key(const char* service, const char* account)
{
    return QString::fromLatin1(service) + u'/' + QString::fromLatin1(account);
}

std::optional<QByteArray> MemoryCredentialStore::copy(Placement placement, const char* service, const char* account)
{
    const auto& items = m_items[int(placement)];
    const auto it = items.find(key(service, account));
    if (it == items.end())
        return std::nullopt;
    return *it;
}

int MemoryCredentialStore::add(Placement placement, const char* service, const char* account, const QByteArray& data)
{
    if (m_failure[int(placement)] != 0)
        return m_failure[int(placement)];
    m_items[int(placement)].insert(key(service, account), data);
    return 0;
}

void MemoryCredentialStore::remove(Placement placement, const char* service, const char* account)
{
    m_items[int(placement)].remove(key(service, account));
}

void MemoryCredentialStore::put(Placement placement, const QByteArray& data)
{
    m_items[int(placement)].insert(key(tidewell::DeviceConfig::service, tidewell::DeviceConfig::account), data);
}
