'use strict';
// A program that gives a test desktop input, one command per line, each answered "ok" once the
// compositor has taken it (test/support/mutter_input.py, tools/wayland/kwin_input.cc).
const assert = require('node:assert/strict');
const { spawn } = require('node:child_process');
const readline = require('node:readline');
const { corvane } = require('./binding');
const { waitFor } = require('./capture');

// Resolves once the program is ready, to send(command), which resolves once it was taken, and close().
async function startInput(command, args, env) {
  const child = spawn(command, args, { env, stdio: ['pipe', 'pipe', 'inherit'] });
  const answers = readline.createInterface({ input: child.stdout })[Symbol.asyncIterator]();
  const answer = async (what) => {
    const { value } = await answers.next();
    if (value !== 'ok') throw new Error(`${command} did not take ${what}`);
  };
  await answer('its connection');
  return {
    send: (line) => {
      child.stdin.write(`${line}\n`);
      return answer(line);
    },
    close: () => child.kill(),
  };
}

// What startMouseTracking reports of the input given: true on the process's first look (as the
// pointer's against (0, 0)), false at rest, true after each of `commands` (a move, a key), and a
// run's first look false when nothing happened since the last run's, true when `between` did.
async function assertTracksInput(input, { commands, between }) {
  const values = [];
  const start = () => corvane.startMouseTracking((active) => values.push(active), 30);
  const ticks = (count) => {
    const from = values.length;
    return waitFor(() => values.length >= from + count, `${count} ticks`).then(() => values.slice(from, from + count));
  };
  const rests = async () => {
    await waitFor(() => values.length >= 2 && values.at(-1) === false, 'a tick at rest');
    assert.deepEqual(await ticks(5), [false, false, false, false, false], 'at rest');
  };
  try {
    start();
    assert.deepEqual(await ticks(1), [true], 'the first look of the process');
    await rests();
    for (const command of commands) {
      const from = values.length;
      await input.send(command);
      await waitFor(() => values.slice(from).includes(true), `${command} reported`);
      await rests();
    }
    for (const [given, first] of [[null, false], [between, true]]) {
      corvane.stopMouseTracking();
      if (given) await input.send(given);
      values.length = 0;
      start();
      assert.deepEqual(await ticks(1), [first], `a run's first look after ${given ?? 'nothing'} since the last`);
    }
  } finally {
    corvane.stopMouseTracking();
  }
}

module.exports = { startInput, assertTracksInput };
