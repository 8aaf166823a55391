'use strict';
// npm test: installs what is missing, builds, packs the module and installs the tarball into a new
// application, then runs the rows of the table below one after the other and counts their tests.
//   npm test -- --list                the table
//   npm test -- --only ROW[,ROW...]   those rows alone, by name or by the start of names (x11, wine);
//                                     only what they need is built, packed and fetched
//   npm run test:win                  the Windows rows
const fs = require('node:fs');
const path = require('node:path');
const { spawn, execFileSync } = require('node:child_process');
const { root, run, banner, fail } = require('./lib/run');
const { ensureSystem, ensureNpmPackages, ensureNode, nodeVersions } = require('./lib/setup');
const { build, buildDirs } = require('./build');
const { runWindowsNode, toWindowsPath, wineLeftovers } = require('./lib/wine');
const { ensureWine10Root } = require('./lib/wine10-root');
const { startXvfb } = require('./lib/xvfb');
const { startSway } = require('./lib/sway');
const { startPulseAudio } = require('./lib/sound');
const { startArm64Emulation } = require('./lib/qemu');
const { arm64Root } = require('./lib/arm64-root');
// What each kind of desktop lacks or does otherwise. The suites read it too
// (test/support/platform.js), so the desktop started and the one tested for cannot differ.
const platforms = require('../test/config.json');

const reportDir = path.join(root, 'build', 'reports');
const packageDir = path.join(root, 'build', 'package');
const app = path.join(packageDir, 'app');
const packedTarball = () => path.join(packageDir, fs.readdirSync(packageDir).find((f) => f.endsWith('.tgz')));
const installed = (target) => path.join(app, 'node_modules', 'corvane', 'prebuilds', target, 'corvane.node');
const hostTool = (name) => path.join(buildDirs.host, name);
const winTool = (name) => toWindowsPath(path.join(buildDirs.win, name));

// What the suites load, and what that needs: the host build (`host`), the installed tarball
// (`pack`); a `sanitized` binary runs under ASan and UBSan. `env` is given the runner's path
// translation (Wine's runner passes Windows paths).
const backends = {
  ctest: { label: 'C++ tests (ctest, ASan+UBSan)', host: true },
  'ctest-arm64': { label: "the sampler's C++ tests of the arm64 build, under qemu", arm64: true },
  sim: { label: 'simulated desktop', host: true, env: () => ({ CORVANE_BINARY: hostTool('corvane-sim.node') }) },
  'sim-asan': { label: 'simulated desktop', host: true, sanitized: hostTool('corvane-sim-asan.node') },
  linux: { label: 'installed Linux binary', host: true, pack: true, env: (p) => ({ CORVANE_APP: p(app) }) },
  'linux-asan': { label: 'Linux binary', host: true, sanitized: hostTool('corvane-asan.node') },
  win: { label: 'installed Windows binary', pack: true, env: (p) => ({ CORVANE_APP: p(app) }) },
  // The tarball and the installed binaries; its ES module imports run in every Linux Node.js.
  package: {
    label: 'the package',
    pack: true,
    nodes: nodeVersions.linux,
    env: () => ({ CORVANE_APP: app, CORVANE_TARBALL: packedTarball(), CORVANE_LINUX_BINARY: installed('linux-x64'),
      CORVANE_LINUX_ARM64_BINARY: installed('linux-arm64'), CORVANE_WIN_BINARY: installed('win32-x64') }),
  },
};

// Each desktop is of a kind that a runner below starts, and has its platform in test/config.json.
// Xvfb's Xinerama places every screen at the origin, and cannot be told otherwise.
const screen = (width, height) => ({ x: 0, y: 0, width, height });
const none = (platform) => ({ kind: 'none', platform });
const x11 = (platform, ...layout) => ({ kind: 'x11', platform, layout });
const wine = (platform, ...layout) => ({ kind: 'wine', platform, layout, wine: 8 });
// RandR's one monitor; two screens with RandR on (it then reports one monitor for both) and no
// RENDER, so that the server cannot sample; three with RandR off and no MIT-SHM, so that captures
// read out through plain GetImage.
const x11One = x11('x11', screen(1920, 1080));
const x11Two = x11('x11-no-render', screen(1920, 1080), screen(1280, 1024));
const x11Three = x11('x11-randr-off', screen(2560, 1440), screen(1366, 768), screen(1024, 768));
// Outputs of different sizes, one left of and below the origin.
const sway = { kind: 'wayland', platform: 'wayland', layout: [
  { width: 1920, height: 1080, x: 0, y: 0 }, { width: 1280, height: 1024, x: 1920, y: 0 }, { width: 1024, height: 768, x: -1024, y: 200 }] };
