'use strict';
// Small applications of the tests' own that use the installed package: each in a folder of the
// application that installed it (CORVANE_APP), so that `corvane` resolves to the installed copy.
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { spawnSync } = require('node:child_process');

const app = process.env.CORVANE_APP;
const installedBinary = () => fs.realpathSync(path.join(app, 'node_modules', 'corvane', 'prebuilds', 'linux-x64', 'corvane.node'));

// A folder in the application, removed after the test.
function appFolder(t, name) {
  const dir = fs.mkdtempSync(path.join(app, `${name}-`));
  t.after(() => fs.rmSync(dir, { recursive: true, force: true }));
  return dir;
}

function write(dir, files) {
  for (const [name, text] of Object.entries(files)) {
    fs.mkdirSync(path.dirname(path.join(dir, name)), { recursive: true });
    fs.writeFileSync(path.join(dir, name), text);
  }
}

// A CommonJS module for those applications: report(value) prints value as JSON, with the native
// modules (.node files) the process has mapped, as the process itself tells.
const reportModule = `'use strict';
const fs = require('node:fs');
exports.report = (value) => {
  const mapped = fs.readFileSync('/proc/self/maps', 'utf8').split('\\n')
    .map((line) => line.split(/\\s+/).slice(5).join(' ')).filter((file) => file.endsWith('.node'));
  console.log(JSON.stringify({ ...value, mapped: [...new Set(mapped)] }));
};
`;

// Runs `file` in the Node.js `node` and returns what it reported.
function runApp(node, file, options = {}) {
  const child = spawnSync(node, [file], {
    encoding: 'utf8',
    timeout: 60000,
    ...options,
    env: { ...process.env, NODE_PATH: '', ...options.env },
  });
  assert.equal(child.status, 0, `${file} in ${node} ended with ${child.status ?? child.signal}: ${child.error ?? ''}${child.stderr}`);
  return JSON.parse(child.stdout.trim().split('\n').pop());
}

module.exports = { app, installedBinary, appFolder, write, reportModule, runApp };
