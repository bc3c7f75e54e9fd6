// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "account/deviceconfig.h"

#include <QUrl>
#include <optional>

namespace tidewell {

// Reads a link URL: an address that carries a server's location and a freshly issued device secret, of the form
// https://host[:port]/link#s=SECRET (plain http only to this machine). Anything else is not a link and yields
// nothing, without a message.
class LinkURL
{
public:
    static constexpr int minimumSecretLength = 32;

    static std::optional<DeviceConfig> parse(const QUrl& url);

    LinkURL() = delete;
};

} // namespace tidewell
