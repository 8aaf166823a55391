'use strict';
// Captures on scripted desktops: the graphics calls, the pixels, failures and resource use.
const { describe, it, beforeEach, afterEach } = require('node:test');
const assert = require('node:assert/strict');
const { corvane, simulator } = require('../support/binding');
const { runChild } = require('../support/child');
const { collect, grid, sleep, waitFor, blindLine, blindLines, takeFrames } = require('../support/capture');
const { assertReleasedNewestFirst } = require('../support/sim-handles');

const monitor = (n, width, height, fields = {}) => ({
  deviceName: `\\\\.\\DISPLAY${n}`,
  flags: n === 1 ? 1 : 0,
  width,
  height,
  widthMM: 300,
  heightMM: 200,
  ...fields,
});
const display = (n, width, height) => ({ displayId: `\\\\.\\DISPLAY${n}`, width, height });

// The expected frame: red, green and blue of the standard picture at each grid point, black
// beyond the monitor's own size.
function expectedFrame(width, height, rate, monitorWidth = width, monitorHeight = height) {
  const { columns, rows } = grid(width, height, rate);
  const bytes = Buffer.alloc(columns * rows * 3);
  for (let r = 0; r < rows; r++) {
    for (let c = 0; c < columns; c++) {
      const x = c * rate;
      const y = r * rate;
      if (x >= monitorWidth || y >= monitorHeight) continue;
      const [blue, green, red] = simulator.patternPixel(x, y);
      bytes.set([red, green, blue], (r * columns + c) * 3);
    }
  }
  return bytes;
}

function assertNoGdiLeft() {
  const census = simulator.gdiCensus();
  assert.deepEqual({ contexts: census.contexts, bitmaps: census.bitmaps, misuses: census.misuses }, { contexts: 0, bitmaps: 0, misuses: [] });
}

beforeEach(() => {
  simulator.setMonitors([monitor(1, 64, 48), monitor(2, 40, 30, { x: 64 }), monitor(3, 17, 9, { x: -17 })]);
  simulator.setGdiFaults({});
  simulator.resetGdi();
  simulator.takeCalls();
});
afterEach(() => {
  corvane.stopCaptureScreen();
  simulator.setGdiFaults({});
});

describe('the picture a capture delivers', () => {
  it('samples the top-left pixel of every block, as red, green and blue', async () => {
    for (const rate of [1, 2, 7, 16, 64, 1000]) {
      const [frame] = await collect((cb) => corvane.startCaptureScreen(cb, display(1, 64, 48), 0, rate));
      assert.deepEqual(frame, expectedFrame(64, 48, rate), `rate ${rate}`);
    }
  });

  it("reads a picture of the test's own, byte for byte", async () => {
    // 4 x 2 pixels, each blue, green, red, reserved.
    const pixels = Buffer.from([
      ...[1, 2, 3, 0xff], ...[4, 5, 6, 0xff], ...[7, 8, 9, 0xff], ...[10, 11, 12, 0xff],
      ...[13, 14, 15, 0xff], ...[16, 17, 18, 0xff], ...[19, 20, 21, 0xff], ...[22, 23, 24, 0xff],
    ]);
    simulator.setMonitors([monitor(1, 4, 2, { pixels })]);
    const [byTwo] = await collect((cb) => corvane.startCaptureScreen(cb, display(1, 4, 2), 0, 2));
    assert.deepEqual([...byTwo], [3, 2, 1, 9, 8, 7]);
    const [all] = await collect((cb) => corvane.startCaptureScreen(cb, display(1, 4, 2), 0, 1));
    assert.deepEqual([...all], [3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10, 15, 14, 13, 18, 17, 16, 21, 20, 19, 24, 23, 22]);
  });

  it("copies the requested rectangle from the display's corner, black beyond its size", async () => {
    const [frame] = await collect((cb) => corvane.startCaptureScreen(cb, display(3, 40, 20), 0, 3));
    assert.deepEqual(frame, expectedFrame(40, 20, 3, 17, 9));
  });

  it('captures each display of a multi capture from its own picture', async () => {
    const displays = [display(2, 40, 30), display(1, 64, 48), display(3, 17, 9)];
    const [frames] = await collect((cb) => corvane.startCaptureMultiScreens(cb, displays, 0, 5));
    assert.deepEqual(frames, {
      '\\\\.\\DISPLAY2': expectedFrame(40, 30, 5),
      '\\\\.\\DISPLAY1': expectedFrame(64, 48, 5),
      '\\\\.\\DISPLAY3': expectedFrame(17, 9, 5),
    });
  });
});

