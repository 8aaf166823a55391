'use strict';
// getMonitors on a real compositor (a headless sway, see scripts/lib/sway.js), checked against what
// sway itself reports of its outputs, and what the captures leave open there. CORVANE_LAYOUT gives
// the outputs the runner asked for, HEADLESS-1 first.
const { it, afterEach } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const { execFileSync } = require('node:child_process');
const { corvane } = require('../support/binding');
const { collect, waitFor } = require('../support/capture');

const layout = JSON.parse(process.env.CORVANE_LAYOUT ?? 'null');
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
