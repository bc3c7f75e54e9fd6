// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFrame>

class QLabel;
class QHBoxLayout;
class QPushButton;

namespace tidewell {

// A full-width strip above the message list: an icon and its text, optionally with buttons under the text, on the
// window's bar colour.
class Banner : public QFrame
{
    Q_OBJECT
public:
    Banner(const QString& symbol, const QColor& textColour, QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const;
    QPushButton* addButton(const QString& text, const QString& objectName);

protected:
    void changeEvent(QEvent* event) override;

private:
    void alignText();

    QLabel* m_text;
    QHBoxLayout* m_layout;
    QHBoxLayout* m_buttons;
};

} // namespace tidewell
