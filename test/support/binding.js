'use strict';
// The module under test: with CORVANE_APP, the package as an application gets it, required by
// name from that application's folder; else the binary CORVANE_BINARY names, or the simulated
// desktop build.
const path = require('node:path');
const { createRequire } = require('node:module');

function open() {
  const app = process.env.CORVANE_APP;
  if (app) {
    const appRequire = createRequire(path.join(path.resolve(app), 'package.json'));
    const packageDir = path.dirname(appRequire.resolve('corvane/package.json'));
    return {
      corvane: appRequire('corvane'),
      file: path.join(packageDir, 'prebuilds', `${process.platform}-${process.arch}`, 'corvane.node'),
      packageDir,
    };
  }
  const file = process.env.CORVANE_BINARY
    ? path.resolve(process.env.CORVANE_BINARY)
    : path.join(__dirname, '..', '..', 'build', 'host', 'corvane-sim.node');
  return { corvane: require(file), file, packageDir: null };
}

const { corvane, file, packageDir } = open();

module.exports = {
  file,
  corvane,
  // The installed package's folder, when the tests run against one.
  packageDir,
  // Only the simulated build has it.
  simulator: corvane.simulator ?? null,
};
