'use strict';
// npm test: installs what is missing, builds everything and runs every suite: the C++ tests, the
// JavaScript suite on the simulated desktop (plain and under AddressSanitizer and
// UndefinedBehaviorSanitizer), the Linux build's suite on Xvfb and the Windows suite under Wine.
// npm run test:win (`node scripts/test.js win`): the Windows suite alone.
const fs = require('node:fs');
const path = require('node:path');
const { spawnSync, execFileSync } = require('node:child_process');
const { root, fail } = require('./lib/run');
const { ensureSystem, ensureNpmPackages, ensureWindowsNode } = require('./lib/setup');
const { build, buildDirs } = require('./build');
const { runWindowsNode, toWindowsPath } = require('./lib/wine');
const { startXvfb } = require('./lib/xvfb');
const { startPulseAudio } = require('./lib/sound');

const reportDir = path.join(root, 'build', 'reports');
const simBinary = path.join(buildDirs.host, 'corvane-sim.node');
const simAsanBinary = path.join(buildDirs.host, 'corvane-sim-asan.node');
const winBinary = path.join(root, 'prebuilds', 'win32-x64', 'corvane.node');
// Xvfb's Xinerama places every screen at the origin, and cannot be told otherwise.
const screen = (width, height) => ({ x: 0, y: 0, width, height });
const pictureWindow = path.join(buildDirs.win, 'picture_window.exe');
const x11Binary = path.join(buildDirs.host, 'corvane.node');

// Desktops for the X11 suite: RandR's one monitor; two Xinerama screens with RandR on (it then
// reports one monitor for both); three with RandR off and no MIT-SHM, so that captures take the
// plain GetImage path.
const x11Desktops = [
  { randr: true, shm: true, layout: [screen(1920, 1080)] },
  { randr: true, shm: true, layout: [screen(1920, 1080), screen(1280, 1024)] },
  { randr: false, shm: false, layout: [screen(2560, 1440), screen(1366, 768), screen(1024, 768)] },
];

// Desktops for the Windows suite: one screen, then two and three of different sizes, the second
// with a sound server (a PulseAudio null sink) and the others without.
const desktops = [
  { sound: 'none', layout: [screen(1920, 1080)] },
  { sound: 'pulse', layout: [screen(1920, 1080), screen(1280, 1024)] },
  { sound: 'none', layout: [screen(2560, 1440), screen(1366, 768), screen(1024, 768)] },
];

const testFiles = (...dirs) =>
  dirs.flatMap((dir) =>
    fs
      .readdirSync(path.join(root, dir))
      .filter((f) => f.endsWith('.test.js'))
      .sort()
      .map((f) => path.join(root, dir, f)),
  );

const results = [];

function record(stage, counts, ok) {
  results.push({ stage, ...counts, ok: ok && counts.failed === 0 && counts.passed > 0 });
  console.log(`\n== ${stage}: ${counts.passed} passed, ${counts.failed} failed${counts.skipped ? `, ${counts.skipped} skipped` : ''}\n`);
}

// Counts from the closing lines of node's TAP reporter.
function tapCounts(tap) {
  const count = (key) => Number((tap.match(new RegExp(`^# ${key} (\\d+)$`, 'm')) ?? [])[1] ?? 0);
  return { passed: count('pass'), failed: count('fail') + count('cancelled'), skipped: count('skipped') + count('todo') };
}

// Runs node --test on the host: readable results on screen, and a TAP copy to count from.
function nodeTests(stage, files, env = {}) {
  fs.mkdirSync(reportDir, { recursive: true });
  const tapFile = path.join(reportDir, `${stage.replace(/\W+/g, '-')}.tap`);
  fs.rmSync(tapFile, { force: true });
  const run = spawnSync(
    process.execPath,
    ['--test', '--test-reporter=spec', '--test-reporter-destination=stdout', '--test-reporter=tap',
      `--test-reporter-destination=${tapFile}`, ...files],
    { cwd: root, stdio: 'inherit', env: { ...process.env, ...env } },
  );
  const tap = fs.existsSync(tapFile) ? fs.readFileSync(tapFile, 'utf8') : '';
  record(stage, tapCounts(tap), run.status === 0);
}

function cppTests() {
  const run = spawnSync('ctest', ['--test-dir', buildDirs.host, '--output-on-failure'], { cwd: root, encoding: 'utf8' });
  process.stdout.write(run.stdout + run.stderr);
  const m = run.stdout.match(/(\d+) tests failed out of (\d+)/);
  const counts = m ? { passed: Number(m[2]) - Number(m[1]), failed: Number(m[1]) } : { passed: 0, failed: 1 };
  record('C++ tests (ctest)', counts, run.status === 0);
}

// The simulated suite again with both sanitizers. Node itself is not instrumented, so libasan
// is preloaded; any report aborts the process and is also written to a log that must stay empty.
function sanitizedSimTests() {
  const logs = path.join(reportDir, 'sanitizers');
  fs.rmSync(logs, { recursive: true, force: true });
  fs.mkdirSync(logs, { recursive: true });
  const libasan = execFileSync('gcc', ['-print-file-name=libasan.so'], { encoding: 'utf8' }).trim();
  nodeTests('simulated desktop, ASan+UBSan', testFiles('test', 'test/sim'), {
    CORVANE_BINARY: simAsanBinary,
    LD_PRELOAD: libasan,
    // Node's own allocations at exit are not ours to judge; leaks are left to valgrind.
    // A capture too large for memory must skip its tick, not abort, as it does without ASan.
    ASAN_OPTIONS: `detect_leaks=0:abort_on_error=1:allocator_may_return_null=1:log_path=${logs}/asan`,
    UBSAN_OPTIONS: `print_stacktrace=1:halt_on_error=1:log_path=${logs}/ubsan`,
  });
  const reports = fs.readdirSync(logs);
  for (const report of reports) process.stdout.write(fs.readFileSync(path.join(logs, report), 'utf8'));
  if (reports.length > 0) record('sanitizer reports', { passed: 0, failed: reports.length }, false);
}

