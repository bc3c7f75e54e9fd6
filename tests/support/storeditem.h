// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "account/deviceconfig.h"
#include "services/credentialstore.h"

#include <QCoroTask>
#include <optional>

// The device configuration's item in one placement of a credential store, read, added and removed to the end.
inline std::optional<QByteArray> storedItem(
    tidewell::CredentialStore& store, tidewell::CredentialStore::Placement placement)
{
    using tidewell::DeviceConfig;
    const tidewell::CredentialStore::Item item
        = QCoro::waitFor(store.copy(placement, DeviceConfig::service, DeviceConfig::account));
    if (item.status != tidewell::CredentialStore::Item::Status::Found)
        return std::nullopt;
    return item.data;
}

inline int addItem(tidewell::CredentialStore& store, tidewell::CredentialStore::Placement placement, QByteArray data)
{
    using tidewell::DeviceConfig;
    return QCoro::waitFor(store.add(placement, DeviceConfig::service, DeviceConfig::account, std::move(data)));
}

inline void removeItem(tidewell::CredentialStore& store, tidewell::CredentialStore::Placement placement)
{
    using tidewell::DeviceConfig;
    QCoro::waitFor(store.remove(placement, DeviceConfig::service, DeviceConfig::account));
}