// One screen, then two and three of different sizes, the second with a sound server.
const wineOne = wine('wine', screen(1920, 1080));
const wineTwo = wine('wine-pulse', screen(1920, 1080), screen(1280, 1024));
const wineThree = wine('wine-xinerama', screen(2560, 1440), screen(1366, 768), screen(1024, 768));
// Wine 10 merges Xinerama's screens into one monitor, so it has one screen alone.
const wine10One = { ...wine('wine', screen(1920, 1080)), wine: 10 };

const host = process.versions.node;
const major = (version) => version.split('.')[0];
const [linuxOlder, linuxNewest] = nodeVersions.linux;
const [winFirst, winOther, winNewest] = nodeVersions.win;
const [arm64Oldest, arm64Newest] = nodeVersions.linuxArm64;
const sim = ['test', 'test/sim'];
const x11Suites = ['test', 'test/desktop', 'test/x11'];
// The Linux services need no particular desktop: they run on the first, in every Node.js version.
const services = ['test/linux', 'test/portal'];
const x11AndServices = [...x11Suites, ...services];
const winSuites = ['test', 'test/desktop', 'test/win'];
// The installed package on arm64, under qemu: its shared suite, the first desktop's and the Linux
// services' on the host's servers and buses.
const arm64Suites = ['test', 'test/desktop', 'test/x11', 'test/linux'];

// Linux, then Windows: side by side they were about a fifth faster, but their captures slowed each
// other down so much that a picture test failed (1 run in 4).
const rows = [
  { name: 'ctest', backend: 'ctest', desktop: none('host'), node: null, suites: ['test/cpp'] },
  // NEON against the plain loop, byte for byte.
  { name: 'ctest-arm64', backend: 'ctest-arm64', desktop: none('host'), node: null, suites: ['test/cpp/sampler_test.cc'] },
  { name: 'sim', backend: 'sim', desktop: none('sim'), node: host, suites: sim },
  // Node.js changes how long a thread-safe function lives from one version to the next.
  { name: `sim-node${major(linuxNewest)}`, backend: 'sim', desktop: none('sim'), node: linuxNewest, suites: sim },
  { name: 'sim-asan', backend: 'sim-asan', desktop: none('sim'), node: host, suites: sim },
  { name: 'package', backend: 'package', desktop: none('host'), node: host,
    title: 'the package: contents, Linux binaries, typings, imports, bundles, prebuilds',
    suites: ['test/package', 'test/binary/linux-binary.test.js', 'test/typings'] },
  { name: 'x11-1', backend: 'linux', desktop: x11One, node: host, suites: x11AndServices },
  // The X11 grabs, both ways of sampling among them, sanitized once.
  { name: 'x11-asan', backend: 'linux-asan', desktop: x11One, node: host, suites: ['test/x11'] },
  { name: 'x11-2', backend: 'linux', desktop: x11Two, node: host, suites: x11Suites },
  { name: 'x11-3', backend: 'linux', desktop: x11Three, node: host, suites: x11Suites },
  // Sampled at every rate by whole reads here, then by the server (the host's run samples as users get it).
  { name: `x11-node${major(linuxOlder)}`, backend: 'linux', desktop: x11One, node: linuxOlder, sampling: 'client', suites: x11AndServices },
  { name: `x11-node${major(linuxNewest)}`, backend: 'linux', desktop: x11One, node: linuxNewest, sampling: 'server', suites: x11AndServices },
  { name: 'wayland', backend: 'linux', desktop: sway, node: host, suites: ['test', 'test/desktop', 'test/wayland'] },
  { name: 'wayland-asan', backend: 'linux-asan', desktop: sway, node: host, suites: ['test/wayland'] },
  // The desktop starts in the suite: a mutter for each of its files.
  { name: 'gnome', backend: 'linux', desktop: none('gnome'), node: host, title: 'GNOME (mutter headless, the real portal)',
    suites: ['test/gnome'] },
  { name: 'gnome-shell', backend: 'linux', desktop: none('gnome-shell'), node: host, title: 'GNOME Shell (headless, the real portal)',
    suites: ['test/gnome'] },
  { name: 'kde', backend: 'linux', desktop: none('kde'), node: host, title: 'KDE (KWin 5.27, virtual outputs)', suites: ['test/kde'] },
  // The audio level's start and stop cycles among them.
  { name: 'linux-asan', backend: 'linux-asan', desktop: none('host'), node: host, title: 'Linux audio level, session end and portal capture',
    suites: services },
  // Emulated JavaScript runs 5 to 14 times slower: what is tested natively above, on arm64.
  { name: `arm64-node${major(arm64Newest)}`, backend: 'linux', arch: 'arm64', desktop: x11One, node: arm64Newest, suites: arm64Suites },
  { name: `arm64-node${major(arm64Oldest)}`, backend: 'linux', arch: 'arm64', desktop: x11One, node: arm64Oldest, suites: arm64Suites },
  { name: 'win-binary', backend: 'package', desktop: none('host'), node: host, title: 'the win32-x64 binary as a Windows loader sees it (objdump)',
    suites: ['test/binary/win-binary.test.js'] },
  { name: 'wine-1', backend: 'win', desktop: wineOne, node: winFirst, suites: winSuites },
  { name: 'wine-2', backend: 'win', desktop: wineTwo, node: winFirst, suites: winSuites },
  { name: 'wine-3', backend: 'win', desktop: wineThree, node: winFirst, suites: winSuites },
  // Wine 8 cannot start Windows Node.js 24; Wine 10, from a Debian 13 root, runs the newer ones.
  { name: `wine10-node${major(winNewest)}`, backend: 'win', desktop: wine10One, node: winNewest, suites: winSuites },
  { name: `wine10-node${major(winOther)}`, backend: 'win', desktop: wine10One, node: winOther, suites: winSuites },
];

