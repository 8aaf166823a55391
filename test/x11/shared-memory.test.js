'use strict';
// The shared memory that X11 captures read the server's pixels through.
const { it, before, after, afterEach } = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const { corvane } = require('../support/binding');
const { collect, waitFor } = require('../support/capture');
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
