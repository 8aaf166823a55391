'use strict';
// npm test: installs what is missing, builds everything, packs the module and installs the tarball
// into a new application, then runs every suite: the C++ tests, the JavaScript suite on the
// simulated desktop (plain and under AddressSanitizer and UndefinedBehaviorSanitizer), the
// package's own checks, the installed package's Linux binary on Xvfb in several Node.js versions,
// and its Windows binary under Wine in Windows Node.js. The Linux and the Windows suites each run
// in a lane (a process) of its own, whose lines carry its tag.
// npm run test:win (`node scripts/test.js win`): the Windows suites alone.
const fs = require('node:fs');
const path = require('node:path');
const { spawn, execFileSync } = require('node:child_process');
const { root, run, banner, fail } = require('./lib/run');
const { ensureSystem, ensureNpmPackages, ensureNode, nodeVersions } = require('./lib/setup');
const { build, buildDirs } = require('./build');
const { runWindowsNode, toWindowsPath } = require('./lib/wine');
const { startXvfb } = require('./lib/xvfb');
const { startSway } = require('./lib/sway');
const { startPulseAudio } = require('./lib/sound');

const reportDir = path.join(root, 'build', 'reports');
const simBinary = path.join(buildDirs.host, 'corvane-sim.node');
const simAsanBinary = path.join(buildDirs.host, 'corvane-sim-asan.node');
const packageDir = path.join(root, 'build', 'package');
const app = path.join(packageDir, 'app');
const packedTarball = () => path.join(packageDir, fs.readdirSync(packageDir).find((f) => f.endsWith('.tgz')));
const installed = (target) => path.join(app, 'node_modules', 'corvane', 'prebuilds', target, 'corvane.node');
// Xvfb's Xinerama places every screen at the origin, and cannot be told otherwise.
const screen = (width, height) => ({ x: 0, y: 0, width, height });
const pictureWindow = path.join(buildDirs.win, 'picture_window.exe');

// Desktops for the X11 suite: RandR's one monitor; two Xinerama screens with RandR on (it then
// reports one monitor for both) and no RENDER, so that the server cannot sample; three with RandR
// off and no MIT-SHM, so that captures read out through plain GetImage.
const x11Desktops = [
  { platform: 'x11', randr: true, shm: true, render: true, layout: [screen(1920, 1080)] },
  { platform: 'x11-no-render', randr: true, shm: true, render: false, layout: [screen(1920, 1080), screen(1280, 1024)] },
  { platform: 'x11-randr-off', randr: false, shm: false, render: true, layout: [screen(2560, 1440), screen(1366, 768), screen(1024, 768)] },
];
// How the other Node.js versions' runs sample on the first desktop: whole reads sampled here at
// every rate, then the server's sampling at every rate (the host's run samples as users get it).
const x11Samplings = ['client', 'server'];

