'use strict';
// Pointer tracking on the real desktop (Windows under Wine, where GetCursorPos follows the X
// pointer, or X11).
const { it } = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const { corvane } = require('../support/binding');
const { waitFor } = require('../support/capture');
const { runChild } = require('../support/child');

// The program that moves the pointer to X Y, with its leading arguments: a JSON array.
const moveCommand = JSON.parse(process.env.CORVANE_MOVE_POINTER ?? 'null');

function moveCursor(x, y) {
  assert.ok(Array.isArray(moveCommand), 'CORVANE_MOVE_POINTER names the program that moves the pointer');
  const [program, ...leading] = moveCommand;
  const run = spawnSync(program, [...leading, String(x), String(y)]);
  assert.equal(run.status, 0, `${moveCommand.join(' ')} ${x} ${y}`);
}

it('reports true after the pointer moved, then false while it rests', async () => {
  moveCursor(10, 10);
  const values = [];
  corvane.startMouseTracking((moved) => values.push(moved), 50);
  try {
    // The first move may land after the tracker started (a loaded machine, Wine's two steps):
    // then two values in a row at rest.
    const resting = () => values.length >= 3 && values.at(-1) === false && values.at(-2) === false;
    await waitFor(resting, () => `two values at rest: ${values}`);
    const before = values.length;
    moveCursor(300, 200);
    // The move lands after however many ticks the mover took to start (under Wine, sometimes in
    // two steps); then the pointer rests, and the values must say so.
    const lastMove = () => values.lastIndexOf(true);
    await waitFor(() => lastMove() >= before, 'a value after the move');
    await waitFor(() => values.length >= lastMove() + 3, `two values at rest after the move: ${values.slice(before)}`);
  } finally {
    corvane.stopMouseTracking();
  }
});

it("compares a process's first value with (0, 0), and a later run's with where the last one left the pointer", async () => {
  for (const [x, y, first] of [[0, 0, 'false'], [7, 0, 'true']]) {
    moveCursor(x, y);
    const child = runChild(`corvane.startMouseTracking((moved) => { console.log(moved); corvane.stopMouseTracking(); });`);
    assert.equal(child.stdout.trim(), first, `pointer at ${x}, ${y}: ${child.stderr}`);
  }
  // A run whose last value says the pointer rests has seen where it rests.
  const run = async () => {
    const values = [];
    corvane.startMouseTracking((moved) => values.push(moved), 20);
    try {
      await waitFor(() => values.length >= 2 && !values.at(-1), 'a value at rest');
    } finally {
      corvane.stopMouseTracking();
    }
    return values;
  };
  moveCursor(40, 30);
  await run();
  assert.equal((await run())[0], false, 'the pointer stayed between runs');
  moveCursor(90, 30);
  assert.equal((await run())[0], true, 'the pointer moved between runs');
});
