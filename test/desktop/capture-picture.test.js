'use strict';
// Captures of the real desktop (Windows under Wine, X11 or Wayland): a window of our own shows a
// known picture over every monitor, and the delivered bytes must be that picture, sampled.
const { describe, it, before, after, afterEach } = require('node:test');
const assert = require('node:assert/strict');
const { corvane } = require('../support/binding');
const { collect, frameSize } = require('../support/capture');
const platform = require('../support/platform');
const { showPicture, expectedFrame: pictureFrame, firstDifference } = require('../support/picture');

const expectedFrame = (...args) => pictureFrame(picture.origin, ...args);

let picture;

// What a capture of monitor reads, in the picture's coordinates: the screen that holds every
// monitor (X11's root window, Windows' virtual screen), or on Wayland the output alone. Past it,
// black: neither a neighbour nor the garbage of an unread buffer. Where a grab past it fails as a
// whole (Wine on one screen), the whole frame is black.
function readable(monitor) {
  const monitors = platform.has('ownOutputOnly') ? [monitor] : corvane.getMonitors();
  return {
    width: Math.max(...monitors.map((m) => m.x + m.width)) - picture.origin.x,
    height: Math.max(...monitors.map((m) => m.y + m.height)) - picture.origin.y,
  };
}

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

  it('delivers black where a capture reaches past what it can read, and the picture elsewhere', async () => {
    for (const monitor of corvane.getMonitors()) {
      const area = readable(monitor);
      const pastRight = picture.origin.x + area.width - monitor.x + 7;
      for (const [width, height, rate] of [[monitor.width + 100, monitor.height + 50, 5], [pastRight, 3, 1]]) {
        const [frame] = await collect((cb) => corvane.startCaptureScreen(cb, { ...monitor, width, height }, 50, rate));
        const expected = platform.has('clipsPastEdge') ? expectedFrame(monitor, width, height, rate, area) : Buffer.alloc(frameSize(width, height, rate));
        assert.ok(frame.equals(expected), `${monitor.displayId} ${width}x${height}: ${firstDifference(frame, expected, width, rate)}`);
      }
    }
  });

  it('delivers zeros for a name that names no display, and the picture of a real display beside it', async () => {
    const unknown = { displayId: '\\\\.\\DISPLAY9', width: 640, height: 480 };
    const [frame] = await collect((cb) => corvane.startCaptureScreen(cb, unknown, 0, 7));
    assert.equal(frame.length, frameSize(640, 480, 7));
    assert.ok(frame.every((b) => b === 0));
    const real = corvane.getMonitors()[0];
    const [frames] = await collect((cb) => corvane.startCaptureMultiScreens(cb, [unknown, real], 0, 9));
    assert.ok(frames[unknown.displayId].every((b) => b === 0));
    assert.ok(frames[real.displayId].equals(expectedFrame(real, real.width, real.height, 9)), real.displayId);
  });

  it('still captures the right picture after thousands of grabs, so no grab leaked what it opened', async () => {
    const monitors = corvane.getMonitors();
    const small = monitors.map((m) => ({ ...m, width: 64, height: 64 }));
    // A grab that leaked what it used would run out: on Windows of GDI objects, which Wine has
    // about 32,700 of; on X11 of shared memory segments, of which Linux allows 4,096 by default.
    const ticks = Math.ceil(34000 / small.length);
    // GDI reads whole areas or the sampled rows: each way on its own.
    for (const way of process.platform === 'win32' ? ['whole', 'rows'] : [null]) {
      if (way) process.env.CORVANE_GDI_SAMPLING = way;
      let deliveries;
      try {
        deliveries = await collect((cb) => corvane.startCaptureMultiScreens(cb, small, 0, 8), ticks, { timeout: 300000 });
      } finally {
        delete process.env.CORVANE_GDI_SAMPLING;
      }
      const last = deliveries[deliveries.length - 1];
      for (const m of small) {
        const expected = expectedFrame(m, 64, 64, 8);
        assert.ok(last[m.displayId].equals(expected), `${way ?? ''} ${m.displayId}: ${firstDifference(last[m.displayId], expected, 64, 8)}`);
      }
    }
  });
});