const testFiles = (suites) =>
  suites.flatMap((suite) =>
    suite.endsWith('.test.js')
      ? [path.join(root, suite)]
      : fs.readdirSync(path.join(root, suite)).filter((f) => f.endsWith('.test.js')).sort().map((f) => path.join(root, suite, f)));

const onOff = (on) => (on ? 'on' : 'off');
const wineNames = { 8: 'Wine 8', 10: 'Wine 10 (Debian 13 root)' };
function describeDesktop({ kind, platform, layout, wine: version }) {
  const p = platforms[platform];
  const screens = layout?.map((s) => `${s.width}x${s.height}`).join(' + ');
  if (kind === 'x11') return `X11 ${screens}, RandR ${onOff(p.randr)}, MIT-SHM ${onOff(p.shm)}, RENDER ${onOff(p.render)}`;
  if (kind === 'wayland') return `Wayland (headless sway) ${screens}`;
  if (kind === 'wine') return `${wineNames[version]}, ${screens}, ${p.soundServer ? 'PulseAudio' : 'no sound server'}`;
  return null;
}
const nodeName = (row) =>
  (row.node ? `${row.desktop.kind === 'wine' ? 'Windows ' : ''}Node.js ${row.node}${row.arch ? ` for ${row.arch} under qemu` : ''}` : '-');
const describe = (row) =>
  [`${row.name}: ${row.title ?? backends[row.backend].label}${backends[row.backend].sanitized ? ' (ASan+UBSan)' : ''}`, nodeName(row),
    describeDesktop(row.desktop), row.sampling && `sampled by the ${row.sampling}`].filter((part) => part && part !== '-').join(', ');

const results = [];

function record(stage, counts, ok) {
  results.push({ stage, ...counts, ok: ok && counts.failed === 0 && counts.passed > 0 });
  console.log(`\n== ${stage}: ${counts.passed} passed, ${counts.failed} failed${counts.skipped ? `, ${counts.skipped} skipped` : ''}\n`);
}

// Counts from the closing lines of node's TAP reporter.
function tapCounts(tapFile) {
  const tap = fs.existsSync(tapFile) ? fs.readFileSync(tapFile, 'utf8') : '';
  const count = (key) => Number((tap.match(new RegExp(`^# ${key} (\\d+)$`, 'm')) ?? [])[1] ?? 0);
  return { passed: count('pass'), failed: count('fail') + count('cancelled'), skipped: count('skipped') + count('todo') };
}

// node --test with readable results on its standard output and a TAP copy in tapFile to count from.
const testRunnerArgs = (tapFile) =>
  ['--test', '--test-reporter=spec', '--test-reporter-destination=stdout', '--test-reporter=tap', `--test-reporter-destination=${tapFile}`];

