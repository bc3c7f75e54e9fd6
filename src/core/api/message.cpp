// SPDX-License-Identifier: GPL-3.0-or-later
#include "api/message.h"

#include <QHashFunctions>

namespace tidewell {

// An absent optional must hash differently from an empty string.
static size_t optionalHash(const std::optional<QString>& value)
{
    return value ? qHash(*value) + 1 : 0;
}

size_t qHash(const Message& m, size_t seed)
{
    return qHashMulti(seed, m.id, m.applicationId, optionalHash(m.title), m.message, m.priority, optionalHash(m.url),
        optionalHash(m.urlTitle), optionalHash(m.sound), m.ts);
}

} // namespace tidewell
