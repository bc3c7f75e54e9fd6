// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QFile>

// The process's resident set size in kB as the kernel counts it (VmRSS), or -1 when it cannot be read. Shared by
// the benchmarks so that their memory figures are comparable.
inline qint64 residentKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

inline double residentMegabytes()
{
    const qint64 kilobytes = residentKilobytes();
    return kilobytes < 0 ? -1 : kilobytes / 1024.0;
}
