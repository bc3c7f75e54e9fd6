// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// The live QObjects of the process, counted by class, for tests that show that repeated work leaves nothing
// behind. What such work would leave is mostly unparented — a sync pass still awaited, a reply, a timer — and no
// tree of children reaches it, so the census follows the hooks Qt calls from every QObject's constructor and
// destructor (the table it keeps for debuggers). Only objects made on the thread that created the census are
// counted, so that taking a census never reads an object another thread is building or destroying. One census
// at a time.
class ObjectCensus
{
public:
    using Counts = QMap<QByteArray, int>; // class name -> live objects

    ObjectCensus();
    ~ObjectCensus();
    ObjectCensus(const ObjectCensus&) = delete;
    ObjectCensus& operator=(const ObjectCensus&) = delete;

    Counts take() const;

    // One "class: before -> after" line for each class whose count differs; empty when none does.
    static QString difference(const Counts& before, const Counts& after);
};
