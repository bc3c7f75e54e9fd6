// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/searchkey.h"

namespace tidewell {

QByteArray SearchKey::of(QStringView text)
{
    std::vector<char> bytes;
    appendTo(text, bytes);
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

} // namespace tidewell
