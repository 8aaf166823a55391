'use strict';
// One capture tick split into the grab (the platform's copy and read-out) and everything of ours
// (pixel buffer, frame, sampling, queueing, Buffer copy and delivery), beside one memcpy of the
// same 1080p pixel buffer measured in this run; then resident memory over 5,000 ticks after
// 1,000 that let the heaps settle.
// Runs against a benchmark build: build/host/corvane-sim-bench.node (simulated desktop) or
// build/win/corvane-bench.node (under Wine), named by CORVANE_BENCH_BINARY.
const path = require('node:path');

const file = path.resolve(process.env.CORVANE_BENCH_BINARY ?? path.join(__dirname, '..', 'build', 'host', 'corvane-sim-bench.node'));
const corvane = require(file);
const { benchmark, simulator } = corvane;
const ticks = Number(process.env.CORVANE_BENCH_TICKS ?? 200);
const memoryTicks = Number(process.env.CORVANE_BENCH_MEMORY_TICKS ?? 5000);

const WIDTH = 1920;
const HEIGHT = 1080;
const RATE = 8;

function memcpyMs() {
  const source = Buffer.alloc(WIDTH * HEIGHT * 4, 7);
  const target = Buffer.alloc(source.length);
  for (let i = 0; i < 20; i++) source.copy(target);
  const rounds = 200;
  const start = process.hrtime.bigint();
  for (let i = 0; i < rounds; i++) source.copy(target);
  return Number(process.hrtime.bigint() - start) / 1e6 / rounds;
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
  const memcpy = memcpyMs();
  const oursMs = ours.reduce((sum, name) => sum + perTick(name), 0);

  // Resident memory once the heaps have settled at this workload, then after 5,000 more ticks.
  await capture(display, 1000);
  global.gc?.();
  const rssBefore = process.memoryUsage().rss;
  await capture(display, memoryTicks);
  global.gc?.();
  const rssAfter = process.memoryUsage().rss;

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
    memory: { ticks: memoryTicks, rssBeforeMB: rssBefore / 2 ** 20, rssAfterMB: rssAfter / 2 ** 20, growthMB: (rssAfter - rssBefore) / 2 ** 20 },
  };
  console.log(JSON.stringify(result, null, 2));
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
