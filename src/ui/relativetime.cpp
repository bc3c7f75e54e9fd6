// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/relativetime.h"

#include <QLocale>
#include <QRegularExpression>

namespace tidewell {

namespace {

QString units(qint64 n, const char* one, const char* many)
{
    return n == 1 ? QString::fromLatin1(one) : QStringLiteral("%1 %2").arg(n).arg(QLatin1String(many));
}

QString ago(qint64 n, const char* unit, const char* units_, const char* previous)
{
    if (n == 1 && previous)
        return QString::fromLatin1(previous);
    return units(n, unit, units_) + QStringLiteral(" ago");
}

QString ahead(qint64 n, const char* unit, const char* units_, const char* next)
{
    if (n == 1 && next)
        return QString::fromLatin1(next);
    return QStringLiteral("in ") + units(n, unit, units_);
}

} // namespace

// Days, weeks, months and years count calendar boundaries in local time, so that a message from 23:50 is
// "yesterday" at 00:10; seconds, minutes and hours count elapsed time.
QString RelativeTime::text(const QDateTime& when, const QDateTime& now)
{
    const qint64 seconds = when.secsTo(now);
    const bool past = seconds >= 0;
    const qint64 elapsed = past ? seconds : -seconds;
    auto say = [past](qint64 n, const char* unit, const char* many, const char* named) {
        return past ? ago(n, unit, many, named) : ahead(n, unit, many, named);
    };
    if (elapsed < 60)
        return QStringLiteral("now");
    if (elapsed < 3600) {
        const qint64 minutes = elapsed / 60;
        return past ? ago(minutes, "1 minute", "minutes", nullptr) : ahead(minutes, "1 minute", "minutes", nullptr);
    }
    const QDate from = when.toLocalTime().date();
    const QDate to = now.toLocalTime().date();
    const qint64 days = past ? from.daysTo(to) : to.daysTo(from);
    if (elapsed < 86400 && days == 0) {
        const qint64 hours = elapsed / 3600;
        return past ? ago(hours, "1 hour", "hours", nullptr) : ahead(hours, "1 hour", "hours", nullptr);
    }
    if (days < 7)
        return say(std::max<qint64>(days, 1), "1 day", "days", past ? "yesterday" : "tomorrow");
    if (days < 31)
        return say(days / 7, "1 week", "weeks", past ? "last week" : "next week");
    const QDate earlier = past ? from : to;
    const QDate later = past ? to : from;
    const int months = (later.year() - earlier.year()) * 12 + later.month() - earlier.month();
    if (months < 12)
        return say(std::max(months, 1), "1 month", "months", past ? "last month" : "next month");
    return say(std::max(later.year() - earlier.year(), 1), "1 year", "years", past ? "last year" : "next year");
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
    return locale.toString(local.date(), pattern.trimmed()) + QStringLiteral(", ")
        + locale.toString(local.time(), QLocale::ShortFormat);
}

} // namespace tidewell
