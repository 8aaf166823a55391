'use strict';
// index.js: picks the binary for the platform and says what is missing when there is none.
const { it } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { file } = require('./support/binding');
const { exportNames } = require('./support/api');

function packageCopy(t) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'corvane-package-'));
  t.after(() => fs.rmSync(dir, { recursive: true, force: true }));
  fs.copyFileSync(path.join(__dirname, '..', 'index.js'), path.join(dir, 'index.js'));
  return dir;
}

it('loads the prebuilt binary of this platform before a local build', (t) => {
  const dir = packageCopy(t);
  const prebuilt = path.join(dir, 'prebuilds', `${process.platform}-${process.arch}`);
  fs.mkdirSync(prebuilt, { recursive: true });
  fs.copyFileSync(file, path.join(prebuilt, 'corvane.node'));
  fs.mkdirSync(path.join(dir, 'build', 'host'), { recursive: true });
  fs.writeFileSync(path.join(dir, 'build', 'host', 'corvane.node'), 'not a module');
  assert.deepEqual(Object.keys(require(dir)), exportNames);
});

it('falls back to the local build', (t) => {
  const dir = packageCopy(t);
  fs.mkdirSync(path.join(dir, 'build', 'host'), { recursive: true });
  fs.copyFileSync(file, path.join(dir, 'build', 'host', 'corvane.node'));
  assert.deepEqual(Object.keys(require(dir)), exportNames);
});

it('names the platform and the places it looked when there is no binary', (t) => {
  const dir = packageCopy(t);
  assert.throws(() => require(dir), (error) => {
    assert.match(error.message, new RegExp(`no native binary for ${process.platform}-${process.arch}`));
    assert.ok(error.message.includes(path.join(dir, 'prebuilds', `${process.platform}-${process.arch}`, 'corvane.node')));
    assert.match(error.message, /npm run build/);
    return true;
  });
});
