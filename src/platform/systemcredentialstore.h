#pragma once

#include "services/credentialstore.h"

#include <QString>

namespace tidewell {

// The credential store of a Linux desktop: the primary placement is the user's secret store (Secret Service,
// through QtKeychain); the fallback is a private file (mode 0600) in Tidewell's config folder, used only when
// the secret store refuses, for example on a machine without one.
//
// The interface is synchronous because credentials are read once at start and written on link and unlink; each
// secret-store job is waited for in a local event loop that excludes user input.
class SystemCredentialStore : public CredentialStore
{
public:
    // A non-empty `profile` keeps a separate item (the account name gets ".<profile>" appended), so that a demo
    // profile never touches the real link.
    explicit SystemCredentialStore(QString fallbackFolder, QString profile = {});

    std::optional<QByteArray> copy(Placement placement, const char* service, const char* account) override;
    int add(Placement placement, const char* service, const char* account, const QByteArray& data) override;
    void remove(Placement placement, const char* service, const char* account) override;

    QString fallbackPath(const char* service, const char* account) const;

private:
    QString key(const char* account) const;

    QString m_folder;
    QString m_profile;
};

} // namespace tidewell
