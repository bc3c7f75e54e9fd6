// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAction>
#include <QObject>
#include <QString>
#include <QtTest>

namespace tidewell::test {

// Fires the action named `name` under `root` as a user would: only when it exists and is enabled. Otherwise it
// fails the running test with the action's name and returns false, so that TRIGGER_ACTION can end the test there
// instead of crashing on a missing object or passing on a click that did nothing.
inline bool triggerAction(const QObject* root, const QString& name, const char* file, int line)
{
    auto* action = root ? root->findChild<QAction*>(name) : nullptr;
    if (!action) {
        QTest::qFail(qPrintable(u"no action named \""_qs + name + u'"'), file, line);
        return false;
    }
    if (!action->isEnabled()) {
        QTest::qFail(qPrintable(u"the action \""_qs + name + u"\" is disabled"_qs), file, line);
        return false;
    }
    action->trigger();
    return true;
}

} // namespace tidewell::test

#define TRIGGER_ACTION(root, name)                                                                                     \
    do {                                                                                                               \
        if (!tidewell::test::triggerAction(root, name, __FILE__, __LINE__))                                            \
            return;                                                                                                    \
    } while (false)
