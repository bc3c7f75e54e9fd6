// SPDX-License-Identifier: GPL-3.0-or-later
#include "lists/keylowering.h"

namespace tidewell {

KeyLowering::KeyLowering(const QLocale& locale)
    : m_locale(locale)
{
    const QString upper = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    m_ascii = m_locale.toLower(upper) == upper.toLower();
}

QByteArray KeyLowering::needle(const QString& text) const
{
    return text.isEmpty() ? QByteArray() : SearchKey::of(m_locale.toLower(text));
}

} // namespace tidewell
