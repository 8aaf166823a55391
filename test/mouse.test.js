'use strict';
// Pointer tracking on whatever desktop the module runs on.
const { describe, it, afterEach } = require('node:test');
const assert = require('node:assert/strict');
const { corvane } = require('./support/binding');
const { runChild } = require('./support/child');
const { sleep, waitFor } = require('./support/capture');

function stopQuietly() {
  try {
    corvane.stopMouseTracking();
  } catch {
    // not running
  }
}

// Ticks delivered within ms by a run with the given arguments after the callback.
async function ticksWithin(ms, ...interval) {
  let ticks = 0;
  corvane.startMouseTracking(() => ticks++, ...interval);
  await sleep(ms);
  corvane.stopMouseTracking();
  return ticks;
}

afterEach(stopQuietly);

describe('startMouseTracking and stopMouseTracking', () => {
  it('return true, and refuse a second start or stop with their own Errors', () => {
    assert.equal(corvane.startMouseTracking(() => {}), true);
    for (const args of [[() => {}], [], ['not a function', 'x']]) {
      assert.throws(() => corvane.startMouseTracking(...args), { constructor: Error, message: 'Tracking is already running' });
    }
    assert.equal(corvane.stopMouseTracking(), true);
    assert.throws(() => corvane.stopMouseTracking(), { constructor: Error, message: 'Tracking is not running' });
  });

  it('need a callback function', () => {
    for (const args of [[], [undefined], [100], [{}, 100], [null]]) {
      assert.throws(() => corvane.startMouseTracking(...args), { constructor: TypeError, message: 'Expected a callback function' });
    }
    assert.throws(() => corvane.stopMouseTracking(), { message: 'Tracking is not running' });
  });

  it('deliver one boolean per tick with this undefined, false while the pointer rests', async () => {
    const calls = [];
    corvane.startMouseTracking(function (moved) {
      calls.push({ self: this, count: arguments.length, moved });
    }, 20);
    await waitFor(() => calls.length >= 4, 'four ticks');
    corvane.stopMouseTracking();
    for (const call of calls) {
      assert.equal(call.self, undefined);
      assert.equal(call.count, 1);
      assert.equal(typeof call.moved, 'boolean');
    }
    assert.deepEqual(calls.slice(1, 4).map((c) => c.moved), [false, false, false]);
  });

  it('tick every 100 ms for an interval of 0, -5, 0.5 or NaN, and keep a given interval across runs', async () => {
    assert.ok((await ticksWithin(300, 20)) >= 8, 'a 20 ms interval');
    for (const interval of [0, -5, 0.5, NaN]) {
      const ticks = await ticksWithin(450, interval);
      assert.ok(ticks >= 3 && ticks <= 6, `interval ${interval}: ${ticks} ticks in 450 ms`);
    }
    await ticksWithin(50, 250);
    const kept = await ticksWithin(600);
    assert.ok(kept >= 2 && kept <= 4, `${kept} ticks in 600 ms at the kept 250 ms`);
    const ignored = await ticksWithin(600, '20');
    assert.ok(ignored >= 2 && ignored <= 4, `a string interval is ignored: ${ignored} ticks in 600 ms`);
  });

  it('leave the interval alone when a start is refused', async () => {
    corvane.startMouseTracking(() => {}, 250);
    assert.throws(() => corvane.startMouseTracking(() => {}, 10));
    corvane.stopMouseTracking();
    const ticks = await ticksWithin(600);
    assert.ok(ticks >= 2 && ticks <= 4, `${ticks} ticks in 600 ms`);
    await ticksWithin(10, 100);
  });

  it('stop at once, even in a pause of 2^31 - 1 ms', async () => {
    let ticks = 0;
    corvane.startMouseTracking(() => ticks++, 2 ** 31 - 1);
    await waitFor(() => ticks === 1, 'the first tick');
    const before = Date.now();
    corvane.stopMouseTracking();
    assert.ok(Date.now() - before < 2000);
    await ticksWithin(10, 100);
  });

  it('deliver values queued before the stop after it, then finalize', () => {
    // Once the worker runs (its first value arrived), the JavaScript thread is kept busy while
    // values queue up, then stops the tracking.
    const child = runChild(`
      let values = 0;
      corvane.startMouseTracking(() => {
        if (++values === 1) setImmediate(() => {
          const busyUntil = Date.now() + 200;
          while (Date.now() < busyUntil);
          corvane.stopMouseTracking();
          process.stderr.write('stopped ' + values + '\\n');
        });
        process.stderr.write('value\\n');
      }, 1);
    `);
    assert.equal(child.status, 0, child.stderr);
    const lines = child.stderr.trim().split('\n');
    const stop = lines.findIndex((l) => l.startsWith('stopped '));
    assert.equal(lines[stop], `stopped ${stop}`, child.stderr);
    const after = lines.slice(stop + 1, -1);
    assert.ok(after.length >= 1, child.stderr);
    assert.deepEqual(after, new Array(after.length).fill('value'));
    assert.equal(lines.at(-1), 'ThreadSafeFunction finalized!');
  });

  it('let the process exit, or a Worker end, while tracking', () => {
    const exit = runChild(`corvane.startMouseTracking(() => {}, 5); setTimeout(() => process.exit(4), 50);`);
    assert.equal(exit.status, 4, exit.stderr);
    const worker = runChild(`
      const { Worker } = require('node:worker_threads');
      const w = new Worker(\`
        const corvane = require(\${JSON.stringify(${JSON.stringify(require('./support/binding').file)})});
        corvane.startMouseTracking(() => require('node:worker_threads').parentPort.postMessage('tick'), 5);
      \`, { eval: true });
      let ticks = 0;
      w.on('message', () => { if (++ticks === 3) w.terminate(); });
      w.on('exit', () => {
        // Values queued before the stop still arrive after it: only the first one stops.
        let stopped = false;
        corvane.startMouseTracking(() => {
          if (stopped) return;
          stopped = true;
          corvane.stopMouseTracking();
          console.log('main tracks too');
        });
      });
    `);
    assert.equal(worker.status, 0, worker.stderr);
    assert.match(worker.stdout, /main tracks too/);
  });
});
