#pragma once

#include "applistpane.h"
#include "mainwindow.h"
#include "messagelistpane.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QList>
#include <QTreeView>

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
