<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>APIClient</name>
    <message>
        <location filename="../src/core/api/apiclient.cpp" line="+17"/>
        <source>Server returned HTTP %1</source>
        <translation>Der Server antwortete mit HTTP %1</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Invalid server URL</source>
        <translation>Ungültige Serveradresse</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>The device secret contains characters that cannot be sent; link this device again</source>
        <translation>Das Gerätegeheimnis enthält Zeichen, die sich nicht senden lassen; verknüpfen Sie dieses Gerät erneut</translation>
    </message>
</context>
<context>
    <name>ApplicationSort</name>
    <message>
        <location filename="../src/core/lists/applicationsort.cpp" line="+20"/>
        <source>Newest Received</source>
        <translation>Zuletzt empfangen</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Name (A–Z)</source>
        <translation>Name (A–Z)</translation>
    </message>
</context>
<context>
    <name>ClosedWindowNotice</name>
    <message>
        <location filename="../src/platform/closedwindownotice.cpp" line="+28"/>
        <source>Tidewell is still running</source>
        <translation>Tidewell läuft weiter</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Tidewell keeps running to notify you of new messages. Launch Tidewell again to open its window.</source>
        <translation>Tidewell läuft im Hintergrund weiter und meldet neue Nachrichten. Starten Sie Tidewell erneut, um das Fenster zu öffnen.</translation>
    </message>
</context>
<context>
    <name>DecodingError</name>
    <message>
        <location filename="../src/core/api/decodingerror.h" line="+17"/>
        <source>The server&apos;s data could not be read: %1</source>
        <translation>Die Daten des Servers ließen sich nicht lesen: %1</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>The server&apos;s data could not be read: &quot;%1&quot; %2</source>
        <translation>Die Daten des Servers ließen sich nicht lesen: „%1“ %2</translation>
    </message>
    <message>
        <location filename="../src/core/api/wiredecoder.cpp" line="+31"/>
        <source>the body is not valid JSON (%1)</source>
        <translation>der Inhalt ist kein gültiges JSON (%1)</translation>
    </message>
    <message>
        <location line="+15"/>
        <source>is not an object</source>
        <extracomment>Follows the name of a member of the server&apos;s data, as in &quot;messages[3].ts&quot; is not an object.</extracomment>
        <translation>ist kein Objekt</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>is not a boolean</source>
        <translation>ist kein Wahrheitswert</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>is not an array</source>
        <translation>ist keine Liste</translation>
    </message>
    <message>
        <location line="+21"/>
        <source>is missing</source>
        <translation>fehlt</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>is null</source>
        <translation>ist leer (null)</translation>
    </message>
    <message>
        <location line="+21"/>
        <source>is not a 64-bit integer</source>
        <translation>ist keine 64-Bit-Ganzzahl</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>is not a string</source>
        <translation>ist keine Zeichenkette</translation>
    </message>
    <message>
        <location line="+63"/>
        <source>the application list is not an array</source>
        <translation>die Anwendungsliste ist keine Liste</translation>
    </message>
</context>
<context>
    <name>DeviceLinker</name>
    <message>
        <location filename="../src/core/account/devicelinker.cpp" line="+22"/>
        <source>Server returned HTTP %1</source>
        <translation>Der Server antwortete mit HTTP %1</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Unexpected server response</source>
        <translation>Unerwartete Antwort des Servers</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Invalid server URL</source>
        <translation>Ungültige Serveradresse</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>The server&apos;s answer is not JSON: %1</source>
        <translation>Die Antwort des Servers ist kein JSON: %1</translation>
    </message>
</context>
<context>
    <name>HTTPTransport</name>
    <message>
        <location filename="../src/core/net/httptransport.cpp" line="+82"/>
        <source>The server did not answer within %1 seconds.</source>
        <translation>Der Server hat nicht innerhalb von %1 Sekunden geantwortet.</translation>
    </message>
</context>
<context>
    <name>ListPresentation</name>
    <message>
        <location filename="../src/core/lists/listpresentation.cpp" line="+32"/>
        <source>All Messages</source>
        <translation>Alle Nachrichten</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Messages</source>
        <translation>Nachrichten</translation>
    </message>
    <message>
        <location line="+22"/>
        <source>Message</source>
        <extracomment>The title line of a message that has no title and whose application is unknown.</extracomment>
        <translation>Nachricht</translation>
    </message>
