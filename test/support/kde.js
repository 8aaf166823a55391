'use strict';
// A KDE desktop of the test's own: KWin 5.27 on its virtual backend (no GPU, no input devices),
// with outputs of one size side by side, on a private session (test/support/portal.js).
const fs = require('node:fs');
const path = require('node:path');
const { waitFor } = require('./capture');
const { startSession } = require('./portal');
const { startInput } = require('./input');

// Gives KWin input through its fake-input protocol (tools/wayland/kwin_input.cc).
const inputProgram = process.env.CORVANE_KWIN_INPUT ?? path.join(__dirname, '..', '..', 'build', 'host', 'kwin_input');

const socket = 'corvane-kwin';

async function startKwin({ width = 1920, height = 1080, outputs = 1 } = {}) {
  const session = await startSession({ pipewire: false, prefix: 'corvane-kde-' });
  // Debian's kwin_wayland carries a file capability that a container may refuse; a copy carries
  // none, and keeps the name KWin's own Qt platform plugin asks for.
  const kwin = path.join(session.dir, 'bin', 'kwin_wayland');
  fs.mkdirSync(path.dirname(kwin));
  fs.copyFileSync('/usr/bin/kwin_wayland', kwin);
  fs.chmodSync(kwin, 0o755);
  // KWin offers fake-input only to a program whose desktop file asks for it.
  fs.mkdirSync(path.join(session.dir, 'applications'));
  fs.writeFileSync(path.join(session.dir, 'applications', 'corvane-kwin-input.desktop'), ['[Desktop Entry]', 'Type=Application',
    'Name=corvane test input', `Exec=${inputProgram}`, 'X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input', ''].join('\n'));
  let compositor;
  const start = async () => {
    compositor = session.daemon(kwin, ['--virtual', '--width', String(width), '--height', String(height), '--output-count', String(outputs),
      '--socket', socket, '--no-lockscreen', '--no-global-shortcuts', '--no-kactivities']);
    await waitFor(() => fs.existsSync(path.join(session.dir, socket)), 'KWin', 20000);
  };
  try {
    await start();
  } catch (error) {
    await session.close();
    throw error;
  }
  return {
    // What a process of the module needs to reach this desktop.
    env: { ...session.clientEnv, WAYLAND_DISPLAY: socket },
    // Input as a fake-input client gives it: 'move DX DY', 'key CODE'.
    input: () => startInput(inputProgram, [], { ...session.env, WAYLAND_DISPLAY: socket }),
    // KWin ended, as when the session's compositor crashes; start() makes a new one on the socket.
    stop: () => session.stopDaemon(compositor),
    start,
    close: () => session.close(),
  };
}

module.exports = { startKwin };
