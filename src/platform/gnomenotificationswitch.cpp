// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/gnomenotificationswitch.h"

#include "base/logging.h"

#include <memory>
#include <utility>

// GIO names a structure member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

namespace tidewell {

namespace {

struct SchemaUnref
{
    void operator()(GSettingsSchema* schema) const { g_settings_schema_unref(schema); }
};
struct ObjectUnref
{
    void operator()(gpointer object) const { g_object_unref(object); }
};

constexpr auto enableKey = "enable";

} // namespace

QString GnomeNotificationSwitch::pathFor(const QString& desktopId)
{
    // Byte by byte, as GNOME Settings does it, so a character outside ASCII becomes as many dashes as it has bytes.
    QByteArray canonical = desktopId.toUtf8();
    for (char& c : canonical) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        else if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'))
            c = '-';
    }
    return QLatin1String(pathPrefix) + QLatin1String(canonical) + u'/';
}

bool GnomeNotificationSwitch::appliesTo(const QString& currentDesktop)
{
    const QStringList desktops = currentDesktop.split(u':', Qt::SkipEmptyParts);
    return desktops.contains(u"GNOME"_qs, Qt::CaseInsensitive);
}

std::optional<bool> GnomeNotificationSwitch::enabled(const QString& desktopId)
{
    // Opening a schema that is not installed aborts the process, so it is looked up first.
    GSettingsSchemaSource* source = g_settings_schema_source_get_default(); // not ours to free
    if (!source)
        return std::nullopt;
    const std::unique_ptr<GSettingsSchema, SchemaUnref> schema(g_settings_schema_source_lookup(source, schemaId, TRUE));
    if (!schema || g_settings_schema_get_path(schema.get()) || !g_settings_schema_has_key(schema.get(), enableKey)) {
        static bool told = false;
        if (!std::exchange(told, true))
            qCInfo(lcPlatform) << "no per-application notification switch installed:" << schemaId;
        return std::nullopt;
    }
    const QByteArray path = pathFor(desktopId).toUtf8();
    const std::unique_ptr<GSettings, ObjectUnref> settings(
        g_settings_new_full(schema.get(), nullptr, path.constData()));
    // "show-banners" off still files the notifications in the shell's list, so only "enable" turns Tidewell off.
    return g_settings_get_boolean(settings.get(), enableKey) != FALSE;
}

std::optional<bool> GnomeNotificationSwitch::current()
{
    if (!appliesTo(qEnvironmentVariable("XDG_CURRENT_DESKTOP")))
        return std::nullopt;
    return enabled(QLatin1String(TIDEWELL_APP_ID));
}

} // namespace tidewell
