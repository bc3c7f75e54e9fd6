<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>APIClient</name>
    <message>
        <location filename="../src/core/api/apiclient.cpp" line="+17"/>
        <source>Server returned HTTP %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Invalid server URL</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>The device secret contains characters that cannot be sent; link this device again</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ApplicationSort</name>
    <message>
        <location filename="../src/core/lists/applicationsort.cpp" line="+20"/>
        <source>Newest Received</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Name (A–Z)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ClosedWindowNotice</name>
    <message>
        <location filename="../src/platform/closedwindownotice.cpp" line="+28"/>
        <source>Tidewell is still running</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Tidewell keeps running to notify you of new messages. Launch Tidewell again to open its window.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DeviceLinker</name>
    <message>
        <location filename="../src/core/account/devicelinker.cpp" line="+22"/>
        <source>Server returned HTTP %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Unexpected server response</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Invalid server URL</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>The server&apos;s answer is not JSON: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>HTTPTransport</name>
    <message>
        <location filename="../src/core/net/httptransport.cpp" line="+82"/>
        <source>The server did not answer within %1 seconds.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ListPresentation</name>
    <message>
        <location filename="../src/core/lists/listpresentation.cpp" line="+33"/>
        <source>All Messages</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Messages</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+22"/>
        <source>Message</source>
        <extracomment>The title line of a message that has no title and whose application is unknown.</extracomment>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>MessageSort</name>
    <message>
        <location filename="../src/core/lists/messagesort.cpp" line="+22"/>
        <source>Newest</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Oldest</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Title (A–Z)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PlatformWords</name>
    <message>
        <location filename="../src/core/base/platformwords.h" line="+19"/>
        <location line="+10"/>
        <source>Mac</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-8"/>
        <source>Computer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+10"/>
        <source>computer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+8"/>
        <source>to the Keychain</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>to the keyring</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>RelativeTime</name>
    <message>
        <location filename="../src/ui/relativetime.cpp" line="+16"/>
        <source>1 minute ago</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>in 1 minute</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <location line="+1"/>
        <source>%n minutes ago</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <location line="+0"/>
        <source>in %n minutes</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <location line="+6"/>
        <source>1 hour ago</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>in 1 hour</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <location line="+1"/>
        <source>%n hours ago</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <location line="+0"/>
        <source>in %n hours</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <location line="+6"/>
        <source>yesterday</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>tomorrow</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <location line="+1"/>
        <source>%n days ago</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <location line="+0"/>
        <source>in %n days</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <location line="+6"/>
        <source>last week</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>next week</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <location line="+1"/>
        <source>%n weeks ago</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <location line="+0"/>
        <source>in %n weeks</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <location line="+6"/>
        <source>last month</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>next month</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <location line="+1"/>
        <source>%n months ago</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <location line="+0"/>
        <source>in %n months</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <location line="+6"/>
        <source>last year</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>next year</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <location line="+1"/>
        <source>%n years ago</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <location line="+0"/>
        <source>in %n years</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <location line="+11"/>
        <source>now</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+30"/>
        <source>%1, %2</source>
        <extracomment>A date and a time of day, as in &quot;Jan 5, 2025, 14:05&quot;.</extracomment>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SettingsTexts</name>
    <message>
        <location filename="../src/ui/settings/settingstexts.cpp" line="+12"/>
        <source>Settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Connection</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Links this %1 to your Tidewell account through your web browser — no codes to copy.</source>
        <extracomment>%1 is the word for this machine inside a sentence, &quot;computer&quot;.</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Linked</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Link this %1</source>
        <extracomment>%1 is the word for this machine in a title, &quot;Computer&quot;.</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Re-link this %1</source>
        <extracomment>%1 is the word for this machine in a title, &quot;Computer&quot;.</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Waiting for approval in your browser…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Pair code</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Confirm this code matches the one on the dashboard before approving.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Unlink / Reset</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Notifications</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Permission</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Not set</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Off</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>On</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Provisional</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Ephemeral</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>No notification service running</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Unknown</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+7"/>
        <source>Tidewell’s notifications are switched off in the desktop’s settings.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>This desktop runs no notification service, so Tidewell cannot show notifications. New messages still appear in Tidewell and in its unread count.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Open System Settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Turn On Notifications</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Push registration</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Registered</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Pending</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Not available</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>This system has no push service, so Tidewell fetches new messages every few minutes.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Sync</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Deletes on other devices are not pulled automatically — use Clear Local Cache if histories diverge.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Last synced</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Never</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Last error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Sync Now</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Clear Local Cache</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Check every</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>1 minute</source>
        <extracomment>A choice of how often to check for messages.</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <location line="+0"/>
        <source>%n minutes</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Start at login</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Tidewell starts in the background with its status icon, syncing and notifying.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Tidewell starts in the background, syncing and notifying. Launch it again to open its window.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>About</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Version</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Web Dashboard</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Done</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Unlink this device?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Removes this device from the server, clears the saved secret and local messages. You can link again anytime.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Unlink</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Clear local cache?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Deletes cached messages and apps on this device, then re-syncs from the server.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Clear</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>StatusItemContent</name>
    <message>
        <location filename="../src/ui/statusitemcontent.cpp" line="+8"/>
        <source>Tidewell — no unread</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>1 unread notification</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <location line="+5"/>
        <source>%n unread notifications</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Open Tidewell</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Mark 1 Read</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <location line="+5"/>
        <source>Mark All %n Read</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Quit Tidewell</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>tidewell::AboutSection</name>
    <message>
        <location filename="../src/ui/settings/aboutsection.cpp" line="+52"/>
        <source>GNU General Public License, version 3 or later</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+3"/>
        <source>License</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>tidewell::AppListModel</name>
    <message>
        <location filename="../src/ui/applistmodel.cpp" line="+12"/>
        <source>All Messages</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <location line="+8"/>
        <source>%1, %n unread</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <location line="+57"/>
        <source>Has high-priority unread</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>tidewell::AppListPane</name>
    <message>
        <location filename="../src/ui/applistpane.cpp" line="+26"/>
        <location line="+10"/>
        <source>Applications</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="-5"/>
        <source>Sort Applications</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Clear History</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Clear the history of %1?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Its messages are deleted on the server and here. This cannot be undone.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>tidewell::AppState</name>
    <message>
        <location filename="../src/core/state/appstate.cpp" line="+24"/>
        <source>Delete didn&apos;t reach the server — the message is still on your other devices.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Clear didn&apos;t reach the server — those messages are still on your other devices.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Couldn&apos;t save the device credential %1 — try linking again.</source>
        <extracomment>%1 is where the credential goes, &quot;to the keyring&quot;.</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>The keyring hasn&apos;t answered yet; Tidewell shows what it has and connects once it does.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Couldn&apos;t read the device credential from the keyring; unlock it and restart Tidewell.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Sync failed unexpectedly — try again.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>tidewell::BrowserLinkFlow</name>
    <message>
        <location filename="../src/core/account/browserlinkflow.cpp" line="+14"/>
        <source>Invalid pair code from server — try again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Link request timed out — try again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Link request expired — try again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Couldn&apos;t save the device credential — try again.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>tidewell::DBusNotificationCentre</name>
    <message>
        <location filename="../src/platform/dbusnotificationcentre.cpp" line="+99"/>
        <source>Open</source>
        <extracomment>The action of a notification that opens its message.</extracomment>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>tidewell::MainWindow</name>
    <message>
        <location filename="../src/ui/mainwindow.cpp" line="+40"/>
        <source>Tidewell</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Not Configured</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Open Settings and choose “Link this %1” to approve this device in your browser.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Sync</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Refresh</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Showing cached messages — link this device in Settings to sync.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Dismiss</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Link this device?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+9"/>
        <source>server</source>
        <extracomment>Stands for the host name in &quot;Connect to %1 with the scanned device secret.&quot; when the address has none.</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Connect to %1 with the scanned device secret. This replaces any existing configuration.</source>
        <extracomment>%1 is the server&apos;s host name.</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Link</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Mark All Read</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Paste Link URL</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Find</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Quit Tidewell</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Close Window</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Settings…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+139"/>
        <source>&amp;File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>&amp;Edit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+9"/>
        <source>&amp;View</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>tidewell::MessageListModel</name>
    <message>
        <location filename="../src/ui/messagelistmodel.cpp" line="+17"/>
        <source>Unread. %1. %2</source>
        <extracomment>Read aloud for a message row: %1 is the message&apos;s title line, %2 its text.</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Read. %1. %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+62"/>
        <source>High priority</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Emergency priority</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>tidewell::MessageListPane</name>
    <message>
        <location filename="../src/ui/messagelistpane.cpp" line="+33"/>
        <source>Mark All Read</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <location line="+5"/>
        <source>Mark %n unread as read</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <location line="+0"/>
        <source>No unread messages</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Sort Messages</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Messages</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Search %1</source>
        <extracomment>%1 is what the list shows: &quot;All Messages&quot; or an application&apos;s name.</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Delete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Copy Text</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>Open Link</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>No Results</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>No Messages</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>tidewell::NewMessageAlerts</name>
    <message>
        <location filename="../src/core/notify/newmessagealerts.cpp" line="+18"/>
        <source>Message</source>
        <extracomment>The title of a notification whose message has none.</extracomment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <location line="+5"/>
        <source>1 more new message</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <location line="+0"/>
        <source>%n more new messages</source>
        <translation type="unfinished">
            <numerusform></numerusform>
            <numerusform></numerusform>
        </translation>
    </message>
</context>
<context>
    <name>tidewell::StatusItem</name>
    <message>
        <location filename="../src/ui/statusitem.cpp" line="+41"/>
        <source>Tidewell</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
