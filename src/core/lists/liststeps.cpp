// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/liststeps.h"

namespace tidewell {

// One walk down both lists. Rows equal in both stay; at the first that differs, the old list's rows that departed go
// first, then the new list's rows that entered come, so that the row after each step is one that stays. An id that
// is in both lists at the same point stays, even when it is said to have moved: it moved no further than its
// neighbours.
std::optional<std::vector<ListSteps::Step>> ListSteps::between(const std::vector<qint64>& before,
    const std::vector<qint64>& after, const std::function<bool(qint64)>& departed,
    const std::function<bool(qint64)>& entered, size_t maxSteps)
{
    std::vector<Step> steps;
    const qsizetype oldCount = qsizetype(before.size());
    const qsizetype newCount = qsizetype(after.size());
    qsizetype oldAt = 0;
    qsizetype newAt = 0;
    while (oldAt < oldCount || newAt < newCount) {
        if (oldAt < oldCount && newAt < newCount && before[size_t(oldAt)] == after[size_t(newAt)]) {
            ++oldAt;
            ++newAt;
            continue;
        }
        if (steps.size() >= maxSteps)
            return std::nullopt;
        if (oldAt < oldCount && departed(before[size_t(oldAt)])) {
            qsizetype end = oldAt + 1;
            while (end < oldCount && departed(before[size_t(end)])
                && (newAt >= newCount || before[size_t(end)] != after[size_t(newAt)]))
                ++end;
            steps.push_back(Step { Step::Remove, oldAt, newAt, end - oldAt });
            oldAt = end;
            continue;
        }
        if (newAt < newCount && entered(after[size_t(newAt)])) {
            qsizetype end = newAt + 1;
            while (end < newCount && entered(after[size_t(end)])
                && (oldAt >= oldCount || after[size_t(end)] != before[size_t(oldAt)]))
                ++end;
            steps.push_back(Step { Step::Insert, oldAt, newAt, end - newAt });
            newAt = end;
            continue;
        }
        return std::nullopt; // rows that stay changed their order
    }
    return steps;
}

} // namespace tidewell
