'use strict';
// A desktop of the test's own for the portal capture: a private session bus, PipeWire with
// WirePlumber, the real xdg-desktop-portal frontend with a ScreenCast back end of ours
// (portal_backend.py) behind it, and a PipeWire video source of our own (pipewire_picture) that
// shows the known picture. GStreamer's pipewiresink of PipeWire 0.3.65 crashes on every buffer not
// made in its own pool (a raw picture from a file, or converted), so it cannot serve here.
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawn, spawnSync } = require('node:child_process');
const { waitFor } = require('./capture');

const python = '/usr/bin/python3';  // Debian's, which has the dbus module
const backendName = 'org.freedesktop.impl.portal.desktop.corvanetest';

// Shares the known picture (tools/pictures.h) as a PipeWire video source.
const pictureProgram = process.env.CORVANE_PIPEWIRE_PICTURE ?? path.join(__dirname, '..', '..', 'build', 'host', 'pipewire_picture');

const busConfig = (socket) => `<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=${socket}</listen>
  <servicedir>${path.dirname(socket)}/services</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
`;

// WirePlumber without the machine's sound cards, cameras and Bluetooth.
const wireplumberOff = {
  'main.lua.d': 'alsa_monitor.enabled = false\nv4l2_monitor.enabled = false\nlibcamera_monitor.enabled = false\n',
  'bluetooth.lua.d': 'bluez_monitor.enabled = false\n',
};

// A private session: a folder of its own for HOME, the runtime and the XDG folders, a session bus,
// and PipeWire with WirePlumber unless told otherwise. daemon() starts a process in it, in a
// process group of its own (so that a pipeline's every process goes with it), that ends with this
// process too; close() stops them newest first and removes the folder.
async function startSession({ pipewire = true, prefix = 'corvane-portal-' } = {}) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), prefix));
  fs.chmodSync(dir, 0o700);
  const bus = path.join(dir, 'bus');
  const stateHome = path.join(dir, 'state');
  fs.mkdirSync(path.join(dir, 'services'));
  // The frontend keeps restore data in the permission store, which the bus starts when asked.
  fs.writeFileSync(path.join(dir, 'services', 'org.freedesktop.impl.portal.PermissionStore.service'),
    '[D-BUS Service]\nName=org.freedesktop.impl.portal.PermissionStore\nExec=/usr/libexec/xdg-permission-store\n');
  fs.writeFileSync(path.join(dir, 'bus.conf'), busConfig(bus));
  for (const [folder, text] of Object.entries(wireplumberOff)) {
    fs.mkdirSync(path.join(dir, 'wireplumber', folder), { recursive: true });
    fs.writeFileSync(path.join(dir, 'wireplumber', folder, '60-corvane.lua'), text);
  }
  // The servers are not ours to sanitize: a preloaded sanitizer stays with the module.
  const { LD_PRELOAD, ...unsanitized } = process.env;
  const env = {
    ...unsanitized, HOME: dir, XDG_RUNTIME_DIR: dir, XDG_CONFIG_HOME: dir, XDG_DATA_HOME: dir,
    XDG_STATE_HOME: stateHome, DBUS_SESSION_BUS_ADDRESS: `unix:path=${bus}`,
  };
  for (const name of ['PIPEWIRE_RUNTIME_DIR', 'PIPEWIRE_REMOTE', 'WAYLAND_DISPLAY', 'DISPLAY']) delete env[name];

  const daemons = [];
  const session = {
    dir,
    stateHome,
    env,
    // What a process of the module needs to reach this session.
    clientEnv: { DBUS_SESSION_BUS_ADDRESS: env.DBUS_SESSION_BUS_ADDRESS, XDG_STATE_HOME: stateHome, HOME: dir, XDG_RUNTIME_DIR: dir },
    daemons,
    // Each is told to end when this process does, however it ends (a crash runs no close()).
    daemon(command, args = [], extraEnv = {}) {
      const child = spawn('setpriv', ['--pdeathsig', 'TERM', '--', command, ...args],
        { env: { ...env, ...extraEnv }, stdio: 'ignore', detached: true });
      child.command = command;
      daemons.push(child);
      return child;
    },
    async stopDaemon(child) {
      if (child.exitCode !== null || child.signalCode !== null) return;
      const exited = new Promise((resolve) => child.once('exit', resolve));
      try {
        process.kill(-child.pid, 'SIGTERM');
      } catch (error) {
        // Ended on its own (wireplumber goes with PipeWire), its exit not yet told.
        if (error.code !== 'ESRCH') throw error;
      }
      await exited;
    },
    hasName: (name) => spawnSync('dbus-send', ['--session', '--print-reply', '--dest=org.freedesktop.DBus', '/',
      'org.freedesktop.DBus.NameHasOwner', `string:${name}`], { env, encoding: 'utf8' }).stdout?.includes('true'),
    async close() {
      for (const child of daemons.reverse()) await session.stopDaemon(child);
      fs.rmSync(dir, { recursive: true, force: true });
    },
  };
  try {
    session.daemon('dbus-daemon', ['--config-file', path.join(dir, 'bus.conf'), '--nofork', '--nopidfile']);
    await waitFor(() => fs.existsSync(bus), 'the session bus', 10000);
    if (pipewire) {
      session.daemon('pipewire');
      await waitFor(() => fs.existsSync(path.join(dir, 'pipewire-0')), 'PipeWire', 10000);
      session.daemon('wireplumber');
    }
  } catch (error) {
    await session.close();
    throw error;
  }
  return session;
}

