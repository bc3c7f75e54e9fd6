// SPDX-License-Identifier: GPL-3.0-or-later
#include "fuzztarget.h"
#include "notify/notificationhandler.h"

#include <cstring>

// The first byte chooses how the payload value arrives (text, integer, floating point or raw bytes), the rest is
// the value.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray rest = fuzzInput(data + 1, size - 1);
    QVariant value;
    switch (data[0] % 4) {
    case 0:
        value = QString::fromUtf8(rest);
        break;
    case 1: {
        qint64 number = 0;
        std::memcpy(&number, rest.constData(), std::min<size_t>(sizeof number, rest.size()));
        value = number;
        break;
    }
    case 2: {
        double number = 0;
        std::memcpy(&number, rest.constData(), std::min<size_t>(sizeof number, rest.size()));
        value = number;
        break;
    }
    default:
        value = rest;
        break;
    }
    const std::optional<qint64> id = tidewell::NotificationHandler::intValue(value);
    // Decimal text is read exactly: whatever it yields must print back to the same number.
    if (id && value.typeId() == QMetaType::QString) {
        bool ok = false;
        const qint64 direct = value.toString().trimmed().toLongLong(&ok);
        if (ok)
            FUZZ_CHECK(*id == direct);
    }
    return 0;
}
