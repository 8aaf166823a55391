'use strict';
// corvane's Wayland backend on KDE (test/support/kde.js): KWin's virtual outputs, whose physical
// size KWin reports as -1 mm, and the user's activity through ext-idle-notify, with input from
// KWin's fake-input protocol.
const { it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { corvane } = require('../support/binding');
const { startKwin } = require('../support/kde');
const { assertTracksInput } = require('../support/input');

let kwin;
const saved = { ...process.env };
before(async () => {
  kwin = await startKwin({ width: 1280, height: 1024, outputs: 2 });
  Object.assign(process.env, kwin.env);
  // No X server: what the module reads of the user must come from KWin itself.
  delete process.env.DISPLAY;
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

it('reports a move or a key, false at rest, and a run\'s first look against the last run\'s', async () => {
  const input = await kwin.input();
  try {
    // KEY_A, by its Linux input code.
    await assertTracksInput(input, { commands: ['move 7 3', 'key 30'], between: 'move -7 -3' });
  } finally {
    input.close();
  }
});
