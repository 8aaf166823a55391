'use strict';
// npm run prebuilds: the three binaries the package ships, in the layout its loader reads:
//   prebuilds/win32-x64/corvane.node    cross-compiled with mingw-w64 (static runtime, stripped)
//   prebuilds/linux-x64/corvane.node    built on Debian 11, so it needs no glibc newer than 2.31,
//                                       with libstdc++ and libgcc linked in, stripped
//   prebuilds/linux-arm64/corvane.node  the same, cross-compiled with clang against Debian 11 arm64
// `node scripts/prebuild.js linux [--out FILE]` makes the Linux binary alone, into FILE if given.
const crypto = require('node:crypto');
const fs = require('node:fs');
const path = require('node:path');
const { root, run, fail, banner } = require('./lib/run');
const { ensureNpmPackages, ensureSystem } = require('./lib/setup');
const { build } = require('./build');
const { ensureOldGlibcRoot, inRoot, rootDir } = require('./lib/old-glibc-root');

// The Windows build puts its binary in prebuilds/win32-x64 itself.
const linuxPrebuild = path.join(root, 'prebuilds', 'linux-x64', 'corvane.node');

// What the build reads.
const buildInputs = ['CMakeLists.txt', 'cmake', 'src', 'tools', 'bench', 'node_modules/node-api-headers',
  'node_modules/node-addon-api'];

// The build root is shared by every checkout on the machine (it lives in the cache), so each
// checkout has a source and a build folder of its own there, named by its real path: two
// checkouts never build in each other's folders, nor overwrite each other's sources when they
// pack at once. Returns the folder as this machine sees it and as the root does.
function treeFolder(tree = root) {
  const real = fs.realpathSync(tree);
  const key = crypto.createHash('sha256').update(real).digest('hex').slice(0, 16);
  const inside = `/corvane/trees/${key}`;
  return { checkout: real, host: path.join(rootDir, inside), inside };
}

function prebuildLinux(out = linuxPrebuild) {
  ensureOldGlibcRoot();
  const shown = path.relative(root, out).startsWith('..') ? out : path.relative(root, out);
  banner(`Building ${shown} in the Debian 11 root`, 'Release, stripped, libstdc++ and libgcc linked in.');
  const { checkout, host, inside } = treeFolder();
  fs.mkdirSync(host, { recursive: true });
  fs.writeFileSync(path.join(host, 'checkout'), `${checkout}\n`);
  // The sources are copied by content (--checksum), not by time, and without their times, so that
  // what is written gets a fresh one: the kept build folder's objects are then rebuilt exactly
  // where this tree's files differ from the last build's, even where a changed file is older than
  // the objects. What the tree no longer has goes (--delete); links are followed.
  ensureSystem('prebuild');
  fs.mkdirSync(path.join(host, 'source'), { recursive: true });
  run('rsync', ['--recursive', '--relative', '--copy-links', '--perms', '--checksum', '--delete', ...buildInputs,
    `${path.join(host, 'source')}/`]);
  inRoot('cmake', ['-S', `${inside}/source`, '-B', `${inside}/build`, '-G', 'Ninja', '-DCMAKE_BUILD_TYPE=Release',
    '-DCORVANE_TESTS=OFF']);
  inRoot('cmake', ['--build', `${inside}/build`, '--target', 'corvane']);
  fs.mkdirSync(path.dirname(out), { recursive: true });
  fs.copyFileSync(path.join(host, 'build', 'corvane.node'), out);
}

function prebuild(args) {
  const [what, ...flags] = args;
  const out = flags[0] === '--out' && flags[1] ? path.resolve(flags[1]) : null;
  if (what === undefined && flags.length === 0) {
    ensureNpmPackages();
    banner('Building prebuilds/win32-x64/corvane.node', 'Cross-compiled with mingw-w64.');
    build('win');
    prebuildLinux();
    banner('Building prebuilds/linux-arm64/corvane.node', 'Cross-compiled with clang and lld against a Debian 11 arm64 root.');
    build('arm64');
  } else if (what === 'linux' && (flags.length === 0 || (out && flags.length === 2))) {
    ensureNpmPackages();
    prebuildLinux(out ?? linuxPrebuild);
  } else {
    throw new Error('usage: node scripts/prebuild.js [linux [--out FILE]]');
  }
}

module.exports = { treeFolder };

if (require.main === module) {
  try {
    prebuild(process.argv.slice(2));
  } catch (error) {
    fail(`prebuild failed: ${error.message}\nA package without all three binaries cannot be made; see CONTRIBUTING.md.`);
  }
}
