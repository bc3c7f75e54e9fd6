// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/applicationsort.h"

#include "lists/titleranks.h"

#include <QCoreApplication>

#include <algorithm>
#include <array>
#include <vector>

namespace tidewell {

namespace {

// Indexed by ApplicationSort::Case. The dash in the name case is U+2013 EN DASH.
constexpr std::array<QStringView, 2> rawValues { u"Newest Received", u"Name (A\u2013Z)" };
// The same names as shown: translated, while the raw values stay as stored.
constexpr std::array<const char*, 2> labels {
    QT_TRANSLATE_NOOP("ApplicationSort", "Newest Received"),
    QT_TRANSLATE_NOOP("ApplicationSort", "Name (A\u2013Z)"),
};

struct AppKey
{
    bool hasLatest;
    qint64 latestTs;
    qint64 latestId;
    int nameRank;
    qsizetype position;
};

} // namespace

QString ApplicationSort::rawValue() const
{
    return rawValues[m_case].toString();
}

QString ApplicationSort::label() const
{
    return QCoreApplication::translate("ApplicationSort", labels[m_case]);
}

QList<ApplicationSort> ApplicationSort::allCases()
{
    return { NewestMessage, Alphabetical };
}

std::optional<ApplicationSort> ApplicationSort::fromRawValue(QStringView raw)
{
    for (ApplicationSort sort : allCases()) {
        if (raw == rawValues[sort.value()])
            return sort;
    }
    return std::nullopt;
}

QList<CachedApp> ApplicationSort::ordered(
    const QList<CachedApp>& apps, const QHash<qint64, CachedMessage>& latestByApp) const
{
    QList<QString> names;
    names.reserve(apps.size());
    for (const CachedApp& app : apps)
        names.append(app.name);
    const QList<int> nameRanks = TitleRanks::of(names);

    std::vector<AppKey> keys;
    keys.reserve(size_t(apps.size()));
    for (qsizetype position = 0; position < apps.size(); ++position) {
        const auto latest = latestByApp.constFind(apps[position].id);
        const bool hasLatest = latest != latestByApp.constEnd();
        keys.push_back(
            { hasLatest, hasLatest ? latest->ts : 0, hasLatest ? latest->id : 0, nameRanks[position], position });
    }

    const auto byName = [](const AppKey& left, const AppKey& right) { return left.nameRank < right.nameRank; };
    const auto byNewestMessage = [&](const AppKey& left, const AppKey& right) {
        if (left.hasLatest != right.hasLatest)
            return left.hasLatest;
        if (left.hasLatest) {
            if (left.latestTs != right.latestTs)
                return left.latestTs > right.latestTs;
            if (left.latestId != right.latestId)
                return left.latestId > right.latestId;
        }
        return byName(left, right);
    };
    switch (m_case) {
    case NewestMessage:
        std::stable_sort(keys.begin(), keys.end(), byNewestMessage);
        break;
    case Alphabetical:
        std::stable_sort(keys.begin(), keys.end(), byName);
        break;
    }

    QList<CachedApp> result;
    result.reserve(apps.size());
    for (const AppKey& key : keys)
        result.append(apps[key.position]);
    return result;
}

} // namespace tidewell
