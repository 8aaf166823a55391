'use strict';
// Runs a script in a new Node.js process with `corvane` bound to the module under test.
const assert = require('node:assert/strict');
const { spawn, spawnSync } = require('node:child_process');
const { file, packageDir } = require('./binding');
const { waitFor } = require('./capture');

const prelude = `const corvane = require(${JSON.stringify(packageDir ?? file)});\n`;
// env adds to the variables of this process; a variable set to undefined is left out.
const withEnv = (env) => Object.fromEntries(Object.entries({ ...process.env, ...env }).filter(([, v]) => v !== undefined));
const childArguments = (script, { load = true, nodeOptions = [] }) => [...nodeOptions, '-e', (load ? prelude : '') + script];

function runChild(script, { timeout = 60000, env = {}, ...options } = {}) {
  const child = spawnSync(process.execPath, childArguments(script, options), {
    encoding: 'utf8',
    env: withEnv(env),
    timeout,
    maxBuffer: 64 * 1024 * 1024,
  });
  assert.equal(child.error, undefined, `the child did not finish: ${child.error}`);
  return child;
}

// The same without blocking this process, so that children can run side by side. spawnWith(command,
// args), when given, returns the command and arguments that start the child instead.
function runChildAsync(script, { timeout = 60000, env = {}, spawnWith = (...command) => command, ...options } = {}) {
  return new Promise((resolve, reject) => {
    const child = spawn(...spawnWith(process.execPath, childArguments(script, options)), {
      env: withEnv(env),
      timeout,
      stdio: ['ignore', 'pipe', 'pipe'],
    });
    let stdout = '';
    let stderr = '';
    child.stdout.setEncoding('utf8').on('data', (d) => (stdout += d));
    child.stderr.setEncoding('utf8').on('data', (d) => (stderr += d));
    child.once('error', reject);
    child.once('close', (status, signal) => resolve({ status, signal, stdout, stderr }));
  });
}

// A child to talk to while it runs: the script talks to the test with process.send() and
// process.on('message'), and ends its side with process.disconnect().
function startChild(script, { env = {}, load = true } = {}) {
  const child = spawn(process.execPath, childArguments(script, { load }), {
    env: withEnv(env),
    stdio: ['ignore', 'pipe', 'pipe', 'ipc'],
  });
  const messages = [];
  let output = '';
  child.on('message', (m) => messages.push(m));
  child.stdout.on('data', (d) => (output += d));
  child.stderr.on('data', (d) => (output += d));
  // Once its output is read to the end too.
  const exit = new Promise((resolve) => child.once('close', (code, signal) => resolve({ code, signal, output })));
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
    // Standard output and error so far.
    output: () => output,
    kill: () => child.exitCode === null && child.signalCode === null && child.kill('SIGKILL'),
  };
}

// For a child's script that defines report(value): reportWhen(ready, value) reports value() once
// ready() holds (the child's own timeout is the deadline), after a moment in which anything that
// should not come would show.
const reportWhen = `const reportWhen = (ready, value) => {
  const poll = () => (ready() ? setTimeout(() => report(value()), 20) : setTimeout(poll, 5));
  poll();
};`;

module.exports = { runChild, runChildAsync, startChild, reportWhen };
