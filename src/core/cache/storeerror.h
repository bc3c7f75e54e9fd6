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
