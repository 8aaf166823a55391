'use strict';
// One capture tick split into the grab (the platform's copy and read-out) and everything of ours
// (pixel buffer, frame, sampling, queueing, Buffer copy and delivery), beside one memcpy of the
// same 1080p pixel buffer measured in this run; then resident memory over three runs of 5,000
// ticks.
// Runs against a benchmark build: build/host/corvane-sim-bench.node (simulated desktop) or
// build/win/corvane-bench.node (under Wine), named by CORVANE_BENCH_BINARY.
const path = require('node:path');
const { memcpyMs } = require('./memcpy');

const file = path.resolve(process.env.CORVANE_BENCH_BINARY ?? path.join(__dirname, '..', 'build', 'host', 'corvane-sim-bench.node'));
const corvane = require(file);
const { benchmark, simulator } = corvane;
const ticks = Number(process.env.CORVANE_BENCH_TICKS ?? 200);
const memoryTicks = Number(process.env.CORVANE_BENCH_MEMORY_TICKS ?? 5000);

const WIDTH = 1920;
const HEIGHT = 1080;
const RATE = 8;

// Resident memory once the frames still queued at the stop are delivered and collected.
async function settledRss() {
  await new Promise((resolve) => setTimeout(resolve, 300));
  global.gc?.();
  global.gc?.();
  return process.memoryUsage().rss;
}

function capture(display, count) {
  return new Promise((resolve) => {
    let delivered = 0;
    corvane.startCaptureScreen(
      () => {
        if (++delivered === count) {
          corvane.stopCaptureScreen();
          setImmediate(resolve);
        }
      },
      display,
      0,
      RATE,
    );
  });
}

async function main() {
  if (simulator) {
    // A picture of our own: the simulated grab then costs what a copy of it costs.
    const pixels = Buffer.alloc(WIDTH * HEIGHT * 4);
    for (let i = 0; i < pixels.length; i++) pixels[i] = (i * 131) & 0xff;
    simulator.setMonitors([{ deviceName: '\\\\.\\DISPLAY1', flags: 1, width: WIDTH, height: HEIGHT, pixels }]);
    simulator.setRecording(false);
  }
  const display = corvane.getMonitors().find((m) => m.isPrimary);
  if (display.width !== WIDTH || display.height !== HEIGHT) throw new Error(`need a ${WIDTH}x${HEIGHT} primary display`);

  await capture(display, 20); // warm up
  benchmark.reset();
  await capture(display, ticks);
  const phases = benchmark.phases();
  const perTick = (name) => phases[name].ns / 1e6 / phases[name].count;
  const ours = ['pixelBuffer', 'frame', 'sample', 'queue', 'deliver'];
  const memcpy = memcpyMs(WIDTH, HEIGHT);
  const oursMs = ours.reduce((sum, name) => sum + perTick(name), 0);

  // Resident memory after each of three runs of 5,000 ticks: the first grows the heaps to their
  // working size at this rate; a leak would show as growth over the later ones.
  const rss = [await settledRss()];
  for (let run = 0; run < 3; run++) {
    await capture(display, memoryTicks);
    rss.push(await settledRss());
  }
  const mb = (bytes) => bytes / 2 ** 20;

  const result = {
    platform: simulator ? 'simulated desktop' : `${process.platform} (real GDI)`,
    display: `${WIDTH}x${HEIGHT}`,
    samplingRate: RATE,
    ticks,
    grabMs: perTick('grab'),
    phasesMs: Object.fromEntries(ours.map((name) => [name, perTick(name)])),
    oursMs,
    memcpyMs: memcpy,
    oursPerMemcpy: oursMs / memcpy,
    memory: {
      ticksPerRun: memoryTicks,
      rssMB: rss.map(mb),
      firstRunGrowthMB: mb(rss[1] - rss[0]),
      lastRunGrowthMB: mb(rss[3] - rss[2]),
    },
  };
  console.log(JSON.stringify(result, null, 2));
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
