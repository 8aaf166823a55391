'use strict';
// Pointer tracking with a scripted pointer.
const { describe, it, afterEach } = require('node:test');
const assert = require('node:assert/strict');
const { corvane, simulator } = require('../support/binding');
const { runChild } = require('../support/child');
const { sleep, waitFor } = require('../support/capture');

afterEach(() => {
  simulator.setCursorError(0);
  try {
    corvane.stopMouseTracking();
  } catch {
    // not running
  }
});

// Collects count values of a run, moving the pointer with step(i) before tick i + 1.
async function track(count, step = () => {}, interval = 1) {
  const values = [];
  corvane.startMouseTracking((moved) => {
    values.push(moved);
    step(values.length);
  }, interval);
  await waitFor(() => values.length >= count, `${count} values`);
  corvane.stopMouseTracking();
  return values.slice(0, count);
}

describe('the moved flag', () => {
  it('compares the first read after loading with (0, 0)', () => {
    for (const [x, y, first] of [[3, 4, true], [0, 0, false], [0, 7, true], [-1, 0, true]]) {
      const child = runChild(`
        corvane.simulator.setCursor(${x}, ${y});
        corvane.startMouseTracking((moved) => { console.log(moved); corvane.stopMouseTracking(); });
      `);
      assert.equal(child.stdout.trim(), String(first), `pointer at ${x}, ${y}`);
    }
  });

  it('is true for a tick after the pointer moved along either axis, false while it rests', async () => {
    simulator.setCursor(100, 100);
    await track(1);
    const moves = { 2: [101, 100], 4: [101, 99], 5: [101, 99], 6: [-5, -5] };
    // A move made when value n arrives shows in value n + 1: the worker pauses 60 ms in between.
    const values = await track(8, (n) => moves[n] && simulator.setCursor(...moves[n]), 60);
    assert.deepEqual(values, [false, false, true, false, true, false, true, false]);
  });

  it('continues from the last position of the previous run', async () => {
    simulator.setCursor(40, 50);
    await track(2);
    assert.deepEqual(await track(2), [false, false]);
    simulator.setCursor(41, 50);
    assert.deepEqual(await track(2), [true, false]);
  });
});

describe('failures', () => {
  it('write a line per failed read, with the code, every 100 ms, and post nothing', () => {
    const child = runChild(`
      corvane.simulator.setCursorError(5);
      let values = 0;
      corvane.startMouseTracking(() => values++, 1);
      setTimeout(() => { corvane.stopMouseTracking(); console.log(values); }, 450);
    `);
    assert.equal(child.stdout.trim(), '0');
    const lines = child.stderr.trim().split('\n').filter((l) => l !== 'ThreadSafeFunction finalized!');
    assert.ok(lines.length >= 4 && lines.length <= 6, child.stderr);
    for (const line of lines) assert.equal(line, 'GetCursorPos failed! Error: 5');
  });

  it('writes the code as an unsigned decimal number', () => {
    const child = runChild(`
      corvane.simulator.setCursorError(4294967295);
      corvane.startMouseTracking(() => {});
      setTimeout(() => corvane.stopMouseTracking(), 50);
    `);
    assert.match(child.stderr, /^GetCursorPos failed! Error: 4294967295$/m);
  });

  it('recover when reads succeed again', async () => {
    simulator.setCursorError(1400);
    let values = 0;
    corvane.startMouseTracking(() => values++, 1);
    await sleep(150);
    assert.equal(values, 0);
    simulator.setCursorError(0);
    await waitFor(() => values > 0, 'a value after recovery');
  });

  it('report a refused post and go on', () => {
    const child = runChild(`
      corvane.simulator.failNext('queueCall', 2);
      let values = 0;
      corvane.startMouseTracking(() => { if (++values === 2) corvane.stopMouseTracking(); }, 1);
    `);
    assert.equal(child.status, 0);
    assert.deepEqual(child.stderr.trim().split('\n'), [
      'Failed to call JS callback!',
      'Failed to call JS callback!',
      'ThreadSafeFunction finalized!',
    ]);
  });

  it('throw when no thread-safe function or thread can be made, and stay idle', async () => {
    simulator.failNext('threadsafeFunction');
    assert.throws(() => corvane.startMouseTracking(() => {}), {
      constructor: Error,
      message: 'napi_create_threadsafe_function failed for Mouse Tracker',
    });
    simulator.failNext('thread');
    const readsBefore = simulator.cursorReads();
    assert.throws(() => corvane.startMouseTracking(() => {}), {
      constructor: Error,
      message: /^could not start the mouse tracking thread: pthread_create failed: /,
    });
    await sleep(50);
    assert.equal(simulator.cursorReads(), readsBefore);
    assert.throws(() => corvane.stopMouseTracking(), { message: 'Tracking is not running' });
    assert.equal(corvane.startMouseTracking(() => {}), true);
  });
});
