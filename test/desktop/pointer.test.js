'use strict';
// Pointer tracking on the real desktop (Windows under Wine, where GetCursorPos follows the X
// pointer, or X11).
const { it } = require('node:test');
const assert = require('node:assert/strict');
const { spawnSync } = require('node:child_process');
const { corvane } = require('../support/binding');
const { waitFor } = require('../support/capture');

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
    await waitFor(() => values.length >= 3, 'values at rest');
    assert.deepEqual(values.slice(1, 3), [false, false]);
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
