# SPDX-License-Identifier: GPL-3.0-or-later
'''A desktop status area's watcher service for the tests: the service that status items register with and that
says whether a host (a panel that shows them) is there. Parameter "host" (default true) is whether one is.'''

import dbus

BUS_NAME = 'org.kde.StatusNotifierWatcher'
MAIN_OBJ = '/StatusNotifierWatcher'
MAIN_IFACE = 'org.kde.StatusNotifierWatcher'
SYSTEM_BUS = False


def load(mock, parameters):
    mock.AddMethods(MAIN_IFACE, [
        ('RegisterStatusNotifierItem', 's', '', ''),
        ('RegisterStatusNotifierHost', 's', '', ''),
    ])
    mock.AddProperties(MAIN_IFACE, dbus.Dictionary({
        'IsStatusNotifierHostRegistered': dbus.Boolean(parameters.get('host', True)),
        'RegisteredStatusNotifierItems': dbus.Array([], signature='s'),
        'ProtocolVersion': dbus.Int32(0),
    }, signature='sv'))
