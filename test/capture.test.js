'use strict';
// Single- and multi-display capture on whatever desktop the module runs on.
const { describe, it, afterEach } = require('node:test');
const assert = require('node:assert/strict');
const { corvane } = require('./support/binding');
const { runChild } = require('./support/child');
const { sleep, waitFor, collect, frameSize, blindLine, blindLines, unknownDisplayWhy, takeFrames } = require('./support/capture');

const singleArgsError = { constructor: Error, message: 'Callback function, display object, interval, and sampling rate required' };
const multiArgsError = { constructor: Error, message: 'Callback function, display array, interval, and sampling rate required' };
const noop = () => {};

function primary() {
  return corvane.getMonitors().find((m) => m.isPrimary);
}

// Asserts that start(callback) throws `expected` and that no capture runs afterwards.
async function assertRefused(start, expected) {
  let delivered = 0;
  assert.throws(() => start(() => delivered++), (error) => {
    assert.equal(error.constructor, expected.constructor);
    if (expected.message instanceof RegExp) assert.match(error.message, expected.message);
    else assert.equal(error.message, expected.message);
    return true;
  });
  await sleep(60);
  assert.equal(delivered, 0, 'a refused start delivered frames');
}

afterEach(() => corvane.stopCaptureScreen());

describe('startCaptureScreen arguments', () => {
  it('checks the four argument types first, with one Error for all', async () => {
    const display = primary();
    for (const args of [
      [undefined, display, 100, 8],
      [{}, display, 100, 8],
      [noop, null, 100, 8],
      [noop, 'display', 100, 8],
      [noop, display, '100', 8],
      [noop, display, 100, 8n],
      [noop, display],
      [],
    ]) {
      assert.throws(() => corvane.startCaptureScreen(...args), singleArgsError);
    }
    await assertRefused((cb) => corvane.startCaptureScreen(cb, null, 0, 8), singleArgsError);
  });

  it('names the missing display properties in its own messages', async () => {
    await assertRefused((cb) => corvane.startCaptureScreen(cb, { width: 1, height: 1 }, 0, 8), {
      constructor: TypeError,
      message: '对象缺少 displayId 属性',
    });
    for (const display of [{ displayId: 'x', width: 1 }, { displayId: 'x', height: 1 }]) {
      await assertRefused((cb) => corvane.startCaptureScreen(cb, display, 0, 8), {
        constructor: TypeError,
        message: '对象缺少 width 属性 或 height 属性',
      });
    }
  });

  it('reads inherited properties, accepts a function as the display and converts the values', async () => {
    const { displayId } = primary();
    const inherited = Object.create({ displayId, width: '64', height: 48.9 });
    const [frame] = await collect((cb) => corvane.startCaptureScreen(cb, inherited, 0, 2.9));
    assert.equal(frame.length, frameSize(64, 48, 2));

    const fn = Object.assign(function display() {}, { displayId, width: 30, height: 20 });
    const [fromFunction] = await collect((cb) => corvane.startCaptureScreen(cb, fn, 0, 10, 'extra', {}));
    assert.equal(fromFunction.length, frameSize(30, 20, 10));
  });

  it('refuses a sampling rate outside 1 to 2147483647 and sizes whose pixels do not fit, starting nothing', async () => {
    const display = primary();
    for (const rate of [0, 0.5, NaN, 2 ** 31, -1, 2 ** 32]) {
      await assertRefused((cb) => corvane.startCaptureScreen(cb, display, 0, rate), {
        constructor: RangeError,
        message: /^samplingRate must be an integer from 1 to 2147483647, got \d+$/,
      });
    }
    for (const [width, height] of [[-1, 10], [10, 2 ** 31], [46341, 46341], [23171, 23171]]) {
      await assertRefused((cb) => corvane.startCaptureScreen(cb, { ...display, width, height }, 0, 8), {
        constructor: RangeError,
        message: /width and height must be 0 or more, and width x height x 4 must not exceed 2147483647 bytes/,
      });
    }
  });

  it('lets the exception of a throwing getter through and starts nothing', async () => {
    const display = { displayId: 'x', height: 1 };
    Object.defineProperty(display, 'width', {
      get() {
        throw new SyntaxError('from the getter');
      },
    });
    await assertRefused((cb) => corvane.startCaptureScreen(cb, display, 0, 8), {
      constructor: SyntaxError,
      message: 'from the getter',
    });
  });
});

