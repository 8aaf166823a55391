'use strict';
// The shutdown hook on simulated windows. A hook keeps its process alive for good, so each case
// runs in a child process that reports and exits.
const { describe, it } = require('node:test');
const assert = require('node:assert/strict');
const { corvane } = require('../support/binding');
const { runChild, reportWhen } = require('../support/child');

const WM_QUERYENDSESSION = 0x11;
const WM_ENDSESSION = 0x16;

// Runs body in a child, where `sim` is the simulator and `report(value)` prints value and exits.
function inChild(body) {
  const child = runChild(`
    const sim = corvane.simulator;
    const report = (value) => { console.log(JSON.stringify(value)); process.exit(0); };
    ${reportWhen}
    ${body}
  `);
  assert.equal(child.status, 0, child.stderr);
  return JSON.parse(child.stdout);
}

describe('shutdownHandler arguments', () => {
  it('needs a Buffer first, and changes nothing otherwise', () => {
    for (const args of [[], ['handle'], [42], [null], [{}], [[1, 2, 3, 4, 5, 6, 7, 8]]]) {
      assert.throws(() => corvane.shutdownHandler(...args, () => {}), {
        constructor: TypeError,
        message: 'Expected first argument to be a buffer',
      });
    }
  });

  it('reads nothing past the end of a Buffer shorter than 8 bytes', () => {
    for (const handle of [Buffer.alloc(0), Buffer.alloc(7), new Uint8Array(4), Buffer.alloc(16).subarray(10, 15)]) {
      assert.throws(() => corvane.shutdownHandler(handle, () => {}), {
        constructor: TypeError,
        message: 'Expected the buffer to hold a window handle of 8 bytes',
      });
    }
  });
});

describe('hooking a window', () => {
  it('asks to hear of the end first, gives the window of the first 8 bytes our reason, calls back once with the global object, and returns undefined', () => {
    const result = inChild(`
      const window = sim.createWindow(7);
      sim.takeCalls();
      const calls = [];
      const returned = corvane.shutdownHandler(Buffer.concat([window, Buffer.from([9, 9])]), function (text) {
        calls.push({ text, global: this === globalThis, count: arguments.length });
      });
      report({ returned: returned === undefined, calls, window: String(window.readBigUInt64LE()), platform: sim.takeCalls() });
    `);
    assert.equal(result.returned, true);
    assert.deepEqual(result.calls, [{ text: 'ShutdownHandler Initial...', global: true, count: 1 }]);
    assert.ok(result.platform.includes('SetProcessShutdownParameters(0x3FF, 0)'), result.platform.join('\n'));
    const reasons = result.platform.filter((c) => c.startsWith('ShutdownBlockReasonCreate('));
    assert.deepEqual(reasons, [`ShutdownBlockReasonCreate(window${result.window}, Turning off the lights)`]);
  });

  it('refuses each session end query and tells the callback later, once per query', () => {
    const result = inChild(`
      const window = sim.createWindow(5);
      const told = [];
      corvane.shutdownHandler(window, function (text) { 'use strict'; told.push({ text, self: this === undefined ? 'undefined' : 'other' }); });
      const answers = [sim.sendMessage(window, ${WM_QUERYENDSESSION}, 0, 0), sim.sendMessage(window, ${WM_QUERYENDSESSION}, 0, 1)];
      const toldAtOnce = told.length;
      reportWhen(() => told.length >= 3, () => ({ answers, toldAtOnce, told, reached: sim.windowMessages(window) }));
    `);
    assert.deepEqual(result.answers, [0, 0]);
    assert.equal(result.toldAtOnce, 1, 'only the initial call is synchronous');
    assert.deepEqual(result.told.slice(1), [
      { text: 'SHUTDOWN', self: 'undefined' },
      { text: 'SHUTDOWN', self: 'undefined' },
    ]);
    assert.deepEqual(result.reached, [], 'the query never reaches the window');
  });

  it('passes every other message on unchanged and returns its answer', () => {
    const result = inChild(`
      const window = sim.createWindow(-42);
      corvane.shutdownHandler(window, () => {});
      const answers = [sim.sendMessage(window, 0x0400, 12, -34), sim.sendMessage(window, ${WM_ENDSESSION}, 0, 5)];
      report({ answers, reached: sim.windowMessages(window) });
    `);
    assert.deepEqual(result.answers, [-42, -42]);
    assert.deepEqual(result.reached, [[0x0400, 12, -34], [WM_ENDSESSION, 0, 5]]);
  });

  it('holds a real end of the session for 4000 ms before passing it on', () => {
    const result = inChild(`
      const window = sim.createWindow(3);
      corvane.shutdownHandler(window, () => {});
      sim.takeCalls();
      const started = Date.now();
      const answer = sim.sendMessage(window, ${WM_ENDSESSION}, 1, 0);
      report({ answer, waited: Date.now() - started, calls: sim.takeCalls() });
    `);
    assert.equal(result.answer, 3);
    assert.ok(result.waited >= 3990, `waited ${result.waited} ms`);
    assert.equal(result.calls[0], 'Sleep(4000)');
  });

  it('with a callback that is not a function: throws, yet hooks the window, which refuses quietly', () => {
    const result = inChild(`
      const window = sim.createWindow(1);
      let error;
      try { corvane.shutdownHandler(window, 'not a function'); } catch (e) { error = e.constructor.name + ': ' + e.message; }
      report({ error, answer: sim.sendMessage(window, ${WM_QUERYENDSESSION}, 0, 0), reached: sim.windowMessages(window) });
    `);
    assert.equal(result.error, 'TypeError: Expected the second argument to be a function');
    assert.equal(result.answer, 0);
    assert.deepEqual(result.reached, []);
  });

  it('lets an exception of the initial call through, with the hook installed', () => {
    const result = inChild(`
      const window = sim.createWindow(1);
      let error;
      try { corvane.shutdownHandler(window, () => { throw new RangeError('from the callback'); }); } catch (e) { error = e.message; }
      report({ error, answer: sim.sendMessage(window, ${WM_QUERYENDSESSION}, 0, 0) });
    `);
    assert.deepEqual(result, { error: 'from the callback', answer: 0 });
  });
});

