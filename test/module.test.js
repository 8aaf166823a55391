'use strict';
const { describe, it } = require('node:test');
const assert = require('node:assert/strict');
const { Worker } = require('node:worker_threads');
const { corvane, file } = require('./support/binding');
const { exportNames } = require('./support/api');

describe('export table', () => {
  it('holds the ten functions as enumerable keys, in table order', () => {
    assert.deepEqual(Object.keys(corvane), exportNames);
    for (const name of exportNames) assert.equal(typeof corvane[name], 'function', name);
  });

  it('gives every function an empty name and a length of 0', () => {
    for (const name of exportNames) {
      assert.equal(corvane[name].name, '', name);
      assert.equal(corvane[name].length, 0, name);
    }
  });

  it('exports the two capture stops as distinct functions that behave alike', () => {
    assert.notEqual(corvane.stopCaptureScreen, corvane.stopCaptureMultiScreens);
    const outcome = (fn) => {
      try {
        return { value: fn() };
      } catch (error) {
        return { error: `${error.constructor.name}: ${error.message}` };
      }
    };
    assert.deepEqual(outcome(corvane.stopCaptureScreen), outcome(corvane.stopCaptureMultiScreens));
  });

  it('holds ordinary writable, configurable data properties', () => {
    for (const name of exportNames) {
      const descriptor = Object.getOwnPropertyDescriptor(corvane, name);
      assert.equal(descriptor.writable, true, name);
      assert.equal(descriptor.configurable, true, name);
    }
  });
});

describe('calls', () => {
  it('ignore extra arguments and this', () => {
    const plain = corvane.getMonitors();
    assert.deepEqual(corvane.getMonitors(1, 'two', { three: 3 }, () => {}), plain);
    assert.deepEqual(corvane.getMonitors.call({ not: 'used' }), plain);
    assert.deepEqual(Reflect.apply(corvane.getMonitors, undefined, new Array(100).fill(7)), plain);
  });
});

describe('environments', () => {
  it('registers again in a Worker, which can use it and end while the main thread goes on', async () => {
    const worker = new Worker(
      `const { parentPort, workerData } = require('node:worker_threads');
       const corvane = require(workerData);
       parentPort.postMessage({ keys: Object.keys(corvane), monitors: corvane.getMonitors() });`,
      { eval: true, workerData: file },
    );
    const [message] = await Promise.all([
      new Promise((resolve, reject) => worker.once('message', resolve).once('error', reject)),
      new Promise((resolve) => worker.once('exit', resolve)),
    ]);
    assert.deepEqual(message.keys, exportNames);
    assert.deepEqual(message.monitors, corvane.getMonitors());
    // The Worker's functions and their binding records are gone; ours still work.
    global.gc?.();
    assert.deepEqual(corvane.getMonitors(), message.monitors);
  });
});

describe('Workers at once', () => {
  it('each get the whole monitor list while they call getMonitors together', async () => {
    const expected = corvane.getMonitors();
    const workers = Array.from(
      { length: 4 },
      () =>
        new Worker(
          `const { parentPort, workerData } = require('node:worker_threads');
           const corvane = require(workerData);
           const lists = [];
           for (let i = 0; i < 200; i++) lists.push(corvane.getMonitors());
           parentPort.postMessage(lists);`,
          { eval: true, workerData: file },
        ),
    );
    const results = await Promise.all(
      workers.map((w) => new Promise((resolve, reject) => w.once('message', resolve).once('error', reject))),
    );
    for (const lists of results) for (const list of lists) assert.deepEqual(list, expected);
  });
});
