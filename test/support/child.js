'use strict';
// Runs a script in a new Node.js process with `corvane` bound to the module under test.
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const { file, packageDir } = require('./binding');

// env adds to the variables of this process; a variable set to undefined is left out.
function runChild(script, { load = true, nodeOptions = [], timeout = 60000, env = {} } = {}) {
  const childEnv = Object.fromEntries(Object.entries({ ...process.env, ...env }).filter(([, v]) => v !== undefined));
  const prelude = load ? `const corvane = require(${JSON.stringify(packageDir ?? file)});\n` : '';
  const child = spawnSync(process.execPath, [...nodeOptions, '-e', prelude + script], {
    encoding: 'utf8',
    env: childEnv,
    timeout,
    maxBuffer: 64 * 1024 * 1024,
  });
  assert.equal(child.error, undefined, `the child did not finish: ${child.error}`);
  return child;
}

module.exports = { runChild };
