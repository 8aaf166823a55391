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
const { captureUntil } = require('../support/capture');
const { expectedFrame, firstDifference } = require('../support/picture');
const { startGnomeDesktop } = require('../support/gnome');

const [width, height] = [1920, 1080];

describe('on GNOME (mutter headless, the real portal)', () => {
  let desktop;
  let picture;
  const saved = { ...process.env };
  before(async () => {
    desktop = await startGnomeDesktop({ monitors: [[width, height], [1280, 1024]] });
    Object.assign(process.env, desktop.env);
    picture = await desktop.showPicture({ x: 0, y: 0, width, height });
  });
  const writeToken = (text) => {
    fs.mkdirSync(path.dirname(desktop.tokenFile('Meta-0')), { recursive: true });
    fs.writeFileSync(desktop.tokenFile('Meta-0'), text);
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

  it('drops a token the portal refuses and asks again without one, which waits on the dialog', async () => {
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
