// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cache/storedmessage.h"

#include <QByteArray>

namespace tidewell {

// Reads what is committed to the cache's file through a read-only connection of its own, which each call opens,
// uses and closes on the thread that calls it; so any thread may call, and none shares a connection with another.
// It never touches the UI thread's connection: the file name is all it is given.
class CallingThreadReader
{
public:
    explicit CallingThreadReader(QByteArray file)
        : m_file(std::move(file))
    { }

    // The messages with ids from `first` to `last`, in id order. Throws StoreError.
    void forEachMessage(qint64 first, qint64 last, const StoredMessageVisit& visit) const;

private:
    QByteArray m_file;
};

} // namespace tidewell
