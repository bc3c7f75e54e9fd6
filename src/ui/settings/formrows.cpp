// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/formrows.h"

#include <QColor>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QStyle>
#include <QVBoxLayout>

namespace tidewell {

QLabel* FormRows::text(const QString& text, const QString& name, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

QLabel* FormRows::secondary(QLabel* label)
{
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QLabel* FormRows::footer(const QString& text, const QString& name, QWidget* parent)
{
    QLabel* label = secondary(FormRows::text(text, name, parent));
    label->setWordWrap(true);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    label->setFont(font);
    return label;
}

QLabel* FormRows::icon(const QIcon& icon, QWidget* parent, const std::optional<QColor>& tint)
{
    auto* label = new QLabel(parent);
    const int extent = parent->style()->pixelMetric(QStyle::PM_SmallIconSize);
    QPixmap pixmap = icon.pixmap(extent, extent);
    if (tint && !pixmap.isNull()) {
        // A theme's symbolic icons are drawn in one dark grey, which a dark palette hides.
        QPainter painter(&pixmap);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(pixmap.rect(), *tint);
    }
    label->setPixmap(pixmap);
    return label;
}

// The value goes under its label when the two do not fit side by side, as a longer translation may make them: the
// row then asks for the width of the wider of the two instead of both, and the settings never scroll sideways.
QWidget* FormRows::labelled(QWidget* parent, const QString& name, QWidget* label, QWidget* value, int valueStretch)
{
    auto* row = new QWidget(parent);
    row->setObjectName(name);
    auto* layout = new QFormLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setRowWrapPolicy(QFormLayout::WrapLongRows);
    layout->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    label->setParent(row);
    value->setParent(row);
    auto* field = new QHBoxLayout;
    field->addStretch(1);
    field->addWidget(value, valueStretch);
    layout->addRow(label, field);
    return row;
}

QProgressBar* FormRows::busyIndicator(const QString& name, QWidget* parent)
{
    auto* bar = new QProgressBar(parent);
    bar->setObjectName(name);
    bar->setRange(0, 0);
    bar->setTextVisible(false);
    bar->setFixedSize(48, 10);
    return bar;
}

void FormRows::tint(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::ButtonText, colour);
    widget->setPalette(palette);
}

void FormRows::sectionLayout(QGroupBox* box)
{
    auto* layout = new QVBoxLayout(box);
    layout->setSpacing(8);
}

} // namespace tidewell
