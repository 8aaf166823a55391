'use strict';
// The audio peak stream on whatever platform the module runs on.
const { describe, it, afterEach } = require('node:test');
const assert = require('node:assert/strict');
const { corvane } = require('./support/binding');
const { sleep, waitFor } = require('./support/capture');

// The values of a stream with these arguments: once `count` have come, or, without a count, what
// came within `ms` after the first, which comes at once however busy the machine is.
async function values({ count, ms = 400 }, ...interval) {
  const values = [];
  corvane.startStream((level) => values.push(level), ...interval);
  try {
    if (count) {
      await waitFor(() => values.length >= count, `${count} values`);
    } else {
      await waitFor(() => values.length >= 1, 'the first value');
      await sleep(ms);
    }
  } finally {
    corvane.stopStream();
  }
  return values;
}

afterEach(() => corvane.stopStream());

describe('startStream and stopStream', () => {
  it('start with undefined, stop with true once and then false, and never throw from the stop', () => {
    assert.equal(corvane.stopStream(), false);
    assert.equal(corvane.startStream(() => {}), undefined);
    assert.equal(corvane.stopStream(), true);
    assert.equal(corvane.stopStream(), false);
    assert.equal(corvane.stopStream('ignored', 1), false);
  });

  it('refuse a second start, whatever its arguments, and a start without a function', () => {
    corvane.startStream(() => {}, 50);
    for (const args of [[() => {}], [], ['x', 'y']]) {
      assert.throws(() => corvane.startStream(...args), { constructor: Error, message: 'Monitoring is already running' });
    }
    corvane.stopStream();
    for (const args of [[], [undefined, 50], [50], ['callback']]) {
      assert.throws(() => corvane.startStream(...args), { constructor: TypeError, message: 'Function expected as first argument' });
    }
  });

  it('deliver one number per tick, at once and then once per interval, with this undefined', async () => {
    const calls = [];
    corvane.startStream(function (level) {
      calls.push({ self: this, count: arguments.length, level });
    }, 30);
    await waitFor(() => calls.length >= 3, 'three values');
    corvane.stopStream();
    for (const call of calls) {
      assert.equal(call.self, undefined);
      assert.equal(call.count, 1);
      assert.equal(typeof call.level, 'number');
    }
  });

  it('wait 16 seconds between ticks by default and for 0, -1, 0.5 and NaN, and keep a given interval', async () => {
    for (const interval of [[0], [], [-1], [0.5], [NaN], ['50']]) {
      assert.equal((await values({}, ...interval)).length, 1, `interval ${interval}: the first value at once, the next after 16 s`);
    }
    await values({ count: 4 }, 50);
    await values({ count: 4 }); // the 50 ms interval is kept
    assert.throws(() => {
      corvane.startStream(() => {}, 50);
      corvane.startStream(() => {}, 0);
    }, /already running/);
    corvane.stopStream();
    await values({ count: 4 }); // a refused start leaves the interval alone
    await values({ ms: 0 }, 0);
  });

  it('stop a stream pausing for 2^31 - 1 ms at once, so a new one can start', async () => {
    assert.equal((await values({ ms: 100 }, 2 ** 31 - 1)).length, 1);
    await values({ count: 3 }, 20);
    await values({ ms: 0 }, 0);
  });
});

describe('a stream that is never stopped', () => {
  const { runChild } = require('./support/child');
  const { file } = require('./support/binding');

  it('lets process.exit() end the process with its code, mid-tick or pausing', () => {
    for (const interval of [1, 60000]) {
      const child = runChild(`corvane.startStream(() => {}, ${interval}); setTimeout(() => process.exit(6), 100);`);
      assert.equal(child.signal, null);
      assert.equal(child.status, 6, `interval ${interval}: ${child.stderr}`);
    }
  });

  it('ends with a Worker that started it, and another stream can start', () => {
    const child = runChild(`
      const { Worker } = require('node:worker_threads');
      const w = new Worker(\`
        const corvane = require(\${JSON.stringify(${JSON.stringify(file)})});
        corvane.startStream(() => require('node:worker_threads').parentPort.postMessage('level'), 5);
      \`, { eval: true });
      let levels = 0;
      w.on('message', () => { if (++levels === 3) w.terminate(); });
      w.on('exit', () => {
        corvane.startStream(() => { console.log('main streams, stop:', corvane.stopStream()); }, 5);
      });
    `);
    assert.equal(child.status, 0, child.stderr);
    assert.match(child.stdout, /main streams, stop: true/);
  });
});
