'use strict';
// The desktop portal on a compositor's outputs: with CORVANE_BACKEND=portal the outputs come from
// a headless sway and every capture from the portal, whose stream must show the output asked for.
// The portal desktop (its own session bus, PipeWire, the real frontend and a back end of ours)
// shares the known picture as the second output.
const { describe, it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');
const { startSway } = require('../../scripts/lib/sway');
const { runChildAsync } = require('../support/child');
const { expectedFrame } = require('../support/picture');
const { startPortalDesktop } = require('../support/portal');

const outputs = [{ width: 640, height: 480, x: 0, y: 0 }, { width: 320, height: 240, x: 640, y: 0 }];
const rate = 4;

// The last frame of a short capture in a child process, and its standard error's lines.
async function lastFrame(env, name, { width, height }) {
  const script = `
    let last = null;
    corvane.startCaptureScreen((f) => (last = f), { displayId: '${name}', width: ${width}, height: ${height} }, 50, ${rate});
    setTimeout(() => { corvane.stopCaptureScreen(); console.log(last ? last.toString('hex') : ''); }, 4000);`;
  const child = await runChildAsync(script, { env });
  assert.equal(child.status, 0, child.stderr);
  return { frame: Buffer.from(child.stdout.trim(), 'hex'), lines: child.stderr.split('\n').filter(Boolean) };
}

describe('the desktop portal on the compositor\'s outputs', () => {
  let sway;
  let desktop;
  let env;
  before(async () => {
    sway = await startSway(outputs);
    const [x, y, width, height] = [outputs[1].x, outputs[1].y, outputs[1].width, outputs[1].height];
    desktop = await startPortalDesktop({ output: 'HEADLESS-2', area: [x, y, width, height] });
    await desktop.showPicture(width, height);
    // Each in a folder of its own: the compositor's socket is named by its full path.
    env = { ...desktop.env, WAYLAND_DISPLAY: path.join(sway.dir, sway.env.WAYLAND_DISPLAY), DISPLAY: undefined };
  });
  after(async () => {
    await desktop?.close();
    await sway?.close();
  });

  it('reads the output whose place the stream shows, and nothing of another', async () => {
    const shown = await lastFrame(env, 'HEADLESS-2', outputs[1]);
    const origin = { x: 0, y: 0 };
    assert.ok(shown.frame.equals(expectedFrame(origin, origin, outputs[1].width, outputs[1].height, rate)), 'the picture');
    assert.deepEqual(shown.lines, []);

    const other = await lastFrame(env, 'HEADLESS-1', outputs[0]);
    assert.ok(other.frame.length > 0 && other.frame.every((b) => b === 0), 'zero-filled');
    assert.deepEqual(other.lines, ['capture of HEADLESS-1 through the desktop portal: the portal shared another output ' +
      'than HEADLESS-1 (640x480 at 0,0): 320x240 at 640,0; frames are zero-filled']);
  });
});
