'use strict';
// The shutdown hook on a real window under Wine, owned by a thread of its own as an application's
// window is. A hook keeps its process alive for good, so each case runs in a child process.
const { it } = require('node:test');
const assert = require('node:assert/strict');
const { file, packageDir } = require('../support/binding');
const { runChild, reportWhen } = require('../support/child');

const WM_QUERYENDSESSION = 0x11;
const WM_ENDSESSION = 0x16;

function inChild(body, options) {
  const child = runChild(`
    const windows = require(${JSON.stringify(process.env.CORVANE_WINDOW_FIXTURE)});
    const report = (value) => { require('fs').writeSync(1, JSON.stringify(value) + '\\n'); process.exit(0); };
    ${reportWhen}
    ${body}
  `, options);
  assert.equal(child.status, 0, `${child.signal ?? ''} ${child.stderr}`);
  return JSON.parse(child.stdout.trim().split(/\r?\n/).pop());
}

it('refuses session end queries, tells the callback once per query, and passes other messages on', () => {
  const result = inChild(`
    const window = windows.createWindow();
    const told = [];
    corvane.shutdownHandler(window, function (text) { 'use strict'; told.push([text, this === undefined]); });
    const answers = {
      query: [windows.sendMessage(window, ${WM_QUERYENDSESSION}, 0, 0), windows.sendMessage(window, ${WM_QUERYENDSESSION}, 0, 0)],
      user: windows.sendMessage(window, 0x0400, 12, -34),
    };
    let started = Date.now();
    answers.cancelled = windows.sendMessage(window, ${WM_ENDSESSION}, 0, 0);
    const cancelledMs = Date.now() - started;
    started = Date.now();
    answers.ending = windows.sendMessage(window, ${WM_ENDSESSION}, 1, 0);
    const endingMs = Date.now() - started;
    reportWhen(() => told.length >= 3, () => ({ answers, told, cancelledMs, endingMs, reached: windows.messages(window) }));
  `);
  assert.deepEqual(result.answers, { query: [0, 0], user: 77, cancelled: 77, ending: 77 });
  assert.deepEqual(result.told, [
    ['ShutdownHandler Initial...', false],
    ['SHUTDOWN', true],
    ['SHUTDOWN', true],
  ]);
  assert.deepEqual(result.reached, [[0x0400, 12, -34], [WM_ENDSESSION, 0, 0], [WM_ENDSESSION, 1, 0]]);
  assert.ok(result.cancelledMs < 1000, `a cancelled end took ${result.cancelledMs} ms`);
  assert.ok(result.endingMs >= 3990, `a real end was held ${result.endingMs} ms`);
});

it('hands a throw of the callback when told "SHUTDOWN" to the uncaughtException handler, and refuses the next query too', () => {
  const result = inChild(`
    const window = windows.createWindow();
    const errors = [];
    const handled = [];
    const answers = [];
    process.on('uncaughtException', (error) => {
      handled.push(error === errors.at(-1));
      if (handled.length === 1) answers.push(windows.sendMessage(window, ${WM_QUERYENDSESSION}, 0, 0));
      else report({ handled, answers });
    });
    corvane.shutdownHandler(window, (text) => {
      if (text !== 'SHUTDOWN') return;
      errors.push(new Error('thrown when told'));
      throw errors.at(-1);
    });
    answers.push(windows.sendMessage(window, ${WM_QUERYENDSESSION}, 0, 0));
  `);
  assert.deepEqual(result, { handled: [true, true], answers: [0, 0] });
  const child = runChild(`
    const windows = require(${JSON.stringify(process.env.CORVANE_WINDOW_FIXTURE)});
    const window = windows.createWindow();
    corvane.shutdownHandler(window, function thrower(text) { if (text === 'SHUTDOWN') throw new Error('thrown when told'); });
    windows.sendMessage(window, ${WM_QUERYENDSESSION}, 0, 0);
  `);
  assert.equal(child.status, 1, child.stderr);
  assert.match(child.stderr, /Error: thrown when told\r?\n\s+at thrower /);
});