describe('an exception thrown when told "SHUTDOWN"', () => {
  it('reaches the uncaughtException handler as the very Error, and the hook refuses the next query too', () => {
    const result = inChild(`
      const window = sim.createWindow(5);
      const errors = [];
      const handled = [];
      const answers = [];
      process.on('uncaughtException', (error) => {
        handled.push(error === errors.at(-1));
        if (handled.length === 1) answers.push(sim.sendMessage(window, ${WM_QUERYENDSESSION}, 0, 0));
        else report({ handled, answers });
      });
      corvane.shutdownHandler(window, (text) => {
        if (text !== 'SHUTDOWN') return;
        errors.push(new Error('thrown when told'));
        throw errors.at(-1);
      });
      answers.push(sim.sendMessage(window, ${WM_QUERYENDSESSION}, 0, 0));
    `);
    assert.deepEqual(result, { handled: [true, true], answers: [0, 0] });
  });

  it('ends the process with the stack when no handler is set', () => {
    const child = runChild(`
      const window = corvane.simulator.createWindow(5);
      corvane.shutdownHandler(window, function thrower(text) { if (text === 'SHUTDOWN') throw new Error('thrown when told'); });
      corvane.simulator.sendMessage(window, ${WM_QUERYENDSESSION}, 0, 0);
    `);
    assert.equal(child.status, 1, child.stderr);
    assert.match(child.stderr, /Error: thrown when told\n\s+at thrower /);
  });
});

describe('hooking again', () => {
  it('never makes the hook its own previous procedure, and tells only the latest callback', () => {
    const result = inChild(`
      const window = sim.createWindow(11);
      const told = [];
      corvane.shutdownHandler(window, (text) => told.push('first ' + text));
      corvane.shutdownHandler(window, (text) => told.push('second ' + text));
      const answer = sim.sendMessage(window, 0x0401, 1, 2);
      sim.sendMessage(window, ${WM_QUERYENDSESSION}, 0, 0);
      reportWhen(() => told.length >= 3, () => ({ answer, told, reached: sim.windowMessages(window) }));
    `);
    assert.equal(result.answer, 11);
    assert.deepEqual(result.reached, [[0x0401, 1, 2]]);
    assert.deepEqual(result.told, ['first ShutdownHandler Initial...', 'second ShutdownHandler Initial...', 'second SHUTDOWN']);
  });

  it("passes the messages of each hooked window to that window's own procedure", () => {
    const result = inChild(`
      const a = sim.createWindow(100);
      const b = sim.createWindow(200);
      corvane.shutdownHandler(a, () => {});
      corvane.shutdownHandler(b, () => {});
      report({ answers: [sim.sendMessage(a, 0x0402, 1, 1), sim.sendMessage(b, 0x0402, 2, 2)], a: sim.windowMessages(a), b: sim.windowMessages(b) });
    `);
    assert.deepEqual(result, { answers: [100, 200], a: [[0x0402, 1, 1]], b: [[0x0402, 2, 2]] });
  });

  it("sends a message that arrives while the hook is installed to the window's previous procedure", () => {
    const result = inChild(`
      const window = sim.createWindow(9);
      sim.raceOnInstall(window, 0x0403);
      corvane.shutdownHandler(window, () => {});
      report({ reached: sim.windowMessages(window), calls: sim.takeCalls().filter((c) => c.startsWith('CallWindowProcA')) });
    `);
    assert.deepEqual(result.reached, [[0x0403, 0, 0]]);
    assert.ok(result.calls.every((c) => !c.includes('NULL')), result.calls.join('\n'));
  });
});
