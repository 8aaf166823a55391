'use strict';
// Small process helpers shared by the build, test and demo scripts.
const { spawnSync } = require('node:child_process');

const root = require('node:path').resolve(__dirname, '..', '..');

// Runs a command with inherited output; throws with the command line when it fails.
function run(command, args, options = {}) {
  const result = spawnSync(command, args, { stdio: 'inherit', cwd: root, ...options });
  if (result.error) throw new Error(`${command}: ${result.error.message}`);
  if (result.status !== 0) {
    throw new Error(`${[command, ...args].join(' ')} exited with ${result.status ?? result.signal}`);
  }
  return result;
}

// True when the command can be found on PATH.
function onPath(command) {
  return spawnSync('sh', ['-c', `command -v "${command}"`], { stdio: 'ignore' }).status === 0;
}

// A heading for each stage of a long command: what happens now, and why.
function banner(title, why) {
  process.stdout.write(`\n=== ${title}\n${why ? `    ${why}\n` : ''}\n`);
}

function fail(message) {
  process.stderr.write(`\n${message}\n`);
  process.exit(1);
}

module.exports = { root, run, onPath, banner, fail };