async function cppTests(row) {
  const child = spawn('ctest', ['--test-dir', buildDirs.host, '--output-on-failure'], { cwd: root, stdio: ['ignore', 'pipe', 'inherit'] });
  let out = '';
  child.stdout.on('data', (d) => {
    out += d;
    process.stdout.write(d);
  });
  const status = await new Promise((resolve) => child.once('close', resolve));
  const m = out.match(/(\d+) tests failed out of (\d+)/);
  record(describe(row), m ? { passed: Number(m[2]) - Number(m[1]), failed: Number(m[1]) } : { passed: 0, failed: 1 }, status === 0);
}

// A GoogleTest program of the arm64 build, run by qemu directly: it starts no process of its own.
async function arm64Tests(row) {
  const xml = path.join(reportDir, `${row.name}.xml`);
  fs.rmSync(xml, { force: true });
  const child = spawn('qemu-aarch64-static', ['-L', arm64Root, path.join(buildDirs.arm64, 'corvane_sampler_tests'), `--gtest_output=xml:${xml}`],
    { cwd: root, stdio: 'inherit' });
  const status = await new Promise((resolve) => child.once('close', resolve));
  const totals = fs.existsSync(xml) ? /<testsuites tests="(\d+)" failures="(\d+)" disabled="(\d+)" errors="(\d+)"/.exec(fs.readFileSync(xml, 'utf8')) : null;
  const counts = totals ? { passed: totals[1] - totals[2] - totals[3] - totals[4], failed: Number(totals[2]) + Number(totals[4]) } : { passed: 0, failed: 1 };
  record(describe(row), counts, status === 0);
}

// node --test on the host, with what the backend and the desktop give the suites. Node itself is
// not instrumented, so a sanitized binary runs with libasan preloaded; any report aborts the
// process and is also written to a log that must stay empty.
async function hostTests(row, desktopEnv = {}) {
  const { env: backendEnv = () => ({}), sanitized } = backends[row.backend];
  const logs = path.join(reportDir, `sanitizers-${row.name}`);
  fs.rmSync(logs, { recursive: true, force: true });
  const sanitizerEnv = sanitized && {
    CORVANE_BINARY: sanitized,
    LD_PRELOAD: execFileSync('gcc', ['-print-file-name=libasan.so'], { encoding: 'utf8' }).trim(),
    // Node's own allocations at exit are not ours to judge; leaks are left to valgrind.
    // A capture too large for memory must skip its tick, not abort, as it does without ASan.
    ASAN_OPTIONS: `detect_leaks=0:abort_on_error=1:allocator_may_return_null=1:log_path=${logs}/asan`,
    UBSAN_OPTIONS: `print_stacktrace=1:halt_on_error=1:log_path=${logs}/ubsan`,
  };
  if (sanitized) fs.mkdirSync(logs, { recursive: true });
  const tapFile = path.join(reportDir, `${row.name}.tap`);
  fs.rmSync(tapFile, { force: true });
  const node = row.node === host && !row.arch ? process.execPath : ensureNode('linux', row.node, row.arch);
  const emulation = row.arch === 'arm64' ? startArm64Emulation() : null;
  const env = { ...process.env, ...desktopEnv, CORVANE_PLATFORM: row.desktop.platform, ...backendEnv((p) => p), ...sanitizerEnv,
    ...emulation?.env };
  let status;
  try {
    const child = spawn(node, [...testRunnerArgs(tapFile), ...testFiles(row.suites)], { cwd: root, stdio: 'inherit', env });
    status = await new Promise((resolve) => child.once('exit', resolve));
  } finally {
    emulation?.stop();
  }
  record(describe(row), tapCounts(tapFile), status === 0);
  const reports = sanitized ? fs.readdirSync(logs) : [];
  for (const report of reports) process.stdout.write(fs.readFileSync(path.join(logs, report), 'utf8'));
  if (reports.length > 0) record(`${describe(row)}: sanitizer reports`, { passed: 0, failed: reports.length }, false);
}

