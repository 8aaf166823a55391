'use strict';
// getMonitors and the captures on a real compositor (a headless sway, see scripts/lib/sway.js),
// checked against what sway itself reports of its outputs and against the picture it shows.
// CORVANE_LAYOUT gives the outputs the runner asked for, HEADLESS-1 first.
const { it, before, after, afterEach } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const { execFileSync } = require('node:child_process');
const { corvane } = require('../support/binding');
const { collect, frameSize, waitFor } = require('../support/capture');
const { showPicture, expectedFrame, firstDifference } = require('../support/picture');

const layout = JSON.parse(process.env.CORVANE_LAYOUT ?? 'null');
let picture;

before(async () => {
  picture = await showPicture(corvane.getMonitors());
});
after(() => picture?.stop());
afterEach(() => corvane.stopCaptureScreen());

it("lists sway's outputs by name with their logical layout, physical size and the output at the origin as primary", () => {
  assert.ok(Array.isArray(layout), 'CORVANE_LAYOUT names the outputs');
  const outputs = JSON.parse(execFileSync('swaymsg', ['-t', 'get_outputs', '-r'], { encoding: 'utf8' }));
  const expected = outputs.map((o) => ({
    displayId: o.name, ...o.rect, widthMM: o.physical_width ?? 0, heightMM: o.physical_height ?? 0,
    isPrimary: o.rect.x === 0 && o.rect.y === 0,
  }));
  const monitors = corvane.getMonitors();
  assert.deepEqual(monitors.map(({ aspectRatio, ...rest }) => rest), expected);
  assert.deepEqual(monitors.map(({ displayId, x, y, width, height }) => ({ displayId, x, y, width, height })),
    layout.map((o, i) => ({ displayId: `HEADLESS-${i + 1}`, ...o })));
  assert.equal(monitors.filter((m) => m.isPrimary).length, 1);
});

it("delivers black past the output's edge, not its neighbour, and the picture elsewhere", async () => {
  for (const monitor of corvane.getMonitors()) {
    // What of the picture lies on this output, from the picture's corner.
    const onOutput = { width: monitor.x - picture.origin.x + monitor.width, height: monitor.y - picture.origin.y + monitor.height };
    for (const [width, height, rate] of [[monitor.width + 100, monitor.height + 50, 5], [monitor.width * 2 + 7, 3, 1]]) {
      const [frame] = await collect((cb) => corvane.startCaptureScreen(cb, { ...monitor, width, height }, 50, rate));
      const expected = expectedFrame(picture.origin, monitor, width, height, rate, onOutput);
      assert.ok(frame.equals(expected), `${monitor.displayId} ${width}x${height}: ${firstDifference(frame, expected, width, rate)}`);
    }
  }
});

it('delivers zero-filled frames of the normal size for a name that names no output', async () => {
  const display = { displayId: 'NO-SUCH-OUTPUT', width: 640, height: 480 };
  const frames = await collect((cb) => corvane.startCaptureScreen(cb, display, 0, 7), 2);
  for (const frame of frames) {
    assert.equal(frame.length, frameSize(640, 480, 7));
    assert.ok(frame.every((b) => b === 0));
  }
  const real = corvane.getMonitors()[0];
  const [sets] = await collect((cb) => corvane.startCaptureMultiScreens(cb, [display, real], 0, 9));
  assert.ok(sets['NO-SUCH-OUTPUT'].every((b) => b === 0));
  assert.ok(sets[real.displayId].equals(expectedFrame(picture.origin, real, real.width, real.height, 9)));
});

it('leaves no connection, buffer or descriptor open once captures stopped', async () => {
  const open = () => fs.readdirSync('/proc/self/fd').length;
  const before = open();
  // Each multi tick opens a grabber per output: a connection and a shared-memory buffer each.
  const small = corvane.getMonitors().map((m) => ({ ...m, width: 64, height: 64 }));
  await collect((cb) => corvane.startCaptureMultiScreens(cb, small, 0, 8), 300, { timeout: 120000 });
  await collect((cb) => corvane.startCaptureScreen(cb, small[0], 0, 8), 300, { timeout: 120000 });
  // The worker closes what it holds as it ends, just after the stop.
  await waitFor(() => open() === before, () => `${open()} descriptors open against ${before} before`, 30000);
});
