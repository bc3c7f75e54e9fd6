// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <optional>

#include <QString>

class QColor;
class QGroupBox;
class QIcon;
class QLabel;
class QProgressBar;
class QWidget;

namespace tidewell {

// The settings' form pieces: named labels, a label and its value as one row, footers, busy indicators and the
// titled boxes that hold a section.
class FormRows
{
public:
    static QLabel* text(const QString& text, const QString& name, QWidget* parent);
    // Dimmed as the desktop dims secondary text.
    static QLabel* secondary(QLabel* label);
    // A smaller, dimmed, wrapped sentence under a section's controls.
    static QLabel* footer(const QString& text, const QString& name, QWidget* parent);
    // The icon at the small size; `tint`, when given, paints its shape in that one colour.
    static QLabel* icon(const QIcon& icon, QWidget* parent, const std::optional<QColor>& tint = std::nullopt);
    // A label on the left and its value on the right, as one row that shows and hides as a whole. A value with a
    // stretch takes that share of the row's free room.
    static QWidget* labelled(
        QWidget* parent, const QString& name, QWidget* label, QWidget* value, int valueStretch = 0);
    static QProgressBar* busyIndicator(const QString& name, QWidget* parent);
    // Sets both the text and the button text colour, so that labels and buttons take it alike.
    static void tint(QWidget* widget, const QColor& colour);
    // Gives `box` the vertical layout with the sections' spacing.
    static void sectionLayout(QGroupBox* box);
};

} // namespace tidewell
