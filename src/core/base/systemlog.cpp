// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/systemlog.h"

#include <syslog.h>

namespace tidewell {

namespace {
SystemLog::Sink& sink()
{
    static SystemLog::Sink instance;
    return instance;
}
} // namespace

void SystemLog::write(const QString& line)
{
    if (sink()) {
        sink()(line);
        return;
    }
    syslog(LOG_USER | LOG_WARNING, "%s", line.toUtf8().constData());
}

SystemLog::Sink SystemLog::setSink(Sink replacement)
{
    return std::exchange(sink(), std::move(replacement));
}

} // namespace tidewell