// One runner per kind of desktop: it starts the desktop, and a sound server where the platform has
// one, runs the row's suites there and stops them again.
const runners = {
  none: (row) => ({ ctest: cppTests, 'ctest-arm64': arm64Tests }[row.backend] ?? hostTests)(row),

  async x11(row) {
    const { platform, layout } = row.desktop;
    const { randr, shm, render, soundServer } = platforms[platform];
    const xvfb = await startXvfb(layout, { randr, shm, render });
    const pulse = soundServer ? startPulseAudio() : null;
    try {
      await hostTests(row, {
        ...pulse?.env,
        DISPLAY: xvfb.display,
        // Run from a Wayland session, the module would talk to its compositor instead.
        WAYLAND_DISPLAY: '',
        CORVANE_LAYOUT: JSON.stringify(layout),
        CORVANE_PICTURE_COMMAND: JSON.stringify([hostTool('x11_picture'), 'test']),
        CORVANE_PIPEWIRE_PICTURE: hostTool('pipewire_picture'),
        CORVANE_MOVE_POINTER: JSON.stringify(['xdotool', 'mousemove']),
        ...(row.sampling && { CORVANE_X11_SAMPLING: row.sampling }),
      });
    } finally {
      pulse?.stop();
      await xvfb.stop();
    }
  },

  // With XWayland for the pointer, which is read there on Wayland too. Each grab waits for the
  // compositor's next frame, so the outputs refresh at 1000 Hz: at 60 Hz the thousands of grabs of
  // the picture test would take minutes.
  async wayland(row) {
    const { platform, layout } = row.desktop;
    const compositor = await startSway(layout, { refresh: 1000, xwayland: true });
    const pulse = platforms[platform].soundServer ? startPulseAudio() : null;
    try {
      await hostTests(row, {
        ...pulse?.env,
        ...compositor.env,
        DISPLAY: compositor.xDisplay,
        CORVANE_LAYOUT: JSON.stringify(layout),
        CORVANE_PICTURE_COMMAND: JSON.stringify([process.execPath, path.join(root, 'test', 'support', 'sway-picture.js')]),
        CORVANE_MOVE_POINTER: JSON.stringify(['xdotool', 'mousemove']),
      });
    } finally {
      pulse?.stop();
      await compositor.close();
    }
  },

  // Windows Node.js, which cannot write to a pipe under Wine: its output goes to files, followed as
  // they grow. Wine sees Xvfb's screens through Xinerama alone, so Xvfb's own choice of RandR stands.
  async wine(row) {
    const { platform, layout } = row.desktop;
    const outDir = path.join(reportDir, row.name);
    fs.rmSync(outDir, { recursive: true, force: true });
    const tapFile = path.join(outDir, 'report.tap');
    const xvfb = await startXvfb(layout);
    const pulse = platforms[platform].soundServer ? startPulseAudio() : null;
    let result;
    try {
      result = await runWindowsNode(xvfb.display, [...testRunnerArgs(toWindowsPath(tapFile)), ...testFiles(row.suites).map(toWindowsPath)], {
        node: ensureNode('win', row.node),
        wine: row.desktop.wine,
        live: true,
        outDir,
        env: {
          ...pulse?.env,
          ...backends[row.backend].env(toWindowsPath),
          CORVANE_PLATFORM: platform,
          CORVANE_LAYOUT: JSON.stringify(layout),
          CORVANE_PICTURE_COMMAND: JSON.stringify([winTool('picture_window.exe')]),
          CORVANE_MOVE_POINTER: JSON.stringify([winTool('set_cursor.exe')]),
          CORVANE_WINDOW_FIXTURE: winTool('window_fixture.node'),
          CORVANE_API_VERSION_PROGRAM: winTool('api_version.exe'),
        },
      });
    } finally {
      pulse?.stop();
      await xvfb.stop();
    }
    const counts = tapCounts(tapFile);
    if (result.status !== 0 || counts.failed > 0 || counts.passed === 0) {
      process.stdout.write(`\nstandard error of Windows Node.js:\n${result.stderr.slice(-20000)}\n${result.error ?? ''}\n`);
    }
    record(describe(row), counts, result.status === 0);
    // A Wine process or mount left over would meet the next row's desktop.
    const left = wineLeftovers(row.desktop.wine);
    if (left.length > 0) record(`${describe(row)}: left behind ${left.join(', ')}`, { passed: 0, failed: left.length }, false);
  },
};

// npm pack (whose prepack builds the three prebuilt binaries), then an application that installs the
// tarball and nothing else: the suites test what users get.
function packAndInstall() {
  banner('Packing the module (npm pack) and installing the tarball into a new application',
    'npm pack builds the three prebuilt binaries first; the suites of the installed package load that copy.');
  fs.rmSync(packageDir, { recursive: true, force: true });
  fs.mkdirSync(app, { recursive: true });
  run('npm', ['pack', '--pack-destination', packageDir]);
  fs.writeFileSync(path.join(app, 'package.json'), JSON.stringify({ name: 'corvane-test-app', version: '1.0.0', private: true }));
  run('npm', ['install', '--offline', '--no-audit', '--no-fund', packedTarball()], { cwd: app });
}

