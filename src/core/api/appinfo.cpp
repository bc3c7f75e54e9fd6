// SPDX-License-Identifier: GPL-3.0-or-later
#include "api/appinfo.h"

#include <QHashFunctions>

namespace tidewell {

size_t qHash(const AppInfo& app, size_t seed)
{
    return qHashMulti(seed, app.id, app.name, app.color, app.hasIcon);
}

} // namespace tidewell
