// SPDX-License-Identifier: GPL-3.0-or-later
#include "account/deviceconfig.h"

#include "base/systemlog.h"
#include "services/credentialstore.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>

#ifndef TIDEWELL_DEFAULT_URL
#error "TIDEWELL_DEFAULT_URL must be defined by the build"
#endif

namespace tidewell {

using Placement = CredentialStore::Placement;

namespace {
const auto saveFailedLine = QStringLiteral("DeviceConfig.save keychain write failed: OSStatus %1");
}

std::optional<DeviceConfig> DeviceConfig::decode(const QByteArray& data)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!it.value().isString())
            return std::nullopt;
    }
    if (!object.contains(QLatin1String("url")) || !object.contains(QLatin1String("secret")))
        return std::nullopt;
    const QUrl url(object.value(QLatin1String("url")).toString(), QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    return DeviceConfig { url, object.value(QLatin1String("secret")).toString() };
}

QCoro::Task<StoredConfig> DeviceConfig::read(CredentialStore& store, bool moveFromFallback)
{
    const CredentialStore::Item primary = co_await store.copy(Placement::Primary, service, account);
    if (primary.status == CredentialStore::Item::Status::Found) {
        if (auto config = decode(primary.data))
            co_return StoredConfig { std::move(config) };
    }
    const CredentialStore::Item fallback = co_await store.copy(Placement::Fallback, service, account);
    std::optional<DeviceConfig> config;
    if (fallback.status == CredentialStore::Item::Status::Found)
        config = decode(fallback.data);
    if (!config)
        co_return StoredConfig { std::nullopt, primary.status == CredentialStore::Item::Status::Unavailable };
    if (!moveFromFallback)
        co_return StoredConfig { std::move(config), false, true };
    co_await config->save(store); // moves it to the primary placement when that accepts it
    co_return StoredConfig { std::move(config) };
}

QCoro::Task<std::optional<DeviceConfig>> DeviceConfig::load(CredentialStore& store)
{
    StoredConfig stored = co_await read(store);
    co_return std::move(stored.config);
}

QByteArray DeviceConfig::encoded() const
{
    const QJsonObject object {
        { QStringLiteral("url"), serverURL.toString(QUrl::FullyEncoded) },
        { QStringLiteral("secret"), deviceSecret },
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray DeviceConfig::digest() const
{
    return QCryptographicHash::hash(encoded(), QCryptographicHash::Sha256).toHex();
}

QCoro::Task<bool> DeviceConfig::save(CredentialStore& store) const
{
    const QByteArray data = encoded();

    QCoro::Task<int> addingPrimary = store.add(Placement::Primary, service, account, data);
    if (co_await std::move(addingPrimary) == 0) {
        co_await store.remove(Placement::Fallback, service, account);
        co_return true;
    }
    QCoro::Task<int> addingFallback = store.add(Placement::Fallback, service, account, data);
    const int status = co_await std::move(addingFallback);
    if (status == 0) {
        // The primary placement may still hold an older item, which read() would prefer.
        co_await store.remove(Placement::Primary, service, account);
        co_return true;
    }
    SystemLog::write(saveFailedLine.arg(status));
    co_return false;
}

QCoro::Task<bool> DeviceConfig::clear(CredentialStore& store)
{
    QCoro::Task<bool> removingPrimary = store.remove(Placement::Primary, service, account);
    const bool primary = co_await std::move(removingPrimary);
    QCoro::Task<bool> removingFallback = store.remove(Placement::Fallback, service, account);
    const bool fallback = co_await std::move(removingFallback);
    const bool bothRemoved = primary && fallback;
    co_return bothRemoved;
}

const QUrl& tidewellDefaultURL()
{
    static const QUrl url(QStringLiteral(TIDEWELL_DEFAULT_URL));
    return url;
}

} // namespace tidewell