</context>
<context>
    <name>MessageSort</name>
    <message>
        <location filename="../src/core/lists/messagesort.cpp" line="+22"/>
        <source>Newest</source>
        <translation>Neueste zuerst</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Oldest</source>
        <translation>Älteste zuerst</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Title (A–Z)</source>
        <translation>Titel (A–Z)</translation>
    </message>
</context>
<context>
    <name>PlatformWords</name>
    <message>
        <location filename="../src/core/base/platformwords.h" line="+19"/>
        <location line="+10"/>
        <source>Mac</source>
        <translation>Mac</translation>
    </message>
    <message>
        <location line="-8"/>
        <source>Computer</source>
        <translation>Computer</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>computer</source>
        <translation>Computer</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>to the Keychain</source>
        <translation>im Schlüsselbund</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>to the keyring</source>
        <translation>im Schlüsselbund</translation>
    </message>
</context>
<context>
    <name>RelativeTime</name>
    <message>
        <location filename="../src/ui/relativetime.cpp" line="+16"/>
        <source>1 minute ago</source>
        <translation>vor 1 Minute</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>in 1 minute</source>
        <translation>in 1 Minute</translation>
    </message>
    <message numerus="yes">
        <location line="+1"/>
        <source>%n minutes ago</source>
        <translation>
            <numerusform>vor %n Minute</numerusform>
            <numerusform>vor %n Minuten</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <location line="+0"/>
        <source>in %n minutes</source>
        <translation>
            <numerusform>in %n Minute</numerusform>
            <numerusform>in %n Minuten</numerusform>
        </translation>
    </message>
    <message>
        <location line="+6"/>
        <source>1 hour ago</source>
        <translation>vor 1 Stunde</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>in 1 hour</source>
        <translation>in 1 Stunde</translation>
    </message>
    <message numerus="yes">
        <location line="+1"/>
        <source>%n hours ago</source>
        <translation>
            <numerusform>vor %n Stunde</numerusform>
            <numerusform>vor %n Stunden</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <location line="+0"/>
        <source>in %n hours</source>
        <translation>
            <numerusform>in %n Stunde</numerusform>
            <numerusform>in %n Stunden</numerusform>
        </translation>
    </message>
    <message>
        <location line="+6"/>
        <source>yesterday</source>
        <translation>gestern</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>tomorrow</source>
        <translation>morgen</translation>
    </message>
    <message numerus="yes">
        <location line="+1"/>
        <source>%n days ago</source>
        <translation>
            <numerusform>vor %n Tag</numerusform>
            <numerusform>vor %n Tagen</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <location line="+0"/>
        <source>in %n days</source>
        <translation>
            <numerusform>in %n Tag</numerusform>
            <numerusform>in %n Tagen</numerusform>
        </translation>
    </message>
    <message>
        <location line="+6"/>
        <source>last week</source>
        <translation>letzte Woche</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>next week</source>
        <translation>nächste Woche</translation>
    </message>
    <message numerus="yes">
        <location line="+1"/>
        <source>%n weeks ago</source>
        <translation>
            <numerusform>vor %n Woche</numerusform>
            <numerusform>vor %n Wochen</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <location line="+0"/>
        <source>in %n weeks</source>
        <translation>
            <numerusform>in %n Woche</numerusform>
            <numerusform>in %n Wochen</numerusform>
        </translation>
    </message>
    <message>
        <location line="+6"/>
        <source>last month</source>
        <translation>letzten Monat</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>next month</source>
        <translation>nächsten Monat</translation>
    </message>
    <message numerus="yes">
        <location line="+1"/>
        <source>%n months ago</source>
        <translation>
            <numerusform>vor %n Monat</numerusform>
            <numerusform>vor %n Monaten</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <location line="+0"/>
        <source>in %n months</source>
        <translation>
            <numerusform>in %n Monat</numerusform>
            <numerusform>in %n Monaten</numerusform>
        </translation>
    </message>
    <message>
        <location line="+6"/>
        <source>last year</source>
        <translation>letztes Jahr</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>next year</source>
        <translation>nächstes Jahr</translation>
    </message>
    <message numerus="yes">
        <location line="+1"/>
        <source>%n years ago</source>
        <translation>
            <numerusform>vor %n Jahr</numerusform>
            <numerusform>vor %n Jahren</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <location line="+0"/>
        <source>in %n years</source>
        <translation>
            <numerusform>in %n Jahr</numerusform>
            <numerusform>in %n Jahren</numerusform>
        </translation>
    </message>
    <message>
        <location line="+11"/>
        <source>now</source>
        <translation>jetzt</translation>
    </message>
    <message>
        <location line="+30"/>
        <source>%1, %2</source>
        <extracomment>A date and a time of day, as in &quot;Jan 5, 2025, 14:05&quot;.</extracomment>
        <translation>%1, %2</translation>
    </message>