describe('reading only the sampled rows', () => {
  // The way is read when the capture opens its displays, on its own thread.
  const forced = async (way, capture) => {
    process.env.CORVANE_GDI_SAMPLING = way;
    try {
      return await capture();
    } finally {
      delete process.env.CORVANE_GDI_SAMPLING;
    }
  };

  it('gives the frames of whole reads at every rate, single and multi, within and past the edges, rows only within', async () => {
    // Display 1 is 64 x 48: the first area lies on it, the second reaches past its right and bottom edges.
    const areas = [display(1, 61, 47), display(1, 70, 53), display(3, 17, 9)];
    for (let rate = 1; rate <= 17; rate++) {
      const frames = {};
      for (const way of ['whole', 'rows']) {
        simulator.resetGdi();
        const single = await forced(way, () => collect((cb) => corvane.startCaptureScreen(cb, areas[0], 0, rate), 2));
        corvane.stopCaptureScreen();
        const multi = await forced(way, () => collect((cb) => corvane.startCaptureMultiScreens(cb, areas, 0, rate), 2));
        frames[way] = { single, multi, rowCopies: simulator.gdiCensus().rowCopies };
      }
      assert.deepEqual(frames.rows.single, frames.whole.single, `rate ${rate}`);
      assert.deepEqual(frames.rows.multi, frames.whole.multi, `rate ${rate}`);
      assert.deepEqual(frames.whole.single[0], expectedFrame(61, 47, rate), `rate ${rate}`);
      assert.deepEqual(frames.whole.multi[0]['\\\\.\\DISPLAY1'], expectedFrame(70, 53, rate, 64, 48), `rate ${rate}`);
      assert.equal(frames.rows.rowCopies > 0, rate > 1, `rate ${rate}`);
      assert.equal(frames.whole.rowCopies, 0, `rate ${rate}`);
    }
    // An area past the display's edge is read whole, rows forced or not.
    simulator.resetGdi();
    await forced('rows', () => collect((cb) => corvane.startCaptureScreen(cb, areas[1], 0, 4), 2));
    assert.equal(simulator.gdiCensus().rowCopies, 0);
    assertNoGdiLeft();
  });

  it('keeps the way that costs less where it runs, having timed both', async () => {
    // Each copy dear, whatever its size: one copy of the whole area beats 6 of a row.
    simulator.setGdiFaults({ grabDelayMs: 2 });
    await collect((cb) => corvane.startCaptureScreen(cb, display(1, 64, 48), 0, 8), 20);
    corvane.stopCaptureScreen();
    const dearCopies = simulator.gdiCensus();
    // Each row dear: the whole area copies eight times the rows.
    simulator.resetGdi();
    simulator.setGdiFaults({ rowDelayUs: 500 });
    await collect((cb) => corvane.startCaptureScreen(cb, display(1, 64, 48), 0, 8), 20);
    corvane.stopCaptureScreen();
    const dearRows = simulator.gdiCensus();
    // Eight ticks of each way came first (five of them timed); every tick after that took the cheaper.
    const rows = grid(64, 48, 8).rows;
    assert.ok(dearCopies.rowCopies === 8 * rows && dearCopies.grabs >= 12, `${dearCopies.grabs} whole, ${dearCopies.rowCopies} row copies`);
    assert.ok(dearRows.grabs === 8 && dearRows.rowCopies >= 12 * rows, `${dearRows.grabs} whole, ${dearRows.rowCopies} row copies`);
  });

  it('reads a row whose copy fails as black, in one line per capture', () => {
    const area = display(1, 64, 48);
    const child = runChild(`
      const sim = corvane.simulator;
      sim.setMonitors(${JSON.stringify([monitor(1, 64, 48)])});
      process.env.CORVANE_GDI_SAMPLING = 'rows';
      sim.setGdiFaults({ bitBltFromRow: 20 });
      const frames = [];
      corvane.startCaptureScreen((frame) => {
        if (frames.push(frame.toString('base64')) < 5) return;
        corvane.stopCaptureScreen();
        console.log(JSON.stringify(frames.slice(0, 5)));
      }, ${JSON.stringify(area)}, 1, 4);`);
    assert.equal(child.status, 0, child.stderr);
    const expected = expectedFrame(64, 48, 4);
    expected.fill(0, 5 * 16 * 3);  // grid rows 0 to 4 are display rows 0 to 16; row 5 is row 20
    for (const frame of JSON.parse(child.stdout)) assert.deepEqual(Buffer.from(frame, 'base64'), expected);
    assert.deepEqual(blindLines(child.stderr), [blindLine(area.displayId, 'BitBlt failed')]);
  });
});

