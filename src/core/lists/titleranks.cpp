// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/titleranks.h"

#include <algorithm>
#include <numeric>

namespace tidewell {

QList<int> TitleRanks::of(const QList<QString>& texts)
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);

    // Compare, not sort keys: in the C locale the collator compares without case but its keys keep case, and
    // the two must agree for the ranks to mean what the comparison means.
    std::vector<qsizetype> order(size_t(texts.size()));
    std::iota(order.begin(), order.end(), qsizetype(0));
    std::stable_sort(order.begin(), order.end(),
        [&](qsizetype left, qsizetype right) { return collator.compare(texts[left], texts[right]) < 0; });

    QList<int> ranks(texts.size());
    int rank = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        if (i > 0 && collator.compare(texts[order[i - 1]], texts[order[i]]) != 0)
            ++rank;
        ranks[order[i]] = rank;
    }
    return ranks;
}

void TitleRanks::reset(const QLocale& locale)
{
    *this = TitleRanks();
    m_collator = QCollator(locale);
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
}

qint32 TitleRanks::acquire(const QString& title, bool deferRanks, qint32 uses)
{
    // A null and an empty QString hash and compare equal: an absent title is the empty one.
    const auto found = m_index.constFind(title);
    if (found != m_index.constEnd()) {
        m_uses[size_t(*found)] += uses;
        return *found;
    }
    qint32 text;
    if (!m_free.empty()) {
        text = m_free.back();
        m_free.pop_back();
        m_texts[size_t(text)] = title;
        m_uses[size_t(text)] = uses;
    } else {
        text = qint32(m_texts.size());
        m_texts.push_back(title);
        m_uses.push_back(uses);
        m_rank.push_back(0);
    }
    m_index.insert(title, text);
    if (!deferRanks)
        place(text);
    return text;
}

void TitleRanks::release(qint32 text)
{
    if (--m_uses[size_t(text)] > 0)
        return;
    const auto at = std::find(m_sorted.begin(), m_sorted.end(), text);
    const size_t position = size_t(at - m_sorted.begin());
    // The next text starts the rank group when this one started it and was not alone in it.
    if (m_startsRank[position] && position + 1 < m_startsRank.size())
        m_startsRank[position + 1] = 1;
    m_sorted.erase(at);
    m_startsRank.erase(m_startsRank.begin() + qsizetype(position));
    m_index.remove(m_texts[size_t(text)]);
    m_texts[size_t(text)] = QString();
    m_free.push_back(text);
    m_stale = true;
}

// A new text goes where the collator puts it: a few comparisons, and the ranks are renumbered once the commit is
// in, not per text.
void TitleRanks::place(qint32 text)
{
    const QString& title = m_texts[size_t(text)];
    const auto at
        = std::lower_bound(m_sorted.begin(), m_sorted.end(), title, [&](qint32 existing, const QString& value) {
              return m_collator.compare(m_texts[size_t(existing)], value) < 0;
          });
    const size_t position = size_t(at - m_sorted.begin());
    m_sorted.insert(at, text);
    m_startsRank.insert(m_startsRank.begin() + qsizetype(position), 1);
    if (position + 1 < m_sorted.size())
        m_startsRank[position + 1] = m_collator.compare(title, m_texts[size_t(m_sorted[position + 1])]) != 0;
    m_stale = true;
}

void TitleRanks::rankAll()
{
    QList<QString> live;
    std::vector<qint32> ids;
    for (size_t text = 0; text < m_texts.size(); ++text) {
        if (m_uses[text] > 0) {
            live.append(m_texts[text]);
            ids.push_back(qint32(text));
        }
    }
    const QList<int> ranks = of(live);
    m_sorted = ids;
    std::vector<int> rankOf(m_texts.size(), 0);
    for (size_t i = 0; i < ids.size(); ++i)
        rankOf[size_t(ids[i])] = ranks[qsizetype(i)];
    std::stable_sort(m_sorted.begin(), m_sorted.end(),
        [&](qint32 left, qint32 right) { return rankOf[size_t(left)] < rankOf[size_t(right)]; });
    m_startsRank.assign(m_sorted.size(), 1);
    for (size_t i = 1; i < m_sorted.size(); ++i)
        m_startsRank[i] = rankOf[size_t(m_sorted[i])] != rankOf[size_t(m_sorted[i - 1])];
    m_stale = true;
}

void TitleRanks::renumber()
{
    if (!m_stale)
        return;
    qint32 rank = -1;
    for (size_t i = 0; i < m_sorted.size(); ++i) {
        if (m_startsRank[i] || rank < 0)
            ++rank;
        m_rank[size_t(m_sorted[i])] = rank;
    }
    m_stale = false;
}

qint32 TitleRanks::rankCount() const
{
    return qint32(std::count(m_startsRank.begin(), m_startsRank.end(), quint8(1)));
}

} // namespace tidewell
