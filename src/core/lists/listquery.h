// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "lists/applicationsort.h"
#include "lists/messagesort.h"

#include <QString>
#include <optional>

namespace tidewell {

// What the lists show and in which order: the selected application (all when none), the search text, and the two
// orderings. The read position is not part of it: it changes what rows look like, not which rows there are.
struct ListQuery
{
    std::optional<qint64> applicationId {};
    QString searchText {};
    MessageSort messageSort {};
    ApplicationSort applicationSort {};

    friend bool operator==(const ListQuery&, const ListQuery&) = default;
};

} // namespace tidewell
