'use strict';
// Runs a script in a new Node.js process with `corvane` bound to the module under test.
const assert = require('node:assert/strict');
const { spawn, spawnSync } = require('node:child_process');
const { file, packageDir } = require('./binding');
const { waitFor } = require('./capture');

const prelude = `const corvane = require(${JSON.stringify(packageDir ?? file)});\n`;
// env adds to the variables of this process; a variable set to undefined is left out.
const withEnv = (env) => Object.fromEntries(Object.entries({ ...process.env, ...env }).filter(([, v]) => v !== undefined));

function runChild(script, { load = true, nodeOptions = [], timeout = 60000, env = {} } = {}) {
  const childEnv = withEnv(env);
  const child = spawnSync(process.execPath, [...nodeOptions, '-e', (load ? prelude : '') + script], {
    encoding: 'utf8',
    env: childEnv,
    timeout,
    maxBuffer: 64 * 1024 * 1024,
  });
  assert.equal(child.error, undefined, `the child did not finish: ${child.error}`);
  return child;
}

// The same without waiting for it: the script talks to the test with process.send() and
// process.on('message'), and ends its side with process.disconnect().
function startChild(script, { env = {} } = {}) {
  const child = spawn(process.execPath, ['-e', prelude + script], { env: withEnv(env), stdio: ['ignore', 'pipe', 'pipe', 'ipc'] });
  const messages = [];
  let output = '';
  child.on('message', (m) => messages.push(m));
  child.stdout.on('data', (d) => (output += d));
  child.stderr.on('data', (d) => (output += d));
  const exit = new Promise((resolve) => child.once('exit', (code, signal) => resolve({ code, signal, output })));
  return {
    send: (message) => child.send(message),
    // The first message that satisfies accept; the ones before it are dropped.
    async next(accept = () => true, what = 'a message from the child', timeout = 15000) {
      let i = -1;
      await waitFor(() => (i = messages.findIndex(accept)) >= 0 || child.exitCode !== null, what, timeout);
      assert.ok(i >= 0, `the child ended before ${what}: ${output}`);
      return messages.splice(0, i + 1).pop();
    },
    exit,
    kill: () => child.exitCode === null && child.signalCode === null && child.kill('SIGKILL'),
  };
}

module.exports = { runChild, startChild };
