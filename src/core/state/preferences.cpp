// SPDX-License-Identifier: GPL-3.0-or-later
#include "state/preferences.h"

#include "state/checkinterval.h"

#include <array>

namespace tidewell {

namespace {

struct Entry
{
    Preferences::Key key;
    const char* name;
    QMetaType::Type type;
    QVariant fallback; // invalid: none
};

const std::array<Entry, 7>& entries()
{
    using Key = Preferences::Key;
    static const std::array<Entry, 7> table { {
        { Key::MessageSort, "messageSort", QMetaType::QString, {} },
        { Key::ApplicationSort, "applicationSort", QMetaType::QString, {} },
        { Key::LastReadId, "lastReadId", QMetaType::LongLong, {} },
        { Key::PushRegistered, "pushRegistered", QMetaType::Bool, false },
        { Key::CheckInterval, "checkInterval", QMetaType::LongLong, qlonglong(CheckInterval::standard.count()) },
        { Key::ClosedWindowNoticeShown, "closedWindowNoticeShown", QMetaType::Bool, false },
        { Key::UnlinkedCredential, "unlinkedCredential", QMetaType::QByteArray, {} },
    } };
    return table;
}

const Entry& entry(Preferences::Key key)
{
    const auto& table = entries();
    const auto found = std::find_if(table.begin(), table.end(), [key](const Entry& e) { return e.key == key; });
    Q_ASSERT(found != table.end());
    return *found;
}

} // namespace

Preferences::Preferences(const QString& path, QObject* parent)
    : QObject(parent)
    , m_owned(std::make_unique<QSettings>(path, QSettings::IniFormat))
    , m_settings(m_owned.get())
{ }

Preferences::Preferences(QSettings& settings, QObject* parent)
    : QObject(parent)
    , m_settings(&settings)
{ }

Preferences::~Preferences() = default;

QString Preferences::name(Key key)
{
    return QString::fromLatin1(entry(key).name);
}

QVariant Preferences::value(Key key) const
{
    const Entry& e = entry(key);
    QVariant stored = m_settings->value(QString::fromLatin1(e.name));
    // The INI file keeps every value as text; a number or flag that does not read as one counts as absent.
    if (stored.isValid() && stored.convert(QMetaType(e.type)))
        return stored;
    return e.fallback;
}

bool Preferences::contains(Key key) const
{
    return m_settings->contains(name(key));
}

void Preferences::setValue(Key key, const QVariant& value)
{
    const bool differs = value != this->value(key) || !contains(key);
    m_settings->setValue(name(key), value);
    if (differs)
        emit changed(key);
}

void Preferences::remove(Key key)
{
    if (!contains(key))
        return;
    m_settings->remove(name(key));
    emit changed(key);
}

} // namespace tidewell
