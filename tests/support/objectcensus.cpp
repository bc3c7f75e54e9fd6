// SPDX-License-Identifier: GPL-3.0-or-later
#include "objectcensus.h"

#include <QObject>
#include <QSet>
#include <QStringList>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <utility>

// Declared in Qt's private qhooks_p.h, which Debian does not ship; the table is exported for debuggers and its
// first slots have kept their meaning since Qt 5.4.
extern Q_CORE_EXPORT quintptr qtHookData[];

namespace {

enum HookIndex
{
    HookDataSize = 1,
    AddQObject = 3,
    RemoveQObject = 4
};
using ObjectHook = void (*)(QObject*);

struct Registry
{
    std::mutex mutex;
    std::unordered_set<QObject*> live;
    std::thread::id thread;
    quintptr previousAdd = 0;
    quintptr previousRemove = 0;
    bool installed = false;
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

void added(QObject* object)
{
    Registry& r = registry();
    {
        const std::lock_guard lock(r.mutex);
        if (r.installed && std::this_thread::get_id() == r.thread)
            r.live.insert(object);
    }
    if (r.previousAdd)
        reinterpret_cast<ObjectHook>(r.previousAdd)(object);
}

void removed(QObject* object)
{
    Registry& r = registry();
    {
        const std::lock_guard lock(r.mutex);
        r.live.erase(object);
    }
    if (r.previousRemove)
        reinterpret_cast<ObjectHook>(r.previousRemove)(object);
}

} // namespace

ObjectCensus::ObjectCensus()
{
    // A census that cannot count must not pass for one that found nothing.
    if (qtHookData[HookDataSize] <= RemoveQObject)
        qFatal("ObjectCensus: this Qt has no object hooks");
    Registry& r = registry();
    const std::lock_guard lock(r.mutex);
    if (r.installed)
        qFatal("ObjectCensus: one census at a time");
    r.thread = std::this_thread::get_id();
    r.live.clear();
    r.previousAdd = std::exchange(qtHookData[AddQObject], reinterpret_cast<quintptr>(&added));
    r.previousRemove = std::exchange(qtHookData[RemoveQObject], reinterpret_cast<quintptr>(&removed));
    r.installed = true;
}

ObjectCensus::~ObjectCensus()
{
    Registry& r = registry();
    const std::lock_guard lock(r.mutex);
    qtHookData[AddQObject] = r.previousAdd;
    qtHookData[RemoveQObject] = r.previousRemove;
    r.installed = false;
    r.live.clear();
}

ObjectCensus::Counts ObjectCensus::take() const
{
    Registry& r = registry();
    const std::lock_guard lock(r.mutex);
    Counts counts;
    for (QObject* object : r.live)
        ++counts[object->metaObject()->className()];
    return counts;
}

QString ObjectCensus::difference(const Counts& before, const Counts& after)
{
    QSet<QByteArray> names;
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        names.insert(it.key());
    for (auto it = after.cbegin(); it != after.cend(); ++it)
        names.insert(it.key());
    QStringList lines;
    for (const QByteArray& name : names) {
        const int was = before.value(name), is = after.value(name);
        if (was != is)
            lines.append(QStringLiteral("%1: %2 -> %3").arg(QString::fromLatin1(name)).arg(was).arg(is));
    }
    lines.sort();
    return lines.join(u'\n');
}
