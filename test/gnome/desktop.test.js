'use strict';
// corvane on a real GNOME desktop (test/support/gnome.js): mutter headless lists its monitors to
// the Wayland backend, and its captures go through the real portal and xdg-desktop-portal-gnome.
// The dialog is avoided as the portal itself avoids it: with a choice remembered under a token.
const { describe, it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { corvane } = require('../support/binding');
const { runChildAsync } = require('../support/child');
const { captureUntil, waitFor } = require('../support/capture');
const { expectedFrame, firstDifference } = require('../support/picture');
const { startGnomeDesktop } = require('../support/gnome');
const { assertTracksInput } = require('../support/input');
const { has } = require('../support/platform');

const [width, height] = [1920, 1080];

const shell = has('shell');
// xdg-desktop-portal-gnome 43 crashes under GNOME Shell while its dialog is up.
const itWithDialog = has('dialogSurvives') ? it : () => {};

describe(`on GNOME (${shell ? 'GNOME Shell' : 'mutter'} headless, the real portal)`, () => {
  let desktop;
  let picture;
  const saved = { ...process.env };
  before(async () => {
    desktop = await startGnomeDesktop({ monitors: [[width, height], [1280, 1024]], shell });
    Object.assign(process.env, desktop.env);
    // No X server: what the module reads of the user must come from mutter itself.
    delete process.env.DISPLAY;
    picture = await desktop.showPicture({ x: 0, y: 0, width, height });
  });
  const writeToken = (text, name = 'Meta-0') => {
    fs.mkdirSync(path.dirname(desktop.tokenFile(name)), { recursive: true });
    fs.writeFileSync(desktop.tokenFile(name), text);
  };
  after(async () => {
    picture?.stop();
    process.env = saved;
    await desktop?.close();
  });

  it("lists mutter's virtual monitors, side by side, the first primary, of unknown physical size", () => {
    assert.deepEqual(corvane.getMonitors().map((m) => [m.displayId, m.x, m.y, m.width, m.height, m.widthMM, m.heightMM, m.isPrimary]), [
      ['Meta-0', 0, 0, width, height, 0, 0, true],
      ['Meta-1', width, 0, 1280, 1024, 0, 0, false],
    ]);
  });

  it('delivers the picture byte for byte through the portal at several rates and past the edge, with no dialog', async () => {
    writeToken(desktop.rememberChoice([0]));
    const monitor = corvane.getMonitors()[0];
    for (const [w, h, rate] of [[width, height, 1], [width, height, 4], [width, height, 10], [width + 21, height + 13, 8]]) {
      const expected = expectedFrame(picture.origin, monitor, w, h, rate, { width, height });
      const frame = await captureUntil(expected, { ...monitor, width: w, height: h }, rate);
      assert.ok(frame?.equals(expected), `${w}x${h} at rate ${rate}: ${frame ? firstDifference(frame, expected, w, rate) : 'no frame'}`);
    }
  });

  it('saves the token the portal gives back, and the next start with it needs no dialog; one with a newline after it is taken too', async () => {
    const file = desktop.tokenFile('Meta-0');
    writeToken(`${desktop.rememberChoice([0])}\n`);
    const display = { displayId: 'Meta-0', x: 0, y: 0, width: 64, height: 48 };
    const expected = expectedFrame(picture.origin, display, 64, 48, 4);
    assert.ok((await captureUntil(expected, display, 4))?.equals(expected), 'shared without a dialog');
    const saved = fs.readFileSync(file, 'utf8');
    assert.ok(desktop.remembers(saved), `the portal keeps a choice under the saved token ${saved}`);
    assert.equal(desktop.remembers('00000000-0000-4000-8000-000000000000'), false);
    // The token saved is the one the next start hands over, and it needs no dialog either.
    assert.ok((await captureUntil(expected, display, 4))?.equals(expected), 'shared again with the saved token');
    assert.ok(desktop.remembers(fs.readFileSync(file, 'utf8')));
  });

  it('shares both monitors of a multi capture under one session and one token, each frame its own monitor\'s picture', async () => {
    writeToken(desktop.rememberChoice([0, 1]), 'Meta-0+Meta-1');
    const monitors = corvane.getMonitors();
    const expected = monitors.map((m) => expectedFrame(picture.origin, m, m.width, m.height, 8));
    let last = null;
    corvane.startCaptureMultiScreens((frames) => (last = frames), monitors, 20, 8);
    try {
      await waitFor(() => last && monitors.every((m, i) => last[m.displayId].equals(expected[i])), () =>
        `both pictures: ${monitors.map((m, i) => `${m.displayId} ${firstDifference(last?.[m.displayId] ?? Buffer.alloc(0), expected[i], m.width, 8)}`)}`, 20000);
    } finally {
      corvane.stopCaptureMultiScreens();
    }
    assert.ok(desktop.remembers(fs.readFileSync(desktop.tokenFile('Meta-0+Meta-1'), 'utf8')), 'the set\'s new token saved');
  });

  it('captures the monitors shared when the user shares fewer than asked, the other zero-filled with one line', async () => {
    writeToken(desktop.rememberChoice([1]), 'Meta-0+Meta-1');
    // Until the shared monitor's picture comes, or for 30 s: the sizes, and which stayed zero-filled.
    const child = await runChildAsync(`
      const zero = {};
      let done = false;
      const stop = () => { done = true; corvane.stopCaptureMultiScreens(); console.log(JSON.stringify(zero)); clearTimeout(timer); };
      const timer = setTimeout(stop, 30000);
      corvane.startCaptureMultiScreens((frames) => {
        if (done) return;
        for (const [name, f] of Object.entries(frames)) zero[name] = [f.length, (zero[name]?.[1] ?? true) && f.every((b) => b === 0)];
        if (!zero['Meta-1'][1]) stop();
      }, corvane.getMonitors(), 20, 16);`, { env: desktop.env });
    assert.equal(child.status, 0, child.stderr);
    assert.deepEqual(JSON.parse(child.stdout), { 'Meta-0': [120 * 68 * 3, true], 'Meta-1': [80 * 64 * 3, false] });
    assert.equal(child.stderr, 'capture of Meta-0 through the desktop portal: the portal did not share Meta-0 (1920x1080 at 0,0); frames are zero-filled\n');
  });

  it('reports a move or a key over its Wayland windows, false at rest, and a run\'s first look against the last run\'s', async () => {
    const input = await desktop.input();
    try {
      // "a", by its keysym.
      await assertTracksInput(input, { commands: ['move 7 3', 'key 0x61'], between: 'move -7 -3' });
    } finally {
      input.close();
    }
  });

  itWithDialog('drops a token the portal refuses and asks again without one, which waits on the dialog', async () => {
    writeToken('not a token');
    const child = await runChildAsync(`
      corvane.startCaptureScreen(() => {}, { displayId: 'Meta-0', width: 64, height: 48 }, 50, 4);
      setTimeout(() => corvane.stopCaptureScreen(), 3000);`, { env: desktop.env });
    assert.equal(child.status, 0, child.stderr);
    assert.match(child.stderr, /^capture of Meta-0 through the desktop portal: the saved restore token was refused \(SelectSources failed \(.*Restore token is not a valid UUID string\)\); asking again\n/);
    assert.equal(fs.existsSync(desktop.tokenFile('Meta-0')), false, 'the refused token is gone');
    // Neither refused nor shared: the dialog waits for a user, whom this desktop lacks.
    assert.equal(child.stderr.split('\n').filter(Boolean).length, 1, child.stderr);
    await desktop.restartPortals();
  });
});
