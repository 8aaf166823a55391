'use strict';
// Processor time of the periodic services while they idle along, as a share of one core: a pointer
// tracker at its default 100 ms and at 50 ms, and an audio stream every 50 ms, beside nothing
// running and a bare JavaScript timer at 50 ms (what waking up and calling JavaScript 20 times a
// second costs in this host, with no thread of ours). Wake-ups are cheap or dear with whatever else
// the machine does, so the kinds take turns in rounds of CORVANE_CPU_SECONDS (5 by default) and
// the medians of CORVANE_CPU_ROUNDS (6) are reported, with the lowest and highest. On Linux the
// JavaScript thread's part is given apart from the rest (the services' workers). There the stream
// reads a PulseAudio server of its own (a null sink playing a tone), and the delay from a tone
// starting to the first tick that shows it is measured too.
const fs = require('node:fs');
const path = require('node:path');

const file = path.resolve(process.env.CORVANE_BINARY ?? path.join(__dirname, '..', 'build', 'host', 'corvane-sim.node'));
const corvane = require(file);
const seconds = Number(process.env.CORVANE_CPU_SECONDS ?? 5);
const rounds = Number(process.env.CORVANE_CPU_ROUNDS ?? 6);

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Nanoseconds the JavaScript thread (this one) has run; null where /proc has no per-thread times
// (Windows).
function javascriptThreadNs() {
  try {
    return Number(fs.readFileSync('/proc/thread-self/schedstat', 'utf8').split(' ')[0]);
  } catch {
    return null;
  }
}

async function cpuPercent(start, stop) {
  start();
  await sleep(500); // the first ticks set up what they need
  const before = process.cpuUsage();
  const threadBefore = javascriptThreadNs();
  const wallBefore = process.hrtime.bigint();
  await sleep(seconds * 1000);
  const used = process.cpuUsage(before);
  const threadAfter = javascriptThreadNs();
  const wallNs = Number(process.hrtime.bigint() - wallBefore);
  stop();
  const result = { total: (100 * 1000 * (used.user + used.system)) / wallNs };
  if (threadBefore !== null) result.javascriptThread = (100 * (threadAfter - threadBefore)) / wallNs;
  return result;
}

const kinds = {
  nothingRunning: [() => {}, () => {}],
  javascriptTimerAt50ms: (() => {
    let timer;
    return [() => (timer = setInterval(() => {}, 50)), () => clearInterval(timer)];
  })(),
  // The interval is kept across runs, so the default's 100 ms is passed rather than left out.
  pointerTrackerAt100ms: [() => corvane.startMouseTracking(() => {}, 100), corvane.stopMouseTracking],
  pointerTrackerAt50ms: [() => corvane.startMouseTracking(() => {}, 50), corvane.stopMouseTracking],
  audioStreamAt50ms: [() => corvane.startStream(() => {}, 50), corvane.stopStream],
};

// Each round takes the kinds in another order, so none always follows the same one.
async function interleavedRounds() {
  const names = Object.keys(kinds);
  const samples = Object.fromEntries(names.map((name) => [name, []]));
  for (let round = 0; round < rounds; round++) {
    for (let i = 0; i < names.length; i++) {
      const name = names[(i + round) % names.length];
      samples[name].push(await cpuPercent(...kinds[name]));
      await sleep(200); // a stopped service's last tick and finalizer
    }
  }
  const summary = (values) => {
    const sorted = [...values].sort((a, b) => a - b);
    const round3 = (x) => Math.round(x * 1000) / 1000;
    return { median: round3(sorted[sorted.length >> 1]), lowest: round3(sorted[0]), highest: round3(sorted.at(-1)) };
  };
  return Object.fromEntries(
    names.map((name) => {
      const runs = samples[name];
      const result = { percentOfOneCore: summary(runs.map((run) => run.total)) };
      if (runs[0].javascriptThread !== undefined) {
        result.javascriptThread = summary(runs.map((run) => run.javascriptThread)).median;
        result.otherThreads = summary(runs.map((run) => run.total - run.javascriptThread)).median;
      }
      return [name, result];
    }),
  );
}

// Milliseconds from starting a tone to the first 50 ms tick that shows it, on a running stream.
async function toneDelays(server, count = 10) {
  const delays = [];
  let onLevel = () => {};
  corvane.startStream((level) => onLevel(level), 50);
  for (let i = 0; i < count; i++) {
    await sleep(1000);
    const started = Date.now();
    const shown = new Promise((resolve) => (onLevel = (level) => level > 0.25 && resolve(Date.now() - started)));
    const tone = server.play('one', 0.5);
    delays.push(await shown);
    onLevel = () => {};
    await tone.stop();
  }
  corvane.stopStream();
  return delays.sort((a, b) => a - b);
}

async function main() {
  const server = process.platform === 'linux' && !corvane.simulator
    ? await require('../test/support/pulse').startPulseServer()
    : null;
  if (server) {
    process.env.PULSE_SERVER = server.env.PULSE_SERVER;
    // A player keeps the sink rendering at a desktop's pace, as it would with sound playing.
    server.play('one', 0.5);
  }
  const result = {
    platform: corvane.simulator ? 'simulated desktop' : `${process.platform} (real platform)`,
    seconds,
    rounds,
    ...(await interleavedRounds()),
  };
  if (server) {
    await server.stop();
    await server.start();
    const delays = await toneDelays(server);
    result.toneToFirstTickMs = { median: delays[delays.length >> 1], max: delays.at(-1) };
    await server.close();
  }
  console.log(JSON.stringify(result, null, 2));
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
