// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cache/cachedmessage.h"

#include <QHashFunctions>
#include <QList>
#include <QString>
#include <QStringView>
#include <optional>

namespace tidewell {

// The orderings of the message list. The raw value is what the preferences store, so it never changes once
// released; the menu shows its English words through the translator.
class MessageSort
{
public:
    enum Case
    {
        Newest, // greater ts first, then greater id
        Oldest, // smaller ts first, then smaller id
        Title, // by title, letter case ignored, an absent title as the empty one; identical titles newest first
    };

    constexpr MessageSort(Case value = Newest) noexcept
        : m_case(value)
    { }

    constexpr Case value() const noexcept { return m_case; }
    QString rawValue() const;
    // The case's name in the menu, in the user's language.
    QString label() const;
    QString id() const { return rawValue(); }

    // Every case in menu order; the first is the default.
    static QList<MessageSort> allCases();
    // The case whose raw value is exactly `raw`: no trimming, no case folding.
    static std::optional<MessageSort> fromRawValue(QStringView raw);

    // The same records in this ordering. The sort is stable: records that neither comes before the other (titles
    // that differ only in case) keep their order in `messages`.
    QList<CachedMessage> ordered(const QList<CachedMessage>& messages) const;
    // The same as ordered(), on positions into `messages`, so a caller can order a subset without copying records.
    QList<qsizetype> orderedPositions(const QList<CachedMessage>& messages, const QList<qsizetype>& positions) const;

    friend constexpr bool operator==(MessageSort, MessageSort) noexcept = default;

private:
    Case m_case;
};

inline size_t qHash(MessageSort sort, size_t seed = 0) noexcept
{
    return ::qHash(int(sort.value()), seed);
}

} // namespace tidewell
