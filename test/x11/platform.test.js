'use strict';
// The Linux build without an X server to talk to, and the services it does not have yet.
const { describe, it } = require('node:test');
const assert = require('node:assert/strict');
const { corvane } = require('../support/binding');
const { runChild } = require('../support/child');

// A child that lists the monitors, captures twice and tracks the pointer for a while.
const withoutServer = `
  const result = { monitors: corvane.getMonitors(), frames: [], moves: [] };
  corvane.startCaptureScreen((f) => result.frames.push([f.length, f.every((b) => b === 0)]),
                             { displayId: 'screen', width: 64, height: 30 }, 10, 4);
  corvane.startMouseTracking((moved) => result.moves.push(moved), 20);
  setTimeout(() => {
    corvane.stopCaptureScreen();
    corvane.stopMouseTracking();
    console.log(JSON.stringify(result));
  }, 450);`;

describe('without an X server', () => {
  for (const [what, DISPLAY, code] of [['no DISPLAY set', undefined, 5], ['a display nobody serves', ':4242', 1]]) {
    it(`lists no monitor, captures black frames and retries the pointer every 100 ms (${what})`, () => {
      const child = runChild(withoutServer, { env: { DISPLAY } });
      assert.equal(child.status, 0, child.stderr);
      const result = JSON.parse(child.stdout);
      assert.deepEqual(result.monitors, []);
      assert.ok(result.frames.length >= 2);
      for (const frame of result.frames) assert.deepEqual(frame, [16 * 8 * 3, true]);
      assert.deepEqual(result.moves, [], 'no value without a read');
      const lines = child.stderr.split('\n').filter((l) => l.startsWith('GetCursorPos'));
      // A failed read waits 100 ms, not the 20 ms period: about 5 reads in 450 ms.
      assert.ok(lines.length >= 3 && lines.length <= 6, `${lines.length} failed reads`);
      for (const line of lines) assert.equal(line, `GetCursorPos failed! Error: ${code}`);
    });
  }
});
