// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/messagesort.h"

#include "lists/titleranks.h"

#include <QCoreApplication>
#include <QHash>

#include <algorithm>
#include <array>
#include <numeric>
#include <vector>

namespace tidewell {

namespace {

// Indexed by MessageSort::Case. The dash in the title case is U+2013 EN DASH.
constexpr std::array<QStringView, 3> rawValues { u"Newest", u"Oldest", u"Title (A\u2013Z)" };
// The same names as shown: translated, while the raw values stay as stored.
constexpr std::array<const char*, 3> labels {
    QT_TRANSLATE_NOOP("MessageSort", "Newest"),
    QT_TRANSLATE_NOOP("MessageSort", "Oldest"),
    QT_TRANSLATE_NOOP("MessageSort", "Title (A\u2013Z)"),
};

struct TimeKey
{
    qint64 ts;
    qint64 id;
    qsizetype position;
};

struct TitleKey
{
    int rank; // collation rank of the title
    int text; // which exact title; equal only for titles equal as strings
    qint64 ts;
    qint64 id;
    qsizetype position;
};

template <typename Key> bool newerThan(const Key& left, const Key& right)
{
    return left.ts != right.ts ? left.ts > right.ts : left.id > right.id;
}

// Sorting small keys copied out of the records keeps the comparisons within a few cache lines.
template <typename Key, typename Less> QList<qsizetype> sortedPositions(std::vector<Key>& keys, Less less)
{
    std::stable_sort(keys.begin(), keys.end(), less);
    QList<qsizetype> positions;
    positions.reserve(qsizetype(keys.size()));
    for (const Key& key : keys)
        positions.append(key.position);
    return positions;
}

QList<qsizetype> byTime(const QList<CachedMessage>& messages, const QList<qsizetype>& positions, bool newestFirst)
{
    std::vector<TimeKey> keys;
    keys.reserve(size_t(positions.size()));
    for (qsizetype position : positions)
        keys.push_back({ messages[position].ts, messages[position].id, position });
    if (newestFirst)
        return sortedPositions(keys, newerThan<TimeKey>);
    return sortedPositions(keys, [](const TimeKey& left, const TimeKey& right) { return newerThan(right, left); });
}

QList<qsizetype> byTitle(const QList<CachedMessage>& messages, const QList<qsizetype>& positions)
{
    // Titles repeat a lot (alerts of one kind share one), so each distinct text is ranked once. A null QString
    // and an empty one hash and compare equal, which is what makes an absent title count as the empty title.
    QHash<QString, int> textIndex;
    QList<QString> texts;
    std::vector<TitleKey> keys;
    keys.reserve(size_t(positions.size()));
    for (qsizetype position : positions) {
        const CachedMessage& message = messages[position];
        const QString title = message.title.value_or(QString());
        auto found = textIndex.constFind(title);
        if (found == textIndex.constEnd()) {
            found = textIndex.insert(title, int(texts.size()));
            texts.append(title);
        }
        keys.push_back({ 0, *found, message.ts, message.id, position });
    }
    const QList<int> ranks = TitleRanks::of(texts);
    for (TitleKey& key : keys)
        key.rank = ranks[key.text];

    // Not a strict weak ordering: "Same" and "same" are unordered, yet two "Same" are ordered by time. A stable
    // merge sort stays in bounds for any consistent comparison and leaves unordered neighbours as they came.
    return sortedPositions(keys, [](const TitleKey& left, const TitleKey& right) {
        if (left.rank != right.rank)
            return left.rank < right.rank;
        return left.text == right.text && newerThan(left, right);
    });
}

} // namespace

QString MessageSort::rawValue() const
{
    return rawValues[m_case].toString();
}

QString MessageSort::label() const
{
    return QCoreApplication::translate("MessageSort", labels[m_case]);
}

QList<MessageSort> MessageSort::allCases()
{
    return { Newest, Oldest, Title };
}

std::optional<MessageSort> MessageSort::fromRawValue(QStringView raw)
{
    for (MessageSort sort : allCases()) {
        if (raw == rawValues[sort.value()])
            return sort;
    }
    return std::nullopt;
}

QList<CachedMessage> MessageSort::ordered(const QList<CachedMessage>& messages) const
{
    QList<qsizetype> positions(messages.size());
    std::iota(positions.begin(), positions.end(), qsizetype(0));
    QList<CachedMessage> result;
    result.reserve(messages.size());
    for (qsizetype position : orderedPositions(messages, positions))
        result.append(messages[position]);
    return result;
}

QList<qsizetype> MessageSort::orderedPositions(
    const QList<CachedMessage>& messages, const QList<qsizetype>& positions) const
{
    switch (m_case) {
    case Newest:
        return byTime(messages, positions, true);
    case Oldest:
        return byTime(messages, positions, false);
    case Title:
        return byTitle(messages, positions);
    }
    Q_UNREACHABLE();
}

} // namespace tidewell
