// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/error.h"

namespace tidewell {

// A body that is not JSON at all, as the generic JSON parser reports it.
class JsonSyntaxError : public Error
{
public:
    using Error::Error;
};

} // namespace tidewell
