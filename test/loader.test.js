'use strict';
// index.js: picks the binary for the platform and says what is missing when there is none.
const { it } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const { file } = require('./support/binding');
const { exportNames } = require('./support/api');

function packageCopy(t) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'corvane-package-'));
  t.after(() => fs.rmSync(dir, { recursive: true, force: true }));
  fs.copyFileSync(path.join(__dirname, '..', 'index.js'), path.join(dir, 'index.js'));
  return dir;
}

// Requires the package in a child process (Windows cannot delete a loaded module) and returns
// its export keys, or the message it threw.
function load(dir) {
  const out = path.join(dir, 'result.json');
  const script = `
    let result;
    try { result = { keys: Object.keys(require(${JSON.stringify(dir)})) }; }
    catch (error) { result = { error: error.message }; }
    require('fs').writeFileSync(${JSON.stringify(out)}, JSON.stringify(result));`;
  const child = spawnSync(process.execPath, ['-e', script], { encoding: 'utf8', timeout: 60000 });
  assert.equal(child.status, 0, `${child.error ?? ''}${child.stderr}`);
  return JSON.parse(fs.readFileSync(out, 'utf8'));
}

it('loads the prebuilt binary of this platform before a local build', (t) => {
  const dir = packageCopy(t);
  const prebuilt = path.join(dir, 'prebuilds', `${process.platform}-${process.arch}`);
  fs.mkdirSync(prebuilt, { recursive: true });
  fs.copyFileSync(file, path.join(prebuilt, 'corvane.node'));
  fs.mkdirSync(path.join(dir, 'build', 'host'), { recursive: true });
  fs.writeFileSync(path.join(dir, 'build', 'host', 'corvane.node'), 'not a module');
  assert.deepEqual(load(dir), { keys: exportNames });
});

it('falls back to the local build', (t) => {
  const dir = packageCopy(t);
  fs.mkdirSync(path.join(dir, 'build', 'host'), { recursive: true });
  fs.copyFileSync(file, path.join(dir, 'build', 'host', 'corvane.node'));
  assert.deepEqual(load(dir), { keys: exportNames });
});

it('names the platform and the places it looked when there is no binary', (t) => {
  const dir = packageCopy(t);
  const { error } = load(dir);
  assert.match(error, new RegExp(`no native binary for ${process.platform}-${process.arch}`));
  assert.ok(error.includes(path.join(dir, 'prebuilds', `${process.platform}-${process.arch}`, 'corvane.node')));
  assert.match(error, /npm run build:win/);
});
