// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPushButton>

namespace tidewell {

// A flat button that reads as a link: underlined, in the palette's link colour. Its text wraps onto further lines
// where the row is narrower than it, as a long translation of a licence's name makes it, instead of asking the
// settings for a width that would make them scroll sideways.
class LinkButton : public QPushButton
{
    Q_OBJECT
public:
    LinkButton(const QString& text, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect textArea(int width) const;
};

} // namespace tidewell
