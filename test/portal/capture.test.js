'use strict';
// The capture through the desktop portal (CORVANE_BACKEND=portal), on a desktop of the test's own:
// the real xdg-desktop-portal frontend on a private session bus, a ScreenCast back end of ours
// behind it, PipeWire with WirePlumber, and a PipeWire source of the test picture.
const { describe, it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const { spawnSync } = require('node:child_process');
const { corvane } = require('../support/binding');
const { runChildAsync } = require('../support/child');
const { waitFor, captureUntil } = require('../support/capture');
const { expectedFrame, firstDifference } = require('../support/picture');
const { startPortalDesktop } = require('../support/portal');

const output = 'HEADLESS-1';
const [width, height] = [800, 600];
const line = (why) => `capture of ${output} through the desktop portal: ${why}`;

// A capture of a small area for `ms` in a child process: how many frames, their sizes, whether
// all were zero, the time the stop took, and what the child wrote on standard error.
async function childCapture(env, { ms = 1500, spawnWith } = {}) {
  const script = `
    const frames = [];
    corvane.startCaptureScreen((f) => frames.push(f), { displayId: '${output}', width: 64, height: 48 }, 50, 4);
    setTimeout(() => {
      const start = process.hrtime.bigint();
      corvane.stopCaptureScreen();
      const stopMs = Number(process.hrtime.bigint() - start) / 1e6;
      console.log(JSON.stringify({ count: frames.length, sizes: [...new Set(frames.map((f) => f.length))],
        zero: frames.every((f) => f.every((b) => b === 0)), stopMs }));
    }, ${ms});`;
  const child = await runChildAsync(script, { env, spawnWith });
  assert.equal(child.status, 0, child.stderr);
  return { ...JSON.parse(child.stdout), lines: child.stderr.split('\n').filter(Boolean) };
}

// expectedLine: how the line begins; it ends with what the frames are.
function assertZeroFramesAndOneLine(result, expectedLine) {
  assert.ok(result.count >= 10, `${result.count} frames`);
  assert.deepEqual(result.sizes, [16 * 12 * 3]);
  assert.ok(result.zero, 'every frame zero-filled');
  const [first = ''] = result.lines;
  assert.ok(expectedLine.test(first) && first.endsWith('; frames are zero-filled'), `stderr: ${result.lines.join(' / ')}`);
  assert.equal(result.lines.length, 1, `stderr: ${result.lines.join(' / ')}`);
}

describe('through the portal, with PipeWire', () => {
  let desktop;
  const saved = { ...process.env };
  before(async () => {
    desktop = await startPortalDesktop({ output, area: [0, 0, width, height] });
    Object.assign(process.env, desktop.env);
  });
  after(async () => {
    process.env = saved;
    await desktop?.close();
  });

  it('delivers the shared picture byte for byte in each layout it reads, at several rates and past the stream\'s edge', async () => {
    const origin = { x: 0, y: 0 };
    const monitor = { x: 0, y: 0 };
    for (const format of ['BGRx', 'BGRA', 'RGBx', 'RGBA']) {
      await desktop.showPicture(width, height, { format });
      for (const [w, h, rate] of [[width, height, 1], [width, height, 3], [width + 21, height + 13, 8]]) {
        const expected = expectedFrame(origin, monitor, w, h, rate, { width, height });
        const frame = await captureUntil(expected, { displayId: output, width: w, height: h }, rate);
        assert.ok(frame?.equals(expected), `${format} ${w}x${h} at rate ${rate}: first difference at ${
          frame ? firstDifference(frame, expected, w, rate) : 'no frame'}`);
      }
    }
  });

  it('saves the restore token and hands it to the portal on the next start, which the back end then sees', async () => {
    await desktop.showPicture(width, height);
    fs.rmSync(desktop.tokenFile(), { force: true });
    const expected = expectedFrame({ x: 0, y: 0 }, { x: 0, y: 0 }, 64, 48, 4);
    const display = { displayId: output, width: 64, height: 48 };
    assert.ok((await captureUntil(expected, display, 4))?.equals(expected));
    const first = fs.readFileSync(desktop.tokenFile(), 'utf8');
    assert.ok(first.length > 0);
    assert.equal(fs.statSync(desktop.tokenFile()).mode & 0o777, 0o600);
    const before = desktop.calls().filter((c) => c.call === 'SelectSources').at(-1);
    assert.equal(before.options.restore_data, undefined, 'no restore data without a token');
    assert.equal(before.options.persist_mode, 2);

    assert.ok((await captureUntil(expected, display, 4))?.equals(expected));
    const again = desktop.calls().filter((c) => c.call === 'SelectSources').at(-1);
    assert.deepEqual(again.options.restore_data, ['corvane-test', 1, output]);
    assert.ok(fs.readFileSync(desktop.tokenFile(), 'utf8').length > 0, 'the token of this start is kept for the next');
  });

  it('hands over a saved token without the newline after it, and asks again without one the portal refuses', async () => {
    await desktop.showPicture(width, height);
    const expected = expectedFrame({ x: 0, y: 0 }, { x: 0, y: 0 }, 64, 48, 4);
    const display = { displayId: output, width: 64, height: 48 };
    const selections = () => desktop.calls().filter((c) => c.call === 'SelectSources');
    assert.ok((await captureUntil(expected, display, 4))?.equals(expected));
    fs.writeFileSync(desktop.tokenFile(), `${fs.readFileSync(desktop.tokenFile(), 'utf8')}\n`);
    assert.ok((await captureUntil(expected, display, 4))?.equals(expected));
    assert.deepEqual(selections().at(-1).options.restore_data, ['corvane-test', 1, output], 'the token was taken');

    fs.writeFileSync(desktop.tokenFile(), 'not a token');
    const asked = selections().length;
    const child = await runChildAsync(`
      corvane.startCaptureScreen((f) => {
        if (!f.equals(Buffer.from('${expected.toString('hex')}', 'hex'))) return;
        corvane.stopCaptureScreen();
      }, ${JSON.stringify(display)}, 20, 4);`, { env: desktop.env });
    assert.equal(child.status, 0, child.stderr);
    assert.equal(selections().length, asked + 1, 'the refused request is not passed on; the one without a token is');
    assert.equal(selections().at(-1).options.restore_data, undefined);
    assert.match(child.stderr, new RegExp(`^${line('the saved restore token was refused \\(SelectSources failed \\(.*\\)\\); asking again')}\n$`));
    assert.notEqual(fs.readFileSync(desktop.tokenFile(), 'utf8'), 'not a token', 'the new token replaced it');
  });

  it('gives zero-filled frames and one line when the user refuses, and when the stream is in a layout it does not read', async () => {
    await desktop.showPicture(width, height);
    desktop.answer('refuse');
    assertZeroFramesAndOneLine(await childCapture(desktop.env), new RegExp(`^${line('the user refused to share the screen')}; frames are zero-filled$`));
    // The link is never made; after a while the capture says so.
    await desktop.showPicture(width, height, { format: 'RGB' });
    assertZeroFramesAndOneLine(await childCapture(desktop.env, { ms: 6500 }),
      new RegExp(`^${line('no frame came from the PipeWire stream within 5 s \\(its state: .*no video format agreed')}`));
  });

  it('stops at once while the portal has not answered, and closes its session when it stops', async () => {
    desktop.answer('never');
    const result = await childCapture(desktop.env, { ms: 1000 });
    assert.ok(result.zero && result.count > 0);
    // The portal waits up to minutes on the user; the stop must not.
    assert.ok(result.stopMs < 1000, `the stop took ${result.stopMs} ms`);
    assert.deepEqual(result.lines, []);
    await desktop.showPicture(width, height);
    const closes = desktop.calls().filter((c) => c.call === 'Close').length;
    await childCapture(desktop.env, { ms: 1000 });
    await waitFor(() => desktop.calls().filter((c) => c.call === 'Close').length > closes, 'the session closed', 5000);
  });

  it('gives zero-filled frames and one line when PipeWire is gone', async () => {
    await desktop.showPicture(width, height);
    await desktop.stopPipeWire();
    assertZeroFramesAndOneLine(await childCapture(desktop.env), new RegExp(`^${line('OpenPipeWireRemote failed')}`));
  });
});

describe('without a portal', () => {
  let desktop;
  before(async () => (desktop = await startPortalDesktop({ portal: false, pipewire: false })));
  after(() => desktop?.close());

  it('gives zero-filled frames and one line, on a bus without it and without a bus', async () => {
    assertZeroFramesAndOneLine(await childCapture(desktop.env),
      new RegExp(`^${line('the desktop portal\'s ScreenCast failed \\(org.freedesktop.DBus.Error.ServiceUnknown')}`));
    const noBus = { ...desktop.env, DBUS_SESSION_BUS_ADDRESS: `unix:path=${desktop.dir}/nobody-here` };
    assertZeroFramesAndOneLine(await childCapture(noBus), new RegExp(`^${line('no session bus')}`));
  });

  it('gives zero-filled frames and one line without libpipewire, before asking the portal anything', async () => {
    // The library hidden in a mount namespace of the child's own.
    const library = spawnSync('sh', ['-c', 'ldconfig -p | grep -o "/.*libpipewire-0.3.so.0$" | head -1'], { encoding: 'utf8' }).stdout.trim();
    assert.ok(library, 'libpipewire-0.3.so.0 is installed');
    const spawnWith = (command, args) => ['unshare', ['-m', 'sh', '-c', `mount --bind /dev/null ${library} && exec "$0" "$@"`, command, ...args]];
    assertZeroFramesAndOneLine(await childCapture(desktop.env, { spawnWith }), new RegExp(`^${line('PipeWire is missing')}`));
  });
});
