'use strict';
// A Debian 11 arm64 root: the C library and headers that the linux-arm64 prebuild is built against
// (glibc 2.31, as for x64), and the libraries Node.js for arm64 runs on under qemu. Nothing in it
// runs natively, so no emulation is needed to make it.
const { ensureDebianRoot, debianRootDir } = require('./debian-root');

const SUITE = 'bullseye';
// The C and C++ runtimes clang links against, the headers the x64 build root has, and GoogleTest
// (with GoogleMock, which its CMake files expect) for the sampler's tests. Changing the list makes
// a new root.
const PACKAGES = ['libc6-dev', 'libstdc++-10-dev', 'libgcc-10-dev', 'libxcb1-dev', 'libxcb-randr0-dev',
  'libxcb-render0-dev', 'libxcb-shm0-dev', 'libxcb-xinerama0-dev', 'libsystemd-dev', 'libpulse-dev', 'libwayland-dev',
  'libpipewire-0.3-dev', 'libgtest-dev', 'libgmock-dev'];

const arm64Root = debianRootDir(SUITE, 'arm64');

const ensureArm64Root = () =>
  ensureDebianRoot({
    suite: SUITE,
    arch: 'arm64',
    include: PACKAGES,
    title: 'Making a Debian 11 arm64 root',
    why: 'The linux-arm64 binary is built against it, and Node.js for arm64 runs on it under qemu. This happens once (about 45 s).',
    system: 'prebuild',
    forWhat: 'the linux-arm64 build',
  });

module.exports = { ensureArm64Root, arm64Root };