// Installs and builds what the chosen rows need. Packing builds the Windows prebuild too, the Linux
// x64 one in its Debian 11 root and the arm64 one, so it needs both cross-compilers even without
// Wine or arm64 rows.
function setUp(chosen) {
  const needs = (key) => chosen.some((row) => backends[row.backend][key]);
  const wineRows = chosen.some((row) => row.desktop.kind === 'wine');
  const wine10Rows = chosen.some((row) => row.desktop.wine === 10);
  banner('Setting up', 'Anything missing is installed first; what was fetched or built before is reused.');
  const arm64Rows = chosen.some((row) => row.arch === 'arm64');
  ensureSystem('host', 'tests', 'x11', 'wayland', 'gnome', 'logind', ...(needs('pack') ? ['win', 'prebuild', 'arm64'] : []),
    ...(wineRows ? ['wine'] : []), ...(wine10Rows ? ['wine10'] : []), ...(arm64Rows || needs('arm64') ? ['qemu'] : []),
    ...(needs('arm64') ? ['arm64'] : []));
  ensureNpmPackages();
  if (needs('host')) {
    banner('Building the host targets', 'The Linux module, the simulated desktop modules, the C++ tests and the test programs.');
    build('host', { tests: true });
  }
  if (needs('pack')) packAndInstall();
  else if (needs('arm64')) build('arm64');
  const nodes = chosen.flatMap((row) => [
    ...(row.desktop.kind === 'wine' ? [`win ${row.node}`] : row.arch ? [`linux ${row.node} ${row.arch}`] : row.node && row.node !== host ? [`linux ${row.node}`] : []),
    ...(backends[row.backend].nodes ?? []).map((version) => `linux ${version}`),
  ]);
  for (const node of new Set(nodes)) ensureNode(...node.split(' '));
  if (wine10Rows) ensureWine10Root();
}

// --only's choices: a row's name picks that row, else the start of names every row it starts, up
// to a dash or a version (x11: x11-1, x11-asan...; sim-: sim-node24, sim-asan; wine: wine-1...,
// wine10-node24...), in the table's order.
const startsWith = (name, choice) => name.startsWith(choice) && /^\d*-/.test(name.slice(choice.length));
function select(choices) {
  const picked = choices.flatMap((choice) => {
    const names = rows.some((r) => r.name === choice) ? [choice] : rows.map((r) => r.name).filter((n) => startsWith(n, choice.replace(/-$/, '')));
    return names.length > 0 ? names : fail(`no row is ${choice} or starts ${choice}-; the rows: ${rows.map((r) => r.name).join(', ')}`);
  });
  return rows.filter((r) => picked.includes(r.name));
}

function listRows() {
  const sanitizer = (row) => (backends[row.backend].sanitized || row.backend === 'ctest' ? 'ASan+UBSan' : '-');
  const table = [['row', 'backend', 'sanitizer', 'Node.js', 'desktop', 'platform', 'suites'], ...rows.map((row) => [row.name, row.backend,
    sanitizer(row), nodeName(row), (describeDesktop(row.desktop) ?? 'none') + (row.sampling ? `, sampled by the ${row.sampling}` : ''),
    row.desktop.platform, row.suites.join(' ')])];
  const widths = table[0].map((_, i) => Math.max(...table.map((cells) => cells[i].length)));
  for (const cells of table) console.log(cells.map((cell, i) => cell.padEnd(widths[i])).join('  ').trimEnd());
}

async function main() {
  const args = process.argv.slice(2);
  if (args.length === 1 && args[0] === '--list') return listRows();
  if (args.length !== 0 && !(args.length === 2 && args[0] === '--only')) fail('usage: node scripts/test.js [--list | --only ROW[,ROW...]]');
  const chosen = args.length === 0 ? rows : select(args[1].split(',').filter(Boolean));
  try {
    setUp(chosen);
  } catch (error) {
    fail(`test setup failed: ${error.message}`);
  }
  fs.mkdirSync(reportDir, { recursive: true });
  for (const row of chosen) {
    banner(describe(row), row.suites.join(' '));
    try {
      await runners[row.desktop.kind](row);
    } catch (error) {
      // A desktop that did not start fails its row; the rows after it still run.
      record(`${describe(row)}: ${error.message}`, { passed: 0, failed: 1 }, false);
    }
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
