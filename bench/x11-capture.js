'use strict';
// corvane on X11 beside node-screenshots, a screen grabber for Node.js with a prebuilt Linux
// binary: both capture the same 1920x1080 Xvfb screen, showing the static test picture, as fast as they
// can, and hand JavaScript the same sampled RGB frame (node-screenshots grabs the whole screen and
// the sampling is done in JavaScript). Frames per second, processor time per frame of this process
// and of the X server, the grab alone from the benchmark build, and one memcpy of the frame.
// The two frames must be equal byte for byte, or the comparison is void and the script fails.
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { memcpyMs } = require('./memcpy');
const { startXvfb } = require('../scripts/lib/xvfb');
const { span, showTestPicture } = require('./x11-support');

const buildDir = path.join(__dirname, '..', 'build', 'host');
const seconds = Number(process.env.CORVANE_BENCH_SECONDS ?? 3);
const grabTicks = Number(process.env.CORVANE_BENCH_TICKS ?? 200);
const WIDTH = 1920;
const HEIGHT = 1080;
const RATES = [4, 10];
const WARMUP = 10;

// corvane at interval 0, after a warm-up, for `seconds` or for `ticks` frames; `onMeasured` runs
// when the warm-up is over (the benchmark build resets its sums there).
function captureCorvane(module, display, rate, { ticks = Infinity, onMeasured = () => {} } = {}) {
  return new Promise((resolve, reject) => {
    let frames = -WARMUP;
    let end;
    let deadline;
    let done = false;
    // A capture that never delivers would otherwise hold up npm run bench for good.
    const watchdog = setTimeout(() => {
      done = true;
      module.stopCaptureScreen();
      reject(new Error(`corvane delivered ${frames + WARMUP} frames at rate ${rate}, then nothing`));
    }, (seconds + 10) * 1000);
    module.startCaptureScreen(
      (frame) => {
        if (done) return; // queued before the stop
        if (++frames === 0) {
          onMeasured();
          end = span();
          deadline = process.hrtime.bigint() + BigInt(Math.round(seconds * 1e9));
        } else if (frames > 0 && (frames >= ticks || process.hrtime.bigint() >= deadline)) {
          done = true;
          clearTimeout(watchdog);
          module.stopCaptureScreen();
          resolve({ ...end(frames), frame });
        }
      },
      display,
      0,
      rate,
    );
  });
}

// What a JavaScript user of node-screenshots writes to get the same frame: grab, take the raw
// RGBA pixels and pick every rate-th pixel of every rate-th row.
function peerFrame(monitor, rate) {
  const image = monitor.captureImageSync();
  const raw = image.toRawSync();
  const { width, height } = image;
  const cols = Math.ceil(width / rate);
  const rows = Math.ceil(height / rate);
  const out = Buffer.allocUnsafe(cols * rows * 3);
  let o = 0;
  for (let r = 0; r < rows; r++) {
    let i = r * rate * width * 4;
    for (let c = 0; c < cols; c++, i += rate * 4) {
      out[o++] = raw[i];
      out[o++] = raw[i + 1];
      out[o++] = raw[i + 2];
    }
  }
  return out;
}

function capturePeer(monitor, rate) {
  let frame;
  for (let i = 0; i < WARMUP; i++) frame = peerFrame(monitor, rate);
  const end = span();
  const stopAt = process.hrtime.bigint() + BigInt(Math.round(seconds * 1e9));
  let frames = 0;
  while (process.hrtime.bigint() < stopAt) {
    frame = peerFrame(monitor, rate);
    frames++;
  }
  return { ...end(frames), frame };
}

