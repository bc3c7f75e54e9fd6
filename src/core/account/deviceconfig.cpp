#include "account/deviceconfig.h"

#include "base/systemlog.h"
#include "services/credentialstore.h"

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

std::optional<DeviceConfig> DeviceConfig::load(CredentialStore& store)
{
    if (auto data = store.copy(Placement::Primary, service, account)) {
        if (auto config = decode(*data))
            return config;
    }
    auto data = store.copy(Placement::Fallback, service, account);
    if (!data)
        return std::nullopt;
    auto config = decode(*data);
    if (config)
        config->save(store); // moves it to the primary placement when that accepts it
    return config;
}

bool DeviceConfig::save(CredentialStore& store) const
{
    const QJsonObject object {
        { QStringLiteral("url"), serverURL.toString(QUrl::FullyEncoded) },
        { QStringLiteral("secret"), deviceSecret },
    };
    const QByteArray data = QJsonDocument(object).toJson(QJsonDocument::Compact);

    if (store.add(Placement::Primary, service, account, data) == 0) {
        store.remove(Placement::Fallback, service, account);
        return true;
    }
    const int status = store.add(Placement::Fallback, service, account, data);
    if (status == 0) {
        // The primary placement may still hold an older item, which load() would prefer.
        store.remove(Placement::Primary, service, account);
        return true;
    }
    SystemLog::write(saveFailedLine.arg(status));
    return false;
}

void DeviceConfig::clear(CredentialStore& store)
{
    store.remove(Placement::Primary, service, account);
    store.remove(Placement::Fallback, service, account);
}

const QUrl& tidewellDefaultURL()
{
    static const QUrl url(QStringLiteral(TIDEWELL_DEFAULT_URL));
    return url;
}

} // namespace tidewell
