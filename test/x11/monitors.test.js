'use strict';
// getMonitors on a real X server (Xvfb), checked against what the server's own tools report.
// CORVANE_LAYOUT gives the X screens the runner started, the platform whether RandR is on.
const { it } = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const { corvane } = require('../support/binding');
const platform = require('../support/platform');

const layout = JSON.parse(process.env.CORVANE_LAYOUT ?? 'null');
const randr = platform.has('randr');

// The X screen's size in pixels and millimetres, as xdpyinfo prints it.
function screenSize() {
  const m = execFileSync('xdpyinfo', { encoding: 'utf8' }).match(/dimensions:\s+(\d+)x(\d+) pixels \((\d+)x(\d+) millimeters\)/);
  return { width: Number(m[1]), height: Number(m[2]), widthMM: Number(m[3]), heightMM: Number(m[4]) };
}

// xrandr --listmonitors: " 0: +*NAME W/MMxH/MM+X+Y  OUTPUT".
function randrMonitors() {
  const lines = execFileSync('xrandr', ['--listmonitors'], { encoding: 'utf8' }).split('\n').slice(1);
  return lines
    .map((line) => line.match(/^\s*\d+: [+]?([*]?)(\S+) (\d+)\/(\d+)x(\d+)\/(\d+)\+(-?\d+)\+(-?\d+)/))
    .filter(Boolean)
    .map(([, star, name, w, wmm, h, hmm, x, y]) => ({
      displayId: name, x: Number(x), y: Number(y), width: Number(w), height: Number(h),
      widthMM: Number(wmm), heightMM: Number(hmm), isPrimary: star === '*',
    }));
}

function expectedMonitors() {
  const screen = screenSize();
  if (layout.length > 1) {
    // Xinerama heads, named by position, sized in proportion to the screen's millimetres.
    return layout.map(({ x, y, width, height }, i) => ({
      displayId: `XINERAMA-${i}`, x, y, width, height,
      widthMM: Math.round((screen.widthMM * width) / screen.width),
      heightMM: Math.round((screen.heightMM * height) / screen.height),
      isPrimary: i === 0,
    }));
  }
  if (!randr) return [{ displayId: 'screen', x: 0, y: 0, ...screen, isPrimary: true }];
  // Xvfb flags no RandR monitor primary: the first one counts as primary then.
  return randrMonitors().map((m, i) => ({ ...m, isPrimary: m.isPrimary || i === 0 }));
}

it('lists the monitors of the X screen with their names, geometry, physical size and primary flag', () => {
  assert.ok(Array.isArray(layout), 'CORVANE_LAYOUT names the screens');
  const monitors = corvane.getMonitors();
  assert.deepEqual(
    monitors.map(({ aspectRatio, ...rest }) => rest),
    expectedMonitors(),
  );
  assert.equal(monitors.length, layout.length);
  for (const [i, m] of monitors.entries()) assert.equal(m.width, layout[i].width);
});
