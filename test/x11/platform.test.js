'use strict';
// The Linux build without an X server to talk to, and the services it does not have yet.
const { describe, it } = require('node:test');
const assert = require('node:assert/strict');
const { corvane } = require('../support/binding');
const { runChild } = require('../support/child');
const { blindLine, blindLines } = require('../support/capture');

// A child that lists the monitors, captures for 60 frames (over a second at this interval, so the
// capture tries to open its display again several times) and tracks the pointer for a while.
const withoutServer = `
  const result = { monitors: corvane.getMonitors(), frames: [], moves: [] };
  const captured = new Promise((resolve) => {
    corvane.startCaptureScreen((f) => {
      if (result.frames.push([f.length, f.every((b) => b === 0)]) === 60) resolve(corvane.stopCaptureScreen());
    }, { displayId: 'screen', width: 64, height: 30 }, 20, 4);
  });
  const started = Date.now();
  corvane.startMouseTracking((moved) => result.moves.push(moved), 20);
  captured.then(() => {
    corvane.stopMouseTracking();
    result.trackedMs = Date.now() - started;
    console.log(JSON.stringify(result));
  });`;

describe('without an X server', () => {
  for (const [what, DISPLAY, code, why] of [
    ['no DISPLAY set', undefined, 5, 'DISPLAY is not set'],
    ['a display nobody serves', ':4242', 1, 'no X server answers on :4242'],
  ]) {
    it(`lists no monitor, captures black frames with one line and retries the pointer every 100 ms (${what})`, () => {
      const child = runChild(withoutServer, { env: { DISPLAY } });
      assert.equal(child.status, 0, child.stderr);
      const result = JSON.parse(child.stdout);
      assert.deepEqual(result.monitors, []);
      assert.ok(result.frames.length >= 60);
      for (const frame of result.frames) assert.deepEqual(frame, [16 * 8 * 3, true]);
      assert.deepEqual(blindLines(child.stderr), [blindLine('screen', why, 'X11')]);
      assert.deepEqual(result.moves, [], 'no value without a read');
      const lines = child.stderr.split('\n').filter((l) => l.startsWith('GetCursorPos'));
      // A failed read waits 100 ms, not the 20 ms period; the capture's 60 frames take over a second.
      const most = Math.floor(result.trackedMs / 100) + 1;
      assert.ok(lines.length >= 3 && lines.length <= most, `${lines.length} failed reads in ${result.trackedMs} ms`);
      for (const line of lines) assert.equal(line, `GetCursorPos failed! Error: ${code}`);
    });
  }
});
