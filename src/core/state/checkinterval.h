// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "state/preferences.h"

#include <array>
#include <chrono>

namespace tidewell::CheckInterval {

// How often the periodic sync runs, chosen by the user among a few sensible periods and kept with the other
// preferences in seconds (Preferences::Key::CheckInterval). Anything else found there (an edited file, a period offered
// once and dropped since) reads as the standard period, so the timer never runs at a rate the settings cannot show.

inline constexpr std::chrono::seconds standard { 300 };
inline constexpr std::array<std::chrono::seconds, 3> choices { std::chrono::seconds(60), standard,
    std::chrono::seconds(900) };

inline bool isChoice(std::chrono::seconds interval)
{
    for (const std::chrono::seconds choice : choices) {
        if (choice == interval)
            return true;
    }
    return false;
}

inline std::chrono::seconds load(const Preferences& preferences)
{
    const std::chrono::seconds stored { preferences.value(Preferences::Key::CheckInterval).toLongLong() };
    return isChoice(stored) ? stored : standard;
}

inline void store(Preferences& preferences, std::chrono::seconds interval)
{
    preferences.setValue(
        Preferences::Key::CheckInterval, static_cast<qlonglong>((isChoice(interval) ? interval : standard).count()));
}

} // namespace tidewell::CheckInterval
