'use strict';
// npm run demo: runs examples/demo.js against the real platform, natively. On Linux it uses the
// X11 build on the user's display when DISPLAY is set, and otherwise on a virtual display of
// three screens that it starts, shows a moving picture on, moves the pointer on now and then, and
// stops at the end.
// npm run demo:win (on Linux): the same with the Windows build in Windows Node.js under Wine, with
// a sound server whose output device has no peak meter under Wine.
//   npm run demo -- [--seconds N] [--png FILE]
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { root, run, fail } = require('./lib/run');
const { ensureSystem, ensureNpmPackages, ensureWindowsNode } = require('./lib/setup');
const { build, buildDirs } = require('./build');
const { spawn } = require('node:child_process');
const { startWindowsProgram, stopWineServer, toWindowsPath } = require('./lib/wine');
const { startXvfb } = require('./lib/xvfb');
const { startPulseAudio, playBeat } = require('./lib/sound');

const demo = path.join(root, 'examples', 'demo.js');
const screens = [
  { width: 2560, height: 1440 },
  { width: 1920, height: 1080 },
  { width: 1280, height: 1024 },
];

// Xvfb stacks its screens at the origin: one window over the largest covers them all.
const sceneSize = [Math.max(...screens.map((s) => s.width)), Math.max(...screens.map((s) => s.height))].map(String);

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

const demoOptions = process.argv.slice(2).filter((a) => a !== '--wine');

// The demo's arguments, with a --png path made absolute and given as Windows sees it.
function windowsDemoArgs() {
  const args = [...demoOptions];
  const png = args.indexOf('--png');
  if (png >= 0 && args[png + 1]) args[png + 1] = toWindowsPath(path.resolve(args[png + 1]));
  return args;
}

// Copies what a program writes to file onto our output while it runs, so the demo shows live.
async function follow(child, file) {
  let offset = 0;
  let exit = null;
  child.once('exit', (code, signal) => (exit = { code, signal }));
  for (;;) {
    const done = exit !== null;
    const size = fs.existsSync(file) ? fs.statSync(file).size : 0;
    if (size > offset) {
      const fd = fs.openSync(file, 'r');
      const chunk = Buffer.alloc(size - offset);
      fs.readSync(fd, chunk, 0, chunk.length, offset);
      fs.closeSync(fd);
      process.stdout.write(chunk);
      offset = size;
    }
    if (done) return exit;
    await sleep(50);
  }
}

// Moves the pointer on display now and then, as a user would; returns the stop.
function movePointerNowAndThen(display) {
  let step = 0;
  const timer = setInterval(() => {
    step++;
    if (step % 3 === 0) return; // and lets it rest
    const x = String(200 + ((step * 137) % 1500));
    const y = String(150 + ((step * 89) % 800));
    spawn('xdotool', ['mousemove', x, y], { env: { ...process.env, DISPLAY: display }, stdio: 'ignore' });
  }, 700);
  return () => clearInterval(timer);
}

async function waitForFile(file, what) {
  for (let waited = 0; !fs.existsSync(file); waited += 100) {
    if (waited > 30000) throw new Error(`${what} did not show`);
    await sleep(100);
  }
}

function runNode(args, env) {
  const child = spawn(process.execPath, args, { stdio: 'inherit', env: { ...process.env, ...env } });
  return new Promise((resolve) => child.once('exit', (code, signal) => resolve({ code, signal })));
}

