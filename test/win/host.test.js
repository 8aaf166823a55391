'use strict';
// The module binds Node-API from whichever executable hosts it, as in an Electron app, and only
// when it first calls it.
const { it } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const { corvane, file } = require('../support/binding');

it('loads and works in a copy of node.exe with another name in another folder', (t) => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'corvane-host-'));
  t.after(() => fs.rmSync(dir, { recursive: true, force: true }));
  const host = path.join(dir, 'Lights App.exe');
  fs.copyFileSync(process.execPath, host);
  const resultFile = path.join(dir, 'result.json');
  const script = `
    const corvane = require(${JSON.stringify(file)});
    require('fs').writeFileSync(${JSON.stringify(resultFile)},
      JSON.stringify({ keys: Object.keys(corvane), monitors: corvane.getMonitors() }));`;
  const run = spawnSync(host, ['-e', script], { encoding: 'utf8', timeout: 60000 });
  assert.equal(run.status, 0, `${run.error ?? ''}${run.stderr}`);
  const result = JSON.parse(fs.readFileSync(resultFile, 'utf8'));
  assert.deepEqual(result.keys, Object.keys(corvane));
  assert.deepEqual(result.monitors, corvane.getMonitors());
});

it('loads into a program without Node-API and reports Node-API version 8 from its entry point', () => {
  const program = process.env.CORVANE_API_VERSION_PROGRAM;
  assert.ok(program, 'CORVANE_API_VERSION_PROGRAM names the program that asks the module');
  const run = spawnSync(program, [file], { encoding: 'utf8', timeout: 60000 });
  assert.equal(run.status, 0, `${run.error ?? ''}${run.stdout}${run.stderr}`);
  assert.equal(run.stdout.trim(), '8');
});
