'use strict';
// What shutdownHandler makes of its first argument, on real windows under Wine. A hook keeps its
// process alive for good, so each case runs in a child process.
const { it } = require('node:test');
const assert = require('node:assert/strict');
const { runChild, reportWhen } = require('../support/child');

const WM_QUERYENDSESSION = 0x11;

function inChild(body) {
  const child = runChild(`
    const windows = require(${JSON.stringify(process.env.CORVANE_WINDOW_FIXTURE)});
    const report = (value) => { require('fs').writeSync(1, JSON.stringify(value) + '\\n'); process.exit(0); };
    ${reportWhen}
    ${body}
  `);
  assert.equal(child.status, 0, child.stderr);
  return JSON.parse(child.stdout.trim().split(/\r?\n/).pop());
}

it('refuses a first argument that is not a Buffer and leaves the window unhooked', () => {
  const result = inChild(`
    const window = windows.createWindow();
    const told = [];
    const errors = [];
    for (const first of [undefined, 'handle', 42, null, {}, [...window]]) {
      const args = first === undefined ? [] : [first, (text) => told.push(text)];
      try { corvane.shutdownHandler(...args); } catch (e) { errors.push(e.constructor.name + ': ' + e.message); }
    }
    const answer = windows.sendMessage(window, ${WM_QUERYENDSESSION}, 0, 0);
    setTimeout(() => report({ errors, answer, told, reached: windows.messages(window) }), 100);
  `);
  assert.deepEqual(result.errors, new Array(6).fill('TypeError: Expected first argument to be a buffer'));
  assert.deepEqual({ answer: result.answer, told: result.told }, { answer: 77, told: [] });
  assert.deepEqual(result.reached, [[WM_QUERYENDSESSION, 0, 0]]);
});

it('hooks the window whose handle starts a longer Buffer, and returns undefined', () => {
  const result = inChild(`
    const window = windows.createWindow();
    const told = [];
    const returned = corvane.shutdownHandler(Buffer.concat([window, Buffer.from([0xff, 0xff, 0xff])]), (text) => told.push(text));
    const answer = windows.sendMessage(window, ${WM_QUERYENDSESSION}, 0, 0);
    reportWhen(() => told.length >= 2, () => ({ undefinedReturned: returned === undefined, answer, told, reached: windows.messages(window) }));
  `);
  assert.deepEqual(result, { undefinedReturned: true, answer: 0, told: ['ShutdownHandler Initial...', 'SHUTDOWN'], reached: [] });
});
