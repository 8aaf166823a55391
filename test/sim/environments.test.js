'use strict';
// A Worker that starts every service, hooks a window and then ends, in each way a Worker can end.
// What it leaves behind must be safe for the process that lives on: the window still refuses the
// end of the session, a callback of a live environment is told, and no queue is left open.
const { describe, it } = require('node:test');
const assert = require('node:assert/strict');
const { file } = require('../support/binding');
const { runChildAsync } = require('../support/child');

const WM_QUERYENDSESSION = 0x11;
const WM_ENDSESSION = 0x16;

// ending: JavaScript run in the Worker once everything has started, or in the main thread
// (`worker` is the Worker) when it starts with 'main:'.
async function workerThatEnds(ending, { mainHooksFirst = false, nodeOptions = [] } = {}) {
  const inWorker = ending.startsWith('main:') ? '' : ending;
  const inMain = ending.startsWith('main:') ? ending.slice(5) : '';
  const child = await runChildAsync(
    `
    const { Worker } = require('node:worker_threads');
    const sim = corvane.simulator;
    const window = sim.createWindow(7);
    const told = [];
    if (${mainHooksFirst}) corvane.shutdownHandler(window, (text) => told.push('main ' + text));
    const queuesBefore = sim.liveQueues();
    const worker = new Worker(\`
      const corvane = require(\${JSON.stringify(${JSON.stringify(file)})});
      const { parentPort, workerData } = require('node:worker_threads');
      corvane.shutdownHandler(Buffer.from(workerData), (text) => {
        if (text === 'SHUTDOWN') throw new Error('the Worker fails in its callback');
      });
      corvane.startCaptureScreen(() => {}, { displayId: '\\\\\\\\.\\\\DISPLAY1', width: 64, height: 48 }, 2, 4);
      corvane.startMouseTracking(() => {}, 2);
      corvane.startStream(() => {}, 2);
      setTimeout(() => parentPort.postMessage('running'), 30);
      \${${JSON.stringify(inWorker)}}
    \`, { eval: true, workerData: window });
    worker.on('error', () => {});
    worker.on('message', () => { ${inMain} });
    worker.on('exit', () => setTimeout(() => {
      const answers = [sim.sendMessage(window, ${WM_QUERYENDSESSION}), sim.sendMessage(window, 0x0400, 3, 4)];
      const started = Date.now();
      answers.push(sim.sendMessage(window, ${WM_ENDSESSION}, 1, 0));
      const heldMs = Date.now() - started;
      setTimeout(() => {
        console.log(JSON.stringify({ answers, heldMs, told, queuesBefore, queuesAfter: sim.liveQueues(),
                                     reached: sim.windowMessages(window), stillRunning: [corvane.stopStream()] }));
        process.exit(0);
      }, 50);
    }, 50));
  `,
    { nodeOptions },
  );
  assert.equal(child.status, 0, `the process must live on: ${child.signal ?? ''} ${child.stderr}`);
  return JSON.parse(child.stdout);
}

describe('a Worker that hooked a window and started every service, then ended', { concurrency: true }, () => {
  const endings = {
    'terminated by the main thread': ['main: worker.terminate();'],
    'by process.exit() inside it': ['setTimeout(() => process.exit(3), 40);'],
    // The main thread asks to end the session; the Worker's callback throws, which ends it.
    'by an exception its callback throws': [`main: sim.sendMessage(window, ${WM_QUERYENDSESSION});`],
  };
  for (const [how, [ending, options]] of Object.entries(endings)) {
    it(`leaves the window refusing, nothing queued for it, and no queue open (${how})`, async () => {
      const result = await workerThatEnds(ending, options);
      assert.deepEqual(result.answers, [0, 7, 7]);
      assert.ok(result.heldMs >= 3990, `a real end was held ${result.heldMs} ms`);
      assert.deepEqual(result.reached, [[0x0400, 3, 4], [WM_ENDSESSION, 1, 0]]);
      assert.deepEqual(result.told, []);
      assert.equal(result.queuesBefore, 0);
      assert.equal(result.queuesAfter, 0, 'every queue of the Worker is finalized');
      assert.deepEqual(result.stillRunning, [false], 'the stream ended with its Worker');
    });
  }

  it('tells the callback of the main thread again, whose hook came first', async () => {
    const result = await workerThatEnds('setTimeout(() => process.exit(0), 40);', {
      mainHooksFirst: true,
    });
    assert.deepEqual(result.answers, [0, 7, 7]);
    assert.deepEqual(result.told, ['main ShutdownHandler Initial...', 'main SHUTDOWN']);
    assert.equal(result.queuesAfter, result.queuesBefore, "the main thread's queue alone is left");
  });
});
