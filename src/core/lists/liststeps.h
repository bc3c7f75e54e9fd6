// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#include <functional>
#include <optional>
#include <vector>

namespace tidewell {

// The rows a change removed from a list and those it inserted, as ranges a view can be told one after another, from
// the list's ids before and after the change. The rows that stay must keep their order: a row that moved is told as
// leaving its old place and entering its new one, which the caller says by naming it among those that entered. A
// change whose rows that stay changed order among themselves, or that takes more steps than are worth telling one
// by one, has no steps: the list is then told anew as a whole.
class ListSteps
{
public:
    struct Step
    {
        enum Kind
        {
            Remove,
            Insert,
        };
        Kind kind = Remove;
        // Where the step starts in each list: the rows above it are the new list's rows up to `newFrom`, and those
        // from it on are the old list's rows from `oldFrom` on. The step's first row is therefore `newFrom`.
        qsizetype oldFrom = 0;
        qsizetype newFrom = 0;
        qsizetype count = 0;

        friend bool operator==(const Step&, const Step&) = default;
    };

    // `departed` says of an id of the old list that it is not in the new one where it was (it left, or moved);
    // `entered` says of an id of the new list that it was not in the old one where it is (it came, or moved).
    static std::optional<std::vector<Step>> between(const std::vector<qint64>& before, const std::vector<qint64>& after,
        const std::function<bool(qint64)>& departed, const std::function<bool(qint64)>& entered, size_t maxSteps);
};

} // namespace tidewell
