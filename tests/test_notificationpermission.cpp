// SPDX-License-Identifier: GPL-3.0-or-later
#include "coro.h"
#include "platform/dbusnotificationcentre.h"
#include "platform/gnomenotificationswitch.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

using namespace tidewell;
using Status = NotificationCentre::AuthorizationStatus;

namespace {

// What GNOME Settings leaves behind once the user has switched a few applications' notifications on or off, as
// GLib's keyfile backend keeps it. Tidewell's own group is added from its desktop id.
constexpr auto otherApplications = R"(
[org/gnome/desktop/notifications/application/org-example-quiet]
enable=true
show-banners=false

[org/gnome/desktop/notifications/application/org-example-loud]
enable=true

[org/gnome/desktop/notifications/application/org-example-my-app2]
enable=false
)";

// The switch as GNOME Settings flips it, through the same settings backend the reader uses.
void switchTidewell(bool on)
{
    const QByteArray path = GnomeNotificationSwitch::pathFor(QLatin1String(TIDEWELL_APP_ID)).toUtf8();
    GSettings* settings = g_settings_new_with_path(GnomeNotificationSwitch::schemaId, path.constData());
    g_settings_set_boolean(settings, "enable", on);
    g_object_unref(settings);
}

} // namespace

class TestNotificationPermission : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void pathFor_data();
    void pathFor();
    void appliesTo_data();
    void appliesTo();
    void switchAsWritten_data();
    void switchAsWritten();
    void withoutTheSchema();
    void statusFollowsTheSwitch_data();
    void statusFollowsTheSwitch();
    void noServerIsUnavailable();

private:
    QTemporaryDir m_home;
    bool m_schemasHidden = false;
};

void TestNotificationPermission::initTestCase()
{
    QVERIFY(m_home.isValid());
    // GLib reads these once, on its first settings call, so they are set before any.
    m_schemasHidden = qEnvironmentVariableIsSet("TIDEWELL_TEST_HIDE_SCHEMAS");
    if (m_schemasHidden) {
        const QString empty = m_home.filePath(u"no-schemas"_qs);
        QVERIFY(QDir().mkpath(empty));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(empty));
        qputenv("XDG_DATA_HOME", QFile::encodeName(empty));
        qunsetenv("GSETTINGS_SCHEMA_DIR");
    }
    qputenv("GSETTINGS_BACKEND", "keyfile");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.path()));

    const QString folder = m_home.filePath(u"glib-2.0/settings"_qs);
    QVERIFY(QDir().mkpath(folder));
    QFile keyfile(folder + u"/keyfile"_qs);
    QVERIFY(keyfile.open(QIODevice::WriteOnly));
    QString tidewellGroup = GnomeNotificationSwitch::pathFor(QLatin1String(TIDEWELL_APP_ID));
    tidewellGroup = tidewellGroup.mid(1, tidewellGroup.size() - 2);
    keyfile.write(u"[%1]\nenable=false\n"_qs.arg(tidewellGroup).toUtf8());
    keyfile.write(otherApplications);
}

void TestNotificationPermission::pathFor_data()
{
    QTest::addColumn<QString>("desktopId");
    QTest::addColumn<QString>("path");
    QTest::newRow("Tidewell") << u"app.tidewell.Tidewell"_qs
                              << u"/org/gnome/desktop/notifications/application/app-tidewell-tidewell/"_qs;
    QTest::newRow("dashes kept") << u"org.example.two-words"_qs
                                 << u"/org/gnome/desktop/notifications/application/org-example-two-words/"_qs;
    QTest::newRow("underscore and digits")
        << u"com.example.My_App2"_qs << u"/org/gnome/desktop/notifications/application/com-example-my-app2/"_qs;
    QTest::newRow("one dash per byte") << u"org.example.Caf\u00e9"_qs
                                       << u"/org/gnome/desktop/notifications/application/org-example-caf--/"_qs;
}

void TestNotificationPermission::pathFor()
{
    QFETCH(QString, desktopId);
    QFETCH(QString, path);
    QCOMPARE(GnomeNotificationSwitch::pathFor(desktopId), path);
}

