// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>

namespace tidewell {

// The window's icons, named by the symbols the views ask for ("arrow.clockwise", "trash", …). Each maps onto the
// freedesktop icon-theme names for the same meaning, asked for in their symbolic variant first; when the desktop's
// theme has none of them (or there is no theme), a small drawing of our own is used. Monochrome icons are tinted
// with the palette's text colour, so that they read in light and dark.
class Icons
{
public:
    static QIcon symbol(const QString& name);
    // The freedesktop names a symbol maps onto, without their "-symbolic" variants; empty for symbols without one.
    static QStringList themeNames(const QString& symbol);
};

} // namespace tidewell
