'use strict';
// npm run build: the host build (on Linux: the X11 module, the simulated desktop module and its
// sanitized twin; with --tests also the C++ tests and benchmarks, which need GoogleTest and Google
// Benchmark). npm run build:win: win32-x64 corvane.node, cross-compiled with mingw-w64.
const path = require('node:path');
const { root, run, fail } = require('./lib/run');
const { ensureSystem, ensureNpmPackages } = require('./lib/setup');

const buildDirs = {
  host: path.join(root, 'build', 'host'),
  win: path.join(root, 'build', 'win'),
};

function build(kind, { tests = false } = {}) {
  if (process.platform !== 'linux') {
    throw new Error('builds run on Linux: the Windows module is cross-compiled with mingw-w64 (npm run build:win)');
  }
  ensureSystem(kind, ...(kind === 'host' && tests ? ['tests'] : []));
  ensureNpmPackages();
  const dir = buildDirs[kind];
  const type = kind === 'win' ? 'Release' : 'RelWithDebInfo';
  const configure = ['-S', root, '-B', dir, '-G', 'Ninja', `-DCMAKE_BUILD_TYPE=${type}`];
  if (kind === 'host') configure.push(`-DCORVANE_TESTS=${tests ? 'ON' : 'OFF'}`);
  if (kind === 'win') {
    configure.push(
      `-DCMAKE_TOOLCHAIN_FILE=${path.join(root, 'cmake', 'mingw-w64-x86_64.cmake')}`,
      `-DCORVANE_PREBUILD_DIR=${path.join(root, 'prebuilds', 'win32-x64')}`,
    );
  }
  run('cmake', configure, { stdio: ['ignore', 'ignore', 'inherit'] });
  run('cmake', ['--build', dir]);
  return dir;
}

module.exports = { build, buildDirs };

if (require.main === module) {
  const [kind = 'host', ...flags] = process.argv.slice(2);
  if (!buildDirs[kind] || flags.some((f) => f !== '--tests')) fail(`usage: node scripts/build.js host|win [--tests]`);
  try {
    build(kind, { tests: flags.includes('--tests') });
  } catch (error) {
    fail(`build failed: ${error.message}`);
  }
}
