// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cache/cachedapp.h"
#include "cache/cachedmessage.h"

#include <QHash>
#include <QHashFunctions>
#include <QList>
#include <QString>
#include <QStringView>
#include <optional>

namespace tidewell {

// The orderings of the application list. The raw value is what the preferences store, so it never changes once
// released; the menu shows its English words through the translator.
class ApplicationSort
{
public:
    enum Case
    {
        NewestMessage, // the application whose latest message is newest first; those without messages last, by name
        Alphabetical, // by name, letter case ignored
    };

    constexpr ApplicationSort(Case value = NewestMessage) noexcept
        : m_case(value)
    { }

    constexpr Case value() const noexcept { return m_case; }
    QString rawValue() const;
    // The case's name in the menu, in the user's language.
    QString label() const;
    QString id() const { return rawValue(); }

    // Every case in menu order; the first is the default.
    static QList<ApplicationSort> allCases();
    // The case whose raw value is exactly `raw`: no trimming, no case folding.
    static std::optional<ApplicationSort> fromRawValue(QStringView raw);

    // The same applications in this ordering, `latestByApp` being each application's latest message
    // (ListRules::latestByApp). The sort is stable: applications that neither comes before the other keep their
    // order in `apps`, which the store lists by name.
    QList<CachedApp> ordered(const QList<CachedApp>& apps, const QHash<qint64, CachedMessage>& latestByApp) const;

    friend constexpr bool operator==(ApplicationSort, ApplicationSort) noexcept = default;

private:
    Case m_case;
};

inline size_t qHash(ApplicationSort sort, size_t seed = 0) noexcept
{
    return ::qHash(int(sort.value()), seed);
}

} // namespace tidewell
