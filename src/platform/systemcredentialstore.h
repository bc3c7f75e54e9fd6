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
// The interface is synchronous because credentials are read once at start and written on link and unlink. Each
// secret-store job runs on a thread kept for them, in that thread's event loop, while the caller waits
// without processing any event of its own thread: no timer, socket or D-Bus signal of the caller runs in the
// middle of a credential operation.
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

    std::optional<QByteArray> copy(Placement placement, const char* service, const char* account) override;
    int add(Placement placement, const char* service, const char* account, const QByteArray& data) override;
    void remove(Placement placement, const char* service, const char* account) override;

    QString fallbackPath(const char* service, const char* account) const;

    // Whether org.freedesktop.secrets has an owner on the session bus or can be started by it.
    static bool secretStoreOnSessionBus();

protected:
    // The secret-store half of the placements, apart so that a test can play a store that refuses, which an
    // unlocked keyring never does. `add` returns 0 or the store's non-zero error.
    virtual std::optional<QByteArray> readSecret(const QString& service, const QString& key);
    virtual int writeSecret(const QString& service, const QString& key, const QByteArray& data);
    virtual void deleteSecret(const QString& service, const QString& key);

private:
    QString key(const char* account) const;

    QString m_folder;
    QString m_profile;
    PresenceProbe m_secretStorePresent;
};

} // namespace tidewell
