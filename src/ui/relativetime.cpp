// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/relativetime.h"

#include <QLocale>
#include <QRegularExpression>

#include <algorithm>

namespace tidewell {

// Each unit is a text of its own, counted with %n, so that a language words and inflects it as it must; one of a
// unit is its own text too, because English says "1 minute ago" where the counted form would say "1 minutes".
QString RelativeTime::minutes(qint64 n, bool past)
{
    if (n == 1)
        return past ? tr("1 minute ago") : tr("in 1 minute");
    return past ? tr("%n minutes ago", nullptr, int(n)) : tr("in %n minutes", nullptr, int(n));
}

QString RelativeTime::hours(qint64 n, bool past)
{
    if (n == 1)
        return past ? tr("1 hour ago") : tr("in 1 hour");
    return past ? tr("%n hours ago", nullptr, int(n)) : tr("in %n hours", nullptr, int(n));
}

QString RelativeTime::days(qint64 n, bool past)
{
    if (n == 1)
        return past ? tr("yesterday") : tr("tomorrow");
    return past ? tr("%n days ago", nullptr, int(n)) : tr("in %n days", nullptr, int(n));
}

QString RelativeTime::weeks(qint64 n, bool past)
{
    if (n == 1)
        return past ? tr("last week") : tr("next week");
    return past ? tr("%n weeks ago", nullptr, int(n)) : tr("in %n weeks", nullptr, int(n));
}

QString RelativeTime::months(qint64 n, bool past)
{
    if (n == 1)
        return past ? tr("last month") : tr("next month");
    return past ? tr("%n months ago", nullptr, int(n)) : tr("in %n months", nullptr, int(n));
}

QString RelativeTime::years(qint64 n, bool past)
{
    if (n == 1)
        return past ? tr("last year") : tr("next year");
    return past ? tr("%n years ago", nullptr, int(n)) : tr("in %n years", nullptr, int(n));
}

// Days, weeks, months and years count calendar boundaries in local time, so that a message from 23:50 is
// "yesterday" at 00:10; seconds, minutes and hours count elapsed time.
QString RelativeTime::text(const QDateTime& when, const QDateTime& now)
{
    const qint64 seconds = when.secsTo(now);
    const bool past = seconds >= 0;
    const qint64 elapsed = past ? seconds : -seconds;
    if (elapsed < 60)
        return tr("now");
    if (elapsed < 3600)
        return minutes(elapsed / 60, past);
    const QDate from = when.toLocalTime().date();
    const QDate to = now.toLocalTime().date();
    const qint64 dayCount = past ? from.daysTo(to) : to.daysTo(from);
    if (elapsed < 86400 && dayCount == 0)
        return hours(elapsed / 3600, past);
    if (dayCount < 7)
        return days(std::max<qint64>(dayCount, 1), past);
    if (dayCount < 31)
        return weeks(dayCount / 7, past);
    const QDate earlier = past ? from : to;
    const QDate later = past ? to : from;
    const int monthCount = (later.year() - earlier.year()) * 12 + later.month() - earlier.month();
    if (monthCount < 12)
        return months(std::max(monthCount, 1), past);
    return years(std::max(later.year() - earlier.year(), 1), past);
}

// The locale's long date without its weekday and with the month abbreviated ("Jan 5, 2025"), then a short time.
QString RelativeTime::dateText(const QDateTime& date)
{
    const QLocale locale;
    const QDateTime local = date.toLocalTime();
    QString pattern = locale.dateFormat(QLocale::LongFormat);
    static const QRegularExpression weekday(QStringLiteral("d{4}[,.]?\\s*"));
    pattern.remove(weekday);
    pattern.replace(QStringLiteral("MMMM"), QStringLiteral("MMM"));
    //: A date and a time of day, as in "Jan 5, 2025, 14:05".
    return tr("%1, %2").arg(
        locale.toString(local.date(), pattern.trimmed()), locale.toString(local.time(), QLocale::ShortFormat));
}

} // namespace tidewell
