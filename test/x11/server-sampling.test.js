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
const platform = require('../support/platform');

let picture;
let root;
let extensions;
let screens;
const chosen = process.env.CORVANE_X11_SAMPLING;

before(async () => {
  const info = execFileSync('xdpyinfo', { encoding: 'utf8' });
  const m = info.match(/dimensions:\s+(\d+)x(\d+) pixels/);
  // The X screens that the test's Xvfb joins with Xinerama.
  screens = JSON.parse(process.env.CORVANE_LAYOUT).length;
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
      const start = (cb) => corvane.startCaptureScreen(cb, area, 20, rate);
      const server = await frameBy('server', start);
      const client = await frameBy('client', start);
      const where = `${area.width}x${area.height} at rate ${rate}`;
      // The message is worked out only for a failure: it reads every byte.
      if (!server.equals(client)) assert.fail(`${where}: ${firstDifference(server, client, area.width, rate)}`);
      // Both could be wrong alike: the picture itself, where checking it costs little.
      if (rate % 4 === 0) {
        const expected = expectedFrame(picture.origin, monitor, area.width, area.height, rate, root);
        if (!server.equals(expected)) assert.fail(`${where}: ${firstDifference(server, expected, area.width, rate)}`);
      }
    }
  }
});

it('gives the same frames either way in a multi capture of every monitor', async () => {
  const monitors = corvane.getMonitors();
  for (const rate of [2, 3, 10]) {
    const start = (cb) => corvane.startCaptureMultiScreens(cb, monitors, 20, rate);
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

// A monitor of the test's own needs RandR (test/config.json says which desktops lack it).
const itWithRandr = platform.has('randr') ? it : () => {};

itWithRandr("samples a monitor whose corner lies right of and below the root window's the same either way", async (t) => {
  // A RandR monitor of no output: a rectangle of the screen with a name of its own.
  execFileSync('xrandr', ['--setmonitor', 'CORVANE-INSET', '901/240x517/130+333+177', 'none']);
  t.after(() => execFileSync('xrandr', ['--delmonitor', 'CORVANE-INSET']));
  const inset = corvane.getMonitors().find((m) => m.displayId === 'CORVANE-INSET');
  assert.deepEqual([inset?.x, inset?.y, inset?.width, inset?.height], [333, 177, 901, 517]);
  for (const rate of [2, 3, 7, 16]) {
    const area = { ...inset, width: root.width - inset.x + 5, height: root.height - inset.y + 9 };
    for (const display of [inset, area]) {
      const start = (cb) => corvane.startCaptureScreen(cb, display, 20, rate);
      const server = await frameBy('server', start);
      const client = await frameBy('client', start);
      const expected = expectedFrame(picture.origin, inset, display.width, display.height, rate, root);
      const where = `${display.width}x${display.height} at (333, 177), rate ${rate}`;
      if (!server.equals(client)) assert.fail(`${where}: ${firstDifference(server, client, display.width, rate)}`);
      if (!server.equals(expected)) assert.fail(`${where}: ${firstDifference(server, expected, display.width, rate)}`);
    }
  }
});

// Pixmaps and pictures that the X server holds for its clients, and the pixmaps' bytes, summed
// over every client but xrestop itself.
function serverResources() {
  const blocks = execFileSync('xrestop', ['-b', '-m', '1'], { encoding: 'utf8' }).split(/\n(?=\d+ - )/);
  const total = { pixmaps: 0, pictures: 0, pixmapBytes: 0 };
  for (const block of blocks.filter((b) => !/^\d+ - xrestop /.test(b))) {
    const field = (name) => Number(block.match(new RegExp(`${name}\\s*: ~?(\\d+)`))?.[1] ?? 0);
    total.pixmaps += field('pixmaps');
    total.pictures += field('pictures');
    total.pixmapBytes += field('pixmap bytes');
  }
  return total;
}

it('keeps one pixmap of the sample grid and two pictures per display for the whole capture, and frees them', async () => {
  const monitors = corvane.getMonitors();
  const before = serverResources();
  const rate = 7;
  const seen = [];
  process.env.CORVANE_X11_SAMPLING = 'server';
  await collect(
    (cb) =>
      corvane.startCaptureMultiScreens((set) => {
        if (seen.length < 4) seen.push(serverResources());
        cb(set);
      }, monitors, 20, rate),
    4,
  );
  const grids = monitors.reduce((sum, m) => sum + Math.ceil(m.width / rate) * Math.ceil(m.height / rate) * 4, 0);
  // Xinerama makes each of them once per X screen behind it.
  const held = extensions.includes('RENDER')
    ? {
        pixmaps: before.pixmaps + monitors.length * screens,
        pictures: before.pictures + 2 * monitors.length * screens,
        pixmapBytes: before.pixmapBytes + grids * screens,
      }
    : before;
  for (const during of seen) assert.deepEqual(during, held, 'held during the capture');
  await waitFor(() => serverResources().pixmaps === before.pixmaps, 'the pixmaps freed after the stop', 2000);
  assert.deepEqual(serverResources(), before, 'held after the stop');
});
