'use strict';
// What every periodic service does with its callback: a throw reaches the host's handling of
// uncaught exceptions, a slow callback slows the service down instead of piling values up, and the
// application's own timers run between deliveries. Each case runs in a child process, which ends
// on its own once nothing of the module's is left to deliver.
const { describe, it } = require('node:test');
const assert = require('node:assert/strict');
const { runChildAsync } = require('./support/child');

const display = `(corvane.getMonitors().find((m) => m.isPrimary) ?? { displayId: 'none', width: 64, height: 48 })`;
const services = {
  'single capture': { start: (cb) => `corvane.startCaptureScreen(${cb}, ${display}, 0, 16)`, stop: 'corvane.stopCaptureScreen()' },
  'multi capture': { start: (cb) => `corvane.startCaptureMultiScreens(${cb}, [${display}], 0, 16)`, stop: 'corvane.stopCaptureMultiScreens()' },
  pointer: { start: (cb) => `corvane.startMouseTracking(${cb}, 1)`, stop: 'corvane.stopMouseTracking()' },
  audio: { start: (cb) => `corvane.startStream(${cb}, 1)`, stop: 'corvane.stopStream()' },
};

// Runs the script and parses what it printed last, at its exit.
async function reportOf(script) {
  const child = await runChildAsync(`${script}\nprocess.on('exit', () => console.log(JSON.stringify(report)));`);
  assert.equal(child.status, 0, `${child.signal ?? ''} ${child.stderr}`);
  return { ...JSON.parse(child.stdout.trim().split(/\r?\n/).pop()), stderr: child.stderr };
}

const spin = (ms) => `{ const until = Date.now() + ${ms}; while (Date.now() < until); }`;

describe('an exception thrown by a callback', { concurrency: true }, () => {
  for (const [name, { start, stop }] of Object.entries(services)) {
    it(`goes to the uncaughtException handler as the very Error, and the ${name} goes on`, async () => {
      const { handled, thrown, stderr } = await reportOf(`
        const errors = [];
        const report = { handled: [], thrown: 0 };
        process.on('uncaughtException', (error) => {
          report.handled.push(error === errors.at(-1));
          // Nothing of the throw is left pending: the module can be called from the handler.
          if (report.handled.length === 3) ${stop};
        });
        ${start(`() => { report.thrown++; errors.push(new Error('thrown by the ${name} callback')); throw errors.at(-1); }`)};
      `);
      assert.ok(handled.length >= 3, `${handled.length} throws handled`);
      assert.deepEqual(handled, new Array(thrown).fill(true), 'every throw reached the handler, as itself');
      assert.doesNotMatch(stderr, /DEP0168|N-API callback exception/);
    });

    it(`ends the process as any uncaught exception does when no handler is set (${name})`, async () => {
      const child = await runChildAsync(start(`function thrower() { throw new Error('thrown by the ${name} callback'); }`));
      assert.equal(child.signal, null);
      assert.equal(child.status, 1, child.stderr);
      assert.match(child.stderr, new RegExp(`Error: thrown by the ${name} callback\\r?\\n\\s+at thrower `));
    });
  }
});

describe('a slow callback', { concurrency: true }, () => {
  for (const [name, { start, stop }] of Object.entries(services)) {
    // A timer due when a delivery ends runs before the next delivery, however fast values come.
    // (What a stop lets through may follow at once: it is counted apart.)
    it(`lets the application's timers run between deliveries (${name})`, async () => {
      const { deliveries, overtaken } = await reportOf(`
        const report = { deliveries: 0, overtaken: 0 };
        let timerDue = false;
        ${start(`() => {
          if (report.deliveries >= 40) return;
          if (timerDue) report.overtaken++;
          timerDue = true;
          setTimeout(() => (timerDue = false), 0);
          ${spin(10)}
          if (++report.deliveries === 40) ${stop};
        }`)};
      `);
      assert.ok(deliveries >= 40);
      assert.equal(overtaken, 0, 'deliveries that came before a timer that was due');
    });

    // The worker waits for room while the callback runs: a stop from inside it must not wait for
    // the queue to drain, and only what the worker had ready still arrives.
    it(`stops from inside the callback, and at most two values follow (${name})`, async () => {
      const { after } = await reportOf(`
        const report = { after: 0 };
        let delivered = 0;
        ${start(`() => {
          ${spin(20)}
          if (++delivered === 5) ${stop};
          else if (delivered > 5) report.after++;
        }`)};
      `);
      assert.ok(after <= 2, `${after} values after the stop`);
    });
  }
});
