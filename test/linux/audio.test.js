'use strict';
// The audio level on sound servers of the test's own, PulseAudio and PipeWire's pipewire-pulse: null
// sinks with tones of known amplitudes, a server that goes away and comes back, none at all, and no
// libpulse.
const { describe, it, before, after, afterEach } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const { corvane, file, packageDir } = require('../support/binding');
const { runChild } = require('../support/child');
const { sleep, waitFor } = require('../support/capture');
const { startPulseServer } = require('../support/pulse');

const codes = { noLibrary: Math.fround(-2.1), noServer: Math.fround(-2.2), noOutput: Math.fround(-2.3) };

// A stream every 20 ms whose latest values the test reads.
function stream() {
  const values = [];
  corvane.startStream((level) => values.push(level), 20);
  return {
    values,
    // Waits until a value is near the level, then asks the next five to be as well.
    // `how` tells how things stood, at a timeout.
    async settlesAt(level, what, timeout = 5000, how = () => '') {
      await waitFor(() => Math.abs(values.at(-1) - level) < 0.01, () => `${what}: ${level}, last ${values.at(-1)}${how()}`, timeout);
      const from = values.length;
      await waitFor(() => values.length >= from + 5, 'five more values');
      for (const value of values.slice(from)) assert.ok(Math.abs(value - level) < 0.01, `${what}: ${value}, not ${level}`);
    },
  };
}

const openCount = (folder) => fs.readdirSync(folder).length;

for (const kind of ['pulseaudio', 'pipewire']) describe(`the level of the default output on ${kind}`, () => {
  let server;
  before(async () => {
    server = await startPulseServer({ sinks: ['one', 'two'], kind });
    process.env.PULSE_SERVER = server.env.PULSE_SERVER;
    server.pactl('set-default-sink', 'one');
  });
  after(async () => {
    corvane.stopStream();
    await server?.close();
  });
  afterEach(() => {
    corvane.stopStream();
    server.pactl('set-default-sink', 'one');
  });

  it('is the peak of what plays, after the sink volume, and 0 in silence', async () => {
    const levels = stream();
    await levels.settlesAt(0, 'silence');
    const tone = server.play('one', 0.3);
    await levels.settlesAt(0.3, 'a tone');
    server.pactl('set-sink-volume', 'one', '0.5');
    await levels.settlesAt(0.15, 'the tone at half the volume');
    server.pactl('set-sink-volume', 'one', '1.0');
    await tone.stop();
    await levels.settlesAt(0, 'silence again');
  });

  it('follows another sink that becomes the default, within about a second', async () => {
    // The server moves every player to a new default sink too: the first sink's tone ends first.
    const first = server.play('one', 0.2);
    const levels = stream();
    await levels.settlesAt(0.2, 'the first sink');
    await first.stop();
    await levels.settlesAt(0, 'the first sink, silent');
    const second = server.play('two', 0.6);
    await sleep(300);
    server.pactl('set-default-sink', 'two');
    await levels.settlesAt(0.6, 'the new default', 2000);
    await second.stop();
  });

  it('corks the stream between ticks over a second apart, each tick still reading its own moment', async () => {
    const tone = server.play('one', 0.5);
    const values = [];
    corvane.startStream((level) => values.push(level), 1500);
    // A player takes a while to be heard.
    await waitFor(() => Math.abs(values.at(-1) - 0.5) < 0.01, 'the tone', 10000);
    const heard = values.length;
    await waitFor(() => values.length >= heard + 2, 'two more ticks', 5000);
    await sleep(300);
    assert.match(server.pactl('list', 'source-outputs'), /Corked: yes/, 'corked between ticks');
    for (const value of values.slice(heard)) assert.ok(Math.abs(value - 0.5) < 0.01, `the tone: ${values}`);
    await tone.stop();
    const from = values.length;
    // The first may have begun before the tone ended; the second began after.
    await waitFor(() => values.length >= from + 2, 'two ticks after the tone', 5000);
    assert.equal(values.at(-1), 0);
  });

  it('opens the connection again once the server is back, reporting its absence meanwhile', async () => {
    const levels = stream();
    await levels.settlesAt(0, 'silence');
    await server.stop();
    await waitFor(() => levels.values.at(-1) === codes.noServer, 'the code of no server');
    await server.start();
    server.pactl('set-default-sink', 'one');
    server.play('one', 0.4);
    await levels.settlesAt(0.4, 'the tone on the new server', 10000, () => `; the server's default sink ${server.defaultSink()}`);
  });

  it('leaves no thread, descriptor or connection behind after hundreds of starts and stops', async () => {
    const tone = server.play('one', 0.5);
    const before = { threads: openCount('/proc/self/task'), descriptors: openCount('/proc/self/fd') };
    // The module's own clean-up is counted on PulseAudio; on PipeWire, fewer, for its server's side.
    const cycles = kind === 'pulseaudio' ? 300 : 80;
    const delivered = new Set();
    for (let cycle = 0; cycle < cycles; cycle++) {
      corvane.startStream(() => delivered.add(cycle), cycle % 3);
      // Stops while connecting, waiting for the first peak, and pausing.
      await sleep((cycle % 4) * 15);
      assert.equal(corvane.stopStream(), true, `cycle ${cycle}`);
    }
    const now = () => ({ threads: openCount('/proc/self/task'), descriptors: openCount('/proc/self/fd') });
    await waitFor(() => now().threads <= before.threads && now().descriptors <= before.descriptors,
      `threads and descriptors back to ${JSON.stringify(before)}`);
    await waitFor(() => !server.clients().includes('corvane'), 'the server to have no client of ours');
    await tone.stop();
    // A stop at once may come before the first tick has its value (on PipeWire, whose connection
    // takes longer, more often): most cycles, not all, got as far as a value.
    assert.ok(delivered.size >= cycles / 2, `values in ${delivered.size} of ${cycles} cycles`);
  });
});

