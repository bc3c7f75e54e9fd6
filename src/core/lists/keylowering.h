// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "lists/searchkey.h"

#include <QByteArrayView>
#include <QLocale>
#include <QString>

namespace tidewell {

// How search keys are lowered: by the locale, with ASCII text lowered directly where the locale lowers ASCII
// letters as ASCII does, which spares most texts the trip through QString. Safe to use from several threads at
// once.
class KeyLowering
{
public:
    explicit KeyLowering(const QLocale& locale = QLocale());

    const QLocale& locale() const { return m_locale; }

    // The key of a search text, to look for in the keys this makes.
    QByteArray needle(const QString& text) const;

    // Appends the key of `text` and returns its length.
    template <typename Buffer> quint32 append(const QString& text, Buffer& keys) const
    {
        const size_t start = keys.size();
        if (m_ascii) {
            bool plain = true;
            for (QChar c : text) {
                const char16_t unit = c.unicode();
                if (unit >= 0x80) {
                    plain = false;
                    break;
                }
                keys.push_back(char(unit >= u'A' && unit <= u'Z' ? unit + (u'a' - u'A') : unit));
            }
            if (plain)
                return quint32(keys.size() - start);
            keys.resize(start);
        }
        SearchKey::appendTo(m_locale.toLower(text), keys);
        return quint32(keys.size() - start);
    }

    // The same from the stored UTF-8 form: ASCII text, the usual case, is lowered as it is read, the rest goes
    // through QString.
    template <typename Buffer> quint32 append(QByteArrayView utf8, Buffer& keys) const
    {
        if (m_ascii) {
            unsigned char seen = 0;
            for (const char c : utf8)
                seen |= static_cast<unsigned char>(c);
            if (seen < 0x80) {
                const size_t start = keys.size();
                keys.insert(keys.end(), utf8.begin(), utf8.end());
                for (auto at = keys.begin() + qsizetype(start); at != keys.end(); ++at) {
                    if (unsigned(*at - 'A') < 26u)
                        *at = char(*at + ('a' - 'A'));
                }
                return quint32(utf8.size());
            }
        }
        return append(QString::fromUtf8(utf8), keys);
    }

private:
    QLocale m_locale;
    bool m_ascii = false;
};

} // namespace tidewell
