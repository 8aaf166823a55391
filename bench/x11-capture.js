'use strict';
// corvane on X11 beside node-screenshots, a screen grabber for Node.js with a prebuilt Linux
// binary: both capture the same 1920x1080 Xvfb screen, showing the static test picture, as fast as they
// can, and hand JavaScript the same sampled RGB frame (node-screenshots grabs the whole screen and
// the sampling is done in JavaScript). corvane both ways: sampled by the X server, and read whole
// and sampled here. Frames per second, processor time per frame of this process and of the X
// server, the grab alone from the benchmark build (wall and processor time), and one memcpy of
// the frame; then where the server's sampling starts to pay.
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
const RATES = [4, 10, 16];
const WAYS = ['client', 'server'];
const CROSSOVER_RATES = [1, 2, 3, 4];
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
    const timedModule = require(path.join(buildDir, 'corvane-x11-bench.node'));
    const { Monitor } = require('node-screenshots');

    const display = corvane.getMonitors().find((m) => m.isPrimary);
    if (!display || display.width !== WIDTH || display.height !== HEIGHT) throw new Error(`need a ${WIDTH}x${HEIGHT} screen`);
    const monitor = Monitor.all().find(
      (m) => m.x() === display.x && m.y() === display.y && m.width() === display.width && m.height() === display.height,
    );
    if (!monitor) throw new Error('node-screenshots does not list the screen that corvane captures');

    // Both ways of sampling at every rate: the X server's (RENDER) and a whole read sampled here.
    const measureWay = async (way, rate) => {
      process.env.CORVANE_X11_SAMPLING = way;
      const ours = await captureCorvane(corvane, display, rate);
      const timed = await captureCorvane(timedModule, display, rate, {
        ticks: grabTicks,
        onMeasured: () => timedModule.benchmark.reset(),
      });
      const p = timedModule.benchmark.phases();
      const per = (names, key) => names.reduce((sum, n) => sum + (p[n].count ? p[n][key] / 1e6 / p.grab.count : 0), 0);
      return {
        ours,
        // The server works for the grab alone, so all of its time per tick counts there.
        grab: { ms: per(['grab'], 'ns'), cpuMs: per(['grab'], 'cpuNs'), serverMs: timed.serverMs },
        tick: { ms: per(['grab', 'pixelBuffer', 'sample'], 'ns'), cpuMs: per(['grab', 'pixelBuffer', 'sample'], 'cpuNs') },
      };
    };
    const rows = [];
    for (const rate of RATES) {
      const peer = capturePeer(monitor, rate);
      const size = Math.ceil(WIDTH / rate) * Math.ceil(HEIGHT / rate) * 3;
      for (const way of WAYS) {
        const row = { rate, way, peer, bytes: size, ...(await measureWay(way, rate)) };
        const frame = row.ours.frame;
        if (frame.length !== size) throw new Error(`corvane gave ${frame.length} bytes at rate ${rate}, not ${size}`);
        // A blank screen would make two empty grabs agree.
        if (frame.every((byte) => byte === frame[0])) throw new Error('the frame is uniform: the test picture is not on screen');
        const at = frame.findIndex((byte, i) => byte !== peer.frame[i]);
        if (peer.frame.length !== frame.length || at !== -1) {
          throw new Error(
            `rate ${rate}, ${way}: node-screenshots' sampled frame differs from corvane's ` +
              `(${peer.frame.length} vs ${frame.length} bytes, first difference at byte ${at})`,
          );
        }
        rows.push(row);
      }
    }
    // Where the server's sampling starts to pay: the whole tick's sampling work either way.
    const crossover = [];
    for (const rate of CROSSOVER_RATES) {
      const [client, server] = [await measureWay('client', rate), await measureWay('server', rate)];
      crossover.push({ rate, client, server });
    }
    delete process.env.CORVANE_X11_SAMPLING;
    const memcpy = memcpyMs(WIDTH, HEIGHT);

    const f = (n, digits = 2) => n.toFixed(digits);
    console.log(
      `Xvfb ${xvfb.display} ${WIDTH}x${HEIGHT}x24, test picture; ${seconds} s per fps figure, ` +
        `grab over up to ${grabTicks} ticks. memcpy of one ${WIDTH}x${HEIGHT}x4 frame (Buffer.copy): ${f(memcpy, 3)} ms.`,
    );
    console.log(
      'Ways: "server" has the X server sample (RENDER) and reads out the samples; "client" reads the whole ' +
        'area (MIT-SHM) and samples it here. CPU: ms of processor time per frame, this process + the Xvfb server; ' +
        'the grab\'s own is that of the capture thread while it grabs + the server\'s.\n',
    );
    console.log(
      '| rate | way | corvane fps | CPU ms/frame | grab ms | grab CPU ms | grab / memcpy, wall · CPU (goal at rate 10 ≤ 0.25) | ' +
        'node-screenshots fps | CPU ms/frame | fps ratio (goal at rate 10 ≥ 100) |',
    );
    console.log('|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|');
    for (const { rate, way, ours, peer, grab } of rows) {
      const grabCpu = grab.cpuMs + grab.serverMs;
      console.log(
        `| ${rate} | ${way} | ${f(ours.fps, 1)} | ${f(ours.cpuMs, 3)} + ${f(ours.serverMs, 3)} | ${f(grab.ms, 3)} | ` +
          `${f(grab.cpuMs, 3)} + ${f(grab.serverMs, 3)} | ${f(grab.ms / memcpy)} · ${f(grabCpu / memcpy)} | ` +
          `${f(peer.fps, 1)} | ${f(peer.cpuMs)} + ${f(peer.serverMs)} | ${f(ours.fps / peer.fps, 1)} |`,
      );
    }
    console.log('\nThe crossover: grab, conversion and sampling per tick, wall ms (CPU ms, this thread + the server).\n');
    console.log('| rate | client | server | server / client, wall |');
    console.log('|---:|---:|---:|---:|');
    for (const { rate, client, server } of crossover) {
      const cell = (w) => `${f(w.tick.ms, 3)} (${f(w.tick.cpuMs + w.grab.serverMs, 3)})`;
      console.log(`| ${rate} | ${cell(client)} | ${cell(server)} | ${f(server.tick.ms / client.tick.ms)} |`);
    }
    console.log(`\nEvery frame equals node-screenshots' sampled frame byte for byte, either way.`);
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