</context>
<context>
    <name>SettingsTexts</name>
    <message>
        <location filename="../src/ui/settings/settingstexts.cpp" line="+12"/>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Connection</source>
        <translation>Verbindung</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Links this %1 to your Tidewell account through your web browser — no codes to copy.</source>
        <extracomment>%1 is the word for this machine inside a sentence, &quot;computer&quot;.</extracomment>
        <translation>Verknüpft diesen %1 über Ihren Webbrowser mit Ihrem Tidewell-Konto – ganz ohne Codes abzutippen.</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Linked</source>
        <translation>Verknüpft</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Link this %1</source>
        <extracomment>%1 is the word for this machine in a title, &quot;Computer&quot;.</extracomment>
        <translation>Diesen %1 verknüpfen</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Re-link this %1</source>
        <extracomment>%1 is the word for this machine in a title, &quot;Computer&quot;.</extracomment>
        <translation>Diesen %1 neu verknüpfen</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Waiting for approval in your browser…</source>
        <translation>Warte auf die Freigabe in Ihrem Browser…</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Pair code</source>
        <translation>Kopplungscode</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Confirm this code matches the one on the dashboard before approving.</source>
        <translation>Prüfen Sie vor der Freigabe, ob dieser Code mit dem im Dashboard übereinstimmt.</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Unlink / Reset</source>
        <translation>Trennen / Zurücksetzen</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Notifications</source>
        <translation>Benachrichtigungen</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Permission</source>
        <translation>Erlaubnis</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Not set</source>
        <translation>Nicht festgelegt</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Off</source>
        <translation>Aus</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>On</source>
        <translation>An</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Provisional</source>
        <translation>Vorläufig</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Ephemeral</source>
        <translation>Befristet</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>No notification service running</source>
        <translation>Kein Benachrichtigungsdienst aktiv</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Unknown</source>
        <translation>Unbekannt</translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Tidewell’s notifications are switched off in the desktop’s settings.</source>
        <translation>Die Benachrichtigungen von Tidewell sind in den Einstellungen der Arbeitsumgebung ausgeschaltet.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>This desktop runs no notification service, so Tidewell cannot show notifications. New messages still appear in Tidewell and in its unread count.</source>
        <translation>Auf dieser Arbeitsumgebung läuft kein Benachrichtigungsdienst, daher kann Tidewell keine Benachrichtigungen anzeigen. Neue Nachrichten erscheinen trotzdem in Tidewell und in der Zahl der ungelesenen.</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Open System Settings</source>
        <translation>Systemeinstellungen öffnen</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Turn On Notifications</source>
        <translation>Benachrichtigungen einschalten</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Push registration</source>
        <translation>Push-Registrierung</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Registered</source>
        <translation>Registriert</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Pending</source>
        <translation>Ausstehend</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Not available</source>
        <translation>Nicht verfügbar</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>This system has no push service, so Tidewell fetches new messages every few minutes.</source>
        <translation>Dieses System hat keinen Push-Dienst, daher ruft Tidewell neue Nachrichten alle paar Minuten ab.</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Sync</source>
        <translation>Synchronisation</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Deletes on other devices are not pulled automatically — use Clear Local Cache if histories diverge.</source>
        <translation>Was auf anderen Geräten gelöscht wird, verschwindet hier nicht von selbst – leeren Sie den lokalen Cache, wenn die Verläufe auseinanderlaufen.</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Last synced</source>
        <translation>Zuletzt synchronisiert</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Never</source>
        <translation>Nie</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Last error</source>
        <translation>Letzter Fehler</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Sync Now</source>
        <translation>Jetzt synchronisieren</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Clear Local Cache</source>
        <translation>Lokalen Cache leeren</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Check every</source>
        <translation>Abrufen alle</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>1 minute</source>
        <extracomment>A choice of how often to check for messages.</extracomment>
        <translation>1 Minute</translation>
    </message>
    <message numerus="yes">
        <location line="+0"/>
        <source>%n minutes</source>
        <translation>
            <numerusform>%n Minute</numerusform>
            <numerusform>%n Minuten</numerusform>
        </translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Start at login</source>
        <translation>Bei der Anmeldung starten</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Tidewell starts in the background with its status icon, syncing and notifying.</source>
        <translation>Tidewell startet im Hintergrund mit seinem Statussymbol, synchronisiert und benachrichtigt.</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Tidewell starts in the background, syncing and notifying. Launch it again to open its window.</source>
        <translation>Tidewell startet im Hintergrund, synchronisiert und benachrichtigt. Starten Sie es erneut, um das Fenster zu öffnen.</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Version</source>
        <translation>Version</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Web Dashboard</source>
        <translation>Web-Dashboard</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Done</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Unlink this device?</source>
        <translation>Dieses Gerät trennen?</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Removes this device from the server, clears the saved secret and local messages. You can link again anytime.</source>
        <translation>Entfernt dieses Gerät vom Server und löscht das gespeicherte Geheimnis und die lokalen Nachrichten. Sie können es jederzeit wieder verknüpfen.</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Unlink</source>
        <translation>Trennen</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Clear local cache?</source>
        <translation>Lokalen Cache leeren?</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Deletes cached messages and apps on this device, then re-syncs from the server.</source>
        <translation>Löscht die zwischengespeicherten Nachrichten und Apps auf diesem Gerät und synchronisiert danach neu vom Server.</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Clear</source>
        <translation>Leeren</translation>
    </message>
