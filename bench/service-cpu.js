'use strict';
// Processor time of the periodic services while they idle along: a pointer tracker at its
// default period of 100 ms, then an audio stream every 50 ms, each measured with the process's
// CPU time over CORVANE_CPU_SECONDS (30 by default), beside the same span with nothing running and
// a pointer tracker at the stream's 50 ms: what waking up and calling JavaScript 20 times a second
// costs in this host, without the audio calls.
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

async function main() {
  const result = {
    platform: corvane.simulator ? 'simulated desktop' : `${process.platform} (real platform)`,
    seconds,
    nothingRunning: await cpuPercent(() => {}, () => {}),
    pointerTrackerAt100ms: await cpuPercent((cb) => corvane.startMouseTracking(cb), corvane.stopMouseTracking),
    pointerTrackerAt50ms: await cpuPercent((cb) => corvane.startMouseTracking(cb, 50), corvane.stopMouseTracking),
    audioStreamAt50ms: await cpuPercent((cb) => corvane.startStream(cb, 50), corvane.stopStream),
  };
  console.log(JSON.stringify(result, null, 2));
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
