'use strict';
// npm run bench: the sampler against memcpy (Google Benchmark), then one capture tick split into
// the grab and our own work, with resident memory over many ticks, and the processor time of an
// idle pointer tracker and an audio stream: on the simulated desktop, and on the real platform in
// Windows Node.js under Wine. On X11 (an Xvfb of its own), a callback slower than the capture, before
// and after the queue's bound where CORVANE_BENCH_BINARIES names both, capture beside node-screenshots, and a
// three-display tick beside three single ones; on Wayland (a headless sway of its own), capture
// through wlr-screencopy; through the desktop portal, capture of a PipeWire source and of real
// GNOME; how soon user activity is reported on GNOME, GNOME Shell, KDE and X11; and the
// linux-arm64 binary's capture under qemu beside the linux-x64 one's; and GDI's whole reads against
// the sampled rows and the automatic choice, under Wine.
const path = require('node:path');
const { root, run, fail } = require('./lib/run');
const { ensureSystem, ensureNpmPackages, ensureWindowsNode } = require('./lib/setup');
const { build, buildDirs } = require('./build');
const { startXvfb, runWindowsNode, toWindowsPath } = require('./lib/wine');

async function main() {
  ensureSystem('host', 'x11', 'wayland', 'gnome', 'logind', 'win', 'wine', 'prebuild', 'arm64', 'qemu');
  ensureNpmPackages();
  build('host', { tests: true });
  build('win');
  ensureWindowsNode();

  console.log('\n## Sampler against memcpy, each path (Google Benchmark)\n');
  run(process.execPath, [path.join(root, 'bench', 'sampler.js')]);

  console.log('\n## Capture tick, simulated desktop\n');
  run(process.execPath, ['--expose-gc', path.join(root, 'bench', 'capture-tick.js')]);

  console.log('\n## Service CPU time, simulated desktop\n');
  run(process.execPath, [path.join(root, 'bench', 'service-cpu.js')]);

  console.log('\n## Service CPU time, Linux (X11 on Xvfb, PulseAudio)\n');
  const linuxDisplay = await startXvfb([{ width: 1920, height: 1080 }]);
  try {
    run(process.execPath, [path.join(root, 'bench', 'service-cpu.js')], {
      env: { ...process.env, DISPLAY: linuxDisplay.display, CORVANE_BINARY: path.join(buildDirs.host, 'corvane.node') },
    });
  } finally {
    await linuxDisplay.stop();
  }

  console.log('\n## A callback slower than the capture, X11 (Xvfb)\n');
  run(process.execPath, [path.join(root, 'bench', 'slow-consumer.js')]);

  console.log('\n## Capture on X11 (Xvfb) beside node-screenshots\n');
  run(process.execPath, [path.join(root, 'bench', 'x11-capture.js')]);

  console.log('\n## Three-display tick against three single ticks, X11 (Xvfb of three screens)\n');
  run(process.execPath, [path.join(root, 'bench', 'x11-multi-capture.js')]);

  console.log('\n## Capture on Wayland (headless sway, wlr-screencopy)\n');
  run(process.execPath, [path.join(root, 'bench', 'wayland-capture.js')]);

  console.log('\n## Capture through the desktop portal and PipeWire: the tests\' own back end and GNOME\n');
  run(process.execPath, [path.join(root, 'bench', 'portal-capture.js')]);

  console.log('\n## User activity: from a move to the tick that reports it, GNOME, GNOME Shell, KDE and X11\n');
  run(process.execPath, [path.join(root, 'bench', 'activity-latency.js')]);

  console.log('\n## Capture on X11 (Xvfb): linux-arm64 under qemu beside linux-x64, the shipped binaries\n');
  run(process.execPath, [path.join(root, 'scripts', 'prebuild.js')]);
  run(process.execPath, [path.join(root, 'bench', 'arm64-capture.js')]);

  console.log('\n## Capture tick, real GDI under Wine\n');
  const xvfb = await startXvfb([{ width: 1920, height: 1080 }]);
  try {
    const result = await runWindowsNode(xvfb.display, ['--expose-gc', toWindowsPath(path.join(root, 'bench', 'capture-tick.js'))], {
      env: {
        CORVANE_BENCH_BINARY: toWindowsPath(path.join(buildDirs.win, 'corvane-bench.node')),
        CORVANE_BENCH_TICKS: '100',
      },
      timeout: 600000,
    });
    process.stdout.write(result.stdout);
    if (result.status !== 0) fail(`the Wine benchmark failed: ${result.stderr}`);
    console.log('\n## Service CPU time, Windows Node.js under Wine (no sound server)\n');
    const cpu = await runWindowsNode(xvfb.display, [toWindowsPath(path.join(root, 'bench', 'service-cpu.js'))], {
      env: { CORVANE_BINARY: toWindowsPath(path.join(root, 'prebuilds', 'win32-x64', 'corvane.node')) },
      timeout: 600000,
    });
    process.stdout.write(cpu.stdout);
    if (cpu.status !== 0) fail(`the Wine CPU benchmark failed: ${cpu.stderr.slice(-2000)}`);
  } finally {
    await xvfb.stop();
  }

  console.log('\n## GDI under Wine: whole reads against the sampled rows and the automatic choice (3840x2160 screen)\n');
  const large = await startXvfb([{ width: 3840, height: 2160 }]);
  try {
    const rows = await runWindowsNode(large.display, [toWindowsPath(path.join(root, 'bench', 'gdi-rows.js'))], {
      env: { CORVANE_BINARY: toWindowsPath(path.join(root, 'prebuilds', 'win32-x64', 'corvane.node')) },
      timeout: 600000,
    });
    process.stdout.write(rows.stdout);
    if (rows.status !== 0) fail(`the GDI rows benchmark failed: ${rows.stderr.slice(-2000)}`);
  } finally {
    await large.stop();
  }
}

main().catch((error) => fail(`benchmark failed: ${error.message}`));
