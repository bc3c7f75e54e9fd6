// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFrame>

class QBoxLayout;
class QLabel;
class QHBoxLayout;
class QPushButton;

namespace tidewell {

// A full-width strip above the message list: an icon and its text, optionally with buttons, on the window's bar
// colour. The buttons sit beside the text while its one line and they fit side by side, and under it otherwise.
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
    void resizeEvent(QResizeEvent* event) override;

private:
    void alignText();
    void placeButtons();

    QLabel* m_text;
    QHBoxLayout* m_layout;
    QBoxLayout* m_column;
    QHBoxLayout* m_buttons;
};

} // namespace tidewell