async function main() {
  const xvfb = await startXvfb([{ width: WIDTH, height: HEIGHT }]);
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'corvane-bench-'));
  let picture;
  try {
    // Both modules open the display named here when they first need it.
    process.env.DISPLAY = xvfb.display;
    picture = await showTestPicture(dir, WIDTH, HEIGHT);
    const corvane = require(path.join(buildDir, 'corvane.node'));
    const timed = require(path.join(buildDir, 'corvane-x11-bench.node'));
    const { Monitor } = require('node-screenshots');

    const display = corvane.getMonitors().find((m) => m.isPrimary);
    if (!display || display.width !== WIDTH || display.height !== HEIGHT) throw new Error(`need a ${WIDTH}x${HEIGHT} screen`);
    const monitor = Monitor.all().find(
      (m) => m.x() === display.x && m.y() === display.y && m.width() === display.width && m.height() === display.height,
    );
    if (!monitor) throw new Error('node-screenshots does not list the screen that corvane captures');

    const rows = [];
    for (const rate of RATES) {
      const ours = await captureCorvane(corvane, display, rate);
      const peer = capturePeer(monitor, rate);
      const size = Math.ceil(WIDTH / rate) * Math.ceil(HEIGHT / rate) * 3;
      if (ours.frame.length !== size) throw new Error(`corvane gave ${ours.frame.length} bytes at rate ${rate}, not ${size}`);
      // A blank screen would make two empty grabs agree.
      if (ours.frame.every((byte) => byte === ours.frame[0])) {
        throw new Error('the frame is uniform: the test picture is not on screen');
      }
      const at = ours.frame.findIndex((byte, i) => byte !== peer.frame[i]);
      if (peer.frame.length !== ours.frame.length || at !== -1) {
        throw new Error(
          `rate ${rate}: node-screenshots' sampled frame differs from corvane's ` +
            `(${peer.frame.length} vs ${ours.frame.length} bytes, first difference at byte ${at})`,
        );
      }
      await captureCorvane(timed, display, rate, { ticks: grabTicks, onMeasured: () => timed.benchmark.reset() });
      const p = timed.benchmark.phases();
      const perTick = (name) => (p[name].count ? p[name].ns / 1e6 / p[name].count : 0);
      rows.push({ rate, ours, peer, bytes: size, grabMs: perTick('grab'), grabs: p.grab.count, copies: p.pixelBuffer.count });
    }
    const memcpy = memcpyMs(WIDTH, HEIGHT);

    const f = (n, digits = 2) => n.toFixed(digits);
    console.log(
      `Xvfb ${xvfb.display} ${WIDTH}x${HEIGHT}x24, test picture; ${seconds} s per fps figure, ` +
        `grab over up to ${grabTicks} ticks.`,
    );
    console.log('CPU: ms of processor time per frame, this node process + the Xvfb server.\n');
    console.log(
      '| sampling rate | corvane fps | corvane CPU ms/frame | corvane grab ms | node-screenshots fps | ' +
        'node-screenshots CPU ms/frame | fps ratio (goal ≥ 10) | grab / memcpy (goal ≤ 5) |',
    );
    console.log('|---:|---:|---:|---:|---:|---:|---:|---:|');
    for (const { rate, ours, peer, grabMs } of rows) {
      console.log(
        `| ${rate} | ${f(ours.fps, 1)} | ${f(ours.cpuMs)} + ${f(ours.serverMs)} | ${f(grabMs, 3)} | ${f(peer.fps, 1)} | ` +
          `${f(peer.cpuMs)} + ${f(peer.serverMs)} | ${f(ours.fps / peer.fps, 1)} | ${f(grabMs / memcpy, 2)} |`,
      );
    }
    console.log(`\nmemcpy of one ${WIDTH}x${HEIGHT}x4 frame (Buffer.copy): ${f(memcpy, 3)} ms`);
    for (const { rate, bytes, grabs, copies } of rows) {
      console.log(
        `rate ${rate}: node-screenshots' frame equals corvane's byte for byte (${bytes} bytes); ` +
          `benchmark build: ${grabs} grabs, ${copies} conversion copies`,
      );
    }
  } finally {
    picture?.kill();
    await xvfb.stop();
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

main().catch((error) => {
  console.error(`x11-capture benchmark failed: ${error.message}`);
  process.exit(1);
});
