'use strict';
// The package as npm delivers it: the tarball's contents, and an application that installed it
// and nothing else.
const { it } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { execFileSync, spawnSync } = require('node:child_process');
const { exportNames } = require('../support/api');

const tarball = process.env.CORVANE_TARBALL;
const app = process.env.CORVANE_APP;

it('ships the loader, the typings, README, LICENSE and the three prebuilt binaries, and nothing else', () => {
  const files = execFileSync('tar', ['-tzf', tarball], { encoding: 'utf8' }).trim().split('\n').sort();
  assert.deepEqual(files, [
    'package/LICENSE',
    'package/README.md',
    'package/index.d.ts',
    'package/index.js',
    'package/lib/binary-file.js',
    'package/package.json',
    'package/prebuilds/linux-arm64/corvane.node',
    'package/prebuilds/linux-x64/corvane.node',
    'package/prebuilds/win32-x64/corvane.node',
  ]);
});

it('installs without a platform restriction, a build step or a dependency', () => {
  const manifest = JSON.parse(execFileSync('tar', ['-xzOf', tarball, 'package/package.json'], { encoding: 'utf8' }));
  assert.equal(manifest.os, undefined);
  assert.equal(manifest.cpu, undefined);
  assert.deepEqual(Object.keys(manifest.dependencies ?? {}), []);
  // npm runs these at install time: none may need a compiler.
  for (const hook of ['preinstall', 'install', 'postinstall']) assert.equal(manifest.scripts?.[hook], undefined, hook);
  assert.deepEqual(fs.readdirSync(path.join(app, 'node_modules')).filter((f) => !f.startsWith('.')), ['corvane']);
});

it("loads the installed package's own prebuilt binary when the application requires it by name", () => {
  // Which file the process mapped, from the process itself.
  const script = `
    const corvane = require('corvane');
    const mapped = require('fs').readFileSync('/proc/self/maps', 'utf8').split('\\n')
      .map((l) => l.split(/\\s+/).slice(5).join(' ')).filter((f) => f.endsWith('.node'));
    console.log(JSON.stringify({ keys: Object.keys(corvane), mapped: [...new Set(mapped)] }));`;
  const child = spawnSync(process.execPath, ['-e', script], { cwd: app, encoding: 'utf8', env: { ...process.env, NODE_PATH: '' } });
  assert.equal(child.status, 0, child.stderr);
  const { keys, mapped } = JSON.parse(child.stdout);
  assert.deepEqual(keys, exportNames);
  assert.deepEqual(mapped, [fs.realpathSync(path.join(app, 'node_modules', 'corvane', 'prebuilds', `linux-${process.arch}`, 'corvane.node'))]);
});
