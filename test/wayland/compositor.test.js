'use strict';
// The backend choice and a compositor that goes away or freezes, on headless sways of the test's
// own; the module runs in child processes on them.
const { describe, it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const crypto = require('node:crypto');
const { startSway } = require('../../scripts/lib/sway');
const { runChild, startChild } = require('../support/child');
const { frameSize, blindLine, blindLines } = require('../support/capture');
const { showPicture, expectedFrame } = require('../support/picture');

const rate = 8;
const digest = (bytes) => crypto.createHash('sha1').update(bytes).digest('hex');
const listed = (env) => {
  const child = runChild('console.log(JSON.stringify(corvane.getMonitors()));', { env });
  assert.equal(child.status, 0, child.stderr);
  return JSON.parse(child.stdout);
};
const names = (monitors) => monitors.map((m) => m.displayId);

describe('the backend', () => {
  let sway;
  // No output at the layout's origin: the first one is primary.
  const outputs = [{ width: 640, height: 480, x: 100, y: 50 }, { width: 800, height: 600, x: 740, y: 0 }];

  before(async () => {
    sway = await startSway(outputs, { xwayland: true });
  });
  after(() => sway?.close());

  it('is Wayland where a compositor answers, X11 (here XWayland) where forced or where none answers', () => {
    const wayland = { ...sway.env, DISPLAY: sway.xDisplay, CORVANE_BACKEND: undefined };
    const chosen = listed(wayland);
    assert.deepEqual(chosen.map(({ aspectRatio, ...m }) => m), [
      { displayId: 'HEADLESS-1', ...outputs[0], widthMM: 0, heightMM: 0, isPrimary: true },
      { displayId: 'HEADLESS-2', ...outputs[1], widthMM: 0, heightMM: 0, isPrimary: false },
    ]);
    assert.deepEqual(listed({ ...wayland, CORVANE_BACKEND: 'wayland' }), chosen);

    const x11 = listed({ ...wayland, WAYLAND_DISPLAY: undefined });
    assert.ok(x11.length > 0 && !names(x11).some((n) => n.startsWith('HEADLESS')), `XWayland's monitors: ${names(x11)}`);
    assert.deepEqual(listed({ ...wayland, CORVANE_BACKEND: 'x11' }), x11);
    assert.deepEqual(listed({ ...wayland, WAYLAND_DISPLAY: 'wayland-nobody' }), x11);
  });

  it('forced to Wayland with no compositor: no monitors, zero-filled frames with one line, and the process ends cleanly', () => {
    // 30 frames, over the capture's tries to connect again every 250 ms.
    const child = runChild(`
      console.log(JSON.stringify(corvane.getMonitors()));
      let frames = 0;
      corvane.startCaptureScreen((frame) => {
        console.log(frame.length, frame.every((b) => b === 0));
        if (++frames === 30) corvane.stopCaptureScreen();
      }, { displayId: 'HEADLESS-1', width: 64, height: 48 }, 20, 4);`,
    { env: { ...sway.env, WAYLAND_DISPLAY: 'wayland-nobody', DISPLAY: sway.xDisplay, CORVANE_BACKEND: 'wayland' } });
    assert.equal(child.status, 0, child.stderr);
    // Frames queued before the stop are still delivered after it.
    const [monitors, ...frames] = child.stdout.trim().split('\n');
    assert.equal(monitors, '[]');
    assert.ok(frames.length >= 30 && frames.every((f) => f === `${frameSize(64, 48, 4)} true`), frames.join());
    assert.deepEqual(blindLines(child.stderr), [blindLine('HEADLESS-1', 'no compositor answers on wayland-nobody', 'wlr-screencopy')]);
  });
});

describe('a compositor that goes away, or freezes, under a running capture', () => {
  const outputs = [{ width: 800, height: 600, x: 0, y: 0 }];
  const monitor = { displayId: 'HEADLESS-1', ...outputs[0] };
  const pictureDigest = digest(expectedFrame({ x: 0, y: 0 }, monitor, monitor.width, monitor.height, rate));
  const zeroDigest = digest(Buffer.alloc(frameSize(monitor.width, monitor.height, rate)));
  let sway;
  let picture;

  const start = async (runtimeDir) => {
    sway = await startSway(outputs, { runtimeDir });
    picture = await showPicture([monitor], { env: sway.env });
  };
  before(() => start());
  after(async () => {
    picture?.stop();
    await sway?.close();
  });

  // Captures the output, sending each frame's digest; when told 'list', lists the monitors,
  // timed; when told 'stop', stops and sends its open files before and after.
  const capturing = `
    const fs = require('node:fs');
    const crypto = require('node:crypto');
    const files = fs.readdirSync('/proc/self/fd').length;
    corvane.startCaptureScreen((frame) => {
      if (!process.connected) return;  // delivered after the stop
      process.send({ at: Date.now(), digest: crypto.createHash('sha1').update(frame).digest('hex') });
    }, ${JSON.stringify(monitor)}, 20, ${rate});
    process.on('message', (m) => {
      if (m === 'list') {
        const start = Date.now();
        const monitors = corvane.getMonitors();
        return process.send({ took: Date.now() - start, monitors });
      }
      corvane.stopCaptureScreen();
      process.send({ files, filesAfter: fs.readdirSync('/proc/self/fd').length });
      process.disconnect();
    });`;

  it('captures on while outputs come and go, gives zeros while it is gone or frozen, waits at most about a second for it, shows it again once back, and says so once per loss', async () => {
    const capture = startChild(capturing, { env: { ...sway.env, CORVANE_BACKEND: undefined } });
    try {
      await capture.next((m) => m.digest === pictureDigest, 'the picture');

      // An output added, then disabled: its global comes and goes on the capture's connection too.
      sway.swaymsg('create_output');
      capture.send('list');
      assert.deepEqual(names((await capture.next((m) => m.monitors, 'the monitors')).monitors), ['HEADLESS-1', 'HEADLESS-2']);
      sway.swaymsg('output', 'HEADLESS-2', 'disable');
      const disabled = Date.now();
      await capture.next((m) => m.digest === pictureDigest && m.at > disabled, 'the picture once it is disabled again');

      process.kill(sway.pid, 'SIGSTOP');
      try {
        capture.send('list');
        const { took, monitors } = await capture.next((m) => m.monitors, 'the monitors of a frozen compositor');
        assert.deepEqual(monitors, []);
        assert.ok(took < 2000, `getMonitors took ${took} ms`);
        await capture.next((m) => m.digest === zeroDigest, 'zeros while frozen');
      } finally {
        process.kill(sway.pid, 'SIGCONT');
      }
      await capture.next((m) => m.digest === pictureDigest, 'the picture once answering again');

      picture.stop();
      process.kill(sway.pid, 'SIGKILL');
      await new Promise((resolve) => sway.process.once('exit', resolve));
      const gone = Date.now();
      await capture.next((m) => m.digest === zeroDigest && m.at > gone, 'zeros while gone');
      await start(sway.dir);
      await capture.next((m) => m.digest === pictureDigest && m.at > gone, 'the picture on the new compositor', 30000);

      capture.send('stop');
      const { files, filesAfter } = await capture.next((m) => m.files, 'the open files');
      assert.equal(filesAfter, files);
      const { code, signal, output } = await capture.exit;
      assert.deepEqual({ code, signal }, { code: 0, signal: null });
      assert.deepEqual(blindLines(output), ['the compositor did not answer within a second', 'the compositor went away']
        .map((why) => blindLine(monitor.displayId, why, 'wlr-screencopy')));
    } finally {
      capture.kill();
    }
  });
});
