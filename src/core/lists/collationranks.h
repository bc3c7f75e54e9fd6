#pragma once

#include <QList>
#include <QString>

namespace tidewell {

// Turns texts into integers that sort the way the user's locale sorts the texts, letter case ignored. A sort of
// many rows then compares integers, and the collator runs only over the texts, not twice per comparison.
class CollationRanks
{
public:
    // One rank per text, at the text's position: a smaller rank sorts first, and texts the collator finds equal
    // (such as "Backup" and "backup") share a rank. The collator is the current default locale's, read on every
    // call, so a change of locale applies to the next sort. Pass each text once where texts repeat: the cost
    // grows with the number of texts given.
    static QList<int> of(const QList<QString>& texts);
};

} // namespace tidewell
