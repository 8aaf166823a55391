'use strict';
// npm run build: the host build (on Linux: the X11 module, the simulated desktop module and its
// sanitized twin; with --tests also the C++ tests and benchmarks, which need GoogleTest and Google
// Benchmark). npm run build:win: win32-x64 corvane.node, cross-compiled with mingw-w64.
// npm run build:arm64: linux-arm64 corvane.node and the sampler's tests, cross-compiled with clang
// against a Debian 11 arm64 root.
const fs = require('node:fs');
const path = require('node:path');
const { root, run, fail } = require('./lib/run');
const { ensureSystem, ensureNpmPackages } = require('./lib/setup');
const { ensureArm64Root } = require('./lib/arm64-root');

const buildDirs = {
  host: path.join(root, 'build', 'host'),
  win: path.join(root, 'build', 'win'),
  arm64: path.join(root, 'build', 'linux-arm64'),
};

// What a kind builds into prebuilds/ for the package (the Windows build copies its own).
const prebuilt = { arm64: path.join(root, 'prebuilds', 'linux-arm64', 'corvane.node') };
// The arm64 build makes what runs there alone: the test modules and programs are the host's.
const targets = { arm64: ['corvane', 'corvane_sampler_tests'] };

function build(kind, { tests = false } = {}) {
  if (process.platform !== 'linux') {
    throw new Error('builds run on Linux: the Windows module is cross-compiled with mingw-w64 (npm run build:win)');
  }
  ensureSystem(kind, ...(kind === 'host' && tests ? ['tests'] : []));
  ensureNpmPackages();
  const dir = buildDirs[kind];
  const type = kind === 'host' ? 'RelWithDebInfo' : 'Release';
  const configure = ['-S', root, '-B', dir, '-G', 'Ninja', `-DCMAKE_BUILD_TYPE=${type}`];
  if (kind === 'host') configure.push(`-DCORVANE_TESTS=${tests ? 'ON' : 'OFF'}`);
  if (kind === 'win') {
    configure.push(
      `-DCMAKE_TOOLCHAIN_FILE=${path.join(root, 'cmake', 'mingw-w64-x86_64.cmake')}`,
      `-DCORVANE_PREBUILD_DIR=${path.join(root, 'prebuilds', 'win32-x64')}`,
    );
  }
  if (kind === 'arm64') {
    configure.push(`-DCMAKE_TOOLCHAIN_FILE=${path.join(root, 'cmake', 'aarch64-linux-gnu.cmake')}`,
      `-DCORVANE_ARM64_ROOT=${ensureArm64Root()}`, '-DCORVANE_TESTS=OFF', '-DCORVANE_SAMPLER_TESTS=ON');
  }
  run('cmake', configure, { stdio: ['ignore', 'ignore', 'inherit'] });
  run('cmake', ['--build', dir, ...(targets[kind] ? ['--target', ...targets[kind]] : [])]);
  if (prebuilt[kind]) {
    fs.mkdirSync(path.dirname(prebuilt[kind]), { recursive: true });
    fs.copyFileSync(path.join(dir, 'corvane.node'), prebuilt[kind]);
  }
  return dir;
}

module.exports = { build, buildDirs };

if (require.main === module) {
  const [kind = 'host', ...flags] = process.argv.slice(2);
  if (!buildDirs[kind] || flags.some((f) => f !== '--tests')) fail(`usage: node scripts/build.js host|win|arm64 [--tests]`);
  try {
    build(kind, { tests: flags.includes('--tests') });
  } catch (error) {
    fail(`build failed: ${error.message}`);
  }
}
