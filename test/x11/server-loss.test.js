'use strict';
// The X server restarting on the same display, or frozen (SIGSTOP), under the module's services.
// The test starts servers of its own, and the module runs in child processes on them.
const { describe, it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const crypto = require('node:crypto');
const { startXvfb } = require('../../scripts/lib/xvfb');
const { file } = require('../support/binding');
const { startChild } = require('../support/child');
const { blindLine, blindLines } = require('../support/capture');
const { showPicture, expectedFrame } = require('../support/picture');

const screens = [{ width: 1024, height: 768 }];
const rate = 8;
const digest = (bytes) => crypto.createHash('sha1').update(bytes).digest('hex');
// A bound of about a second, with room for a busy machine; a server that does not answer would
// otherwise hold the call for as long as it stays frozen.
const aboutASecond = 2000;

// Lists the monitors, timed, whenever told to; ends when told 'end'.
const listing = `
  process.on('message', (m) => {
    if (m === 'end') return process.disconnect();
    const start = Date.now();
    const monitors = corvane.getMonitors();
    process.send({ took: Date.now() - start, monitors });
  });
  process.send('ready');`;

// Lists the monitors; when told 'single' or 'multi', captures the first in a capture of that
// kind, sending each frame's digest; when told 'stop', stops and sends its open files before and
// after.
const capturing = `
  const fs = require('node:fs');
  const crypto = require('node:crypto');
  const monitor = corvane.getMonitors()[0];
  const files = fs.readdirSync('/proc/self/fd').length;
  const send = (frame) => {
    if (!process.connected) return;  // delivered after the stop
    process.send({ at: Date.now(), digest: crypto.createHash('sha1').update(frame).digest('hex') });
  };
  const capture = (kind) => kind === 'multi'
    ? corvane.startCaptureMultiScreens((frames) => send(frames[monitor.displayId]), [monitor], 20, ${rate})
    : corvane.startCaptureScreen(send, monitor, 20, ${rate});
  process.send({ monitor });
  process.on('message', (m) => {
    if (m !== 'stop') return capture(m);
    corvane.stopCaptureScreen();
    process.send({ files, filesAfter: fs.readdirSync('/proc/self/fd').length });
    process.disconnect();
  });`;

// Runs body(children) and ends the children whatever happens.
async function withChildren(scripts, env, body, options = {}) {
  const children = scripts.map((script) => startChild(script, { env, ...options }));
  try {
    return await body(children);
  } finally {
    for (const child of children) child.kill();
  }
}

const cleanExit = async (child) => {
  const { code, signal } = await child.exit;
  assert.deepEqual({ code, signal }, { code: 0, signal: null });
};

describe('an X server restarted on the same display', () => {
  let server;
  let picture;
  let env;

  before(async () => {
    server = await startXvfb(screens);
    env = { DISPLAY: server.display };
  });

  after(async () => {
    picture?.stop();
    await server.stop();
  });

  // The frame a capture of monitor delivers once the picture shows, as a digest.
  const pictureDigest = (monitor) => digest(expectedFrame({ x: 0, y: 0 }, monitor, monitor.width, monitor.height, rate));

  // Restarts the server with the picture on it; resolves to the times the old one was gone and
  // the picture was shown.
  async function restart(monitor) {
    picture?.stop();
    await server.stop();
    const gone = Date.now();
    server = await startXvfb(screens, { displayNumber: Number(env.DISPLAY.slice(1)) });
    picture = await showPicture([monitor], { display: env.DISPLAY });
    return { gone, shown: Date.now() };
  }

  // A multi capture keeps its grabbers as the single one does, so both must open theirs again.
  for (const kind of ['single', 'multi']) {
    it(`shows in a running ${kind} capture again within a second, each time, saying so once per loss, and then leaves nothing open`, async () => {
      await withChildren([capturing], env, async ([capture]) => {
        const { monitor } = await capture.next((m) => m.monitor, 'the monitor');
        capture.send(kind);
        picture = await showPicture([monitor], { display: env.DISPLAY });
        const expected = pictureDigest(monitor);
        await capture.next((m) => m.digest === expected, 'the picture before the restart');

        for (const restarts of ['the restart', 'the second restart']) {
          const { gone, shown } = await restart(monitor);
          const frame = await capture.next((m) => m.digest === expected && m.at > gone, `the picture after ${restarts}`);
          assert.ok(frame.at - shown < 1000, `the picture came back ${frame.at - shown} ms after it was shown`);
        }

        // The old sessions' sockets went with them.
        capture.send('stop');
        const { files, filesAfter } = await capture.next((m) => m.files, 'the open files');
        assert.equal(filesAfter, files);
        await cleanExit(capture);
        const lost = blindLine(monitor.displayId, `the X server on ${env.DISPLAY} went away`, 'X11');
        assert.deepEqual(blindLines((await capture.exit).output), [lost, lost]);
      });
    });
  }

  it('is what the first calls after it see: getMonitors lists its monitor, a new capture its picture', async () => {
    await withChildren([listing, capturing], env, async ([lister, capture]) => {
      await lister.next((m) => m === 'ready', 'the child');
      lister.send('list');
      const { monitors } = await lister.next((m) => m.monitors, 'the monitors');
      const { monitor } = await capture.next((m) => m.monitor, 'the monitor');
      assert.equal(monitors.length, 1);

      await restart(monitor);
      lister.send('list');
      capture.send('single');
      const listed = await lister.next((m) => m.monitors, 'the monitors after the restart');
      const first = await capture.next((m) => m.digest, 'the first frame after the restart');
      assert.deepEqual(listed.monitors, monitors);
      assert.equal(first.digest, pictureDigest(monitor), 'the first frame shows the picture');
      lister.send('end');
      capture.send('stop');
      await cleanExit(lister);
      await cleanExit(capture);
    });
  });
});

describe('an X server that does not answer (SIGSTOP)', () => {
  let server;
  let env;

  before(async () => {
    server = await startXvfb(screens);
    env = { DISPLAY: server.display };
  });

  after(() => server.stop());

  // Runs body with the server frozen, and lets it go on afterwards whatever happens.
  async function whileFrozen(body) {
    process.kill(server.pid, 'SIGSTOP');
    try {
      await body();
    } finally {
      process.kill(server.pid, 'SIGCONT');
    }
  }

  // Captures and tracks the pointer; when told, stops both, sending how long each took.
  const services = `
    corvane.startMouseTracking(() => {}, 20);
    // Frames queued before the stop are still delivered after it.
    corvane.startCaptureScreen(() => process.connected && process.send('frame'), corvane.getMonitors()[0], 20, 16);
    process.on('message', () => {
      const timed = (call) => { const start = Date.now(); call(); return Date.now() - start; };
      process.send({ capture: timed(corvane.stopCaptureScreen), tracking: timed(corvane.stopMouseTracking) });
      process.disconnect();
    });`;

  // A Worker that captures; ended when told, sending how long that took.
  const inWorker = `
    const { Worker } = require('node:worker_threads');
    const worker = new Worker(\`
      const { parentPort } = require('node:worker_threads');
      const corvane = require(${JSON.stringify(file)});
      corvane.startCaptureScreen(() => parentPort.postMessage('frame'), corvane.getMonitors()[0], 20, 16);
    \`, { eval: true });
    worker.once('message', () => process.send('frame'));
    process.on('message', () => {
      const start = Date.now();
      worker.terminate();
      worker.on('exit', () => {
        process.send({ ending: Date.now() - start });
        process.disconnect();
      });
    });`;

  // Long enough for a service to be waiting for the server when the stop comes.
  const pause = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

  it('lets a capture and the pointer tracking stop within about a second', async () => {
    await withChildren([services], env, async ([child]) => {
      await child.next((m) => m === 'frame', 'a frame');
      await whileFrozen(async () => {
        await pause(300);
        child.send('stop');
        const took = await child.next((m) => m.capture !== undefined, 'the stops');
        assert.ok(took.capture < aboutASecond, `stopCaptureScreen took ${took.capture} ms`);
        assert.ok(took.tracking < aboutASecond, `stopMouseTracking took ${took.tracking} ms`);
        const { code, signal, output } = await child.exit;
        assert.deepEqual({ code, signal }, { code: 0, signal: null }, output);
        // A pointer read given up on says so as for a display that does not answer.
        for (const line of output.split('\n').filter((l) => l.startsWith('GetCursorPos'))) {
          assert.equal(line, 'GetCursorPos failed! Error: 1');
        }
      });
    });
  });

  it('lets a Worker that captures end within about a second', async () => {
    await withChildren([inWorker], env, async ([child]) => {
      await child.next((m) => m === 'frame', 'a frame from the Worker');
      await whileFrozen(async () => {
        await pause(300);
        child.send('end');
        const { ending } = await child.next((m) => m.ending !== undefined, 'the Worker ending');
        assert.ok(ending < aboutASecond, `the Worker took ${ending} ms to end`);
        await cleanExit(child);
      });
    });
  });

  it('has getMonitors return no monitor within about a second, and list it again once the server goes on', async () => {
    await withChildren([listing], env, async ([child]) => {
      await child.next((m) => m === 'ready', 'the child');
      child.send('list');
      const { monitors } = await child.next((m) => m.monitors, 'the monitors');
      assert.equal(monitors.length, 1);
      await whileFrozen(async () => {
        child.send('list');
        const frozen = await child.next((m) => m.monitors, 'the monitors while frozen');
        assert.ok(frozen.took < aboutASecond, `getMonitors took ${frozen.took} ms`);
        assert.deepEqual(frozen.monitors, []);
      });
      // The question left open when the server froze is answered within a moment of its going on;
      // until then a list finds the server still silent.
      await pause(100);
      child.send('list');
      assert.deepEqual((await child.next((m) => m.monitors, 'the monitors once it goes on')).monitors, monitors);
      child.send('end');
      await cleanExit(child);
    });
  });

  it('has getMonitors of a process that first meets the server frozen return, and the process end', async () => {
    await whileFrozen(async () => {
      await withChildren([listing], env, async ([child]) => {
        await child.next((m) => m === 'ready', 'the child');
        child.send('list');
        const { took, monitors } = await child.next((m) => m.monitors, 'the monitors');
        assert.ok(took < aboutASecond, `getMonitors took ${took} ms`);
        assert.deepEqual(monitors, []);
        // Though the server still holds its connection attempt.
        child.send('end');
        await cleanExit(child);
      });
    });
  });

  it('keeps the module loaded under a connection attempt that outlives the Worker which alone loaded it', async () => {
    // The process itself never loads the module: Node.js unloads it when the Worker ends.
    const workerMeetsFrozenServer = `
      const { Worker } = require('node:worker_threads');
      process.on('message', (m) => {
        if (m === 'end') return process.disconnect();
        const worker = new Worker(\`
          const corvane = require(${JSON.stringify(file)});
          require('node:worker_threads').parentPort.postMessage(corvane.getMonitors().length);
        \`, { eval: true });
        worker.once('message', (count) => worker.terminate().then(() => process.send({ count })));
      });`;
    await withChildren(
      [workerMeetsFrozenServer],
      env,
      async ([child]) => {
        await whileFrozen(async () => {
          child.send('start');
          assert.deepEqual(await child.next((m) => m.count !== undefined, 'the Worker ending'), { count: 0 });
        });
        // The server goes on and answers the attempt, whose thread then returns into the module.
        await pause(300);
        child.send('end');
        await cleanExit(child);
      },
      { load: false },
    );
  });
});
