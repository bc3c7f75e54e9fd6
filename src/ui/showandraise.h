// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QWidget;

namespace tidewell {

// Brings a top-level window to the front, restoring it when minimised: the same answer for the main window and the
// settings, whether asked from the status icon, a second launch or a menu.
void showAndRaise(QWidget* window);

} // namespace tidewell