// The Linux build on Xvfb: the shared suite (but the audio stream's, which Linux does not have
// yet: test/x11 checks that it says so) and the X11 suite.
async function x11Tests() {
  const files = [...testFiles('test').filter((f) => !f.endsWith('audio.test.js')), ...testFiles('test/desktop', 'test/x11')];
  for (const { randr, shm, layout } of x11Desktops) {
    const screens = layout.map((s) => `${s.width}x${s.height}`).join(' + ');
    const xvfb = await startXvfb(layout, { randr, shm });
    try {
      nodeTests(`Linux build on X11, ${screens}, RandR ${randr ? 'on' : 'off'}, MIT-SHM ${shm ? 'on' : 'off'}`, files, {
        CORVANE_BINARY: x11Binary,
        DISPLAY: xvfb.display,
        CORVANE_LAYOUT: JSON.stringify(layout),
        CORVANE_RANDR: randr ? 'on' : 'off',
        CORVANE_PICTURE_COMMAND: JSON.stringify([path.join(buildDirs.host, 'x11_picture'), 'test']),
        CORVANE_MOVE_POINTER: JSON.stringify(['xdotool', 'mousemove']),
      });
    } finally {
      await xvfb.stop();
    }
  }
}

async function windowsTests() {
  nodeTests('win32-x64 binary', testFiles('test/binary'), { CORVANE_WIN_BINARY: winBinary });
  const files = testFiles('test', 'test/desktop', 'test/win').map(toWindowsPath);
  for (const { sound, layout } of desktops) {
    const screens = layout.map((s) => `${s.width}x${s.height}`).join(' + ');
    const name = `Windows build under Wine, ${screens}, ${sound === 'pulse' ? 'PulseAudio' : 'no sound server'}`;
    const outDir = path.join(reportDir, `wine-${layout.length}-${sound}`);
    fs.rmSync(outDir, { recursive: true, force: true });
    const tapFile = path.join(outDir, 'report.tap');
    const xvfb = await startXvfb(layout);
    const pulse = sound === 'pulse' ? startPulseAudio() : null;
    let run;
    try {
      run = runWindowsNode(
        xvfb.display,
        ['--test', '--test-reporter=tap', `--test-reporter-destination=${toWindowsPath(tapFile)}`, ...files],
        {
          env: {
            CORVANE_BINARY: toWindowsPath(winBinary),
            CORVANE_LAYOUT: JSON.stringify(layout),
            CORVANE_PICTURE_COMMAND: JSON.stringify([toWindowsPath(pictureWindow)]),
            CORVANE_MOVE_POINTER: JSON.stringify([toWindowsPath(path.join(buildDirs.win, 'set_cursor.exe'))]),
            CORVANE_SOUND: sound,
            CORVANE_WINDOW_FIXTURE: toWindowsPath(path.join(buildDirs.win, 'window_fixture.node')),
            ...pulse?.env,
          },
          outDir,
        },
      );
    } finally {
      pulse?.stop();
      await xvfb.stop();
    }
    const tap = fs.existsSync(tapFile) ? fs.readFileSync(tapFile, 'utf8') : '';
    const counts = tapCounts(tap);
    if (run.status !== 0 || counts.failed > 0 || counts.passed === 0) {
      process.stdout.write(`${tap}\n${run.stdout}\n${run.stderr}\n${run.error ?? ''}\n`);
    } else {
      process.stdout.write(tap.split('\n').filter((l) => /^(ok|not ok) /.test(l)).join('\n') + '\n');
    }
    record(name, counts, run.status === 0);
  }
}

async function main() {
  const only = process.argv[2];
  if (only && only !== 'win') fail('usage: node scripts/test.js [win]');
  try {
    ensureSystem('host', 'x11', 'win', 'wine');
    ensureNpmPackages();
    if (only !== 'win') build('host');
    build('win');
    ensureWindowsNode();
  } catch (error) {
    fail(`test setup failed: ${error.message}`);
  }

  if (only !== 'win') {
    cppTests();
    nodeTests('simulated desktop', testFiles('test', 'test/sim'), { CORVANE_BINARY: simBinary });
    sanitizedSimTests();
    await x11Tests();
  }
  await windowsTests();

  const total = (key) => results.reduce((sum, r) => sum + (r[key] ?? 0), 0);
  const failedStages = results.filter((r) => !r.ok);
  console.log('Summary:');
  for (const r of results) console.log(`  ${r.ok ? 'ok  ' : 'FAIL'} ${r.stage}: ${r.passed} passed, ${r.failed} failed`);
  const skipped = total('skipped');
  console.log(`${total('passed')} passed, ${total('failed') + (failedStages.length && !total('failed') ? failedStages.length : 0)} failed${skipped ? `, ${skipped} skipped` : ''}`);
  process.exit(failedStages.length === 0 ? 0 : 1);
}

main().catch((error) => fail(`test run failed: ${error.stack}`));
