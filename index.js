'use strict';
// Loads corvane's native module: the binary prebuilt for this platform, which the package ships,
// or in a source checkout a local build.
const fs = require('node:fs');
const path = require('node:path');
const { binaryProblem } = require('./lib/binary-file');

const MIN_GLIBC = '2.31';
const targets = {
  'win32-x64': { format: 'pe', about: 'win32-x64 (Windows 10 or later)' },
  'linux-x64': { format: 'elf', about: `linux-x64 (glibc ${MIN_GLIBC} or later, X11)` },
};
const supported = Object.values(targets).map((t) => t.about).join(' and ');

// Node.js reports the C library it runs on only where it is glibc.
function glibcVersion() {
  const report = process.report;
  const excludeNetwork = report.excludeNetwork;
  report.excludeNetwork = true;
  try {
    return report.getReport().header.glibcVersionRuntime ?? null;
  } finally {
    report.excludeNetwork = excludeNetwork;
  }
}

const olderThan = (version, than) => {
  const [a, b] = [version, than].map((v) => v.split('.').map(Number));
  return a[0] < b[0] || (a[0] === b[0] && a[1] < b[1]);
};

function unsupported(platform) {
  return new Error(`corvane has no native binary for ${platform}. It supports ${supported}.`);
}

function load() {
  const target = `${process.platform}-${process.arch}`;
  const { format } = targets[target] ?? {};
  if (!format) throw unsupported(target);
  if (process.platform === 'linux') {
    const glibc = glibcVersion();
    if (!glibc) throw unsupported(`${target} with a C library other than glibc (such as musl)`);
    if (olderThan(glibc, MIN_GLIBC)) throw unsupported(`${target} with glibc ${glibc}`);
  }

  const prebuilt = path.join(__dirname, 'prebuilds', target, 'corvane.node');
  // Contributors run a source checkout with a local build instead (npm run build).
  const localBuild = path.join(__dirname, 'build', 'host', 'corvane.node');
  const file = [prebuilt, localBuild].find((f) => fs.existsSync(f));
  if (!file) {
    throw new Error(
      `corvane has no native binary for ${target}: ${prebuilt} is missing, so this copy of the package is ` +
        `incomplete; install it again. It supports ${supported}.`,
    );
  }
  const problem = binaryProblem(file, format, process.arch);
  if (problem) throw new Error(`corvane cannot load ${file}: ${problem}. Install the package again.`);
  try {
    return require(file);
  } catch (error) {
    throw new Error(`corvane cannot load ${file}: ${error.message}`, { cause: error });
  }
}

module.exports = load();
