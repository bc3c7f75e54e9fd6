// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <functional>

namespace tidewell {

// Diagnostic lines that belong in the system log (syslog, which the journal collects) rather than on a terminal.
// Tests replace the sink to see what would have been written.
class SystemLog
{
public:
    using Sink = std::function<void(const QString& line)>;

    static void write(const QString& line);
    // Installs a sink in place of syslog; an empty sink restores syslog. Returns the previous sink.
    static Sink setSink(Sink sink);
};

} // namespace tidewell
