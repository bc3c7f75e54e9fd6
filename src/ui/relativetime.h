// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QDateTime>
#include <QString>

namespace tidewell {

// "3 hours ago", "yesterday", "last week": a time relative to now in named form with full unit words, as the
// sidebar shows the time of each application's latest message.
class RelativeTime
{
    Q_DECLARE_TR_FUNCTIONS(RelativeTime)

public:
    static QString text(const QDateTime& when, const QDateTime& now);
    // An abbreviated date and a short time in the user's locale, for a moment named exactly ("Last synced").
    static QString dateText(const QDateTime& date);

private:
    static QString minutes(qint64 n, bool past);
    static QString hours(qint64 n, bool past);
    static QString days(qint64 n, bool past);
    static QString weeks(qint64 n, bool past);
    static QString months(qint64 n, bool past);
    static QString years(qint64 n, bool past);
};

} // namespace tidewell
