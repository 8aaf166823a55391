#!/usr/bin/env python3
"""Input into mutter through its RemoteDesktop interface, for the tests: a session that lives as
long as this process, and one command per line of standard input, each answered "ok" once mutter
has taken it:
  move DX DY      a relative pointer motion
  key KEYSYM      a key pressed and released
"""
import sys

import dbus

bus = dbus.SessionBus()
remote = bus.get_object('org.gnome.Mutter.RemoteDesktop', '/org/gnome/Mutter/RemoteDesktop')
path = dbus.Interface(remote, 'org.gnome.Mutter.RemoteDesktop').CreateSession()
session = dbus.Interface(bus.get_object('org.gnome.Mutter.RemoteDesktop', path),
                         'org.gnome.Mutter.RemoteDesktop.Session')
session.Start()
print('ok', flush=True)
for line in sys.stdin:
    command, *args = line.split()
    if command == 'move':
        session.NotifyPointerMotionRelative(float(args[0]), float(args[1]))
    elif command == 'key':
        for pressed in (True, False):
            session.NotifyKeyboardKeysym(dbus.UInt32(int(args[0], 0)), pressed)
    print('ok', flush=True)
