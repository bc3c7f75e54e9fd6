// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoroTask>
#include <QString>
#include <QUrl>
#include <optional>

namespace tidewell {

class CredentialStore;
struct StoredConfig;

// The one credential Tidewell holds: the server's base URL and the secret the server issued to this device. The
// stored copy is one item in the credential store, JSON {"url", "secret"}, in the primary placement when it
// accepts the write, otherwise in the fallback placement if the store lets it be written there.
struct DeviceConfig
{
    static constexpr auto service = "com.quorvek.pushclient";
    static constexpr auto account = "device-config";

    QUrl serverURL; // kept exactly as given; users of it strip one trailing "/" themselves
    QString deviceSecret;

    friend bool operator==(const DeviceConfig&, const DeviceConfig&) = default;

    // The stored configuration, or why there is none. An item found only in the fallback placement is moved to the
    // primary one on the way, unless `moveFromFallback` is false: a caller whose writes take turns moves it itself.
    static QCoro::Task<StoredConfig> read(CredentialStore& store, bool moveFromFallback = true);
    // The stored configuration, or none when nothing usable could be read.
    static QCoro::Task<std::optional<DeviceConfig>> load(CredentialStore& store);

    // Writes this value as the one stored item. The previous item survives a failed write: the new one is added
    // first (an add replaces the item of the same service and account), and only then is the other placement's
    // copy removed. Answers false when neither placement took it; that failure also goes to the system log. The
    // value and the store must outlive the returned task.
    QCoro::Task<bool> save(CredentialStore& store) const;

    // Removes the item from both placements. Answers false when a placement refused, so the item may remain; the
    // store's own words went to the log.
    static QCoro::Task<bool> clear(CredentialStore& store);

    // The stored item's bytes, and a digest of them that identifies this credential without revealing it.
    QByteArray encoded() const;
    QByteArray digest() const;

private:
    static std::optional<DeviceConfig> decode(const QByteArray& data);
};

// What a read of the stored configuration found.
struct StoredConfig
{
    std::optional<DeviceConfig> config;
    // Nothing usable was found, but the primary placement could not be read: a configuration may be there.
    bool unavailable = false;
    // Found in the fallback placement alone, and left there.
    bool inFallback = false;
};

// The server used for browser linking and the web dashboard, compiled in.
const QUrl& tidewellDefaultURL();

} // namespace tidewell