describe('single-display capture', () => {
  it('delivers Buffers of the sample grid size for a display of getMonitors', async () => {
    const display = primary();
    const frames = await collect((cb) => corvane.startCaptureScreen(cb, display, 0, 10), 3);
    for (const frame of frames) {
      assert.ok(Buffer.isBuffer(frame));
      assert.equal(frame.length, frameSize(display.width, display.height, 10));
    }
  });

  it('calls the callback with this undefined and one argument', async () => {
    const calls = [];
    corvane.startCaptureScreen(
      function () {
        calls.push({ self: this, count: arguments.length });
      },
      primary(),
      0,
      16,
    );
    await waitFor(() => calls.length > 0, 'a delivery');
    corvane.stopCaptureScreen();
    assert.deepEqual(calls[0], { self: undefined, count: 1 });
  });

  it('gives zero-filled frames of the normal size for a name that names no display, and one line per capture and display', () => {
    const unknown = { displayId: '\\\\.\\DISPLAY9', width: 64, height: 48 };
    // Two single captures and a multi one with the display twice and a real one between, each
    // for 30 deliveries: each frame as [name, length, zero-filled].
    const child = runChild(`
      ${takeFrames}
      const unknown = ${JSON.stringify(unknown)};
      const displays = [unknown, corvane.getMonitors().find((m) => m.isPrimary), unknown];
      (async () => {
        const runs = [];
        for (let i = 0; i < 2; i++) runs.push(await take((cb) => corvane.startCaptureScreen(cb, unknown, 1, 4), 30));
        runs.push(await take((cb) => corvane.startCaptureMultiScreens(cb, displays, 1, 4), 30));
        console.log(JSON.stringify({ runs, primary: displays[1].displayId }));
      })();`);
    assert.equal(child.status, 0, child.stderr);
    const { runs: [first, second, multi], primary } = JSON.parse(child.stdout);
    for (const frames of [...first, ...second]) assert.deepEqual(frames, [['single', frameSize(64, 48, 4), true]]);
    for (const frames of multi) {
      assert.deepEqual(frames.map(([name]) => name), [unknown.displayId, primary]);
      assert.deepEqual(frames[0], [unknown.displayId, frameSize(64, 48, 4), true]);
    }
    // One for each start; the primary display is seen, and says nothing.
    assert.deepEqual(blindLines(child.stderr), [1, 2, 3].map(() => blindLine(unknown.displayId, unknownDisplayWhy)));
  });

  it('gives empty frames for a zero width or height', async () => {
    const { displayId } = primary();
    const [frame] = await collect((cb) => corvane.startCaptureScreen(cb, { displayId, width: 0, height: 48 }, 0, 4));
    assert.equal(frame.length, 0);
  });

  it('returns undefined from a stop, with or without a capture, any number of times', () => {
    assert.equal(corvane.stopCaptureScreen(), undefined);
    assert.equal(corvane.stopCaptureMultiScreens(), undefined);
    corvane.startCaptureScreen(noop, primary(), 1000, 16);
    assert.equal(corvane.stopCaptureScreen(), undefined);
    assert.equal(corvane.stopCaptureScreen(), undefined);
  });

  it('still delivers, after the stop, the frames queued before it, and no more than two', () => {
    // After the first frame the JavaScript thread is kept busy while the worker grabs the next, then
    // stops the capture. The child ends once its queue is finalized, so what it counted then is
    // all that came.
    const child = runChild(`
      let delivered = 0;
      let atStop = null;
      corvane.startCaptureScreen(() => {
        if (++delivered > 1) return;
        setImmediate(() => {
          const busyUntil = Date.now() + 300;
          while (Date.now() < busyUntil);
          corvane.stopCaptureScreen();
          atStop = delivered;
        });
      }, corvane.getMonitors().find((m) => m.isPrimary), 0, 16);
      process.on('exit', () => console.log(JSON.stringify({ atStop, after: delivered - atStop })));
    `);
    assert.equal(child.status, 0, child.stderr);
    const { atStop, after } = JSON.parse(child.stdout.trim().split(/\r?\n/).pop());
    assert.equal(atStop, 1);
    assert.ok(after >= 1 && after <= 2, `${after} frames after the stop`);
  });

  it('can be stopped from inside its callback', async () => {
    let delivered = 0;
    let returned = false;
    corvane.startCaptureScreen(
      () => {
        delivered++;
        if (delivered === 2) {
          corvane.stopCaptureScreen();
          returned = true;
        }
      },
      primary(),
      0,
      16,
    );
    await waitFor(() => returned, 'the stop inside the callback');
    const atStop = delivered;
    await sleep(100);
    assert.ok(delivered - atStop <= 1, 'at most the frame queued during the stop follows');
  });

  it('wakes a long pause at once when stopped', async () => {
    let delivered = 0;
    corvane.startCaptureScreen(() => delivered++, primary(), -1, 16); // -1 reads as 4294967295 ms
    await waitFor(() => delivered === 1, 'the first frame');
    const started = Date.now();
    corvane.stopCaptureScreen();
    assert.ok(Date.now() - started < 5000, `the stop took ${Date.now() - started} ms`);
  });

  it('replaces a running capture: the old callback keeps its queued frames, the new one gets the rest', async () => {
    const first = [];
    const second = [];
    corvane.startCaptureScreen((f) => first.push(f), primary(), 0, 16);
    await waitFor(() => first.length > 0, 'the first capture');
    corvane.startCaptureScreen((f) => second.push(f), { displayId: 'none', width: 10, height: 10 }, 0, 1);
    await waitFor(() => second.length > 2, 'the second capture');
    const firstTotal = first.length;
    await sleep(50);
    corvane.stopCaptureScreen();
    assert.equal(first.length, firstTotal, 'the first capture stopped');
    assert.ok(second.every((f) => f.length === 300));
  });

  it('starts again after a stop, with a new callback', async () => {
    const display = primary();
    await collect((cb) => corvane.startCaptureScreen(cb, display, 0, 16));
    const [frame] = await collect((cb) => corvane.startCaptureScreen(cb, display, 0, 32));
    assert.equal(frame.length, frameSize(display.width, display.height, 32));
  });
});