// The outputs of the Wayland suite's sway: of different sizes, one left of and below the origin.
const waylandOutputs = [
  { width: 1920, height: 1080, x: 0, y: 0 },
  { width: 1280, height: 1024, x: 1920, y: 0 },
  { width: 1024, height: 768, x: -1024, y: 200 },
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

// node --test with readable results on its standard output and a TAP copy in tapFile to count from.
const testRunnerArgs = (tapFile) =>
  ['--test', '--test-reporter=spec', '--test-reporter-destination=stdout', '--test-reporter=tap', `--test-reporter-destination=${tapFile}`];

// Runs node --test on the host (in another Node.js when `node` names one).
async function nodeTests(stage, files, env = {}, node = process.execPath) {
  banner(stage);
  fs.mkdirSync(reportDir, { recursive: true });
  const tapFile = path.join(reportDir, `${stage.replace(/\W+/g, '-')}.tap`);
  fs.rmSync(tapFile, { force: true });
  const child = spawn(
    node,
    [...testRunnerArgs(tapFile), ...files],
    { cwd: root, stdio: 'inherit', env: { ...process.env, ...env } },
  );
  const status = await new Promise((resolve) => child.once('exit', resolve));
  const tap = fs.existsSync(tapFile) ? fs.readFileSync(tapFile, 'utf8') : '';
  record(stage, tapCounts(tap), status === 0);
}

async function cppTests() {
  banner('C++ tests (ctest)', 'The platform-free logic, built with AddressSanitizer and UndefinedBehaviorSanitizer.');
  const child = spawn('ctest', ['--test-dir', buildDirs.host, '--output-on-failure'], { cwd: root, stdio: ['ignore', 'pipe', 'inherit'] });
  let out = '';
  child.stdout.on('data', (d) => {
    out += d;
    process.stdout.write(d);
  });
  const status = await new Promise((resolve) => child.once('close', resolve));
  const m = out.match(/(\d+) tests failed out of (\d+)/);
  const counts = m ? { passed: Number(m[2]) - Number(m[1]), failed: Number(m[1]) } : { passed: 0, failed: 1 };
  record('C++ tests (ctest)', counts, status === 0);
}

// A suite again with both sanitizers. Node itself is not instrumented, so libasan is preloaded;
// any report aborts the process and is also written to a log that must stay empty.
async function sanitizedTests(stage, files, binary, env = {}) {
  const logs = path.join(reportDir, `sanitizers-${path.basename(binary, '.node')}`);
  fs.rmSync(logs, { recursive: true, force: true });
  fs.mkdirSync(logs, { recursive: true });
  const libasan = execFileSync('gcc', ['-print-file-name=libasan.so'], { encoding: 'utf8' }).trim();
  await nodeTests(stage, files, {
    ...env,
    CORVANE_BINARY: binary,
    LD_PRELOAD: libasan,
    // Node's own allocations at exit are not ours to judge; leaks are left to valgrind.
    // A capture too large for memory must skip its tick, not abort, as it does without ASan.
    ASAN_OPTIONS: `detect_leaks=0:abort_on_error=1:allocator_may_return_null=1:log_path=${logs}/asan`,
    UBSAN_OPTIONS: `print_stacktrace=1:halt_on_error=1:log_path=${logs}/ubsan`,
  });
  const reports = fs.readdirSync(logs);
  for (const report of reports) process.stdout.write(fs.readFileSync(path.join(logs, report), 'utf8'));
  if (reports.length > 0) record(`${stage}: sanitizer reports`, { passed: 0, failed: reports.length }, false);
}

// npm pack (whose prepack builds both prebuilt binaries), then an application that installs the
// tarball and nothing else: the suites test what users get.
function packAndInstall() {
  banner('Packing the module (npm pack) and installing the tarball into a new application',
    'npm pack builds both prebuilt binaries first; every suite below loads the installed copy.');
  fs.rmSync(packageDir, { recursive: true, force: true });
  fs.mkdirSync(app, { recursive: true });
  run('npm', ['pack', '--pack-destination', packageDir]);
  fs.writeFileSync(path.join(app, 'package.json'), JSON.stringify({ name: 'corvane-test-app', version: '1.0.0', private: true }));
  run('npm', ['install', '--offline', '--no-audit', '--no-fund', packedTarball()], { cwd: app });
}

// The package's own checks, on the host: its contents, the installed application, both binaries
// as their platforms' loaders see them, the typings against the binary, the installed package
// imported by ES modules (in every Linux Node.js version) and TypeScript programs and bundled by
// esbuild and webpack, and the Linux prebuild of two trees in the shared build root.
async function packageTests() {
  await nodeTests('the package: contents, binaries, typings, imports, bundles, prebuilds', testFiles('test/package', 'test/binary', 'test/typings'), {
    CORVANE_APP: app,
    CORVANE_TARBALL: packedTarball(),
    CORVANE_LINUX_BINARY: installed('linux-x64'),
    CORVANE_WIN_BINARY: installed('win32-x64'),
  });
}

// The installed package's Linux binary on Xvfb: the shared suite, with a PulseAudio server for the
// audio stream's, and the X11 suite; in the host's Node.js on every desktop, in the other Node.js
// versions on the first. The Linux suite (the audio level on servers of its own, the session end
// on a system bus of its own) needs no particular desktop: it runs once per Node.js version.
async function x11Tests() {
  const files = testFiles('test', 'test/desktop', 'test/x11');
  const runs = [
    ...x11Desktops.map((desktop) => ({ desktop, version: process.versions.node })),
    ...nodeVersions.linux.map((version, i) => ({ desktop: x11Desktops[0], version, sampling: x11Samplings[i] })),
  ];
  for (const { desktop: { platform, randr, shm, render, layout }, version, sampling } of runs) {
    const node = version === process.versions.node ? process.execPath : ensureNode('linux', version);
    const screens = layout.map((s) => `${s.width}x${s.height}`).join(' + ');
    const xvfb = await startXvfb(layout, { randr, shm, render });
    const pulse = startPulseAudio();
    const onOff = (on) => (on ? 'on' : 'off');
    const stage = `Linux, Node.js ${version}, X11 ${screens}, RandR ${onOff(randr)}, MIT-SHM ${onOff(shm)}, ` +
      `RENDER ${onOff(render)}${sampling ? `, sampled by the ${sampling}` : ''}`;
    try {
      const first = layout === x11Desktops[0].layout;
      const linuxSuite = first ? testFiles('test/linux', 'test/portal') : [];
      const env = {
        ...pulse.env,
        DISPLAY: xvfb.display,
        // Run from a Wayland session, the module would talk to its compositor instead.
        WAYLAND_DISPLAY: '',
        CORVANE_LAYOUT: JSON.stringify(layout),
        CORVANE_PLATFORM: platform,
        CORVANE_PICTURE_COMMAND: JSON.stringify([path.join(buildDirs.host, 'x11_picture'), 'test']),
        CORVANE_PIPEWIRE_PICTURE: path.join(buildDirs.host, 'pipewire_picture'),
        CORVANE_MOVE_POINTER: JSON.stringify(['xdotool', 'mousemove']),
        ...(sampling ? { CORVANE_X11_SAMPLING: sampling } : {}),
      };
      await nodeTests(stage, [...files, ...linuxSuite], { ...env, CORVANE_APP: app }, node);
      // The X11 grabs, both ways of sampling among them, sanitized once.
      if (first && !sampling) {
        await sanitizedTests('Linux on X11, ASan+UBSan', testFiles('test/x11'), path.join(buildDirs.host, 'corvane-asan.node'), env);
      }
    } finally {
      pulse.stop();
      await xvfb.stop();
    }
  }
}

// The installed package's Linux binary on a headless sway: the shared suite, test/desktop and
// test/wayland, with XWayland for the pointer (read there on Wayland too); then test/wayland again
// on the sanitized Linux module. Each grab waits for the compositor's next frame, so the outputs
// refresh at 1000 Hz: at 60 Hz the thousands of grabs of the picture test would take minutes.
async function waylandTests() {
  const files = testFiles('test', 'test/desktop', 'test/wayland');
  const sway = await startSway(waylandOutputs, { refresh: 1000, xwayland: true });
  const pulse = startPulseAudio();
  try {
    const outputs = waylandOutputs.map((o) => `${o.width}x${o.height}`).join(' + ');
    const env = {
      ...pulse.env,
      ...sway.env,
      DISPLAY: sway.xDisplay,
      CORVANE_LAYOUT: JSON.stringify(waylandOutputs),
      CORVANE_PICTURE_COMMAND: JSON.stringify([process.execPath, path.join(root, 'test', 'support', 'sway-picture.js')]),
      CORVANE_MOVE_POINTER: JSON.stringify(['xdotool', 'mousemove']),
    };
    await nodeTests(`Linux, Node.js ${process.versions.node}, Wayland (headless sway) ${outputs}`, files, { ...env, CORVANE_APP: app });
    await sanitizedTests('Linux on Wayland, ASan+UBSan', testFiles('test/wayland'), path.join(buildDirs.host, 'corvane-asan.node'), env);
  } finally {
    pulse.stop();
    await sway.close();
  }
}

// The installed package's Windows binary in Windows Node.js under Wine: 20 on every desktop, the
// other versions on the first.
async function windowsTests() {
  const files = testFiles('test', 'test/desktop', 'test/win').map(toWindowsPath);
  const [first, ...others] = nodeVersions.win;
  const runs = [
    ...desktops.map((desktop) => ({ desktop, version: first })),
    ...others.map((version) => ({ desktop: desktops[0], version })),
  ];
  for (const { desktop: { sound, layout }, version } of runs) {
    const screens = layout.map((s) => `${s.width}x${s.height}`).join(' + ');
    const name = `Windows under Wine, Node.js ${version}, ${screens}, ${sound === 'pulse' ? 'PulseAudio' : 'no sound server'}`;
    banner(name);
    const outDir = path.join(reportDir, `wine-${version}-${layout.length}-${sound}`);
    fs.rmSync(outDir, { recursive: true, force: true });
    const tapFile = path.join(outDir, 'report.tap');
    const xvfb = await startXvfb(layout);
    const pulse = sound === 'pulse' ? startPulseAudio() : null;
    let result;
    try {
      result = await runWindowsNode(
        xvfb.display,
        [...testRunnerArgs(toWindowsPath(tapFile)), ...files],
        {
          node: ensureNode('win', version),
          live: true,
          env: {
            CORVANE_APP: toWindowsPath(app),
            CORVANE_LAYOUT: JSON.stringify(layout),
            CORVANE_PICTURE_COMMAND: JSON.stringify([toWindowsPath(pictureWindow)]),
            CORVANE_MOVE_POINTER: JSON.stringify([toWindowsPath(path.join(buildDirs.win, 'set_cursor.exe'))]),
            CORVANE_PLATFORM: sound === 'pulse' ? 'wine-pulse' : 'wine',
            CORVANE_WINDOW_FIXTURE: toWindowsPath(path.join(buildDirs.win, 'window_fixture.node')),
            CORVANE_API_VERSION_PROGRAM: toWindowsPath(path.join(buildDirs.win, 'api_version.exe')),
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
    if (result.status !== 0 || counts.failed > 0 || counts.passed === 0) {
      process.stdout.write(`\nstandard error of Windows Node.js:\n${result.stderr.slice(-20000)}\n${result.error ?? ''}\n`);
    }
    record(name, counts, result.status === 0);
  }
}

// Each lane runs its suites in a process of its own; its output reaches the terminal line by line
// behind its tag, and its results come back in a file.
function runLane(name, tag) {
  const resultsFile = path.join(reportDir, `lane-${name}.json`);
  fs.rmSync(resultsFile, { force: true });
  const child = spawn(process.execPath, [__filename, '--lane', name], { cwd: root, stdio: ['ignore', 'pipe', 'pipe'] });
  for (const stream of [child.stdout, child.stderr]) {
    let partial = '';
    stream.setEncoding('utf8');
    stream.on('data', (chunk) => {
      const lines = (partial + chunk).split('\n');
      partial = lines.pop();
      process.stdout.write(lines.map((line) => `${tag} ${line}\n`).join(''));
    });
    stream.on('end', () => partial && process.stdout.write(`${tag} ${partial}\n`));
  }
  return new Promise((resolve) =>
    child.once('close', (code, signal) => {
      const laneResults = fs.existsSync(resultsFile) ? JSON.parse(fs.readFileSync(resultsFile, 'utf8')) : [];
      if (code !== 0 && !laneResults.some((r) => !r.ok)) {
        laneResults.push({ stage: `the ${name} lane ended with ${code ?? signal}`, passed: 0, failed: 1, ok: false });
      }
      resolve(laneResults);
    }),
  );
}

const lanes = {
  // The host's suites, one after the other.
  async linux() {
    await cppTests();
    await nodeTests('simulated desktop', testFiles('test', 'test/sim'), { CORVANE_BINARY: simBinary });
    // Node.js changes how long a thread-safe function lives from one version to the next: the
    // services' lifecycles run again in the newest.
    const newest = nodeVersions.linux.at(-1);
    await nodeTests(`simulated desktop, Node.js ${newest}`, testFiles('test', 'test/sim'), { CORVANE_BINARY: simBinary },
      ensureNode('linux', newest));
    await sanitizedTests('simulated desktop, ASan+UBSan', testFiles('test', 'test/sim'), simAsanBinary);
    await packageTests();
    await x11Tests();
    await waylandTests();
    // The Linux services' own suite (the audio level's start and stop cycles among it), sanitized.
    await sanitizedTests('Linux audio level, session end and portal capture, ASan+UBSan', testFiles('test/linux', 'test/portal'),
      path.join(buildDirs.host, 'corvane-asan.node'));
  },
  windows: () => windowsTests(),
};

async function main() {
  const [first, lane] = process.argv.slice(2);
  if (first === '--lane' && lanes[lane]) {
    await lanes[lane]();
    fs.writeFileSync(path.join(reportDir, `lane-${lane}.json`), JSON.stringify(results));
    return;
  }
  const only = first;
  if (only && only !== 'win') fail('usage: node scripts/test.js [win]');
  try {
    banner('Setting up', 'Anything missing is installed first; what was fetched or built before is reused.');
    ensureSystem('host', 'tests', 'x11', 'wayland', 'logind', 'win', 'wine', 'prebuild');
    ensureNpmPackages();
    if (only !== 'win') {
      banner('Building the host targets', 'The Linux module, the simulated desktop modules, the C++ tests and the test programs.');
      build('host', { tests: true });
    }
    packAndInstall();
    for (const version of nodeVersions.win) ensureNode('win', version);
    if (only !== 'win') for (const version of nodeVersions.linux) ensureNode('linux', version);
  } catch (error) {
    fail(`test setup failed: ${error.message}`);
  }
  fs.mkdirSync(reportDir, { recursive: true });

  // The Linux suites, then the Windows ones. Side by side they were about a fifth faster, but the
  // two lanes' captures slowed each other down so much that a picture test failed (1 run in 4).
  if (only === 'win') {
    await nodeTests('win32-x64 binary', [path.join(root, 'test', 'binary', 'win-binary.test.js')], {
      CORVANE_WIN_BINARY: installed('win32-x64'),
    });
    await lanes.windows();
  } else {
    results.push(...(await runLane('linux', '[linux]')), ...(await runLane('windows', '[wine] ')));
  }

  const total = (key) => results.reduce((sum, r) => sum + (r[key] ?? 0), 0);
  const failedStages = results.filter((r) => !r.ok);
  console.log('Summary:');
  for (const r of results) console.log(`  ${r.ok ? 'ok  ' : 'FAIL'} ${r.stage}: ${r.passed} passed, ${r.failed} failed`);
  const skipped = total('skipped');
  console.log(`${total('passed')} passed, ${total('failed') + (failedStages.length && !total('failed') ? failedStages.length : 0)} failed${skipped ? `, ${skipped} skipped` : ''}`);
  process.exit(failedStages.length === 0 ? 0 : 1);
}

main().catch((error) => fail(`test run failed: ${error.stack}`));