it('hooks a window twice and two windows, each passing its messages to its own procedure', () => {
  const result = inChild(`
    const a = windows.createWindow();
    const b = windows.createWindow();
    const told = [];
    corvane.shutdownHandler(a, (text) => told.push('first ' + text));
    corvane.shutdownHandler(a, (text) => told.push('second ' + text));
    corvane.shutdownHandler(b, (text) => told.push('third ' + text));
    const answers = [windows.sendMessage(a, 0x0401, 1, 1), windows.sendMessage(b, 0x0401, 2, 2), windows.sendMessage(a, ${WM_QUERYENDSESSION}, 0, 0)];
    reportWhen(() => told.includes('third SHUTDOWN'), () => ({ answers, told, a: windows.messages(a), b: windows.messages(b) }));
  `);
  assert.deepEqual(result.answers, [77, 77, 0]);
  assert.deepEqual(result.a, [[0x0401, 1, 1]]);
  assert.deepEqual(result.b, [[0x0401, 2, 2]]);
  assert.deepEqual(result.told.slice(-1), ['third SHUTDOWN']);
});

it('leaves a window hooked once when another subclass wrapped it before a second call', () => {
  const result = inChild(`
    const window = windows.createWindow();
    const told = [];
    corvane.shutdownHandler(window, (text) => told.push('first ' + text));
    windows.subclassWindow(window);
    corvane.shutdownHandler(window, (text) => told.push('second ' + text));
    const answers = [windows.sendMessage(window, 0x0402, 5, 6), windows.sendMessage(window, ${WM_QUERYENDSESSION}, 0, 0)];
    reportWhen(() => told.includes('second SHUTDOWN'), () => ({ answers, told, reached: windows.messages(window) }));
  `);
  assert.deepEqual(result.answers, [77, 0]);
  assert.deepEqual(result.reached, [[0x0402, 5, 6]]);
  assert.deepEqual(result.told.slice(-1), ['second SHUTDOWN']);
});

// A Worker hooks a window of the main thread's and ends; the main thread then sends the window
// the session messages. The module may be loaded by that Worker alone.
function afterWorkerHooked({ mainLoads, ending }) {
  const modulePath = JSON.stringify(packageDir ?? file);
  return inChild(
    `
    const { Worker } = require('node:worker_threads');
    const window = windows.createWindow();
    const told = [];
    if (${mainLoads}) require(${modulePath}).shutdownHandler(window, (text) => told.push('main ' + text));
    const worker = new Worker(\`
      const { parentPort, workerData } = require('node:worker_threads');
      require(\${JSON.stringify(${modulePath})}).shutdownHandler(Buffer.from(workerData), () => {});
      parentPort.postMessage('hooked');
      ${ending === 'exit' ? 'setTimeout(() => process.exit(0), 20);' : ''}
    \`, { eval: true, workerData: window });
    ${ending === 'terminate' ? "worker.once('message', () => worker.terminate());" : ''}
    worker.once('exit', () => setTimeout(() => {
      const answers = [windows.sendMessage(window, ${WM_QUERYENDSESSION}, 0, 0), windows.sendMessage(window, 0x0403, 1, 2)];
      const started = Date.now();
      answers.push(windows.sendMessage(window, ${WM_ENDSESSION}, 1, 0));
      const heldMs = Date.now() - started;
      reportWhen(() => ${mainLoads} ? told.length >= 2 : true, () => ({ answers, heldMs, told, reached: windows.messages(window) }));
    }, 100));
  `,
    { load: false },
  );
}

it('keeps a window that a Worker hooked refusing after the Worker ended, with the module loaded by it alone', () => {
  const result = afterWorkerHooked({ mainLoads: false, ending: 'terminate' });
  assert.deepEqual(result.answers, [0, 77, 77]);
  assert.ok(result.heldMs >= 3990, `a real end was held ${result.heldMs} ms`);
  assert.deepEqual(result.reached, [[0x0403, 1, 2], [WM_ENDSESSION, 1, 0]]);
});

it("tells the main thread's callback again once a Worker that hooked later has exited", () => {
  const result = afterWorkerHooked({ mainLoads: true, ending: 'exit' });
  assert.deepEqual(result.answers, [0, 77, 77]);
  assert.deepEqual(result.told, ['main ShutdownHandler Initial...', 'main SHUTDOWN']);
});
