#!/usr/bin/python3
"""A ScreenCast back end of the tests' own, behind the real xdg-desktop-portal frontend.

It shares the PipeWire node and the layout area that the control file names, answers as it says
("share", "refuse", or "never": no answer at all), and appends each call with its options, as
JSON, to the log file. Usage: portal_backend.py BUS_NAME CONTROL_FILE LOG_FILE
"""
import json
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

SCREEN_CAST = 'org.freedesktop.impl.portal.ScreenCast'
SESSION = 'org.freedesktop.impl.portal.Session'
PROPERTIES = 'org.freedesktop.DBus.Properties'

bus_name, control_file, log_file = sys.argv[1:4]


def plain(value):
    """D-Bus values as JSON ones."""
    if isinstance(value, (dbus.Array, dbus.Struct, list, tuple)):
        return [plain(v) for v in value]
    if isinstance(value, (dbus.Dictionary, dict)):
        return {str(k): plain(v) for k, v in value.items()}
    if isinstance(value, (dbus.String, dbus.ObjectPath)):
        return str(value)
    if isinstance(value, dbus.Boolean):
        return bool(value)
    return int(value)


def log(call, options):
    with open(log_file, 'a') as out:
        out.write(json.dumps({'call': call, 'options': plain(options)}) + '\n')


def control():
    with open(control_file) as source:
        return json.load(source)


class Session(dbus.service.Object):
    @dbus.service.method(SESSION, in_signature='', out_signature='')
    def Close(self):
        log('Close', {})
        self.remove_from_connection()

    @dbus.service.signal(SESSION, signature='a{sv}')
    def Closed(self, details):
        pass


class ScreenCast(dbus.service.Object):
    def __init__(self, connection):
        super().__init__(connection, '/org/freedesktop/portal/desktop')
        self.bus = connection
        self.unanswered = []

    @dbus.service.method(SCREEN_CAST, in_signature='oosa{sv}', out_signature='ua{sv}')
    def CreateSession(self, handle, session, app_id, options):
        log('CreateSession', options)
        Session(self.bus, session)
        return dbus.UInt32(0), dbus.Dictionary({}, signature='sv')

    @dbus.service.method(SCREEN_CAST, in_signature='oosa{sv}', out_signature='ua{sv}')
    def SelectSources(self, handle, session, app_id, options):
        log('SelectSources', options)
        return dbus.UInt32(0), dbus.Dictionary({}, signature='sv')

    @dbus.service.method(SCREEN_CAST, in_signature='oossa{sv}', out_signature='ua{sv}',
                         async_callbacks=('reply', 'error'))
    def Start(self, handle, session, app_id, parent_window, options, reply, error):
        log('Start', options)
        wanted = control()
        if wanted['answer'] == 'never':
            self.unanswered.append(reply)
            return
        if wanted['answer'] == 'refuse':
            reply(dbus.UInt32(1), dbus.Dictionary({}, signature='sv'))
            return
        x, y, width, height = wanted['area']
        stream = dbus.Struct((dbus.UInt32(wanted['node']), dbus.Dictionary({
            'position': dbus.Struct((dbus.Int32(x), dbus.Int32(y)), signature='ii'),
            'size': dbus.Struct((dbus.Int32(width), dbus.Int32(height)), signature='ii'),
            'source_type': dbus.UInt32(1),
        }, signature='sv')), signature='ua{sv}')
        reply(dbus.UInt32(0), dbus.Dictionary({
            'streams': dbus.Array([stream], signature='(ua{sv})'),
            'persist_mode': dbus.UInt32(2),
            'restore_data': dbus.Struct(('corvane-test', dbus.UInt32(1), dbus.String(wanted['output'], variant_level=1)),
                                        signature='suv'),
        }, signature='sv'))

    @dbus.service.method(PROPERTIES, in_signature='ss', out_signature='v')
    def Get(self, interface, name):
        return self.GetAll(interface)[name]

    @dbus.service.method(PROPERTIES, in_signature='s', out_signature='a{sv}')
    def GetAll(self, interface):
        return dbus.Dictionary({
            'AvailableSourceTypes': dbus.UInt32(1),
            'AvailableCursorModes': dbus.UInt32(1 | 2),
            'version': dbus.UInt32(4),
        }, signature='sv')


DBusGMainLoop(set_as_default=True)
connection = dbus.SessionBus()
portal = ScreenCast(connection)
name = dbus.service.BusName(bus_name, connection)
GLib.MainLoop().run()
