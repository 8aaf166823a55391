'use strict';
// X11 captures that reach past the screen's edge or name no monitor: X refuses to read outside
// the root window, so what lies off screen must come out black while the rest is the picture.
const { it, before, after, afterEach } = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const { corvane } = require('../support/binding');
const { collect, frameSize, waitFor } = require('../support/capture');
const { showPicture, expectedFrame, firstDifference } = require('../support/picture');
const { ourSegmentSizes } = require('../support/shm-segments');

let picture;
let root;

before(async () => {
  const m = execFileSync('xdpyinfo', { encoding: 'utf8' }).match(/dimensions:\s+(\d+)x(\d+) pixels/);
  root = { width: Number(m[1]), height: Number(m[2]) };
  picture = await showPicture(corvane.getMonitors());
});

after(() => picture?.stop());
afterEach(() => corvane.stopCaptureScreen());

it('delivers black where a capture reaches past the screen, and the picture elsewhere', async () => {
  for (const monitor of corvane.getMonitors()) {
    for (const [width, height, rate] of [[monitor.width + 100, monitor.height + 50, 5], [root.width + 7, 3, 1]]) {
      const [frame] = await collect((cb) => corvane.startCaptureScreen(cb, { ...monitor, width, height }, 50, rate));
      const expected = expectedFrame(picture.origin, monitor, width, height, rate, root);
      assert.ok(frame.equals(expected), `${monitor.displayId} ${width}x${height}: ${firstDifference(frame, expected, width, rate)}`);
    }
  }
});

it('delivers zero-filled frames of the normal size for a name that names no monitor', async () => {
  const display = { displayId: 'NO-SUCH-MONITOR', width: 640, height: 480 };
  const frames = await collect((cb) => corvane.startCaptureScreen(cb, display, 0, 7), 2);
  for (const frame of frames) {
    assert.equal(frame.length, frameSize(640, 480, 7));
    assert.ok(frame.every((b) => b === 0));
  }
  const [sets] = await collect((cb) => corvane.startCaptureMultiScreens(cb, [display, corvane.getMonitors()[0]], 0, 9));
  assert.ok(sets['NO-SUCH-MONITOR'].every((b) => b === 0));
  assert.ok(sets[corvane.getMonitors()[0].displayId].some((b) => b !== 0), 'the real monitor shows the picture');
});

const ourSegments = () => ourSegmentSizes().length;

it('reads every display of a multi capture through one shared-memory segment, gone after the stop', async () => {
  const monitors = corvane.getMonitors().slice(0, 3);
  const shm = execFileSync('xdpyinfo', { encoding: 'utf8' }).includes('MIT-SHM');
  let during;
  const [frames] = await collect((cb) =>
    corvane.startCaptureMultiScreens((set) => {
      during ??= ourSegments();
      cb(set);
    }, monitors, 0, 6),
  );
  for (const m of monitors) {
    const expected = expectedFrame(picture.origin, m, m.width, m.height, 6, root);
    assert.ok(frames[m.displayId].equals(expected), `${m.displayId}: ${firstDifference(frames[m.displayId], expected, m.width, 6)}`);
  }
  assert.equal(during, shm ? 1 : 0, `segments during a capture of ${monitors.length} displays`);
  // The server lets go of the segment when it gets to our detach.
  await waitFor(() => ourSegments() === 0, 'no segment left after the stop', 2000);
});
