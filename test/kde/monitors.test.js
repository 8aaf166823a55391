'use strict';
// corvane's Wayland backend on KDE (test/support/kde.js): KWin's virtual outputs, whose physical
// size KWin reports as -1 mm.
const { it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { corvane } = require('../support/binding');
const { startKwin } = require('../support/kde');

let kwin;
const saved = { ...process.env };
before(async () => {
  kwin = await startKwin({ width: 1280, height: 1024, outputs: 2 });
  Object.assign(process.env, kwin.env);
});
after(async () => {
  process.env = saved;
  await kwin?.close();
});

it("lists KWin's virtual outputs side by side, the first primary, with 0 for the size KWin does not know", () => {
  assert.deepEqual(corvane.getMonitors().map((m) => [m.displayId, m.x, m.y, m.width, m.height, m.widthMM, m.heightMM, m.isPrimary]), [
    ['Virtual-0', 0, 0, 1280, 1024, 0, 0, true],
    ['Virtual-1', 1280, 0, 1280, 1024, 0, 0, false],
  ]);
});