describe('startCaptureMultiScreens arguments', () => {
  it('checks the four argument types first, with one Error for all', async () => {
    for (const args of [
      [noop, { length: 1, 0: primary() }, 0, 8],
      [noop, new Uint8Array(2), 0, 8],
      [noop, primary(), 0, 8],
      [null, [], 0, 8],
      [noop, [], null, 8],
      [noop, []],
    ]) {
      assert.throws(() => corvane.startCaptureMultiScreens(...args), multiArgsError);
    }
    await assertRefused((cb) => corvane.startCaptureMultiScreens(cb, { length: 0 }, 0, 8), multiArgsError);
  });

  it('refuses bad entries with their own TypeErrors and starts nothing', async () => {
    const display = primary();
    await assertRefused((cb) => corvane.startCaptureMultiScreens(cb, [display, 5, display, display], 0, 8), {
      constructor: TypeError,
      message: 'Display info must be objects',
    });
    await assertRefused((cb) => corvane.startCaptureMultiScreens(cb, [display, null], 0, 8), {
      constructor: TypeError,
      message: 'Display info must be objects',
    });
    const { height, ...noHeight } = display;
    await assertRefused((cb) => corvane.startCaptureMultiScreens(cb, [noHeight], 0, 8), {
      constructor: TypeError,
      message: 'Display object missing required properties',
    });
    await assertRefused((cb) => corvane.startCaptureMultiScreens(cb, [{ ...display, width: -5 }], 0, 8), {
      constructor: RangeError,
      message: /width and height must be 0 or more/,
    });
    // Of two bad entries, the first in the array is named, whatever the order of their names.
    const bad = (displayId) => ({ displayId, width: 70000, height: 70000 });
    await assertRefused((cb) => corvane.startCaptureMultiScreens(cb, [display, bad('z'), bad('a')], 0, 8), {
      constructor: RangeError,
      message: /^display "z": /,
    });
    await assertRefused((cb) => corvane.startCaptureMultiScreens(cb, [display], 0, 0), {
      constructor: RangeError,
      message: /^samplingRate must be/,
    });
  });
});

