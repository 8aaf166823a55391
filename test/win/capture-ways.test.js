'use strict';
// GDI's two ways of reading a display at rates of 2 and more, forced in turn: the whole area, and
// the sampled rows alone. Both must deliver the picture, byte for byte, and the same frames past
// the display's edges.
const { describe, it, before, after, afterEach } = require('node:test');
const assert = require('node:assert/strict');
const { corvane } = require('../support/binding');
const { collect } = require('../support/capture');
const { showPicture, expectedFrame: pictureFrame, firstDifference } = require('../support/picture');

let picture;
const expectedFrame = (...args) => pictureFrame(picture.origin, ...args);

// The first frame of each capture, the way forced while it opens its displays.
async function firstFrames(way, start) {
  process.env.CORVANE_GDI_SAMPLING = way;
  try {
    const [frame] = await collect(start);
    return frame;
  } finally {
    delete process.env.CORVANE_GDI_SAMPLING;
  }
}

before(async () => {
  picture = await showPicture(corvane.getMonitors());
});
after(() => picture?.stop());
afterEach(() => corvane.stopCaptureScreen());

describe('GDI reading whole areas or the sampled rows', () => {
  it('delivers the picture both ways at every rate from 1 to 17, single and multi', async () => {
    const monitors = corvane.getMonitors();
    for (let rate = 1; rate <= 17; rate++) {
      for (const way of ['whole', 'rows']) {
        for (const m of monitors) {
          const frame = await firstFrames(way, (cb) => corvane.startCaptureScreen(cb, m, 50, rate));
          const expected = expectedFrame(m, m.width, m.height, rate);
          assert.ok(frame.equals(expected), `${way}, ${m.displayId} at rate ${rate}: ${firstDifference(frame, expected, m.width, rate)}`);
        }
        const frames = await firstFrames(way, (cb) => corvane.startCaptureMultiScreens(cb, monitors, 50, rate));
        for (const m of monitors) {
          assert.ok(frames[m.displayId].equals(expectedFrame(m, m.width, m.height, rate)), `${way}, multi, ${m.displayId} at rate ${rate}`);
        }
      }
    }
  });

  it('delivers the same frames both ways where a capture reaches past the bottom or the right edge', async () => {
    for (const m of corvane.getMonitors()) {
      for (const [width, height] of [[m.width, m.height + 40], [m.width + 30, m.height], [m.width - 10, m.height - 10]]) {
        for (const rate of [2, 5]) {
          const area = { ...m, width, height };
          const whole = await firstFrames('whole', (cb) => corvane.startCaptureScreen(cb, area, 50, rate));
          const rows = await firstFrames('rows', (cb) => corvane.startCaptureScreen(cb, area, 50, rate));
          assert.ok(rows.equals(whole), `${m.displayId} ${width}x${height} at rate ${rate}: ${firstDifference(rows, whole, width, rate)}`);
        }
      }
    }
  });
});
