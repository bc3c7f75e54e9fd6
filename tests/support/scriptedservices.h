// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cache/store.h"
#include "scriptedclient.h"
#include "state/appstate.h"

#include <memory>

// The services of an AppState under test: the given credential store and preferences, a cache kept in memory, and,
// when a client is given, that one client for whatever link the state makes. Tests set the other services on the
// result.
inline tidewell::AppState::Services scriptedServices(tidewell::CredentialStore& credentials,
    tidewell::Preferences& preferences, std::shared_ptr<ScriptedClient> client = nullptr)
{
    tidewell::AppState::Services services;
    services.credentials = &credentials;
    services.preferences = &preferences;
    services.openCache = [](bool) { return tidewell::Store::openCache(true); };
    if (client)
        services.makeClient = [client](const tidewell::DeviceConfig&) { return client; };
    return services;
}