describe('multi-display capture', () => {
  it('delivers one Buffer per display, keyed by device name in array order', async () => {
    const a = { displayId: 'A', width: 64, height: 48 };
    const b = { displayId: 'B', width: 10, height: 100 };
    const c = { displayId: 'C', width: 7, height: 7 };
    const [frames] = await collect((cb) => corvane.startCaptureMultiScreens(cb, [a, b, c], 0, 3));
    assert.deepEqual(Object.keys(frames), ['A', 'B', 'C']);
    assert.deepEqual(
      Object.values(frames).map((f) => f.length),
      [frameSize(64, 48, 3), frameSize(10, 100, 3), frameSize(7, 7, 3)],
    );
  });

  it('delivers empty objects for an empty array', async () => {
    const deliveries = await collect((cb) => corvane.startCaptureMultiScreens(cb, [], 0, 8), 2);
    for (const d of deliveries) assert.deepEqual(d, {});
  });

  it('captures the first three of four displays and then throws the limit message', async () => {
    const displays = ['A', 'B', 'C', 'D'].map((displayId) => ({ displayId, width: 16, height: 16 }));
    const deliveries = [];
    assert.throws(() => corvane.startCaptureMultiScreens((d) => deliveries.push(d), displays, 0, 8), {
      constructor: Error,
      message: 'Maximum 3 displays supported, only first 3 will be captured',
    });
    await waitFor(() => deliveries.length >= 2, 'deliveries after the limit message');
    corvane.stopCaptureMultiScreens();
    for (const d of deliveries) assert.deepEqual(Object.keys(d), ['A', 'B', 'C']);
  });

  it('grabs a repeated name with the size of its last entry, and 1 and "1" are one name', async () => {
    const [frames] = await collect((cb) =>
      corvane.startCaptureMultiScreens(
        cb,
        [
          { displayId: 1, width: 64, height: 64 },
          { displayId: 'X', width: 8, height: 8 },
          { displayId: '1', width: 16, height: 8 },
        ],
        0,
        4,
      ),
    );
    assert.deepEqual(Object.keys(frames), ['1', 'X']);
    assert.equal(frames['1'].length, frameSize(16, 8, 4));
    assert.ok(frames['1'].every((b) => b === 0), 'no display is called 1');
  });

  it('converts widths and heights with ToInt32', async () => {
    const [frames] = await collect((cb) =>
      corvane.startCaptureMultiScreens(cb, [{ displayId: 'A', width: 2 ** 32 + 20, height: '10.9' }], 0, 5),
    );
    assert.equal(frames.A.length, frameSize(20, 10, 5));
  });

  it('is stopped by either stop, and so is a single capture', async () => {
    for (const [start, stop] of [
      [(cb) => corvane.startCaptureMultiScreens(cb, [primary()], 0, 32), corvane.stopCaptureScreen],
      [(cb) => corvane.startCaptureScreen(cb, primary(), 0, 32), corvane.stopCaptureMultiScreens],
    ]) {
      let delivered = 0;
      start(() => delivered++);
      await waitFor(() => delivered > 0, 'a delivery');
      stop();
      await sleep(50);
      const settled = delivered;
      await sleep(100);
      assert.equal(delivered, settled);
    }
  });
});
