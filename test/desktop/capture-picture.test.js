'use strict';
// Captures of the real desktop under Wine: a window of our own shows a known picture over every
// monitor, and the delivered bytes must be that picture, sampled.
const { describe, it, before, after, afterEach } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawn } = require('node:child_process');
const { corvane } = require('../support/binding');
const { collect, grid, waitFor } = require('../support/capture');

const pictureWindow = process.env.CORVANE_PICTURE_WINDOW;

// The window's picture (see fixtures/picture_window.cc) as red, green, blue.
function pictureRgb(x, y) {
  return [(x + (y >> 8) * 32) & 0xff, (y + (x >> 8) * 16) & 0xff, (x * 7 + y * 3 + 0x40) & 0xff];
}

function expectedFrame(monitor, width, height, rate) {
  const { columns, rows } = grid(width, height, rate);
  const bytes = Buffer.alloc(columns * rows * 3);
  for (let r = 0; r < rows; r++) {
    for (let c = 0; c < columns; c++) {
      // A display's capture starts at its own corner; the window starts at the desktop's.
      bytes.set(pictureRgb(monitor.x + c * rate - origin.x, monitor.y + r * rate - origin.y), (r * columns + c) * 3);
    }
  }
  return bytes;
}

// Where two frames differ first, to say which row and column went wrong.
function firstDifference(actual, expected, width, rate) {
  const { columns } = grid(width, 1, rate);
  const i = actual.findIndex((b, k) => b !== expected[k]);
  if (i < 0) return 'none';
  const sample = Math.floor(i / 3);
  return `sample (${sample % columns}, ${Math.floor(sample / columns)}) byte ${i % 3}: ${actual[i]} != ${expected[i]}`;
}

let origin;
let window;

before(async () => {
  assert.ok(pictureWindow, 'CORVANE_PICTURE_WINDOW names the picture window program');
  const monitors = corvane.getMonitors();
  origin = { x: Math.min(...monitors.map((m) => m.x)), y: Math.min(...monitors.map((m) => m.y)) };
  const right = Math.max(...monitors.map((m) => m.x + m.width));
  const bottom = Math.max(...monitors.map((m) => m.y + m.height));
  const ready = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'corvane-picture-')), 'ready');
  window = spawn(pictureWindow, [origin.x, origin.y, right - origin.x, bottom - origin.y, ready].map(String), {
    stdio: 'ignore',
  });
  await waitFor(() => fs.existsSync(ready), 'the picture window', 30000);
});

after(() => window?.kill());
afterEach(() => corvane.stopCaptureScreen());

describe('capture of the real desktop', () => {
  it('delivers the picture of each display, sampled, at several rates', async () => {
    for (const monitor of corvane.getMonitors()) {
      for (const rate of [1, 3, 7, 16]) {
        const [frame] = await collect((cb) => corvane.startCaptureScreen(cb, monitor, 0, rate));
        const expected = expectedFrame(monitor, monitor.width, monitor.height, rate);
        assert.equal(frame.length, expected.length);
        assert.ok(frame.equals(expected), `${monitor.displayId} at rate ${rate}: ${firstDifference(frame, expected, monitor.width, rate)}`);
      }
    }
  });

  it('delivers a part of a display when asked for less than its size', async () => {
    const monitor = corvane.getMonitors()[0];
    const [frame] = await collect((cb) => corvane.startCaptureScreen(cb, { ...monitor, width: 333, height: 77 }, 0, 5));
    assert.ok(frame.equals(expectedFrame(monitor, 333, 77, 5)));
  });

  it('delivers every display of a multi capture, keyed by device name', async () => {
    const monitors = corvane.getMonitors().slice(0, 3);
    const [frames] = await collect((cb) => corvane.startCaptureMultiScreens(cb, monitors, 0, 10), 1);
    assert.deepEqual(Object.keys(frames), monitors.map((m) => m.displayId));
    for (const m of monitors) {
      assert.ok(frames[m.displayId].equals(expectedFrame(m, m.width, m.height, 10)), m.displayId);
    }
  });

  it('still captures the right picture after thousands of grabs, so no device context or bitmap leaked', async () => {
    const monitors = corvane.getMonitors();
    const small = monitors.map((m) => ({ ...m, width: 64, height: 64 }));
    // Each multi tick opens and closes a display context, a memory context and a bitmap per display.
    // Wine runs out of GDI handles after about 32,700 leaked pairs of a context and a bitmap.
    const ticks = Math.ceil(34000 / small.length);
    const deliveries = await collect((cb) => corvane.startCaptureMultiScreens(cb, small, 0, 8), ticks, { timeout: 300000 });
    const last = deliveries[deliveries.length - 1];
    for (const m of small) assert.ok(last[m.displayId].equals(expectedFrame(m, 64, 64, 8)), m.displayId);
  });
});
