// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cache/cachedapp.h"
#include "cache/cachedmessage.h"
#include "cache/storedmessage.h"

namespace tidewell {

class SqlStatement;

// Reads the current row of a stepped query into a record. A message query's columns are those of the messages
// table in its order; an application query's are id, name, color and icon.
namespace rowmapping {

CachedMessage messageAt(const SqlStatement& statement);
CachedApp appAt(const SqlStatement& statement);
// The texts are views into the row, valid until the statement steps again or is reset.
StoredMessage storedMessageAt(const SqlStatement& statement);
// Steps a bound message query to its end, handing each row to `visit`. Returns SQLite's last result: SQLITE_DONE
// when every row was read.
int visitStoredMessages(SqlStatement& statement, const StoredMessageVisit& visit);

} // namespace rowmapping

} // namespace tidewell
