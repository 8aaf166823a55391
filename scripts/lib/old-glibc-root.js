'use strict';
// A Debian 11 (glibc 2.31) root for the Linux prebuild, made once with debootstrap and kept in the
// cache: a module built against an older C library loads on every newer one, as manylinux-style
// builders do it.
const fs = require('node:fs');
const path = require('node:path');
const { run, banner } = require('./run');
const { cacheDir, ensureSystem } = require('./setup');

const SUITE = 'bullseye';
const MIRROR = 'http://deb.debian.org/debian';
// What the build needs inside the root. Changing the list makes a new root.
const PACKAGES = ['g++', 'cmake', 'ninja-build', 'pkg-config', 'libxcb1-dev', 'libxcb-randr0-dev', 'libxcb-render0-dev',
  'libxcb-shm0-dev', 'libxcb-xinerama0-dev', 'libsystemd-dev', 'libpulse-dev', 'libwayland-dev', 'libpipewire-0.3-dev'];

const rootDir = path.join(cacheDir, `${SUITE}-root`);
const readyFile = path.join(rootDir, '.corvane-ready');

function ensureOldGlibcRoot() {
  const wanted = PACKAGES.join(' ');
  if (fs.existsSync(readyFile) && fs.readFileSync(readyFile, 'utf8') === wanted) return rootDir;
  if (process.getuid?.() !== 0) {
    throw new Error(`the Linux prebuild is built in a Debian 11 root made with debootstrap, which needs root; run it as root`);
  }
  ensureSystem('prebuild');
  banner(
    `Making a Debian 11 build root in ${rootDir}`,
    'The Linux binary is built against glibc 2.31 so that it loads on older desktops too. This happens once (about a minute); the root is reused.',
  );
  const partial = `${rootDir}.partial`;
  fs.rmSync(partial, { recursive: true, force: true });
  fs.rmSync(rootDir, { recursive: true, force: true });
  fs.mkdirSync(cacheDir, { recursive: true });
  run('debootstrap', ['--variant=minbase', `--include=${PACKAGES.join(',')}`, SUITE, partial, MIRROR], {
    stdio: ['ignore', 'ignore', 'inherit'],
  });
  fs.writeFileSync(path.join(partial, '.corvane-ready'), wanted);
  fs.renameSync(partial, rootDir);
  return rootDir;
}

// Runs a command inside the root with a clean environment.
function inRoot(command, args) {
  run('chroot', [rootDir, '/usr/bin/env', '-i', 'PATH=/usr/sbin:/usr/bin:/sbin:/bin', 'HOME=/root', 'LC_ALL=C',
    command, ...args]);
}

module.exports = { ensureOldGlibcRoot, inRoot, rootDir };
