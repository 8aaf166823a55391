#!/usr/bin/env python3
"""Input into mutter through its RemoteDesktop interface, for the tests: a session that lives as
long as this process, and one command per line of standard input, each answered "ok" once mutter
has counted it as the user's activity (a user-active watch of its IdleMonitor fired):
  move DX DY      a relative pointer motion
  key KEYSYM      a key pressed and released
"""
import sys
import time

import dbus
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
remote = bus.get_object('org.gnome.Mutter.RemoteDesktop', '/org/gnome/Mutter/RemoteDesktop')
path = dbus.Interface(remote, 'org.gnome.Mutter.RemoteDesktop').CreateSession()
session = dbus.Interface(bus.get_object('org.gnome.Mutter.RemoteDesktop', path),
                         'org.gnome.Mutter.RemoteDesktop.Session')
session.Start()
IDLE_PATH = '/org/gnome/Mutter/IdleMonitor/Core'
idle = dbus.Interface(bus.get_object('org.gnome.Mutter.IdleMonitor', IDLE_PATH), 'org.gnome.Mutter.IdleMonitor')
fired = set()
bus.add_signal_receiver(lambda watch: fired.add(int(watch)), 'WatchFired', 'org.gnome.Mutter.IdleMonitor',
                        path=IDLE_PATH)
print('ok', flush=True)


def counted(send):
    watch = int(idle.AddUserActiveWatch())
    send()
    deadline = time.monotonic() + 10
    while watch not in fired and time.monotonic() < deadline:
        GLib.MainContext.default().iteration(False) or time.sleep(0.005)
    return watch in fired


for line in sys.stdin:
    command, *args = line.split()
    if command == 'move':
        taken = counted(lambda: session.NotifyPointerMotionRelative(float(args[0]), float(args[1])))
    elif command == 'key':
        taken = counted(lambda: [session.NotifyKeyboardKeysym(dbus.UInt32(int(args[0], 0)), pressed)
                                 for pressed in (True, False)])
    else:
        taken = False
    print('ok' if taken else 'not counted', flush=True)
