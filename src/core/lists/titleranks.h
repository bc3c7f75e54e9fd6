// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCollator>
#include <QHash>
#include <QList>
#include <QLocale>
#include <QString>

#include <vector>

namespace tidewell {

// The distinct titles of the cached messages, each with how many rows use it and its collation rank: an integer
// that sorts the way the locale sorts the titles, letter case ignored, so that ordering many rows by title compares
// integers and the collator runs over the distinct titles only. Titles come and go with the rows; a new one is
// placed with a few comparisons and the ranks are renumbered once before they are read. An absent title and an
// empty one share the empty text.
class TitleRanks
{
public:
    // One rank per text, at the text's position: a smaller rank sorts first, and texts the collator finds equal
    // (such as "Backup" and "backup") share a rank. The collator is the current default locale's, read on every
    // call, so a change of locale applies to the next sort. Pass each text once where texts repeat: the cost
    // grows with the number of texts given.
    static QList<int> of(const QList<QString>& texts);

    // Forgets every title and compares by `locale` from now on.
    void reset(const QLocale& locale);

    // One more use (or `uses` more) of a title; returns its text's number. With `deferRanks`, a new title waits
    // for rankAll() to be placed, which is cheaper when many arrive at once.
    qint32 acquire(const QString& title, bool deferRanks, qint32 uses = 1);
    void release(qint32 text);
    // Places every title in use, after acquiring with deferred ranks.
    void rankAll();
    // Makes rank() current; call before reading ranks after titles came or went.
    void renumber();

    qint32 rank(qint32 text) const { return m_rank[size_t(text)]; }
    qint32 rankCount() const;
    const QString& text(qint32 text) const { return m_texts[size_t(text)]; }

private:
    void place(qint32 text);

    QCollator m_collator;
    std::vector<QString> m_texts;
    std::vector<qint32> m_uses;
    std::vector<qint32> m_rank;
    std::vector<qint32> m_free;
    QHash<QString, qint32> m_index;
    std::vector<qint32> m_sorted; // texts in use in collation order
    std::vector<quint8> m_startsRank; // per m_sorted position: differs from the text before it
    bool m_stale = false;
};

} // namespace tidewell
