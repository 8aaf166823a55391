'use strict';
// A capture still running when its process, its Worker or the module goes away.
const { describe, it } = require('node:test');
const assert = require('node:assert/strict');
const { file } = require('./support/binding');
const { runChild } = require('./support/child');

const startCapture = `
  const display = corvane.getMonitors().find((m) => m.isPrimary);
  corvane.startCaptureScreen(() => {}, display, 0, 16);
`;

describe('a capture that is never stopped', () => {
  it('lets process.exit() end the process with its code, while grabbing or pausing', () => {
    for (const interval of [0, 1000]) {
      const child = runChild(`${startCapture.replace(', 0, 16)', `, ${interval}, 16)`)} setTimeout(() => process.exit(7), 100);`);
      assert.equal(child.signal, null);
      assert.equal(child.status, 7, `interval ${interval}: ${child.stderr}`);
    }
  });

  it('lets an uncaught exception after the start end the process as usual', () => {
    const child = runChild(`${startCapture} setTimeout(() => { throw new Error('later'); }, 50);`);
    assert.equal(child.signal, null);
    assert.equal(child.status, 1);
    assert.match(child.stderr, /later/);
  });

  it('ends with a Worker that started it, and the process goes on', () => {
    const child = runChild(`
      const { Worker } = require('node:worker_threads');
      let frames = 0;
      const worker = new Worker(\`
        const { parentPort } = require('node:worker_threads');
        const corvane = require(\${JSON.stringify(${JSON.stringify(file)})});
        const display = corvane.getMonitors().find((m) => m.isPrimary);
        // A slow callback: the capture's thread waits for room when the Worker ends.
        corvane.startCaptureScreen(() => {
          parentPort.postMessage('frame');
          const until = Date.now() + 20;
          while (Date.now() < until);
        }, display, 0, 16);
      \`, { eval: true });
      worker.on('message', () => {
        if (++frames === 3) worker.terminate();
      });
      worker.on('exit', () => {
        // The module goes on working in the main thread.
        corvane.startCaptureScreen(() => { corvane.stopCaptureScreen(); console.log('main ok after', frames); },
          corvane.getMonitors()[0], 0, 16);
      });
    `);
    assert.equal(child.signal, null);
    assert.equal(child.status, 0, child.stderr);
    assert.match(child.stdout, /main ok after \d+/);
  });

  it('ends with a Worker that alone loaded the module, which is then unloaded', () => {
    const child = runChild(`
      const { Worker } = require('node:worker_threads');
      for (let i = 0; i < 3; i++) {
        const worker = new Worker(\`
          const corvane = require(\${JSON.stringify(${JSON.stringify(file)})});
          const display = corvane.getMonitors().find((m) => m.isPrimary);
          corvane.startCaptureMultiScreens(() => process.exit(0), [display], 0, 16);
        \`, { eval: true });
        worker.on('exit', (code) => console.log('worker exit', code));
      }
    `, { load: false });
    assert.equal(child.signal, null);
    assert.equal(child.status, 0, child.stderr);
    assert.equal(child.stdout.match(/worker exit 0/g)?.length, 3, child.stdout);
  });
});
