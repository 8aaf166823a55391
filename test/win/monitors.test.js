'use strict';
// getMonitors on the real Win32 desktop under Wine, whose X screens the runner laid out and
// describes in CORVANE_LAYOUT as [{x, y, width, height}, ...], the first screen being primary.
const { it } = require('node:test');
const assert = require('node:assert/strict');
const { corvane } = require('../support/binding');

const layout = JSON.parse(process.env.CORVANE_LAYOUT ?? 'null');

it('lists the monitors of the X screens with their device names, sizes and primary flag', () => {
  assert.ok(Array.isArray(layout), 'CORVANE_LAYOUT names the screens');
  const expected = layout.map(({ x, y, width, height }, i) => ({
    displayId: `\\\\.\\DISPLAY${i + 1}`,
    x,
    y,
    width,
    height,
    isPrimary: i === 0,
  }));
  const monitors = corvane.getMonitors();
  assert.deepEqual(
    monitors.map(({ displayId, x, y, width, height, isPrimary }) => ({ displayId, x, y, width, height, isPrimary })),
    expected,
  );
  // Xvfb reports 96 dots per inch.
  for (const m of monitors) {
    assert.ok(Math.abs(m.widthMM - (m.width * 25.4) / 96) <= 1, `${m.displayId} is ${m.widthMM} mm wide`);
    assert.ok(Math.abs(m.heightMM - (m.height * 25.4) / 96) <= 1, `${m.displayId} is ${m.heightMM} mm high`);
  }
});
