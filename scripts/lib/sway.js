'use strict';
// A headless sway (wlroots) for the Wayland tests, the benchmarks and the demo: no GPU (pixman),
// no input devices, one virtual output per { width, height, x, y }. sway refuses to run as root, so
// it runs as nobody in a runtime folder of its own; root clients still reach its sockets.
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawn, execFileSync } = require('node:child_process');

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function waitForFile(dir, pattern, server, errors) {
  for (let waited = 0; waited < 15000; waited += 20) {
    const found = fs.readdirSync(dir).find((f) => pattern.test(f));
    if (found) return found;
    if (server.exitCode !== null) throw new Error(`sway exited with ${server.exitCode}: ${errors().trim()}`);
    await sleep(20);
  }
  throw new Error(`sway made no ${pattern} in ${dir}: ${errors().trim()}`);
}

// Starts sway with outputs named HEADLESS-1, HEADLESS-2... in the order given. Reuses runtimeDir
// (so that a restarted sway serves the same socket) when given.
async function startSway(outputs, { runtimeDir, refresh = 60, xwayland: xwaylandWanted = false } = {}) {
  const dir = runtimeDir ?? fs.mkdtempSync(path.join(os.tmpdir(), 'corvane-sway-'));
  fs.chmodSync(dir, 0o700);
  // A sway killed in this folder before left its sockets behind.
  for (const f of fs.readdirSync(dir)) {
    if (/^(wayland-\d+(\.lock)?|sway-ipc\..*\.sock|xwayland-display)$/.test(f)) fs.rmSync(path.join(dir, f));
  }
  execFileSync('chown', ['nobody:nogroup', dir]);
  const config = path.join(dir, 'config');
  // Output rules apply to each output as it appears.
  const rules = outputs.map((o, i) => `output HEADLESS-${i + 1} resolution ${o.width}x${o.height}@${refresh}Hz position ${o.x} ${o.y} scale 1`);
  // With Debian's xwayland installed, sway starts XWayland at once and tells its DISPLAY here,
  // once root (XWayland admits only its own user) may connect.
  const xwayland = path.join(dir, 'xwayland-display');
  const lines = [...rules, 'default_border none', `xwayland ${xwaylandWanted ? 'force' : 'disable'}`];
  if (xwaylandWanted) lines.push(`exec sh -c 'xhost +si:localuser:root >/dev/null && echo "$DISPLAY" > ${xwayland}'`);
  fs.writeFileSync(config, [...lines, ''].join('\n'));
  fs.chmodSync(config, 0o644);
  const env = {
    PATH: '/usr/sbin:/usr/bin:/sbin:/bin',
    HOME: dir,
    XDG_RUNTIME_DIR: dir,
    WLR_BACKENDS: 'headless',
    WLR_RENDERER: 'pixman',
    WLR_LIBINPUT_NO_DEVICES: '1',
  };
  const server = spawn('setpriv', ['--reuid=nobody', '--regid=nogroup', '--clear-groups', 'env', '-i',
    ...Object.entries(env).map(([k, v]) => `${k}=${v}`), 'sway', '-c', config], { stdio: ['ignore', 'ignore', 'pipe'] });
  let errors = '';
  server.stderr.on('data', (d) => (errors = (errors + d).slice(-4000)));
  const stop = () =>
    new Promise((done) => {
      if (server.exitCode !== null || server.signalCode !== null) return done();
      server.once('exit', () => done());
      server.kill('SIGTERM');
    });
  try {
    const display = await waitForFile(dir, /^wayland-\d+$/, server, () => errors);
    const ipc = path.join(dir, await waitForFile(dir, /^sway-ipc\..*\.sock$/, server, () => errors));
    const swaymsg = (...args) => execFileSync('swaymsg', ['-s', ipc, ...args], { encoding: 'utf8' });
    for (let i = 1; i < outputs.length; i++) swaymsg('create_output');
    // Wait for the layout the rules ask for.
    for (let waited = 0; ; waited += 50) {
      const placed = JSON.parse(swaymsg('-t', 'get_outputs', '-r'));
      const matches = outputs.every((o, i) => placed.some((p) => p.name === `HEADLESS-${i + 1}` &&
        p.rect.x === o.x && p.rect.y === o.y && p.rect.width === o.width && p.rect.height === o.height));
      if (matches && placed.length === outputs.length) break;
      if (waited > 10000) throw new Error(`sway did not lay out its outputs: ${JSON.stringify(placed.map((p) => [p.name, p.rect]))}`);
      await sleep(50);
    }
    let display11;
    if (xwaylandWanted) {
      await waitForFile(dir, /^xwayland-display$/, server, () => errors);
      display11 = fs.readFileSync(xwayland, 'utf8').trim();
    }
    return {
      pid: server.pid,
      // XWayland's display, when asked for.
      xDisplay: display11,
      dir,
      env: { WAYLAND_DISPLAY: display, XDG_RUNTIME_DIR: dir, SWAYSOCK: ipc },
      swaymsg,
      process: server,
      stop,
      // Stops sway and removes its folder.
      async close() {
        await stop();
        fs.rmSync(dir, { recursive: true, force: true });
      },
    };
  } catch (error) {
    await stop();
    throw error;
  }
}

module.exports = { startSway };
