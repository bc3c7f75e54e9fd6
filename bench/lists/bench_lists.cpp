// SPDX-License-Identifier: GPL-3.0-or-later
// The list rules over 100,000 cached messages, as the main window runs them on every render, printed beside
// floors and straightforward versions measured in the same process on the same records: copying the records,
// a stable sort of the records calling the collator in every comparison, and a case-insensitive search of the
// raw texts.

#include "generatedmessage.h"
#include "lists/applicationsort.h"
#include "lists/listrules.h"
#include "lists/messagesort.h"

#include <QCollator>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QRandomGenerator>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <vector>

using namespace tidewell;

namespace {

constexpr qint64 messageCount = 100000;
constexpr qint64 appCount = 20;
constexpr int runs = 5;

QList<CachedMessage> makeMessages()
{
    QRandomGenerator random(42);
    QList<CachedMessage> messages;
    messages.reserve(messageCount);
    // The store's query order: id descending.
    for (qint64 id = messageCount; id > 0; --id) {
        const CachedMessage message = generatedMessage(id, appCount, random);
        messages.append(message);
    }
    return messages;
}

QList<CachedApp> makeApps()
{
    QList<CachedApp> apps;
    for (qint64 id = 1; id <= appCount; ++id)
        apps.append(CachedApp { id, QStringLiteral("Service %1").arg(id), QStringLiteral("#336699"), std::nullopt });
    return apps;
}

// Median wall time of a few runs, in milliseconds.
double measure(const std::function<qsizetype()>& work)
{
    std::vector<double> times;
    qsizetype sink = 0;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        sink += work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return sink < 0 ? -1 : times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QList<CachedMessage> messages = makeMessages();
    const QList<CachedApp> apps = makeApps();
    QTextStream out(stdout);
    const auto print
        = [&](const char* name, double ms) { out << name << ": " << QString::number(ms, 'f', 1) << " ms\n"; };

    print("floor: copy 100,000 records", measure([&] {
        QList<CachedMessage> copy;
        copy.reserve(messages.size());
        for (const CachedMessage& message : messages)
            copy.append(message);
        return copy.size();
    }));
    print("summaries: latestByApp + unreadByApp + totalUnread + highPriorityUnreadApps", measure([&] {
        const auto latest = ListRules::latestByApp(messages);
        const auto unread = ListRules::unreadByApp(messages, messageCount / 2);
        return latest.size() + ListRules::totalUnread(unread)
            + ListRules::highPriorityUnreadApps(messages, messageCount / 2).size();
    }));
    print("applications ordered, newest received", measure([&] {
        return ApplicationSort(ApplicationSort::NewestMessage).ordered(apps, ListRules::latestByApp(messages)).size();
    }));

    print("filtered: all, newest",
        measure([&] { return ListRules::filtered(messages, std::nullopt, QString(), MessageSort::Newest).size(); }));
    print("filtered: all, title",
        measure([&] { return ListRules::filtered(messages, std::nullopt, QString(), MessageSort::Title).size(); }));
    print("baseline: stable sort of the records, collator in every comparison", measure([&] {
        QCollator collator;
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        QList<CachedMessage> copy = messages;
        std::stable_sort(copy.begin(), copy.end(), [&](const CachedMessage& left, const CachedMessage& right) {
            const QString leftTitle = left.title.value_or(QString());
            const QString rightTitle = right.title.value_or(QString());
            if (leftTitle != rightTitle)
                return collator.compare(leftTitle, rightTitle) < 0;
            return left.ts != right.ts ? left.ts > right.ts : left.id > right.id;
        });
        return copy.size();
    }));

    print("filtered: search \"host-5 \", newest", measure([&] {
        return ListRules::filtered(messages, std::nullopt, QStringLiteral("host-5 "), MessageSort::Newest).size();
    }));
    print("baseline: case-insensitive contains over the raw texts", measure([&] {
        qsizetype found = 0;
        for (const CachedMessage& message : messages) {
            if (message.message.contains(u"host-5 ", Qt::CaseInsensitive)
                || (message.title && message.title->contains(u"host-5 ", Qt::CaseInsensitive)))
                ++found;
        }
        return found;
    }));
    print("filtered: one application, search \"disk\", title",
        measure([&] { return ListRules::filtered(messages, 3, QStringLiteral("disk"), MessageSort::Title).size(); }));
    return 0;
}
