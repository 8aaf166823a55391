'use strict';
// npm run prebuild: the two binaries the package ships, in the layout its loader reads:
//   prebuilds/win32-x64/corvane.node  cross-compiled with mingw-w64 (static runtime, stripped)
//   prebuilds/linux-x64/corvane.node  built on Debian 11, so it needs no glibc newer than 2.31,
//                                     with libstdc++ and libgcc linked in, stripped
const fs = require('node:fs');
const path = require('node:path');
const { root, fail, banner } = require('./lib/run');
const { ensureNpmPackages } = require('./lib/setup');
const { build } = require('./build');
const { ensureOldGlibcRoot, inRoot, rootDir } = require('./lib/old-glibc-root');

// The Windows build puts its binary in prebuilds/win32-x64 itself.
const linuxPrebuild = path.join(root, 'prebuilds', 'linux-x64', 'corvane.node');

// What the build reads, copied into the root with their times kept, so that an unchanged source is
// not compiled again.
const buildInputs = ['CMakeLists.txt', 'cmake', 'src', 'tools', 'bench', 'node_modules/node-api-headers',
  'node_modules/node-addon-api'];

function prebuildLinux() {
  ensureOldGlibcRoot();
  banner('Building prebuilds/linux-x64/corvane.node in the Debian 11 root', 'Release, stripped, libstdc++ and libgcc linked in.');
  const source = path.join(rootDir, 'corvane', 'source');
  fs.rmSync(source, { recursive: true, force: true });
  for (const input of buildInputs) {
    fs.cpSync(path.join(root, input), path.join(source, input), { recursive: true, preserveTimestamps: true });
  }
  inRoot('cmake', ['-S', '/corvane/source', '-B', '/corvane/build', '-G', 'Ninja', '-DCMAKE_BUILD_TYPE=Release',
    '-DCORVANE_TESTS=OFF']);
  inRoot('cmake', ['--build', '/corvane/build', '--target', 'corvane']);
  fs.mkdirSync(path.dirname(linuxPrebuild), { recursive: true });
  fs.copyFileSync(path.join(rootDir, 'corvane', 'build', 'corvane.node'), linuxPrebuild);
}

function prebuild() {
  ensureNpmPackages();
  banner('Building prebuilds/win32-x64/corvane.node', 'Cross-compiled with mingw-w64.');
  build('win');
  prebuildLinux();
}

try {
  prebuild();
} catch (error) {
  fail(`prebuild failed: ${error.message}\nA package without both binaries cannot be made; see CONTRIBUTING.md.`);
}
