'use strict';
// Processor time of the periodic services while they idle along: a pointer tracker at its
// default period of 100 ms, then an audio stream every 50 ms, each measured with the process's
// CPU time over CORVANE_CPU_SECONDS (30 by default), beside the same span with nothing running and
// a pointer tracker at the stream's 50 ms: what waking up and calling JavaScript 20 times a second
// costs in this host, without the audio calls. On Linux the stream reads a PulseAudio server of
// its own (a null sink playing a tone), and the delay from a tone starting to the first tick that
// shows it is measured too.
const path = require('node:path');

const file = path.resolve(process.env.CORVANE_BINARY ?? path.join(__dirname, '..', 'build', 'host', 'corvane-sim.node'));
const corvane = require(file);
const seconds = Number(process.env.CORVANE_CPU_SECONDS ?? 30);

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function cpuPercent(start, stop) {
  let ticks = 0;
  start(() => ticks++);
  await sleep(500); // the first ticks set up what they need
  const before = process.cpuUsage();
  const wallBefore = process.hrtime.bigint();
  const ticksBefore = ticks;
  await sleep(seconds * 1000);
  const used = process.cpuUsage(before);
  const wall = Number(process.hrtime.bigint() - wallBefore) / 1e3;
  stop();
  return { percentOfOneCore: (100 * (used.user + used.system)) / wall, ticks: ticks - ticksBefore };
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
    nothingRunning: await cpuPercent(() => {}, () => {}),
    pointerTrackerAt100ms: await cpuPercent((cb) => corvane.startMouseTracking(cb), corvane.stopMouseTracking),
    pointerTrackerAt50ms: await cpuPercent((cb) => corvane.startMouseTracking(cb, 50), corvane.stopMouseTracking),
    audioStreamAt50ms: await cpuPercent((cb) => corvane.startStream(cb, 50), corvane.stopStream),
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
