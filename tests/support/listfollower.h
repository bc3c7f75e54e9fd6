// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "lists/listprojection.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <optional>

namespace tidewell {

// A copy of the projection's message list kept current from its signals alone, as a view behind a model keeps
// its rows: ranges applied to the copy in the order told. At every signal it checks that the projection's rows
// read what the copy says they read at that moment (the rows before a range before it is applied, the rows after
// it once it is), so a range told late or early, out of bounds or of the wrong rows shows as a failure.
class ListFollower
{
public:
    struct Change
    {
        qsizetype first = 0;
        qsizetype last = 0;
        ListProjection::RowChanges what;
    };

    explicit ListFollower(ListProjection& projection)
        : m_projection(projection)
        , m_ids(idsOf(projection))
    {
        QObject::connect(&projection, &ListProjection::messagesAboutToBeInserted, &m_context,
            [this](qsizetype first, qsizetype last) {
                ++insertions;
                expectRows(u"before an insertion"_qs);
                if (m_pending || first < 0 || first > m_ids.size() || last < first)
                    fail(u"insertion of rows %1 to %2 into %3"_qs.arg(first).arg(last).arg(m_ids.size()));
                m_pending = std::pair(first, last);
            });
        QObject::connect(&projection, &ListProjection::messagesInserted, &m_context, [this] {
            if (!m_pending) {
                fail(u"an insertion ended that never began"_qs);
                return;
            }
            const auto [first, last] = *std::exchange(m_pending, std::nullopt);
            for (qsizetype row = first; row <= last && row < m_projection.messageCount(); ++row)
                m_ids.insert(row, m_projection.messageAt(row).id);
            expectRows(u"after an insertion"_qs);
        });
        QObject::connect(&projection, &ListProjection::messagesAboutToBeRemoved, &m_context,
            [this](qsizetype first, qsizetype last) {
                ++removals;
                expectRows(u"before a removal"_qs);
                if (m_pending || first < 0 || last >= m_ids.size() || last < first)
                    fail(u"removal of rows %1 to %2 of %3"_qs.arg(first).arg(last).arg(m_ids.size()));
                m_pending = std::pair(first, last);
            });
        QObject::connect(&projection, &ListProjection::messagesRemoved, &m_context, [this] {
            if (!m_pending) {
                fail(u"a removal ended that never began"_qs);
                return;
            }
            const auto [first, last] = *std::exchange(m_pending, std::nullopt);
            if (first >= 0 && last < m_ids.size())
                m_ids.remove(first, last - first + 1);
            expectRows(u"after a removal"_qs);
        });
        QObject::connect(&projection, &ListProjection::messagesChanged, &m_context,
            [this](qsizetype first, qsizetype last, ListProjection::RowChanges what) {
                changes.append(Change { first, last, what });
                if (m_pending || first < 0 || last >= m_ids.size() || last < first)
                    fail(u"change of rows %1 to %2 of %3"_qs.arg(first).arg(last).arg(m_ids.size()));
                expectRows(u"at a change"_qs);
            });
        QObject::connect(&projection, &ListProjection::messagesReset, &m_context, [this] {
            ++resets;
            if (m_pending)
                fail(u"reset inside a range"_qs);
            m_ids = idsOf(m_projection);
        });
    }

    static QList<qint64> idsOf(const ListProjection& projection)
    {
        QList<qint64> ids;
        for (qsizetype row = 0; row < projection.messageCount(); ++row)
            ids.append(projection.messageAt(row).id);
        return ids;
    }

    const QList<qint64>& ids() const { return m_ids; }
    // Whether the list was told to have changed rows at all, by ranges or as a whole.
    bool toldOfRows() const { return insertions + removals + resets > 0; }

    void clear()
    {
        insertions = removals = resets = 0;
        changes.clear();
        failures.clear();
    }

    int insertions = 0;
    int removals = 0;
    int resets = 0;
    QList<Change> changes;
    QStringList failures;

private:
    void fail(const QString& what) { failures.append(what); }

    void expectRows(const QString& when)
    {
        // std::equal, not QList's ==: Qt 6.4 hands memcmp the null data of an empty list, which UBSan stops on.
        const QList<qint64> shown = idsOf(m_projection);
        if (!std::equal(shown.begin(), shown.end(), m_ids.begin(), m_ids.end()))
            fail(u"the rows %1 are not those the ranges told so far"_qs.arg(when));
    }

    QObject m_context;
    ListProjection& m_projection;
    QList<qint64> m_ids;
    std::optional<std::pair<qsizetype, qsizetype>> m_pending;
};

} // namespace tidewell
