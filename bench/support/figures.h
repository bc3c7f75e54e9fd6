// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QTextStream>

// How the benchmarks that run at several sizes name and print their figures: "name_100k: 12.345 ms", one a line.

// The size as figures' names end in it: "_10k", "_100k", "_1m".
inline QString sizeSuffix(qint64 size)
{
    if (size >= 1000000 && size % 1000000 == 0)
        return QStringLiteral("_%1m").arg(size / 1000000);
    if (size >= 1000 && size % 1000 == 0)
        return QStringLiteral("_%1k").arg(size / 1000);
    return QStringLiteral("_%1").arg(size);
}

// Flushed at once, so that a long run shows each figure as it is measured. A ratio has no unit.
inline void printFigure(const QString& name, double value, const char* unit, int precision = 3)
{
    QTextStream out(stdout);
    out << name << ": " << QString::number(value, 'f', precision);
    if (*unit)
        out << ' ' << unit;
    out << Qt::endl;
}
