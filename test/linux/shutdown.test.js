'use strict';
// shutdownHandler on Linux: a logind delay lock, on a system bus of the test's own with logind
// played by python-dbusmock. The module runs in child processes that the test talks to.
const { describe, it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const os = require('node:os');
const path = require('node:path');
const { file, packageDir } = require('../support/binding');
const { startChild } = require('../support/child');
const { waitFor } = require('../support/capture');
const { startSystemBus, untilInhibitors } = require('../support/system-bus');

const modulePath = JSON.stringify(packageDir ?? file);
const lock = ['shutdown', path.basename(process.execPath), 'Turning off the lights', 'delay'];
const cannotHold = 'shutdownHandler cannot hold the end of the session: ';

// The child reports what its callbacks were told when the test asks, then has nothing left to do
// but wait for the end of the session.
const reportWhenAsked = `process.on('message', () => { process.send(told); process.disconnect(); });`;

// As on Windows, a callback waiting to be told keeps the process alive; the test then ends it.
async function keptAlive(child) {
  const ended = await Promise.race([child.exit, new Promise((resolve) => setTimeout(resolve, 500, null))]);
  assert.equal(ended, null, `the child ended: ${ended?.output}`);
  child.kill();
  return (await child.exit).output;
}

describe('with logind on the system bus', () => {
  let bus;
  before(async () => (bus = await startSystemBus()));
  after(() => bus?.stop());
  const withBus = (script, options = {}) => startChild(script, { ...options, env: { DBUS_SYSTEM_BUS_ADDRESS: bus.address } });

  it('holds a shutdown 4 s after telling the callback once, holds the next after a cancel, and lets go when the process ends', async () => {
    const child = withBus(`
      const told = [];
      const returned = corvane.shutdownHandler(Buffer.alloc(8), function (text) {
        'use strict';
        told.push([text, this === undefined ? 'undefined' : this === globalThis ? 'global' : 'other']);
        if (text === 'SHUTDOWN') process.send('told');
      });
      process.send({ returned: typeof returned, told: told.slice() });
      ${reportWhenAsked}`);
    try {
      assert.deepEqual(await child.next(), { returned: 'undefined', told: [['ShutdownHandler Initial...', 'global']] });
      const held = await untilInhibitors(bus, (locks) => locks.length > 0, 'the lock');
      assert.deepEqual(held.locks, [lock]);

      const announced = Date.now();
      await bus.prepareForShutdown(true);
      await child.next((m) => m === 'told', 'SHUTDOWN');
      const released = await untilInhibitors(bus, (locks) => locks.length === 0, 'the release');
      assert.ok(released.at - announced >= 3990, `released ${released.at - announced} ms after the announcement`);

      await bus.prepareForShutdown(false);
      assert.deepEqual((await untilInhibitors(bus, (locks) => locks.length > 0, 'a new lock')).locks, [lock]);

      child.send('report');
      assert.deepEqual(await child.next(Array.isArray), [['ShutdownHandler Initial...', 'global'], ['SHUTDOWN', 'undefined']]);
      await keptAlive(child);
      await untilInhibitors(bus, (locks) => locks.length === 0, 'the lock closed with the process');
    } finally {
      child.kill();
    }
  });

  it('checks its arguments as on Windows, and holds the session end all the same for a callback that is not a function', async () => {
    const child = withBus(`
      const errors = [];
      for (const args of [[], ['handle', () => {}], [Buffer.alloc(7), () => {}], [Buffer.alloc(8), 'not a function']]) {
        try { corvane.shutdownHandler(...args); } catch (e) { errors.push(e.constructor.name + ': ' + e.message); }
      }
      process.send(errors);
      process.on('message', () => process.disconnect());`);
    try {
      assert.deepEqual(await child.next(), [
        'TypeError: Expected first argument to be a buffer',
        'TypeError: Expected first argument to be a buffer',
        'TypeError: Expected the buffer to hold a window handle of 8 bytes',
        'TypeError: Expected the second argument to be a function',
      ]);
      assert.deepEqual((await untilInhibitors(bus, (locks) => locks.length > 0, 'the lock')).locks, [lock]);
      // No callback waits to be told, so nothing keeps the process alive, as on Windows.
      child.send('end');
      const { code, signal, output } = await child.exit;
      assert.deepEqual({ code, signal }, { code: 0, signal: null }, output);
    } finally {
      child.kill();
    }
  });

  it('hands a throw of the callback when told "SHUTDOWN" to the uncaughtException handler, or ends the process with it', async () => {
    const handled = withBus(`
      let thrown;
      process.on('uncaughtException', (error) => process.send({ same: error === thrown }));
      corvane.shutdownHandler(Buffer.alloc(8), (text) => {
        if (text === 'SHUTDOWN') throw (thrown = new Error('thrown when told'));
      });
      ${reportWhenAsked}`);
    const unhandled = withBus(`
      corvane.shutdownHandler(Buffer.alloc(8), function thrower(text) {
        if (text === 'SHUTDOWN') throw new Error('thrown when told');
      });`);
    try {
      await untilInhibitors(bus, (locks) => locks.length === 2, 'both locks');
      await bus.prepareForShutdown(true);
      assert.deepEqual(await handled.next(), { same: true });
      const { code, output } = await unhandled.exit;
      assert.equal(code, 1, output);
      assert.match(output, /Error: thrown when told\n\s+at thrower /);
    } finally {
      handled.kill();
      unhandled.kill();
    }
  });

  it('keeps one lock for the process: a Worker that alone loaded the module ends, the main thread calls twice', async () => {
    const child = withBus(
      `
      const { Worker } = require('node:worker_threads');
      const told = [];
      const worker = new Worker(\`
        require(${modulePath}).shutdownHandler(Buffer.alloc(8), () => {});
        require('node:worker_threads').parentPort.postMessage('called');
      \`, { eval: true });
      worker.once('message', () => worker.terminate());
      worker.once('exit', () => process.send('worker ended'));
      process.once('message', () => {
        const corvane = require(${modulePath});
        corvane.shutdownHandler(Buffer.alloc(8), (text) => told.push('first ' + text));
        corvane.shutdownHandler(Buffer.alloc(8), (text) => {
          told.push('second ' + text);
          if (text === 'SHUTDOWN') process.send('told');
        });
        process.send('called');
        ${reportWhenAsked}
      });`,
      { load: false },
    );
    try {
      await child.next((m) => m === 'worker ended', 'the Worker to end');
      assert.deepEqual((await untilInhibitors(bus, (locks) => locks.length > 0, "the Worker's lock")).locks, [lock]);
      child.send('call');
      await child.next((m) => m === 'called', 'the calls');
      await bus.prepareForShutdown(true);
      await child.next((m) => m === 'told', 'SHUTDOWN');
      assert.deepEqual(await bus.inhibitors(), [lock], 'one lock, still held');
      child.send('report');
      assert.deepEqual(await child.next(Array.isArray), [
        'first ShutdownHandler Initial...',
        'second ShutdownHandler Initial...',
        'second SHUTDOWN',
      ]);
      await keptAlive(child);
    } finally {
      child.kill();
    }
  });
});

describe('where the end of the session cannot be held', () => {
  const nowhere = `unix:path=${path.join(os.tmpdir(), `corvane-no-bus-${process.pid}`)}`;
  for (const [what, reason, address] of [
    ['no system bus', /^no system bus|^logind gave no lock/, async () => ({ address: nowhere, stop() {} })],
    ['a system bus without logind', /^logind gave no lock \(.*org\.freedesktop\.login1/, () => startSystemBus({ withLogind: false })],
  ]) {
    it(`says so in one line and goes on as usual (${what})`, async () => {
      const bus = await address();
      const child = startChild(
        `
        const told = [];
        corvane.shutdownHandler(Buffer.alloc(8), (text) => told.push(text));
        corvane.shutdownHandler(Buffer.alloc(8), (text) => told.push(text));
        ${reportWhenAsked}`,
        { env: { DBUS_SYSTEM_BUS_ADDRESS: bus.address } },
      );
      try {
        await waitFor(() => child.output().includes('\n'), 'the line');
        child.send('report');
        assert.deepEqual(await child.next(), ['ShutdownHandler Initial...', 'ShutdownHandler Initial...']);
        const lines = (await keptAlive(child)).split('\n').filter(Boolean);
        assert.equal(lines.length, 1, lines.join('\n'));
        assert.ok(lines[0].startsWith(cannotHold), lines[0]);
        assert.match(lines[0].slice(cannotHold.length), reason);
      } finally {
        child.kill();
        await bus.stop();
      }
    });
  }
});