</context>
<context>
    <name>StatusItemContent</name>
    <message>
        <location filename="../src/ui/statusitemcontent.cpp" line="+8"/>
        <source>Tidewell — no unread</source>
        <translation>Tidewell – nichts ungelesen</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>1 unread notification</source>
        <translation>1 ungelesene Benachrichtigung</translation>
    </message>
    <message numerus="yes">
        <location line="+5"/>
        <source>%n unread notifications</source>
        <translation>
            <numerusform>%n ungelesene Benachrichtigung</numerusform>
            <numerusform>%n ungelesene Benachrichtigungen</numerusform>
        </translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Open Tidewell</source>
        <translation>Tidewell öffnen</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Mark 1 Read</source>
        <translation>1 als gelesen markieren</translation>
    </message>
    <message numerus="yes">
        <location line="+5"/>
        <source>Mark All %n Read</source>
        <translation>
            <numerusform>Alle %n als gelesen markieren</numerusform>
            <numerusform>Alle %n als gelesen markieren</numerusform>
        </translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Quit Tidewell</source>
        <translation>Tidewell beenden</translation>
    </message>
</context>
<context>
    <name>Store</name>
    <message>
        <location filename="../src/core/cache/store.cpp" line="+25"/>
        <source>The cache file holds another schema</source>
        <translation>Die Cache-Datei hat ein anderes Schema</translation>
    </message>
</context>
<context>
    <name>SyncError</name>
    <message>
        <location filename="../src/core/sync/syncerror.h" line="+16"/>
        <source>Sync stopped because the server returned a repeated page. Try again after checking the server.</source>
        <translation>Die Synchronisation wurde angehalten, weil der Server eine Seite wiederholt geliefert hat. Prüfen Sie den Server und versuchen Sie es dann erneut.</translation>
    </message>
</context>
<context>
    <name>tidewell::AboutSection</name>
    <message>
        <location filename="../src/ui/settings/aboutsection.cpp" line="+48"/>
        <source>GNU General Public License, version 3 or later</source>
        <translation>GNU General Public License, Version 3 oder neuer</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>License</source>
        <translation>Lizenz</translation>
    </message>
</context>
<context>
    <name>tidewell::AppListModel</name>
    <message numerus="yes">
        <location filename="../src/ui/applistmodel.cpp" line="+15"/>
        <source>%1, %n unread</source>
        <translation>
            <numerusform>%1, %n ungelesen</numerusform>
            <numerusform>%1, %n ungelesen</numerusform>
        </translation>
    </message>
    <message>
        <location line="+57"/>
        <source>Has high-priority unread</source>
        <translation>Ungelesene mit hoher Priorität</translation>
    </message>
