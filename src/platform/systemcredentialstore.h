// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "services/credentialstore.h"

#include <QString>

#include <functional>

namespace tidewell {

// The credential store of a Linux desktop. The primary placement is the user's secret store (Secret Service,
// through QtKeychain). The fallback is a private file (mode 0600) in Tidewell's config folder, written only when
// no secret store exists on the session bus: nobody owns org.freedesktop.secrets and the bus cannot start it, or
// there is no session bus at all. A secret store that exists but refuses (a locked keyring whose unlock prompt
// the user dismissed, say) makes the write fail instead, so that the secret never drops silently into a file. The
// file is still read, so that a link kept there before still loads, and moves into the secret store as soon as
// the store accepts it.
//
// Each secret-store job runs on a thread kept for them, in that thread's event loop, and its outcome comes back to
// the caller's event loop: while the store asks the user to unlock or create a keyring, the windows keep painting
// and answering. A store that never answers leaves the operation pending for good; the caller bounds its wait.
class SystemCredentialStore : public CredentialStore
{
public:
    // The status of a fallback add refused because a secret store is present. Negative, so that it never meets a
    // file-system error number or a secret-store error code.
    static constexpr int refusedWhileSecretStorePresent = -2;

    // Answers whether a secret store exists on the session bus; asked only when the secret store refused a write.
    using PresenceProbe = std::function<bool()>;

    // A non-empty `profile` keeps a separate item (the account name gets ".<profile>" appended), so that a demo
    // profile never touches the real link. Without a probe, the session bus is asked.
    explicit SystemCredentialStore(QString fallbackFolder, QString profile = {}, PresenceProbe secretStorePresent = {});
    ~SystemCredentialStore() override;

    QCoro::Task<Item> copy(Placement placement, const char* service, const char* account) override;
    QCoro::Task<int> add(Placement placement, const char* service, const char* account, QByteArray data) override;
    QCoro::Task<bool> remove(Placement placement, const char* service, const char* account) override;

    QString fallbackPath(const char* service, const char* account) const;

    // Whether org.freedesktop.secrets has an owner on the session bus or can be started by it.
    static bool secretStoreOnSessionBus();
    // Whether the secret store's default collection is locked (a dismissed unlock prompt leaves it so).
    static QCoro::Task<bool> defaultCollectionLocked();

protected:
    // The secret-store half of the placements, apart so that a test can play a store that refuses, which an
    // unlocked keyring never does. `add` returns 0 or the store's non-zero error.
    virtual QCoro::Task<Item> readSecret(QString service, QString key);
    virtual QCoro::Task<int> writeSecret(QString service, QString key, QByteArray data);
    virtual QCoro::Task<bool> deleteSecret(QString service, QString key);

private:
    QString key(const char* account) const;

    QString m_folder;
    QString m_profile;
    PresenceProbe m_secretStorePresent;
};

} // namespace tidewell
