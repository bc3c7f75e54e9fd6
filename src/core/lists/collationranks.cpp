#include "lists/collationranks.h"

#include <QCollator>

#include <algorithm>
#include <numeric>
#include <vector>

namespace tidewell {

QList<int> CollationRanks::of(const QList<QString>& texts)
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

} // namespace tidewell
