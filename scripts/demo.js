'use strict';
// npm run demo: runs examples/demo.js against the real platform. On Windows it runs natively;
// on Linux it runs the Windows build in Windows Node.js under Wine, on a virtual display of
// three screens.
const path = require('node:path');
const { root, run, fail } = require('./lib/run');
const { ensureSystem, ensureNpmPackages, ensureWindowsNode } = require('./lib/setup');
const { build } = require('./build');
const { startXvfb, runWindowsNode, toWindowsPath } = require('./lib/wine');

const demo = path.join(root, 'examples', 'demo.js');
const screens = [
  { width: 2560, height: 1440 },
  { width: 1920, height: 1080 },
  { width: 1280, height: 1024 },
];

async function main() {
  if (process.platform === 'win32') {
    run(process.execPath, [demo]);
    return;
  }
  ensureSystem('win', 'wine');
  ensureNpmPackages();
  build('win');
  ensureWindowsNode();
  console.log(`\nRunning the Windows build under Wine on a virtual display of ${screens.length} screens.\n`);
  const xvfb = await startXvfb(screens);
  try {
    const colour = process.env.FORCE_COLOR ?? (process.stdout.isTTY ? '3' : '0');
    const result = runWindowsNode(xvfb.display, [toWindowsPath(demo)], { env: { FORCE_COLOR: colour }, timeout: 120000 });
    process.stdout.write(result.stdout);
    process.stderr.write(result.stderr);
    if (result.status !== 0) fail(`the demo exited with ${result.status ?? result.signal ?? result.error}`);
  } finally {
    await xvfb.stop();
  }
}

main().catch((error) => fail(`demo failed: ${error.message}`));
