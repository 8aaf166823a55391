'use strict';
// Captures of the real desktop (Windows under Wine, or X11): a window of our own shows a known
// picture over every monitor, and the delivered bytes must be that picture, sampled.
const { describe, it, before, after, afterEach } = require('node:test');
const assert = require('node:assert/strict');
const { corvane } = require('../support/binding');
const { collect } = require('../support/capture');
const { showPicture, expectedFrame: pictureFrame, firstDifference } = require('../support/picture');

const expectedFrame = (...args) => pictureFrame(picture.origin, ...args);

let picture;

before(async () => {
  picture = await showPicture(corvane.getMonitors());
});

after(() => picture?.stop());
afterEach(() => corvane.stopCaptureScreen());

describe('capture of the real desktop', () => {
  it('delivers the picture of each display, sampled, at several rates', async () => {
    for (const monitor of corvane.getMonitors()) {
      // A rate beyond the display's size leaves one sample: its top-left pixel.
      for (const rate of [1, 3, 7, 16, Math.max(monitor.width, monitor.height) + 1, 2 ** 31 - 1]) {
        // The first frame is all it needs; a pause keeps full-size frames from piling up in the
        // queue while this thread is busy.
        const [frame] = await collect((cb) => corvane.startCaptureScreen(cb, monitor, 50, rate));
        const expected = expectedFrame(monitor, monitor.width, monitor.height, rate);
        assert.equal(frame.length, expected.length);
        assert.ok(frame.equals(expected), `${monitor.displayId} at rate ${rate}: ${firstDifference(frame, expected, monitor.width, rate)}`);
      }
    }
  });

  it('delivers a part of a display when asked for less than its size', async () => {
    const monitor = corvane.getMonitors()[0];
    for (const [width, height, rate] of [[333, 77, 5], [4, 2, 2]]) {
      const [frame] = await collect((cb) => corvane.startCaptureScreen(cb, { ...monitor, width, height }, 0, rate));
      assert.deepEqual([...frame], [...expectedFrame(monitor, width, height, rate)], `${width} x ${height} at rate ${rate}`);
    }
  });

  it('delivers every display of a multi capture, keyed by device name', async () => {
    const monitors = corvane.getMonitors().slice(0, 3);
    const [frames] = await collect((cb) => corvane.startCaptureMultiScreens(cb, monitors, 0, 10), 1);
    assert.deepEqual(Object.keys(frames), monitors.map((m) => m.displayId));
    for (const m of monitors) {
      assert.ok(frames[m.displayId].equals(expectedFrame(m, m.width, m.height, 10)), m.displayId);
    }
  });

  it('still captures the right picture after thousands of grabs, so no grab leaked what it opened', async () => {
    const monitors = corvane.getMonitors();
    const small = monitors.map((m) => ({ ...m, width: 64, height: 64 }));
    // A grab that leaked what it used would run out: on Windows of GDI objects, which Wine has
    // about 32,700 of; on X11 of shared memory segments, of which Linux allows 4,096 by default.
    const ticks = Math.ceil(34000 / small.length);
    const deliveries = await collect((cb) => corvane.startCaptureMultiScreens(cb, small, 0, 8), ticks, { timeout: 300000 });
    const last = deliveries[deliveries.length - 1];
    for (const m of small) {
      const expected = expectedFrame(m, 64, 64, 8);
      assert.ok(last[m.displayId].equals(expected), `${m.displayId}: ${firstDifference(last[m.displayId], expected, 64, 8)}`);
    }
  });
});
