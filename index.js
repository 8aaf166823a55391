'use strict';
// Loads the native module for this platform: a prebuilt binary first, then a local build.
const fs = require('node:fs');
const path = require('node:path');

const target = `${process.platform}-${process.arch}`;
const candidates = [
  path.join(__dirname, 'prebuilds', target, 'corvane.node'),
  path.join(__dirname, 'build', 'host', 'corvane.node'),
];

const binary = candidates.find((file) => fs.existsSync(file));
if (!binary) {
  throw new Error(
    `corvane: no native binary for ${target}; looked for:\n  ${candidates.join('\n  ')}\n` +
      'corvane runs on Windows x64 and on Linux x64 (X11); build it with `npm run build` (Linux) ' +
      'or cross-compile the Windows binary with `npm run build:win` (see the README).',
  );
}

module.exports = require(binary);
