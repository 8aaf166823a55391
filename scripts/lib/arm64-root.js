'use strict';
// A Debian 11 arm64 root, the C library and headers that the linux-arm64 prebuild is built against
// (glibc 2.31, as for x64) and the libraries Node.js for arm64 runs on under qemu. Nothing in it
// runs natively: debootstrap only fetches (--foreign) and every package is unpacked with dpkg -x,
// so no emulation is needed to make it. Made once and kept in the cache.
const fs = require('node:fs');
const path = require('node:path');
const { run, banner } = require('./run');
const { cacheDir, ensureSystem } = require('./setup');

const SUITE = 'bullseye';
const MIRROR = 'http://deb.debian.org/debian';
// The C and C++ runtimes clang links against, the headers the x64 build root has, and GoogleTest
// (and GoogleMock, which its CMake files expect) for the sampler's tests. Changing the list makes a new root.
const PACKAGES = ['libc6-dev', 'libstdc++-10-dev', 'libgcc-10-dev', 'libxcb1-dev', 'libxcb-randr0-dev',
  'libxcb-render0-dev', 'libxcb-shm0-dev', 'libxcb-xinerama0-dev', 'libsystemd-dev', 'libpulse-dev', 'libwayland-dev',
  'libpipewire-0.3-dev', 'libgtest-dev', 'libgmock-dev'];

const arm64Root = path.join(cacheDir, `${SUITE}-arm64-root`);
const readyFile = path.join(arm64Root, '.corvane-ready');

// The root's absolute links point into the host once it is used as a sysroot (lld would then find
// the host's libpthread.a): each becomes relative to where it stands.
function relativeLinks(dir, top = dir) {
  for (const entry of fs.readdirSync(dir, { withFileTypes: true })) {
    const where = path.join(dir, entry.name);
    if (entry.isDirectory()) {
      relativeLinks(where, top);
    } else if (entry.isSymbolicLink()) {
      const target = fs.readlinkSync(where);
      if (!path.isAbsolute(target)) continue;
      fs.unlinkSync(where);
      fs.symlinkSync(path.relative(dir, path.join(top, target)) || '.', where);
    }
  }
}

function ensureArm64Root() {
  const wanted = PACKAGES.join(' ');
  if (fs.existsSync(readyFile) && fs.readFileSync(readyFile, 'utf8') === wanted) return arm64Root;
  ensureSystem('prebuild');
  banner(`Making a Debian 11 arm64 root in ${arm64Root}`,
    'The linux-arm64 binary is built against it, and Node.js for arm64 runs on it under qemu. This happens once (about a minute).');
  const partial = `${arm64Root}.partial`;
  fs.rmSync(partial, { recursive: true, force: true });
  fs.rmSync(arm64Root, { recursive: true, force: true });
  fs.mkdirSync(cacheDir, { recursive: true });
  run('debootstrap', ['--arch=arm64', '--foreign', '--variant=minbase', `--include=${wanted.replaceAll(' ', ',')}`, SUITE,
    partial, MIRROR], { stdio: ['ignore', 'ignore', 'inherit'] });
  const archives = path.join(partial, 'var', 'cache', 'apt', 'archives');
  for (const deb of fs.readdirSync(archives).filter((f) => f.endsWith('.deb'))) {
    run('dpkg', ['-x', path.join(archives, deb), partial]);
  }
  fs.rmSync(archives, { recursive: true, force: true });
  relativeLinks(partial);
  fs.writeFileSync(path.join(partial, '.corvane-ready'), wanted);
  fs.renameSync(partial, arm64Root);
  return arm64Root;
}

module.exports = { ensureArm64Root, arm64Root };

if (require.main === module) ensureArm64Root();
