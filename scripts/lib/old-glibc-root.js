'use strict';
// A Debian 11 (glibc 2.31) root for the Linux prebuild, made once with debootstrap and kept in the
// cache: a module built against an older C library loads on every newer one, as manylinux-style
// builders do it.
const { ensureDebianRoot, chrootRun, debianRootDir } = require('./debian-root');

const SUITE = 'bullseye';
// What the build needs inside the root. Changing the list makes a new root.
const PACKAGES = ['g++', 'cmake', 'ninja-build', 'pkg-config', 'libxcb1-dev', 'libxcb-randr0-dev', 'libxcb-render0-dev',
  'libxcb-shm0-dev', 'libxcb-xinerama0-dev', 'libsystemd-dev', 'libpulse-dev', 'libwayland-dev', 'libpipewire-0.3-dev'];

const rootDir = debianRootDir(SUITE);

const ensureOldGlibcRoot = () =>
  ensureDebianRoot({
    suite: SUITE,
    include: PACKAGES,
    title: 'Making a Debian 11 build root',
    why: 'The Linux binary is built against glibc 2.31 so that it loads on older desktops too. This happens once (about a minute); the root is reused.',
    system: 'prebuild',
    forWhat: 'the Linux prebuild',
  });

// Runs a command inside the root with a clean environment.
const inRoot = (command, args) => chrootRun(rootDir, command, args);

module.exports = { ensureOldGlibcRoot, inRoot, rootDir };
