#pragma once

#include <QIcon>
#include <QString>

namespace tidewell {

// The window's icons, named by the symbols the views ask for ("arrow.clockwise", "trash", …). Each maps onto the
// freedesktop icon-theme name for the same meaning; when the desktop's theme lacks it (or there is no theme), a
// small drawing of our own is used, tinted with the palette's text colour so that it reads in light and dark.
class Icons
{
public:
    static QIcon symbol(const QString& name);
    // The freedesktop name a symbol maps onto; empty for symbols without one.
    static QString themeName(const QString& symbol);
};

} // namespace tidewell