async function runOnLinux() {
  ensureSystem('host');
  ensureNpmPackages();
  build('host');
  if (process.env.DISPLAY) {
    console.log(`\nRunning the Linux build on your display ${process.env.DISPLAY}.\n`);
    return runNode([demo, ...demoOptions], {});
  }
  ensureSystem('x11');
  console.log(`\nNo DISPLAY set: running the Linux build on a virtual display of ${screens.length} screens.\n`);
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'corvane-demo-'));
  const xvfb = await startXvfb(screens, { randr: true });
  // A sound server of the demo's own (a null sink), playing something for the level meter.
  const pulse = startPulseAudio();
  const beat = playBeat(pulse.env, 600);
  let scene;
  const stopPointer = movePointerNowAndThen(xvfb.display);
  try {
    const ready = path.join(work, 'scene-ready');
    scene = spawn(path.join(buildDirs.host, 'x11_picture'), ['scene', '0', '0', ...sceneSize, ready], {
      env: { ...process.env, DISPLAY: xvfb.display },
      stdio: 'ignore',
    });
    await waitForFile(ready, 'the demo scene');
    return await runNode([demo, ...demoOptions], { DISPLAY: xvfb.display, ...pulse.env });
  } finally {
    beat.kill();
    pulse.stop();
    stopPointer();
    scene?.kill();
    await xvfb.stop();
    fs.rmSync(work, { recursive: true, force: true });
  }
}

async function runUnderWine() {
  ensureSystem('win', 'wine');
  ensureNpmPackages();
  build('win');
  const node = ensureWindowsNode();
  fs.mkdirSync(path.join(root, 'build'), { recursive: true });
  const work = fs.mkdtempSync(path.join(root, 'build', 'demo-'));
  console.log(`\nRunning the Windows build under Wine on a virtual display of ${screens.length} screens.\n`);
  const xvfb = await startXvfb(screens);
  const pulse = startPulseAudio();
  let scene;
  const stopPointer = movePointerNowAndThen(xvfb.display);
  try {
    const ready = path.join(work, 'scene-ready');
    scene = startWindowsProgram(xvfb.display, path.join(buildDirs.win, 'scene_window.exe'),
      ['0', '0', ...sceneSize, toWindowsPath(ready)], { outFile: path.join(work, 'scene.txt') });
    await waitForFile(ready, 'the demo scene');

    const terminal = process.stdout.isTTY;
    const output = path.join(work, 'demo.txt');
    const errors = path.join(work, 'demo-errors.txt');
    const child = startWindowsProgram(xvfb.display, node, [toWindowsPath(demo), ...windowsDemoArgs()], {
      outFile: output,
      errFile: errors,
      env: {
        ...pulse.env,
        FORCE_COLOR: process.env.FORCE_COLOR ?? (terminal ? '3' : '0'),
        CORVANE_DEMO_LIVE: terminal ? '1' : '0',
        CORVANE_DEMO_COLUMNS: String(process.stdout.columns || 120),
      },
    });
    const exit = await follow(child, output);
    // The module's diagnostic lines, counted; Wine's sound driver adds ALSA lines of its own.
    const lines = fs.readFileSync(errors, 'utf8').split(/\r?\n/).filter((l) => l && !l.startsWith('ALSA lib'));
    const counts = new Map();
    for (const line of lines) counts.set(line, (counts.get(line) ?? 0) + 1);
    for (const [line, count] of counts) console.log(`standard error, ${count} time(s): ${line}`);
    const png = process.argv.indexOf('--png');
    if (png >= 0 && process.argv[png + 1]) console.log(`(${toWindowsPath(path.resolve(process.argv[png + 1]))} is ${path.resolve(process.argv[png + 1])} here.)`);
    return exit;
  } finally {
    stopPointer();
    scene?.kill();
    stopWineServer(xvfb.display);
    pulse.stop();
    await xvfb.stop();
    fs.rmSync(work, { recursive: true, force: true });
  }
}

async function main() {
  if (process.platform === 'win32') {
    run(process.execPath, [demo, ...demoOptions]);
    return;
  }
  const exit = process.argv.includes('--wine') ? await runUnderWine() : await runOnLinux();
  if (exit.code !== 0) fail(`the demo exited with ${exit.code ?? exit.signal}`);
}

main().catch((error) => fail(`demo failed: ${error.message}`));