</context>
<context>
    <name>tidewell::AppListPane</name>
    <message>
        <location filename="../src/ui/applistpane.cpp" line="+26"/>
        <location line="+10"/>
        <source>Applications</source>
        <translation>Anwendungen</translation>
    </message>
    <message>
        <location line="-5"/>
        <source>Sort Applications</source>
        <translation>Anwendungen sortieren</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Clear History</source>
        <translation>Verlauf löschen</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Clear the history of %1?</source>
        <translation>Verlauf von %1 löschen?</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Its messages are deleted on the server and here. This cannot be undone.</source>
        <translation>Die Nachrichten werden auf dem Server und hier gelöscht. Das lässt sich nicht rückgängig machen.</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>tidewell::AppState</name>
    <message>
        <location filename="../src/core/state/appstate.cpp" line="+24"/>
        <source>Delete didn&apos;t reach the server — the message is still on your other devices.</source>
        <translation>Das Löschen hat den Server nicht erreicht – die Nachricht ist auf Ihren anderen Geräten noch da.</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Clear didn&apos;t reach the server — those messages are still on your other devices.</source>
        <translation>Das Leeren hat den Server nicht erreicht – diese Nachrichten sind auf Ihren anderen Geräten noch da.</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Couldn&apos;t save the device credential %1 — try linking again.</source>
        <extracomment>%1 is where the credential goes, &quot;to the keyring&quot;.</extracomment>
        <translation>Die Zugangsdaten des Geräts ließen sich nicht %1 speichern – verknüpfen Sie es erneut.</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>The keyring hasn&apos;t answered yet; Tidewell shows what it has and connects once it does.</source>
        <translation>Der Schlüsselbund hat noch nicht geantwortet; Tidewell zeigt, was es schon hat, und verbindet sich, sobald er antwortet.</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Couldn&apos;t read the device credential from the keyring; unlock it and restart Tidewell.</source>
        <translation>Die Zugangsdaten des Geräts ließen sich nicht aus dem Schlüsselbund lesen; entsperren Sie ihn und starten Sie Tidewell neu.</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Unlinked, but the keyring kept the device credential. Tidewell won&apos;t use it and removes it at the next start.</source>
        <translation>Die Verknüpfung ist aufgehoben, aber der Schlüsselbund hat die Zugangsdaten des Geräts behalten. Tidewell verwendet sie nicht und entfernt sie beim nächsten Start.</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Sync failed unexpectedly — try again.</source>
        <translation>Die Synchronisation ist unerwartet fehlgeschlagen – versuchen Sie es erneut.</translation>
    </message>
</context>
<context>
    <name>tidewell::BrowserLinkFlow</name>
    <message>
        <location filename="../src/core/account/browserlinkflow.cpp" line="+14"/>
        <source>Invalid pair code from server — try again.</source>
        <translation>Ungültiger Kopplungscode vom Server – versuchen Sie es erneut.</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Link request timed out — try again.</source>
        <translation>Die Verknüpfungsanfrage hat zu lange gedauert – versuchen Sie es erneut.</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Link request expired — try again.</source>
        <translation>Die Verknüpfungsanfrage ist abgelaufen – versuchen Sie es erneut.</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Couldn&apos;t save the device credential — try again.</source>
        <translation>Die Zugangsdaten des Geräts ließen sich nicht speichern – versuchen Sie es erneut.</translation>
    </message>
</context>
<context>
    <name>tidewell::DBusNotificationCentre</name>
    <message>
        <location filename="../src/platform/dbusnotificationcentre.cpp" line="+99"/>
        <source>Open</source>
        <extracomment>The action of a notification that opens its message.</extracomment>
        <translation>Öffnen</translation>
    </message>
