'use strict';
// Runs a script in a new Node.js process with `corvane` bound to the module under test.
const assert = require('node:assert/strict');
const { spawn, spawnSync } = require('node:child_process');
const { file, packageDir } = require('./binding');

function childArguments(script, { load = true, nodeOptions = [], env = {} }) {
  const childEnv = Object.fromEntries(Object.entries({ ...process.env, ...env }).filter(([, v]) => v !== undefined));
  const prelude = load ? `const corvane = require(${JSON.stringify(packageDir ?? file)});\n` : '';
  return [process.execPath, [...nodeOptions, '-e', prelude + script], childEnv];
}

// env adds to the variables of this process; a variable set to undefined is left out.
function runChild(script, { timeout = 60000, ...options } = {}) {
  const [node, args, env] = childArguments(script, options);
  const child = spawnSync(node, args, { encoding: 'utf8', env, timeout, maxBuffer: 64 * 1024 * 1024 });
  assert.equal(child.error, undefined, `the child did not finish: ${child.error}`);
  return child;
}

// The same without blocking this process, so that children can run side by side.
function runChildAsync(script, { timeout = 60000, ...options } = {}) {
  const [node, args, env] = childArguments(script, options);
  return new Promise((resolve, reject) => {
    const child = spawn(node, args, { env, timeout, stdio: ['ignore', 'pipe', 'pipe'] });
    let stdout = '';
    let stderr = '';
    child.stdout.setEncoding('utf8').on('data', (d) => (stdout += d));
    child.stderr.setEncoding('utf8').on('data', (d) => (stderr += d));
    child.once('error', reject);
    child.once('close', (status, signal) => resolve({ status, signal, stdout, stderr }));
  });
}

module.exports = { runChild, runChildAsync };