describe('graphics calls', () => {
  it('opens the display once per capture, releases everything newest first, deselecting the bitmap before its deletion', async () => {
    await collect((cb) => corvane.startCaptureScreen(cb, display(1, 64, 48), 0, 8), 2);
    const calls = simulator.takeCalls();
    assert.equal(calls.filter((c) => c.startsWith('CreateDCA')).length, 1);
    assertReleasedNewestFirst(calls);
    const deleted = calls.findIndex((c) => c.startsWith('DeleteObject('));
    const bitmap = calls[deleted].slice('DeleteObject('.length, -1);
    assert.match(calls.slice(0, deleted).findLast((c) => c.startsWith('SelectObject(')), new RegExp(`^SelectObject\\(dc\\d+, stockbitmap\\) -> ${bitmap}$`));
    assertNoGdiLeft();
  });

  it('opens each display of a multi capture once, a repeated one too, and closes them after the stop', async () => {
    const displays = [display(1, 64, 48), display(2, 40, 30), display(1, 64, 48)];
    await collect((cb) => corvane.startCaptureMultiScreens(cb, displays, 0, 8), 3);
    const calls = simulator.takeCalls();
    const opens = calls.filter((c) => c.startsWith('CreateDCA'));
    assert.deepEqual(opens.map((c) => c.replace(/ -> dc\d+$/, '')), [
      'CreateDCA(DISPLAY, \\\\.\\DISPLAY1, NULL, NULL)',
      'CreateDCA(DISPLAY, \\\\.\\DISPLAY2, NULL, NULL)',
    ]);
    // Between the first grab and the last, nothing but grabs, whole or by rows: no tick opens or
    // closes anything.
    const isGrab = (c) => /^(BitBlt|GetDIBits|GdiFlush)\(/.test(c);
    const first = calls.findIndex((c) => c.startsWith('BitBlt'));
    const last = calls.findLastIndex((c) => c.startsWith('GetDIBits') || c.startsWith('GdiFlush'));
    const grabs = calls.slice(first, last + 1);
    assert.ok(grabs.length >= 3 * 3 * 2, `${grabs.length} calls of at least three ticks`);
    assert.ok(grabs.every(isGrab), grabs.find((c) => !isGrab(c)));
    assertNoGdiLeft();
  });

  it('delivers zero-filled frames of the normal size, leaks nothing and writes one line per capture and display when a call fails', () => {
    const failures = {
      createDisplayContext: 'CreateDCA failed',
      createCompatibleContext: 'CreateCompatibleDC failed',
      createCompatibleBitmap: 'CreateCompatibleBitmap failed',
      bitBlt: 'BitBlt failed',
      getDIBits: 'GetDIBits failed',
    };
    const [one, two] = [display(1, 64, 48), display(2, 40, 30)];
    // For each failing call, a single and a multi capture of 20 deliveries each, every frame as
    // [name, length, zero-filled], and the graphics objects left after them. Then a capture that
    // sees its display, loses it, sees it again and loses it again, 10 frames each.
    const child = runChild(`
      const sim = corvane.simulator;
      sim.setMonitors(${JSON.stringify([monitor(1, 64, 48), monitor(2, 40, 30, { x: 64 })])});
      const zero = (f) => f.every((b) => b === 0);
      ${takeFrames}
      const seenAgain = () => new Promise((resolve) => {
        const steps = [[false, { bitBlt: true }], [true, {}], [false, { getDIBits: true }], [true, null]];
        let step = 0;
        let inRow = 0;
        corvane.startCaptureScreen((f) => {
          if (step === steps.length) return;
          const [zeroFrames, next] = steps[step];
          inRow = zero(f) === zeroFrames ? inRow + 1 : 0;
          if (inRow < 10) return;
          inRow = 0;
          step++;
          if (next) return sim.setGdiFaults(next);
          corvane.stopCaptureScreen();
          resolve();
        }, ${JSON.stringify(one)}, 1, 4);
      });
      // The faults of a whole read; rows read otherwise (below).
      process.env.CORVANE_GDI_SAMPLING = 'whole';
      (async () => {
        const runs = [];
        for (const fault of ${JSON.stringify(Object.keys(failures))}) {
          sim.setGdiFaults({ [fault]: true });
          const single = await take((cb) => corvane.startCaptureScreen(cb, ${JSON.stringify(one)}, 1, 4), 20);
          const multi = await take((cb) => corvane.startCaptureMultiScreens(cb, ${JSON.stringify([one, two])}, 1, 4), 20);
          const { contexts, bitmaps, misuses } = sim.gdiCensus();
          runs.push({ fault, single, multi, left: { contexts, bitmaps, misuses } });
        }
        sim.setGdiFaults({});
        await seenAgain();
        console.log(JSON.stringify(runs));
      })();`);
    assert.equal(child.status, 0, child.stderr);
    const lines = [];
    for (const { fault, single, multi, left } of JSON.parse(child.stdout)) {
      const size = (w, h) => expectedFrame(w, h, 4).length;
      for (const frames of single) assert.deepEqual(frames, [['single', size(64, 48), true]], fault);
      for (const frames of multi) assert.deepEqual(frames, [[one.displayId, size(64, 48), true], [two.displayId, size(40, 30), true]], fault);
      assert.deepEqual(left, { contexts: 0, bitmaps: 0, misuses: [] }, fault);
      lines.push(...[one, one, two].map((d) => blindLine(d.displayId, failures[fault])));
    }
    lines.push(blindLine(one.displayId, 'BitBlt failed'), blindLine(one.displayId, 'GetDIBits failed'));
    assert.deepEqual(blindLines(child.stderr), lines);
  });

  it('reads the rows a short read-out left out as black, not as the rows of the last grab', async (t) => {
    process.env.CORVANE_GDI_SAMPLING = 'whole';
    t.after(() => delete process.env.CORVANE_GDI_SAMPLING);
    const frames = [];
    corvane.startCaptureScreen((frame) => {
      frames.push(frame);
      if (frames.length === 1) simulator.setGdiFaults({ dibLines: 21 });
    }, display(1, 64, 48), 1, 4);
    const full = expectedFrame(64, 48, 4);
    const short = Buffer.from(full);
    short.fill(0, 6 * 16 * 3);  // rows 0 to 20 were read: grid rows 0 to 5
    // Frames grabbed before the fault took hold may still be queued: wait for one grabbed after it.
    await waitFor(() => frames.length > 1 && frames.at(-1).equals(short), 'a frame of the short read-out');
    corvane.stopCaptureScreen();
    assert.deepEqual(frames[0], full);
    for (const frame of frames) assert.ok(frame.equals(full) || frame.equals(short), 'only whole or short read-outs');
    assertNoGdiLeft();
  });

  it('leaks no graphics object over thousands of grabs and many starts, reading whole areas or rows', async () => {
    simulator.setRecording(false);
    try {
      for (const way of ['whole', 'rows']) {
        process.env.CORVANE_GDI_SAMPLING = way;
        for (let i = 0; i < 10; i++) {
          await collect((cb) => corvane.startCaptureMultiScreens(cb, [display(1, 64, 48), display(2, 40, 30), display(9, 8, 8)], 0, 8), 50);
        }
        await collect((cb) => corvane.startCaptureScreen(cb, display(1, 64, 48), 0, 8), 1000);
      }
    } finally {
      delete process.env.CORVANE_GDI_SAMPLING;
      simulator.setRecording(true);
    }
    const { grabs, rowCopies } = simulator.gdiCensus();
    assert.ok(grabs >= 1500 && rowCopies >= 1500 * 6, `${grabs} whole and ${rowCopies} row copies`);
    assertNoGdiLeft();
  });
});

describe('failures to start', () => {
  it('throws when no thread-safe function can be made, and leaves the slot idle', async () => {
    simulator.failNext('threadsafeFunction');
    assert.throws(() => corvane.startCaptureScreen(() => {}, display(1, 64, 48), 0, 8), {
      constructor: Error,
      message: 'napi_create_threadsafe_function failed for ScreenCapture',
    });
    await sleep(50);
    assert.equal(simulator.gdiCensus().grabs, 0);
    const [frame] = await collect((cb) => corvane.startCaptureScreen(cb, display(1, 64, 48), 0, 8));
    assert.equal(frame.length, expectedFrame(64, 48, 8).length);
  });

  it('throws when no thread can be started, and leaves the slot idle', async () => {
    simulator.failNext('thread');
    assert.throws(() => corvane.startCaptureMultiScreens(() => {}, [display(1, 64, 48)], 0, 8), {
      constructor: Error,
      message: /^could not start the screen capture thread: pthread_create failed: /,
    });
    await sleep(50);
    assert.equal(simulator.gdiCensus().grabs, 0);
    corvane.stopCaptureScreen();
    await collect((cb) => corvane.startCaptureMultiScreens(cb, [display(1, 64, 48)], 0, 8));
  });

  it('stops a running capture before a start that then fails', async () => {
    let delivered = 0;
    corvane.startCaptureScreen(() => delivered++, display(1, 64, 48), 0, 8);
    await waitFor(() => delivered > 0, 'a frame of the first capture');
    simulator.failNext('thread');
    assert.throws(() => corvane.startCaptureScreen(() => {}, display(1, 64, 48), 0, 8), /could not start/);
    // A capture that still ran would hold its queue.
    await waitFor(() => simulator.liveQueues() === 0, 'the first capture to end');
  });
});

describe('the pause between ticks', () => {
  it('follows the grab, so the period is the grab plus the interval', async () => {
    simulator.setGdiFaults({ grabDelayMs: 40 });
    const times = [];
    corvane.startCaptureScreen(() => times.push(Date.now()), display(1, 64, 48), 40.9, 8);
    const started = Date.now();
    await waitFor(() => times.length >= 5, 'five frames');
    corvane.stopCaptureScreen();
    const period = (times[4] - times[0]) / 4;
    assert.ok(period >= 78, `period ${period} ms`);
    assert.ok(times[0] - started >= 35, 'the first frame waits for its grab');
  });

  it('is cut short by the stop, which waits only for the grab in progress', async () => {
    simulator.setGdiFaults({ grabDelayMs: 50 });
    let delivered = 0;
    corvane.startCaptureScreen(() => delivered++, display(1, 64, 48), 4294967295, 8);
    await waitFor(() => delivered > 0, 'a frame');
    const before = Date.now();
    corvane.stopCaptureScreen();
    assert.ok(Date.now() - before < 2000);
  });
});

describe('a callback slower than the grabs', () => {
  // While a frame is delivered, one more is ready in the worker at most, and a third being grabbed.
  it('holds the worker back to one frame ready besides the one delivered, and loses none', async () => {
    const grabs = () => simulator.gdiCensus().grabs;
    let delivered = 0;
    let mostWaiting = 0;
    corvane.startCaptureScreen(() => {
      mostWaiting = Math.max(mostWaiting, grabs() - delivered);
      delivered++;
      const until = Date.now() + 5;
      while (Date.now() < until);
    }, display(1, 64, 48), 0, 1);
    await waitFor(() => delivered >= 50, '50 frames');
    corvane.stopCaptureScreen();
    // Every queue of this process gone, the earlier tests' too: nothing is left to arrive.
    await waitFor(() => simulator.liveQueues() === 0, 'the queues to be finalized');
    assert.ok(mostWaiting <= 3, `${mostWaiting} frames grabbed and not delivered`);
    assert.equal(delivered, grabs(), 'every grabbed frame was delivered');
  });
});
