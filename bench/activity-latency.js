'use strict';
// How soon startMouseTracking reports the user's input, per desktop, in one run: from an injected
// pointer move's send to the first tick reporting true, at a tick interval of 10 ms, beside how
// long the injection itself took to be taken (mutter counted it as activity, KWin answered the
// fake-input round trip, the X server synced the XTEST motion after xdotool started). On GNOME and GNOME Shell through mutter's IdleMonitor, on KDE
// through ext-idle-notify, on X11 (Xvfb) from the pointer's position. Each desktop's tracking runs
// in a process of its own, which stamps each value with the monotonic clock the parent reads too.
const path = require('node:path');
const { spawnSync } = require('node:child_process');
// Before the test helpers, which bind the module when loaded.
process.env.CORVANE_BINARY ??= path.join(__dirname, '..', 'build', 'host', 'corvane.node');
const { startChild } = require('../test/support/child');
const { waitFor } = require('../test/support/capture');
const { startGnomeDesktop } = require('../test/support/gnome');
const { startKwin } = require('../test/support/kde');
const { startXvfb } = require('../scripts/lib/xvfb');

const MOVES = Number(process.env.CORVANE_BENCH_MOVES ?? 20);
const INTERVAL_MS = 10;

async function latencies(env, move) {
  const child = startChild(`
    corvane.startMouseTracking((active) => process.send([active, String(process.hrtime.bigint())]), ${INTERVAL_MS});
    process.on('message', () => { corvane.stopMouseTracking(); process.disconnect(); });`, { env });
  const values = [];
  const reported = [];
  const taken = [];
  try {
    // The child's values, as they come.
    const collect = async () => {
      for (;;) values.push(await child.next(Array.isArray, 'a value', 60000));
    };
    collect().catch(() => {});
    await waitFor(() => values.length > 5, 'ticks');
    for (let i = 0; i < MOVES; i++) {
      // At rest first: five ticks without input.
      const rest = values.length;
      await waitFor(() => values.length >= rest + 5 && values.slice(-5).every(([active]) => !active), 'rest', 10000);
      const from = values.length;
      const sent = process.hrtime.bigint();
      await move(i % 2 === 0 ? 5 : -5);
      taken.push(Number(process.hrtime.bigint() - sent) / 1e6);
      await waitFor(() => values.slice(from).some(([active]) => active), () => `the move reported: ${child.output()}`, 10000);
      reported.push(Number(BigInt(values.slice(from).find(([active]) => active)[1]) - sent) / 1e6);
    }
  } finally {
    child.send('stop');
    child.kill();
  }
  const sorted = (list) => list.sort((a, b) => a - b);
  return { reported: sorted(reported), taken: sorted(taken) };
}

async function withDesktop(name, start) {
  const { env, move, close } = await start();
  try {
    return { name, ...(await latencies(env, move)) };
  } finally {
    await close();
  }
}

async function main() {
  const results = [];
  for (const shell of [false, true]) {
    results.push(await withDesktop(shell ? 'GNOME Shell (IdleMonitor)' : 'GNOME, mutter (IdleMonitor)', async () => {
      const desktop = await startGnomeDesktop({ shell });
      const input = await desktop.input();
      return { env: desktop.env, move: (dx) => input.send(`move ${dx} 0`), close: async () => { input.close(); await desktop.close(); } };
    }));
  }
  results.push(await withDesktop('KDE, KWin (ext-idle-notify)', async () => {
    const kwin = await startKwin();
    const input = await kwin.input();
    return { env: kwin.env, move: (dx) => input.send(`move ${dx} 0`), close: async () => { input.close(); await kwin.close(); } };
  }));
  results.push(await withDesktop('X11, Xvfb (the pointer)', async () => {
    const xvfb = await startXvfb([{ width: 1920, height: 1080 }]);
    const env = { DISPLAY: xvfb.display, WAYLAND_DISPLAY: '' };
    spawnSync('xdotool', ['mousemove', '500', '500'], { env: { ...process.env, ...env } });
    return { env, move: async (dx) => spawnSync('xdotool', ['mousemove_relative', '--sync', '--', String(dx), '0'], { env: { ...process.env, ...env } }),
      close: () => xvfb.stop() };
  }));
  const median = (list) => list[Math.floor(list.length / 2)].toFixed(1);
  console.log(`From a move's send to the first tick reporting it, interval ${INTERVAL_MS} ms, ${MOVES} moves`);
  console.log('| desktop | reported: median ms | max ms | the injection taken: median ms |');
  console.log('|---|---:|---:|---:|');
  for (const { name, reported, taken } of results) {
    console.log(`| ${name} | ${median(reported)} | ${reported.at(-1).toFixed(1)} | ${median(taken)} |`);
  }
}

main().catch((error) => {
  console.error(error);
  process.exitCode = 1;
});
