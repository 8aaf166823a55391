'use strict';
// Runs a script in a new Node.js process with `corvane` bound to the module under test.
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const { file } = require('./binding');

function runChild(script, { load = true, nodeOptions = [], timeout = 60000 } = {}) {
  const prelude = load ? `const corvane = require(${JSON.stringify(file)});\n` : '';
  const child = spawnSync(process.execPath, [...nodeOptions, '-e', prelude + script], {
    encoding: 'utf8',
    timeout,
    maxBuffer: 64 * 1024 * 1024,
  });
  assert.equal(child.error, undefined, `the child did not finish: ${child.error}`);
  return child;
}

module.exports = { runChild };
