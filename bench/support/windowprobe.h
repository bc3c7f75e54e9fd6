// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ui/applistpane.h"
#include "ui/mainwindow.h"
#include "ui/messagelistpane.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QList>
#include <QScrollBar>
#include <QTreeView>
#include <QWheelEvent>

// What the window benchmarks do to the main window and wait for, so that their figures mean the same.

// Paints the visible rows of both lists now, so that a measurement includes what the user waits for.
inline void repaintLists(tidewell::MainWindow& window)
{
    window.appList()->view()->viewport()->repaint();
    window.messageList()->view()->viewport()->repaint();
}

// Types `query` into the search field one character at a time and returns each keystroke's time, in
// milliseconds, until the field and the message list are repainted (the search changes nothing in the sidebar);
// then clears the field.
inline QList<double> typeQuery(tidewell::MainWindow& window, const QString& query)
{
    QLineEdit* search = window.messageList()->searchField();
    QList<double> times;
    for (qsizetype i = 1; i <= query.size(); ++i) {
        QElapsedTimer keystroke;
        keystroke.start();
        search->setText(query.left(i));
        search->repaint();
        window.messageList()->view()->viewport()->repaint();
        times.append(double(keystroke.nsecsElapsed()) / 1e6);
    }
    search->clear();
    repaintLists(window);
    return times;
}

// The message list as a scroll area, found by its name: what follows uses only what every scroll area has (wheel
// events on its viewport, its vertical scroll bar), so it measures the list whether it scrolls by rows or by pixels.
inline QAbstractScrollArea* messageListArea(tidewell::MainWindow& window)
{
    return window.findChild<QAbstractScrollArea*>(QStringLiteral("messageList"));
}

// Turns the wheel `notches` notches down (120 eighths of a degree each, over the middle of the list) and returns
// each notch's time, in milliseconds, until the list is repainted.
inline QList<double> wheelDown(QAbstractScrollArea& list, int notches)
{
    QWidget* viewport = list.viewport();
    const QPointF at(viewport->width() / 2.0, viewport->height() / 2.0);
    QList<double> times;
    for (int notch = 0; notch < notches; ++notch) {
        QWheelEvent wheel(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
            Qt::NoScrollPhase, false);
        QElapsedTimer timer;
        timer.start();
        QApplication::sendEvent(viewport, &wheel);
        viewport->repaint();
        times.append(double(timer.nsecsElapsed()) / 1e6);
    }
    return times;
}

// Drags the vertical scroll bar's handle from where it is to the bottom in `steps` equal steps, as a held mouse
// does, and returns each step's time, in milliseconds, until the list is repainted.
inline QList<double> dragToBottom(QAbstractScrollArea& list, int steps)
{
    QScrollBar* bar = list.verticalScrollBar();
    const int from = bar->value();
    QList<double> times;
    bar->setSliderDown(true);
    for (int step = 1; step <= steps; ++step) {
        QElapsedTimer timer;
        timer.start();
        // Against the maximum of the moment: a list that learns its rows' heights as they show may change it.
        bar->setSliderPosition(from + int(qint64(bar->maximum() - from) * step / steps));
        list.viewport()->repaint();
        times.append(double(timer.nsecsElapsed()) / 1e6);
    }
    bar->setSliderDown(false);
    list.viewport()->repaint();
    return times;
}