// Starts the bus and, unless told otherwise, PipeWire and the portal. `output` and `area` are
// what the back end says it shares.
async function startPortalDesktop({ output = 'HEADLESS-1', area = [0, 0, 640, 480], pipewire = true, portal = true } = {}) {
  const session = await startSession({ pipewire });
  const { dir, stateHome, daemons } = session;
  const control = path.join(dir, 'control.json');
  const log = path.join(dir, 'calls.log');
  fs.mkdirSync(path.join(dir, 'portals'));
  fs.writeFileSync(path.join(dir, 'portals', 'corvanetest.portal'),
    `[portal]\nDBusName=${backendName}\nInterfaces=org.freedesktop.impl.portal.ScreenCast;\nUseIn=corvanetest\n`);
  const portalEnv = { XDG_CURRENT_DESKTOP: 'corvanetest', XDG_DESKTOP_PORTAL_DIR: path.join(dir, 'portals') };

  const desktop = {
    dir,
    // What a process of the module needs to reach this desktop, with the portal forced.
    env: { ...session.clientEnv, CORVANE_BACKEND: 'portal' },
    tokenFile: (name = output) => path.join(stateHome, 'corvane', `screencast-${name}.token`),
    // How the back end answers the next Start: 'share', 'refuse' or 'never'.
    answer(answer, node = desktop.node) {
      fs.writeFileSync(control, JSON.stringify({ answer, node: node ?? 0, area, output }));
    },
    calls: () => (fs.existsSync(log) ? fs.readFileSync(log, 'utf8').trim().split('\n').filter(Boolean).map(JSON.parse) : []),
    node: null,
    pipeline: null,
    // The processes of this desktop that serve a frame: PipeWire and the picture's source.
    framePids: () => daemons.filter((c) => c === desktop.pipeline || c.command === 'pipewire').map((c) => c.pid),
    // The picture at width x height on a PipeWire video source in format (BGRx, BGRA, RGBx, RGBA,
    // or RGB, which the capture does not read); its node is shared from then on.
    async showPicture(width, height, { format = 'BGRx', rate = 30 } = {}) {
      if (desktop.pipeline) await session.stopDaemon(desktop.pipeline);
      const ready = path.join(dir, 'picture-node');
      fs.rmSync(ready, { force: true });
      desktop.pipeline = session.daemon(pictureProgram, [width, height, format, rate, ready].map(String));
      await waitFor(() => fs.existsSync(ready), 'the picture on PipeWire', 20000);
      desktop.node = Number(fs.readFileSync(ready, 'utf8'));
      desktop.answer('share');
    },
    async stopPipeWire() {
      for (const child of daemons.filter((c) => c.command === 'pipewire' || c.command === 'wireplumber')) {
        await session.stopDaemon(child);
      }
    },
    close: () => session.close(),
  };

  try {
    if (portal) {
      desktop.answer('refuse');
      session.daemon(python, [path.join(__dirname, 'portal_backend.py'), backendName, control, log], portalEnv);
      await waitFor(() => session.hasName(backendName), 'the portal back end', 20000);
      session.daemon('/usr/libexec/xdg-desktop-portal', ['--replace'], portalEnv);
      await waitFor(() => session.hasName('org.freedesktop.portal.Desktop'), 'the portal frontend', 20000);
    }
  } catch (error) {
    await desktop.close();
    throw error;
  }
  return desktop;
}

module.exports = { startSession, startPortalDesktop };