void TestNotificationPermission::appliesTo_data()
{
    QTest::addColumn<QString>("currentDesktop");
    QTest::addColumn<bool>("applies");
    QTest::newRow("GNOME") << u"GNOME"_qs << true;
    QTest::newRow("Ubuntu's GNOME session") << u"ubuntu:GNOME"_qs << true;
    QTest::newRow("Plasma") << u"KDE"_qs << false;
    QTest::newRow("Cinnamon") << u"X-Cinnamon"_qs << false;
    QTest::newRow("a name that only starts like it") << u"GNOMEish"_qs << false;
    QTest::newRow("none") << QString() << false;
}

void TestNotificationPermission::appliesTo()
{
    QFETCH(QString, currentDesktop);
    QFETCH(bool, applies);
    QCOMPARE(GnomeNotificationSwitch::appliesTo(currentDesktop), applies);
}

void TestNotificationPermission::switchAsWritten_data()
{
    QTest::addColumn<QString>("desktopId");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("switched off") << u"org.example.My_App2"_qs << false;
    QTest::newRow("switched on") << u"org.example.Loud"_qs << true;
    QTest::newRow("banners hidden, still on") << u"org.example.Quiet"_qs << true;
    QTest::newRow("never switched") << u"org.example.New"_qs << true;
}

void TestNotificationPermission::switchAsWritten()
{
    if (m_schemasHidden)
        QSKIP("the desktop schemas are hidden in this run");
    QFETCH(QString, desktopId);
    QFETCH(bool, enabled);
    QCOMPARE(GnomeNotificationSwitch::enabled(desktopId), std::optional<bool>(enabled));
}

// Runs as its own CTest entry with the schemas out of sight, as on a system without GNOME's schemas.
void TestNotificationPermission::withoutTheSchema()
{
    if (!m_schemasHidden)
        QSKIP("runs with TIDEWELL_TEST_HIDE_SCHEMAS set");
    QCOMPARE(GnomeNotificationSwitch::enabled(u"org.example.My_App2"_qs), std::nullopt);
    qputenv("XDG_CURRENT_DESKTOP", "GNOME");
    QCOMPARE(GnomeNotificationSwitch::current(), std::nullopt);
}

void TestNotificationPermission::statusFollowsTheSwitch_data()
{
    QTest::addColumn<QString>("currentDesktop");
    QTest::addColumn<bool>("switchedOn");
    QTest::addColumn<Status>("status");
    QTest::newRow("GNOME, switched off") << u"GNOME"_qs << false << Status::Denied;
    QTest::newRow("GNOME, switched on") << u"GNOME"_qs << true << Status::Authorized;
    QTest::newRow("Ubuntu's GNOME session, switched off") << u"ubuntu:GNOME"_qs << false << Status::Denied;
    QTest::newRow("Plasma, a stale switch off") << u"KDE"_qs << false << Status::Authorized;
    QTest::newRow("no desktop named, a stale switch off") << QString() << false << Status::Authorized;
}

void TestNotificationPermission::statusFollowsTheSwitch()
{
    if (m_schemasHidden)
        QSKIP("the desktop schemas are hidden in this run");
    QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    if (!bus || !bus->isServiceRegistered(QLatin1String(DBusNotificationCentre::serviceName))) {
        if (qEnvironmentVariableIsSet("TIDEWELL_REQUIRE_NOTIFICATIONS"))
            QFAIL("no notification server on the session bus");
        QSKIP("no notification server on the session bus; scripts/with-test-services provides one");
    }
    QFETCH(QString, currentDesktop);
    QFETCH(bool, switchedOn);
    QFETCH(Status, status);
    qputenv("XDG_CURRENT_DESKTOP", currentDesktop.toUtf8());
    switchTidewell(switchedOn);

    DBusNotificationCentre centre;
    QCOMPARE(await(centre.authorizationStatus()), status);
    QCOMPARE(await(centre.requestAuthorization()), status == Status::Authorized);
}

void TestNotificationPermission::noServerIsUnavailable()
{
    const QDBusConnection nowhere
        = QDBusConnection::connectToBus(u"unix:path=/dev/null/no-session-bus"_qs, u"nowhere"_qs);
    DBusNotificationCentre centre(nowhere);
    QCOMPARE(await(centre.authorizationStatus()), Status::Unavailable);
    QVERIFY(!await(centre.requestAuthorization()));
}

QTEST_GUILESS_MAIN(TestNotificationPermission)
#include "test_notificationpermission.moc"
