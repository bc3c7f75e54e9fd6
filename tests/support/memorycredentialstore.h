#pragma once

#include "services/credentialstore.h"

#include <QHash>
#include <QString>

// A credential store in memory whose adds can be made to fail per placement, for the credential logic's tests.
class MemoryCredentialStore : public tidewell::CredentialStore
{
public:
    std::optional<QByteArray> copy(Placement placement, const char* service, const char* account) override;
    int add(Placement placement, const char* service, const char* account, const QByteArray& data) override;
    void remove(Placement placement, const char* service, const char* account) override;

    // Non-zero: every add to that placement fails with this status and changes nothing.
    void failAdds(Placement placement, int status) { m_failure[int(placement)] = status; }
    // The stored items of one placement, keyed "service/account".
    const QHash<QString, QByteArray>& items(Placement placement) const { return m_items[int(placement)]; }
    void put(Placement placement, const QByteArray& data);

private:
    static QString key(const char* service, const char* account);
    QHash<QString, QByteArray> m_items[2];
    int m_failure[2] = { 0, 0 };
};
