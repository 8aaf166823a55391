'use strict';
// Loads corvane's native module: the binary prebuilt for this platform, which the package ships,
// or in a source checkout a local build.
const fs = require('node:fs');
const path = require('node:path');
const { binaryProblem } = require('./lib/binary-file');

const MIN_GLIBC = '2.31';
// Each platform's binary is required by a literal path, so that a bundler can follow it: esbuild's
// copy loader and webpack's node-loader copy the file beside the bundle, under a name of their own,
// and point the require there.
const targets = {
  'win32-x64': {
    format: 'pe',
    about: 'win32-x64 (Windows 10 or later)',
    open: () => require('./prebuilds/win32-x64/corvane.node'),
  },
  'linux-x64': {
    format: 'elf',
    about: `linux-x64 (glibc ${MIN_GLIBC} or later, X11 or Wayland)`,
    open: () => require('./prebuilds/linux-x64/corvane.node'),
  },
  'linux-arm64': {
    format: 'elf',
    about: `linux-arm64 (glibc ${MIN_GLIBC} or later, X11 or Wayland)`,
    open: () => require('./prebuilds/linux-arm64/corvane.node'),
  },
};
const abouts = Object.values(targets).map((t) => t.about);
const supported = `${abouts.slice(0, -1).join(', ')} and ${abouts.at(-1)}`;

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

const missing = (target, file) =>
  new Error(
    `corvane has no native binary for ${target}: ${file} is missing, so this copy of the package is ` +
      `incomplete; install it again. It supports ${supported}.`,
  );

// Runs `open`, which loads `file` one way or another, with the file's headers read before the
// system loader sees it. Every way of loading a .node file ends in process.dlopen (Node.js's
// require, and webpack's node-loader), which is given the file that really loads: in a bundle the
// bundler's copy, whose name this code does not know. So the checks wrap process.dlopen for the
// time of this one synchronous call, and hold in a bundle as in the package: the file exists, its
// headers are whole and of this platform and processor, and the system loader's refusal is told
// with the file's name.
function checkedOpen(target, file, format, open) {
  const dlopen = process.dlopen;
  let opened = null;
  process.dlopen = function (mod, filename, ...flags) {
    // Node.js hands the long form of a Windows path (\\?\C:\...) to dlopen.
    opened = filename === path.toNamespacedPath(file) ? file : filename;
    if (!fs.existsSync(filename)) throw missing(target, opened);
    const problem = binaryProblem(filename, format, process.arch);
    if (problem) throw new Error(`corvane cannot load ${opened}: ${problem}. Install the package again.`);
    try {
      return dlopen.call(this, mod, filename, ...flags);
    } catch (error) {
      throw new Error(`corvane cannot load ${opened}: ${error.message}`, { cause: error });
    }
  };
  try {
    return open();
  } catch (error) {
    // require found no file to hand to dlopen. Its request names the file, relative to this code
    // (in a bundle, to the bundle): the package's own, or the bundler's copy.
    if (opened === null && error.code === 'MODULE_NOT_FOUND') {
      const request = /^Cannot find module '([^']+)'/.exec(error.message)?.[1];
      throw missing(target, request ? path.resolve(__dirname, request) : file);
    }
    throw error;
  } finally {
    process.dlopen = dlopen;
  }
}

function load() {
  const target = `${process.platform}-${process.arch}`;
  const { format, open } = targets[target] ?? {};
  if (!format) throw unsupported(target);
  if (process.platform === 'linux') {
    const glibc = glibcVersion();
    if (!glibc) throw unsupported(`${target} with a C library other than glibc (such as musl)`);
    if (olderThan(glibc, MIN_GLIBC)) throw unsupported(`${target} with glibc ${glibc}`);
  }

  const prebuilt = path.join(__dirname, 'prebuilds', target, 'corvane.node');
  // Contributors run a source checkout with a local build instead (npm run build). It is opened
  // with process.dlopen rather than required, so that bundlers neither look for it nor warn of a
  // require they cannot follow. A bundle never has it: beside the bundle, neither file is there
  // and the bundler's copy of the prebuilt binary loads.
  const localBuild = path.join(__dirname, 'build', 'host', 'corvane.node');
  if (!fs.existsSync(prebuilt) && fs.existsSync(localBuild)) {
    return checkedOpen(target, localBuild, format, () => {
      const local = { exports: {} };
      process.dlopen(local, localBuild);
      return local.exports;
    });
  }
  return checkedOpen(target, prebuilt, format, open);
}

const binding = load();

// What the package exports, one assignment each. Node.js reads these names from the source,
// without running it, to give `import { getMonitors } from 'corvane'` its named exports: keep
// every export a plain `exports.name = ...` line here (index.d.ts declares the same names).
exports.getMonitors = binding.getMonitors;
exports.shutdownHandler = binding.shutdownHandler;
exports.startCaptureScreen = binding.startCaptureScreen;
exports.stopCaptureScreen = binding.stopCaptureScreen;
exports.startMouseTracking = binding.startMouseTracking;
exports.stopMouseTracking = binding.stopMouseTracking;
exports.startCaptureMultiScreens = binding.startCaptureMultiScreens;
exports.stopCaptureMultiScreens = binding.stopCaptureMultiScreens;
exports.startStream = binding.startStream;
exports.stopStream = binding.stopStream;
