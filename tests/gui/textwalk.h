// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

class QAbstractItemView;
class QAction;
class QMenu;
class QObject;
class QWidget;

// Reading a window's user-visible texts under a pseudo-translation, which wraps every translated text in these
// marks, to find the texts that bypassed the translator and the ones shown in less room than they need.
constexpr QChar markOpen = u'\u27e6';
constexpr QChar markClose = u'\u27e7';

// Whether nothing of `text` but counts, times and punctuation stands outside the marks, once every server text
// and every word of the locale's own (month names, AM and PM) is taken out. An unclosed mark fails the whole text.
bool cameThroughTheTranslator(const QString& text, const QStringList& serverTexts);

// A widget as a failure names it: its class and name, and the names of the widgets it sits in up to its window.
QString pathOf(const QObject* object);

// Collects every user-visible text of a window and what it shows, and each one that bypassed the translator.
class TextWalk
{
public:
    // `serverTexts`: everything the fixture's server says, which reaches the windows untranslated.
    explicit TextWalk(QStringList serverTexts);

    QStringList failures;
    int texts = 0;

    void window(QWidget* root);
    void check(const QString& where, const QString& what, const QString& text);
    void actions(const QString& where, const QList<QAction*>& actions);
    void menu(const QString& where, QMenu* menu);

private:
    void widget(QWidget* widget);
    // The rows a list shows: what its model gives the view and assistive technologies, and the texts its delegate
    // paints from the model's values (the time of a message, the age and the count of an application).
    void items(const QString& where, QAbstractItemView* view);

    QStringList m_serverTexts;
    QSet<QMenu*> m_menus;
};

// Every visible text of a window that is shown smaller than it needs: a widget whose size hint does not fit in the
// room it has, a wrapped label that needs more lines or a wider line than it got, a tool bar that hid some of its
// buttons behind its overflow arrow, a form that scrolls sideways.
QStringList cutTexts(QWidget* window);

// Makes the window the smallest it may be, as it enforces it, and lays it out.
void shrink(QWidget* window);
