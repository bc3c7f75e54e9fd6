// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/showandraise.h"

#include <QWidget>

namespace tidewell {

void showAndRaise(QWidget* window)
{
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
    window->activateWindow();
}

} // namespace tidewell
