'use strict';
// The X server samples a capture itself (RENDER) where that is cheaper than reading the whole
// area out: its frames must be the very bytes that a whole read sampled here gives.
const { it, before, after, afterEach } = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const { corvane } = require('../support/binding');
const { collect, waitFor } = require('../support/capture');
const { showPicture, expectedFrame, firstDifference } = require('../support/picture');
const { ourSegmentSizes } = require('../support/shm-segments');

let picture;
let root;
let extensions;
const chosen = process.env.CORVANE_X11_SAMPLING;

before(async () => {
  const info = execFileSync('xdpyinfo', { encoding: 'utf8' });
  const m = info.match(/dimensions:\s+(\d+)x(\d+) pixels/);
  extensions = info.slice(info.indexOf('number of extensions:')).split('\n').map((line) => line.trim());
  root = { width: Number(m[1]), height: Number(m[2]) };
  picture = await showPicture(corvane.getMonitors());
});

after(() => picture?.stop());
afterEach(() => {
  corvane.stopCaptureScreen();
  if (chosen === undefined) delete process.env.CORVANE_X11_SAMPLING;
  else process.env.CORVANE_X11_SAMPLING = chosen;
});

// The way is chosen when a capture opens its display.
async function frameBy(way, start) {
  process.env.CORVANE_X11_SAMPLING = way;
  const [frame] = await collect(start);
  return frame;
}

it('gives the same frames either way at every rate from 1 to 17, on the screen and past its edges', async () => {
  const monitor = corvane.getMonitors().find((m) => m.isPrimary);
  const areas = [
    { ...monitor, width: 1366, height: 768 },
    // Past the root window's right and bottom edges, by amounts that no rate divides evenly.
    { ...monitor, width: root.width - monitor.x + 101, height: root.height - monitor.y + 77 },
  ];
  for (const area of areas) {
    for (let rate = 1; rate <= 17; rate++) {
      const start = (cb) => corvane.startCaptureScreen(cb, area, 0, rate);
      const server = await frameBy('server', start);
      const client = await frameBy('client', start);
      const where = `${area.width}x${area.height} at rate ${rate}`;
      assert.ok(server.equals(client), `${where}: ${firstDifference(server, client, area.width, rate)}`);
      const expected = expectedFrame(picture.origin, monitor, area.width, area.height, rate, root);
      assert.ok(server.equals(expected), `${where}: ${firstDifference(server, expected, area.width, rate)}`);
    }
  }
});

it('gives the same frames either way in a multi capture of every monitor', async () => {
  const monitors = corvane.getMonitors();
  for (const rate of [2, 3, 10]) {
    const start = (cb) => corvane.startCaptureMultiScreens(cb, monitors, 0, rate);
    const server = await frameBy('server', start);
    const client = await frameBy('client', start);
    for (const m of monitors) {
      assert.ok(server[m.displayId].equals(client[m.displayId]), `${m.displayId} at rate ${rate}`);
      const expected = expectedFrame(picture.origin, m, m.width, m.height, rate, root);
      assert.ok(server[m.displayId].equals(expected), `${m.displayId} at rate ${rate}: the picture`);
    }
  }
});

it('reads out no more than the sample grid when the server samples, and the whole area otherwise', async () => {
  const monitor = corvane.getMonitors().find((m) => m.isPrimary);
  const rate = 10;
  const grid = Math.ceil(monitor.width / rate) * Math.ceil(monitor.height / rate) * 4;
  const whole = monitor.width * monitor.height * 4;
  // Without MIT-SHM both read through the X connection; without RENDER the server cannot sample.
  const shm = extensions.includes('MIT-SHM');
  const render = extensions.includes('RENDER');
  for (const [way, size] of [['server', render ? grid : whole], ['client', whole]]) {
    let during;
    await frameBy(way, (cb) =>
      corvane.startCaptureScreen((frame) => {
        during ??= ourSegmentSizes();
        cb(frame);
      }, monitor, 0, rate),
    );
    assert.deepEqual(during, shm ? [size] : [], `segments of the ${way}'s way`);
  }
  // The server lets go of a segment when it gets to our detach.
  await waitFor(() => ourSegmentSizes().length === 0, 'no segment left after the stop', 2000);
});