describe('each tick without a level', () => {
  // Three values and the standard error of a child process in that environment.
  const threeValues = (env, spawnVia) => {
    const script = `
      let values = 0;
      corvane.startStream((level) => { console.log(level); if (++values === 3) corvane.stopStream(); }, 20);`;
    if (!spawnVia) return runChild(script, { env });
    const prelude = `const corvane = require(${JSON.stringify(packageDir ?? file)});\n`;
    return spawnSync(spawnVia[0], [...spawnVia.slice(1), process.execPath, '-e', prelude + script],
      { encoding: 'utf8', env: { ...process.env, ...env }, timeout: 60000 });
  };

  const expectThree = (child, code, line) => {
    assert.equal(child.status, 0, child.stderr);
    assert.deepEqual(child.stdout.trim().split('\n'), new Array(3).fill(String(code)));
    assert.deepEqual(child.stderr.trim().split('\n'), new Array(3).fill(line));
  };

  it('reports that no server answers', () => {
    const nobody = fs.mkdtempSync('/tmp/corvane-none-');
    try {
      expectThree(threeValues({ PULSE_SERVER: `unix:${nobody}/socket` }), codes.noServer, 'Failed to connect to the PulseAudio server');
    } finally {
      fs.rmSync(nobody, { recursive: true, force: true });
    }
  });

  for (const kind of ['pulseaudio', 'pipewire']) {
    it(`reports that a server has no output, on ${kind}`, async () => {
      const server = await startPulseServer({ sinks: [], kind });
      try {
        expectThree(threeValues(server.env), codes.noOutput, 'No default audio output');
      } finally {
        await server.close();
      }
    });
  }

  it('reports that libpulse cannot be loaded, where it is not', () => {
    // A mount namespace of the child's own, where the library is an empty file. Under qemu the
    // library comes from the root that QEMU_LD_PREFIX names.
    const multiarch = { x64: 'x86_64-linux-gnu', arm64: 'aarch64-linux-gnu' }[process.arch];
    const library = [`/usr/lib/${multiarch}/libpulse.so.0`, '/usr/lib64/libpulse.so.0']
      .map((f) => path.join(process.env.QEMU_LD_PREFIX ?? '/', f))
      .find((f) => fs.existsSync(f));
    assert.ok(library, 'libpulse.so.0 on this host');
    const hide = ['unshare', '--map-root-user', '--mount', 'sh', '-c', `mount --bind /dev/null ${library} && exec "$@"`, 'sh'];
    expectThree(threeValues({}, hide), codes.noLibrary, 'Failed to load libpulse.so.0');
  });
});
