'use strict';
// corvane through the desktop portal, in one run on two desktops: the real portal frontend with
// the tests' own back end and a 1920x1080 PipeWire source of the test picture at 60 frames a
// second, as a compositor would share a screen; then real GNOME (mutter headless, 1920x1080, the
// real portal and xdg-desktop-portal-gnome) with the picture painted again at every frame, so that
// mutter sends a frame each time. The capture runs at interval 0 (each tick copies the newest
// frame); frames per second, processor time per frame of this process and of the other side (the
// PipeWire daemon with the source, or with mutter), beside one memcpy of the frame. The frame must
// be the picture byte for byte.
const fs = require('node:fs');
const { spawnSync } = require('node:child_process');
const path = require('node:path');
const { memcpyMs } = require('./memcpy');
const { startPortalDesktop } = require('../test/support/portal');
const { startGnomeDesktop } = require('../test/support/gnome');
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

function measure(corvane, displayId, rate, servers) {
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
    }, { displayId, width: WIDTH, height: HEIGHT }, 0, rate);
  });
}

const binary = process.env.CORVANE_BINARY ?? path.join(__dirname, '..', 'build', 'host', 'corvane.node');

// The tests' own back end: rates measured after one run thrown away (a first capture in the
// process runs several times slower: the allocator and the collector growing to their working
// size, the code warming up).
async function onTestsBackEnd() {
  const desktop = await startPortalDesktop({ area: [0, 0, WIDTH, HEIGHT] });
  try {
    await desktop.showPicture(WIDTH, HEIGHT, { rate: 60 });
    Object.assign(process.env, desktop.env);
    const corvane = require(binary);
    await measure(corvane, 'HEADLESS-1', RATES[0], desktop.framePids());
    const results = [];
    for (const rate of RATES) results.push({ rate, ...(await measure(corvane, 'HEADLESS-1', rate, desktop.framePids())) });
    return results;
  } finally {
    await desktop.close();
  }
}

async function onGnome() {
  const desktop = await startGnomeDesktop({ monitors: [[WIDTH, HEIGHT]] });
  try {
    const picture = await desktop.showPicture({ x: 0, y: 0, width: WIDTH, height: HEIGHT }, { animate: true });
    Object.assign(process.env, desktop.env);
    // The choice remembered, as after a Share with Remember; each start saves the next token.
    fs.mkdirSync(path.dirname(desktop.tokenFile('Meta-0')), { recursive: true });
    fs.writeFileSync(desktop.tokenFile('Meta-0'), desktop.rememberChoice([0]));
    const corvane = require(binary);
    const results = [];
    for (const rate of RATES) results.push({ rate, ...(await measure(corvane, 'Meta-0', rate, desktop.compositorPids())) });
    picture.stop();
    return results;
  } finally {
    await desktop.close();
  }
}

async function main() {
  // Both through the portal, whatever the desktop would choose: the choice is made once a process.
  process.env.CORVANE_BACKEND = 'portal';
  const own = await onTestsBackEnd();
  const gnome = await onGnome();
  const copy = memcpyMs(WIDTH, HEIGHT);
  console.log(`Portal/PipeWire capture of ${WIDTH}x${HEIGHT} at 60 fps, ${seconds} s a rate; one memcpy of the frame: ${copy.toFixed(2)} ms`);
  // The other side works at the source's 60 frames a second, whatever the ticks: its share of a core too.
  console.log('| Sampling rate | desktop | fps | CPU ms/frame: node + the other side | the other side, % of a core | node CPU / memcpy | GNOME / own back end (node CPU) |');
  console.log('|---:|---|---:|---:|---:|---:|---:|');
  RATES.forEach((rate, i) => {
    for (const [name, r] of [['own back end (PipeWire + source)', own[i]], ['GNOME (PipeWire + mutter)', gnome[i]]]) {
      const ratio = r === gnome[i] ? (gnome[i].cpuMs / own[i].cpuMs).toFixed(2) : '';
      console.log(`| ${rate} | ${name} | ${r.fps.toFixed(0)} | ${r.cpuMs.toFixed(2)} + ${r.serverMs.toFixed(2)} | ${(r.serverMs * r.fps / 10).toFixed(0)} | ${(r.cpuMs / copy).toFixed(2)} | ${ratio} |`);
    }
  });
}

main().catch((error) => {
  console.error(error);
  process.exitCode = 1;
});
