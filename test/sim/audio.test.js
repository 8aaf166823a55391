'use strict';
// The audio peak stream with a scripted meter.
const { describe, it, beforeEach, afterEach } = require('node:test');
const assert = require('node:assert/strict');
const { corvane, simulator } = require('../support/binding');
const { runChild } = require('../support/child');
const { assertReleasedNewestFirst } = require('../support/sim-handles');
const { sleep, waitFor } = require('../support/capture');

const FAILED = -2147467259; // E_FAIL

async function firstValue(script) {
  simulator.setAudio(script);
  const values = [];
  corvane.startStream((level) => values.push(level), 1000);
  await waitFor(() => values.length > 0, 'a value');
  corvane.stopStream();
  return values[0];
}

// The calls of the ticks themselves, without the worker's own COM entry around them.
const tickCalls = () => simulator.takeCalls().filter((call) => !call.startsWith('worker: '));

beforeEach(() => {
  simulator.setAudio({});
  simulator.takeCalls();
});
afterEach(async () => {
  corvane.stopStream();
  simulator.setAudio({});
  await waitFor(() => simulator.audioCensus().workerApartments === 0, 'the stopped workers to end');
});

describe('the level', () => {
  it('is the peak the meter reads, widened from single precision', async () => {
    assert.equal(await firstValue({ level: 0.5 }), 0.5);
    assert.equal(await firstValue({ level: 0.123 }), Math.fround(0.123));
    assert.equal(await firstValue({ level: 1 }), 1);
    assert.equal(await firstValue({ coInitialize: 1, level: 0.75 }), 0.75, 'COM already entered is success');
  });

  it('is the negative code of the step that failed, and compares unequal to its short decimal', async () => {
    const cases = [
      [{ coInitialize: FAILED }, -1.100000023841858, -1.1],
      [{ createEnumerator: FAILED }, -1.2000000476837158, -1.2],
      [{ defaultEndpoint: -2147023728 }, -1.2999999523162842, -1.3],
      [{ activateMeter: -2147467262 }, -1.399999976158142, -1.4],
    ];
    for (const [script, code, decimal] of cases) {
      const level = await firstValue({ ...script, level: 0.9 });
      assert.equal(level, code);
      assert.notEqual(level, decimal);
    }
  });

  it('is 0, or what the failed call wrote, when the peak cannot be read', async () => {
    assert.equal(await firstValue({ peakValue: FAILED, level: 0.6 }), 0);
    assert.equal(await firstValue({ peakValue: FAILED, level: 0.6, failedPeakWrites: true }), Math.fround(0.6));
  });
});

describe('each tick', () => {
  it('releases what it obtained newest first and leaves COM last, at every step that fails too', async () => {
    for (const script of [{}, { coInitialize: 1 }, { coInitialize: FAILED }, { createEnumerator: FAILED }, { defaultEndpoint: FAILED }, { activateMeter: FAILED }, { peakValue: FAILED }]) {
      simulator.takeCalls();
      await firstValue(script);
      await waitFor(() => simulator.audioCensus().workerApartments === 0, 'the worker to end');
      const calls = tickCalls();
      assertReleasedNewestFirst(calls);
      assert.ok(calls.some((c) => c.startsWith('CoInitialize(')), JSON.stringify(script));
      const census = simulator.audioCensus();
      assert.deepEqual({ objects: census.objects, apartments: census.apartments }, { objects: 0, apartments: 0 }, JSON.stringify(script));
    }
  });

  it('nests inside one COM entry that the worker keeps from its first tick to its last', async () => {
    const values = [];
    corvane.startStream((level) => values.push(level), 5);
    await waitFor(() => values.length >= 3, 'three values');
    assert.equal(simulator.audioCensus().workerApartments, 1);
    corvane.stopStream();
    await waitFor(() => simulator.audioCensus().workerApartments === 0, 'the worker to leave COM');
    const calls = simulator.takeCalls();
    assert.equal(calls[0], 'worker: CoInitialize(NULL) -> 0x00000000');
    assert.equal(calls.at(-1), 'worker: CoUninitialize()');
    assert.equal(calls.filter((call) => call.startsWith('worker: ')).length, 2);
    const entries = calls.filter((call) => call.startsWith('CoInitialize(')).length;
    assert.ok(entries >= 3);
    assert.equal(calls.filter((call) => call === 'CoUninitialize()').length, entries, 'each tick leaves its own entry');
  });

  it('writes one line per failure on standard error', () => {
    const lines = {
      coInitialize: 'COM initialization failed',
      createEnumerator: 'Failed to create device enumerator',
      defaultEndpoint: 'Failed to get default audio endpoint',
      activateMeter: 'Failed to activate audio meter information',
      peakValue: 'Failed to get peak value',
    };
    for (const [step, line] of Object.entries(lines)) {
      const child = runChild(`
        corvane.simulator.setAudio({ ${step}: ${FAILED} });
        let values = 0;
        corvane.startStream(() => { if (++values === 3) corvane.stopStream(); }, 20);
      `);
      assert.equal(child.status, 0);
      assert.deepEqual(child.stderr.trim().split('\n'), [line, line, line], step);
    }
  });
});

