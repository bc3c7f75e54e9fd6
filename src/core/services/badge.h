// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

namespace tidewell {

// The unread count on the application's launcher entry. A count below 1 hides the badge.
class Badge
{
public:
    virtual ~Badge() = default;
    virtual void setCount(qint64 count) = 0;
};

} // namespace tidewell
