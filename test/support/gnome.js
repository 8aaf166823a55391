'use strict';
// A GNOME desktop of the test's own: mutter headless (no GPU, virtual monitors, no X server), or
// GNOME Shell headless on it with logind mocked on a system bus of its own, on a private session
// (test/support/portal.js), the real xdg-desktop-portal frontend with xdg-desktop-portal-gnome
// behind it, and the permission store they keep their choices in.
const fs = require('node:fs');
const path = require('node:path');
const crypto = require('node:crypto');
const { execFileSync } = require('node:child_process');
const { waitFor } = require('./capture');
const { startSession } = require('./portal');
const { showPicture } = require('./picture');
const { startInput } = require('./input');
const { startSystemBus } = require('./system-bus');

// Shows the known picture fullscreen as a Wayland client (tools/wayland/wayland_picture.cc).
const pictureProgram = process.env.CORVANE_WAYLAND_PICTURE ?? path.join(__dirname, '..', '..', 'build', 'host', 'wayland_picture');
const socket = 'corvane-gnome';

// Starts the desktop with a virtual monitor per [width, height]; mutter names them Meta-0, Meta-1...
async function startGnomeDesktop({ monitors = [[1920, 1080]], shell = false } = {}) {
  const session = await startSession({ prefix: 'corvane-gnome-' });
  let system = null;
  const { dir, stateHome } = session;
  const gnome = { XDG_CURRENT_DESKTOP: 'GNOME' };
  const permissionStore = (method, ...args) => execFileSync('gdbus', ['call', '--session',
    '--dest', 'org.freedesktop.impl.portal.PermissionStore', '--object-path', '/org/freedesktop/impl/portal/PermissionStore',
    '--method', `org.freedesktop.impl.portal.PermissionStore.${method}`, ...args], { env: session.env, encoding: 'utf8' });
  const startPortals = async () => {
    session.daemon('/usr/libexec/xdg-desktop-portal-gnome', ['--replace'], { ...gnome, WAYLAND_DISPLAY: socket });
    await waitFor(() => session.hasName('org.freedesktop.impl.portal.desktop.gnome'), 'xdg-desktop-portal-gnome', 20000);
    session.daemon('/usr/libexec/xdg-desktop-portal', ['--replace'], gnome);
    await waitFor(() => session.hasName('org.freedesktop.portal.Desktop'), 'the portal frontend', 20000);
  };
  const portalDaemons = () => session.daemons.filter((c) => /xdg-desktop-portal(-gnome)?$/.test(c.command));

  const desktop = {
    // What a process of the module needs to reach this desktop.
    env: { ...session.clientEnv, WAYLAND_DISPLAY: socket },
    tokenFile: (name) => path.join(stateHome, 'corvane', `screencast-${name}.token`),
    // The choice a user makes once with "Remember": the virtual monitors of these indexes, shared
    // with the host app (app id ""), under a new restore token, which it returns. Byte for byte
    // what the portal stores after a real "Share".
    rememberChoice(indexes = [0]) {
      const token = crypto.randomUUID();
      // A monitor is kept as vendor:product:serial; a virtual one's serial is its index.
      const serial = (i) => `0x${i.toString(16).padStart(2, '0')}`;
      const streams = indexes.map((i) => `(uint32 0, uint32 1, <'MetaVendor:MetaVirtualMonitor:${serial(i)}'>)`).join(', ');
      permissionStore('Set', 'screencast', 'true', token, "{'': ['yes']}", `<('GNOME', uint32 1, <(int64 0, int64 0, [${streams}])>)>`);
      return token;
    },
    // Whether the permission store holds a choice under token, as the portal keeps what it gives.
    remembers(token) {
      try {
        permissionStore('Lookup', 'screencast', token);
        return true;
      } catch {
        return false;
      }
    },
    // The portal daemons again, as after a dialog left up (xdg-desktop-portal-gnome 43 crashes
    // when a session closes under its dialog).
    async restartPortals() {
      for (const child of portalDaemons()) await session.stopDaemon(child);
      await startPortals();
    },
    // The picture fullscreen on every monitor, its corner at the monitor given's; resolves to
    // { origin, stop } once shown. Animated, it is painted again at every frame (a screen that changes).
    showPicture: (monitor, { animate = false } = {}) => showPicture([monitor], { command: [pictureProgram, 'test'],
      env: { ...session.env, WAYLAND_DISPLAY: socket }, after: animate ? ['animate'] : [] }),
    // mutter's and PipeWire's processes, whose processor time a benchmark counts.
    compositorPids: () => session.daemons.filter((c) => /^(mutter|gnome-shell|pipewire)$/.test(c.command)).map((c) => c.pid),
    // Input as a remote desktop client gives it (test/support/mutter_input.py): 'move DX DY',
    // 'key KEYSYM', each taken once mutter counted it as the user's activity.
    input: () => startInput('/usr/bin/python3', [path.join(__dirname, 'mutter_input.py')], session.env),
    close: async () => {
      await session.close();
      await system?.stop();
    },
  };

  try {
    const virtual = monitors.flatMap(([w, h]) => ['--virtual-monitor', `${w}x${h}`]);
    const args = ['--headless', '--wayland', '--no-x11', ...virtual, '--wayland-display', socket];
    if (shell) {
      system = await startSystemBus();
      session.daemon('gnome-shell', args, { ...gnome, DBUS_SYSTEM_BUS_ADDRESS: system.address });
    } else {
      session.daemon('mutter', args);
    }
    const compositorReady = () => fs.existsSync(path.join(dir, socket)) && session.hasName('org.gnome.Mutter.ScreenCast') &&
      (!shell || session.hasName('org.gnome.Shell'));
    await waitFor(compositorReady, shell ? 'GNOME Shell' : 'mutter', 20000);
    session.daemon('/usr/libexec/xdg-permission-store', ['--replace']);
    await waitFor(() => session.hasName('org.freedesktop.impl.portal.PermissionStore'), 'the permission store', 20000);
    await startPortals();
    if (shell) {
      // The shell starts in its overview, over the windows.
      const input = await desktop.input();
      await input.send('key 0xff1b');
      input.close();
    }
  } catch (error) {
    await desktop.close();
    throw error;
  }
  return desktop;
}

module.exports = { startGnomeDesktop };
