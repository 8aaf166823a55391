'use strict';
// corvane's Wayland backend on KDE (test/support/kde.js): KWin's virtual outputs, whose physical
// size KWin reports as -1 mm, and the user's activity through ext-idle-notify, with input from
// KWin's fake-input protocol.
const { it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { corvane } = require('../support/binding');
const { startKwin } = require('../support/kde');
const { assertTracksInput } = require('../support/input');
const { startChild } = require('../support/child');
const { waitFor } = require('../support/capture');

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

it('posts nothing while KWin is gone, one line a look, and goes on with the next KWin, its first look active', async () => {
  const child = startChild(`
    const values = [];
    corvane.startMouseTracking((active) => values.push(active), 30);
    process.on('message', (m) => {
      if (m === 'count') process.send(values.length);
      if (m === 'end') { corvane.stopMouseTracking(); process.send(values); process.disconnect(); }
    });`, { env: kwin.env });
  const count = () => {
    child.send('count');
    return child.next((m) => typeof m === 'number');
  };
  const failures = () => child.output().split('\n').filter((line) => /^GetCursorPos failed! Error: \d+$/.test(line)).length;
  try {
    await waitFor(async () => (await count()) >= 3, 'ticks');
    await kwin.stop();
    await waitFor(() => failures() >= 3, () => `failed looks: ${child.output()}`);
    const gone = await count();
    const seen = failures();
    await waitFor(() => failures() >= seen + 2, 'two more failed looks');
    assert.equal(await count(), gone, 'no value while KWin is gone');
    await kwin.start();
    let back = gone;
    await waitFor(async () => (back = await count()) > gone, 'values again');
    child.send('end');
    const values = await child.next(Array.isArray);
    assert.equal(values[gone], true, 'the first look at the new KWin');
  } finally {
    child.kill();
  }
});