describe('streams that follow one another', () => {
  it('deliver after a stop the value queued before it and the one of the tick it caught, and nothing more', async () => {
    simulator.setAudio({ level: 0.25, delayMs: 300 });
    const readsBefore = simulator.audioCensus().reads;
    const ticks = () => simulator.audioCensus().reads - readsBefore;
    const values = [];
    corvane.startStream((level) => values.push(level), 1);
    // Spinning keeps the first value queued; the second tick is held in its read meanwhile.
    const deadline = Date.now() + 15000;
    while (ticks() < 2) assert.ok(Date.now() < deadline, 'two ticks');
    simulator.setAudio({ level: 0.5, delayMs: 300 });
    assert.equal(corvane.stopStream(), true);
    assert.deepEqual(values, []);
    await waitFor(() => simulator.audioCensus().workerApartments === 0, 'the worker to end');
    await waitFor(() => simulator.liveQueues() === 0, 'the queue to be finalized');
    assert.deepEqual(values, [0.25, 0.5]);
    assert.equal(ticks(), 2);
  });

  it('ends the worker at a refused post, writing nothing, while the stream stays on', () => {
    const child = runChild(`
      corvane.simulator.failNext('queueCall');
      corvane.startStream(() => console.log('value'), 10);
      const ended = setInterval(() => {
        const { reads, workerApartments } = corvane.simulator.audioCensus();
        if (reads === 0 || workerApartments > 0) return;
        clearInterval(ended);
        console.log('reads', reads, 'stop', corvane.stopStream());
      }, 5);
    `);
    assert.equal(child.status, 0);
    assert.equal(child.stderr, '');
    assert.equal(child.stdout.trim(), 'reads 1 stop true');
  });

  it('throws when no thread-safe function or thread can be made, and stays idle', async () => {
    simulator.failNext('threadsafeFunction');
    assert.throws(() => corvane.startStream(() => {}), { message: 'napi_create_threadsafe_function failed for Audio Level Callback' });
    simulator.failNext('thread');
    assert.throws(() => corvane.startStream(() => {}), { message: /^could not start the audio level thread: / });
    assert.equal(corvane.stopStream(), false);
    const values = [];
    corvane.startStream((v) => values.push(v), 10);
    await waitFor(() => values.length > 0, 'a value');
  });

  it('survive thousands of start and stop cycles: each stop finds its own stream, and nothing leaks', async () => {
    simulator.setRecording(false);
    simulator.setAudio({ level: 0.5, delayMs: 0 });
    const counts = [];
    try {
      for (let cycle = 0; cycle < 3000; cycle++) {
        const index = counts.push(0) - 1;
        corvane.startStream(() => counts[index]++, cycle % 3);
        if (cycle % 50 === 0) await sleep(1);
        // A finalizer of an earlier stream must not have ended this one.
        assert.equal(corvane.stopStream(), true, `cycle ${cycle}`);
      }
    } finally {
      simulator.setRecording(true);
    }
    // Once every queue is finalized, no stopped stream can deliver anything more.
    await waitFor(() => simulator.liveQueues() === 0, 'every queue to be finalized', 60000);
    const census = simulator.audioCensus();
    assert.deepEqual({ objects: census.objects, apartments: census.apartments }, { objects: 0, apartments: 0 });
  });
});
