'use strict';
// corvane through the desktop portal: the real portal frontend with the tests' own back end, and
// a 1920x1080 PipeWire source of the test picture at 60 frames a second, as a compositor would
// share a screen. The capture runs at interval 0 (each tick copies the newest frame); frames per
// second, processor time per frame of this process and of PipeWire's side (the daemon and the
// source), beside one memcpy of the frame. The frame must be the picture byte for byte.
const fs = require('node:fs');
const { spawnSync } = require('node:child_process');
const path = require('node:path');
const { memcpyMs } = require('./memcpy');
const { startPortalDesktop } = require('../test/support/portal');
const { expectedFrame } = require('../test/support/picture');

const seconds = Number(process.env.CORVANE_BENCH_SECONDS ?? 3);
const WIDTH = 1920;
const HEIGHT = 1080;
const RATES = [4, 10];
const WARMUP = 10;
const clockTicks = Number(spawnSync('getconf', ['CLK_TCK'], { encoding: 'utf8' }).stdout) || 100;

const cpuMsOf = (pids) => pids.reduce((sum, pid) => {
  const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
  const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
  return sum + ((Number(fields[11]) + Number(fields[12])) * 1000) / clockTicks;
}, 0);

function measure(corvane, rate, servers) {
  return new Promise((resolve, reject) => {
    const expected = expectedFrame({ x: 0, y: 0 }, { x: 0, y: 0 }, WIDTH, HEIGHT, rate);
    let frames = null;
    let start;
    const watchdog = setTimeout(() => {
      corvane.stopCaptureScreen();
      reject(new Error(`no picture at rate ${rate}`));
    }, (seconds + 20) * 1000);
    let done = false;
    corvane.startCaptureScreen((frame) => {
      if (done) return; // queued before the stop; a stop now would end the next capture
      if (frames === null) {
        if (!frame.equals(expected)) return; // the portal's handshake and the first frame
        frames = -WARMUP;
      }
      if (++frames === 0) {
        start = { wall: process.hrtime.bigint(), cpu: process.cpuUsage(), servers: cpuMsOf(servers) };
      } else if (frames > 0 && process.hrtime.bigint() - start.wall >= BigInt(seconds * 1e9)) {
        done = true;
        corvane.stopCaptureScreen();
        clearTimeout(watchdog);
        if (!frame.equals(expected)) return reject(new Error(`the frame at rate ${rate} is not the picture`));
        const used = process.cpuUsage(start.cpu);
        const wall = Number(process.hrtime.bigint() - start.wall) / 1e9;
        resolve({ fps: frames / wall, cpuMs: (used.user + used.system) / 1e3 / frames,
          serverMs: (cpuMsOf(servers) - start.servers) / frames });
      }
    }, { displayId: 'HEADLESS-1', width: WIDTH, height: HEIGHT }, 0, rate);
  });
}

async function main() {
  const desktop = await startPortalDesktop({ area: [0, 0, WIDTH, HEIGHT] });
  try {
    await desktop.showPicture(WIDTH, HEIGHT, { rate: 60 });
    Object.assign(process.env, desktop.env);
    const corvane = require(process.env.CORVANE_BINARY ?? path.join(__dirname, '..', 'build', 'host', 'corvane.node'));
    // A first capture in the process runs several times slower (the allocator and the collector
    // growing to their working size, the code warming up): one run is thrown away.
    await measure(corvane, RATES[0], desktop.framePids());
    const results = [];
    for (const rate of RATES) results.push({ rate, ...(await measure(corvane, rate, desktop.framePids())) });
    const copy = memcpyMs(WIDTH, HEIGHT);
    console.log(`Portal/PipeWire capture, ${WIDTH}x${HEIGHT} source at 60 fps, ${seconds} s a rate; one memcpy of the frame: ${copy.toFixed(2)} ms`);
    console.log('| Sampling rate | fps | CPU ms/frame (node + PipeWire and source) | node CPU / memcpy |');
    console.log('|---:|---:|---:|---:|');
    for (const r of results) {
      console.log(`| ${r.rate} | ${r.fps.toFixed(0)} | ${r.cpuMs.toFixed(2)} + ${r.serverMs.toFixed(2)} | ${(r.cpuMs / copy).toFixed(2)} |`);
    }
  } finally {
    await desktop.close();
  }
}

main().catch((error) => {
  console.error(error);
  process.exitCode = 1;
});
