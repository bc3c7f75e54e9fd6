// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/error.h"

namespace tidewell {

// A cache query, write or commit that SQLite refused. The description is SQLite's own message.
class StoreError : public Error
{
public:
    using Error::Error;
};

} // namespace tidewell