</context>
<context>
    <name>tidewell::MainWindow</name>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="+40"/>
        <source>Tidewell</source>
        <translation>Tidewell</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Not Configured</source>
        <translation>Nicht eingerichtet</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Open Settings and choose “Link this %1” to approve this device in your browser.</source>
        <translation>Öffnen Sie die Einstellungen und wählen Sie „Diesen %1 verknüpfen“, um dieses Gerät in Ihrem Browser freizugeben.</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Sync</source>
        <translation>Synchronisieren</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Refresh</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Showing cached messages — link this device in Settings to sync.</source>
        <translation>Zwischengespeicherte Nachrichten – verknüpfen Sie dieses Gerät in den Einstellungen, um zu synchronisieren.</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Dismiss</source>
        <translation>Ausblenden</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Link this device?</source>
        <translation>Dieses Gerät verknüpfen?</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>server</source>
        <extracomment>Stands for the host name in &quot;Connect to %1 with the scanned device secret.&quot; when the address has none.</extracomment>
        <translation>Server</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Connect to %1 with the scanned device secret. This replaces any existing configuration.</source>
        <extracomment>%1 is the server&apos;s host name.</extracomment>
        <translation>Stellt mit dem eingelesenen Gerätegeheimnis eine Verbindung zu %1 her. Eine bestehende Einrichtung wird dabei ersetzt.</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Link</source>
        <translation>Verknüpfen</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Mark All Read</source>
        <translation>Alle als gelesen markieren</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Paste Link URL</source>
        <translation>Verknüpfungsadresse einfügen</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Find</source>
        <translation>Suchen</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Quit Tidewell</source>
        <translation>Tidewell beenden</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Close Window</source>
        <translation>Fenster schließen</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Settings…</source>
        <translation>Einstellungen…</translation>
    </message>
    <message>
        <location line="+139"/>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
</context>
<context>
    <name>tidewell::MessageListModel</name>
    <message>
        <location filename="../src/ui/messagelistmodel.cpp" line="+17"/>
        <source>Unread. %1. %2</source>
        <extracomment>Read aloud for a message row: %1 is the message&apos;s title line, %2 its text.</extracomment>
        <translation>Ungelesen. %1. %2</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Read. %1. %2</source>
        <translation>Gelesen. %1. %2</translation>
    </message>
    <message>
        <location line="+62"/>
        <source>High priority</source>
        <translation>Hohe Priorität</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Emergency priority</source>
        <translation>Notfallpriorität</translation>
    </message>
</context>
<context>
    <name>tidewell::MessageListPane</name>
    <message>
        <location filename="../src/ui/messagelistpane.cpp" line="+34"/>
        <source>Mark All Read</source>
        <translation>Alle als gelesen markieren</translation>
    </message>
    <message numerus="yes">
        <location line="+5"/>
        <source>Mark %n unread as read</source>
        <translation>
            <numerusform>%n ungelesene als gelesen markieren</numerusform>
            <numerusform>%n ungelesene als gelesen markieren</numerusform>
        </translation>
    </message>
    <message>
        <location line="+0"/>
        <source>No unread messages</source>
        <translation>Keine ungelesenen Nachrichten</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Sort Messages</source>
        <translation>Nachrichten sortieren</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Messages</source>
        <translation>Nachrichten</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Search %1</source>
        <extracomment>%1 is what the list shows: &quot;All Messages&quot; or an application&apos;s name.</extracomment>
        <translation>%1 durchsuchen</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Copy Text</source>
        <translation>Text kopieren</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Open Link</source>
        <translation>Link öffnen</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>No Results</source>
        <translation>Keine Treffer</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>No Messages</source>
        <translation>Keine Nachrichten</translation>
    </message>
</context>
<context>
    <name>tidewell::NewMessageAlerts</name>
    <message>
        <location filename="../src/core/notify/newmessagealerts.cpp" line="+18"/>
        <source>Message</source>
        <extracomment>The title of a notification whose message has none.</extracomment>
        <translation>Nachricht</translation>
    </message>
    <message>
        <location line="+5"/>
        <source>1 more new message</source>
        <translation>1 weitere neue Nachricht</translation>
    </message>
    <message numerus="yes">
        <location line="+0"/>
        <source>%n more new messages</source>
        <translation>
            <numerusform>%n weitere neue Nachricht</numerusform>
            <numerusform>%n weitere neue Nachrichten</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>tidewell::StatusItem</name>
    <message>
        <location filename="../src/ui/statusitem.cpp" line="+41"/>
        <source>Tidewell</source>
        <translation>Tidewell</translation>
    </message>
</context>
</TS>
