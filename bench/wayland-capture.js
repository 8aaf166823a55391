'use strict';
// corvane on Wayland through wlr-screencopy: a headless sway (pixman, no GPU) with one 1920x1080
// output showing the test picture, captured at interval 0 at rates 4 and 10. The compositor copies
// at its next frame, so the output's refresh rate bounds the frames per second: it runs once at
// 60 Hz, as a desktop would, and once at 1000 Hz, where the copy's own cost shows. Frames per
// second, processor time per frame of this process and of sway, the grab (asking, waiting for and
// receiving the copy) and the conversion from the benchmark build, and one memcpy of the frame.
// Every frame measured must be the sampled picture, or the script fails.
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawn, spawnSync } = require('node:child_process');
const { memcpyMs } = require('./memcpy');
const { startSway } = require('../scripts/lib/sway');
const { pictureRgb } = require('../test/support/picture-pixels');

const buildDir = path.join(__dirname, '..', 'build', 'host');
const seconds = Number(process.env.CORVANE_BENCH_SECONDS ?? 3);
const WIDTH = 1920;
const HEIGHT = 1080;
const RATES = [4, 10];
const REFRESHES = [60, 1000];
const WARMUP = 10;

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const clockTicks = Number(spawnSync('getconf', ['CLK_TCK'], { encoding: 'utf8' }).stdout) || 100;

function processCpuMs(pid) {
  const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
  const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
  return ((Number(fields[11]) + Number(fields[12])) * 1000) / clockTicks;
}

function sampledPicture(rate) {
  const columns = Math.ceil(WIDTH / rate);
  const rows = Math.ceil(HEIGHT / rate);
  const bytes = Buffer.alloc(columns * rows * 3);
  for (let r = 0; r < rows; r++) {
    for (let c = 0; c < columns; c++) bytes.set(pictureRgb(c * rate, r * rate), (r * columns + c) * 3);
  }
  return bytes;
}

// Captures for `seconds` after a warm-up; every frame is checked against expected.
function capture(module, display, rate, expected, compositorPid, onMeasured = () => {}) {
  return new Promise((resolve, reject) => {
    let frames = -WARMUP;
    let start;
    let done = false;
    const watchdog = setTimeout(() => {
      done = true;
      module.stopCaptureScreen();
      reject(new Error(`corvane delivered ${frames + WARMUP} frames at rate ${rate}, then nothing`));
    }, (seconds + 10) * 1000);
    module.startCaptureScreen((frame) => {
      if (done) return;
      if (!frame.equals(expected)) {
        done = true;
        module.stopCaptureScreen();
        reject(new Error(`rate ${rate}: a frame is not the sampled test picture`));
        return;
      }
      if (++frames === 0) {
        onMeasured();
        start = { wall: process.hrtime.bigint(), cpu: process.cpuUsage(), server: processCpuMs(compositorPid) };
      } else if (frames > 0 && process.hrtime.bigint() - start.wall >= BigInt(seconds * 1e9)) {
        done = true;
        clearTimeout(watchdog);
        module.stopCaptureScreen();
        const used = process.cpuUsage(start.cpu);
        resolve({
          fps: frames / (Number(process.hrtime.bigint() - start.wall) / 1e9),
          cpuMs: (used.user + used.system) / 1e3 / frames,
          serverMs: (processCpuMs(compositorPid) - start.server) / frames,
        });
      }
    }, display, 0, rate);
  });
}

async function showPicture(env, dir) {
  const ready = path.join(dir, 'ready');
  const picture = spawn(process.execPath, [path.join(__dirname, '..', 'test', 'support', 'sway-picture.js'),
    '0', '0', String(WIDTH), String(HEIGHT), ready], { stdio: 'inherit', env: { ...process.env, ...env } });
  for (let waited = 0; !fs.existsSync(ready); waited += 50) {
    if (picture.exitCode !== null || waited > 20000) throw new Error('the test picture did not show');
    await sleep(50);
  }
  return picture;
}

async function main() {
  const memcpy = memcpyMs(WIDTH, HEIGHT);
  const rows = [];
  for (const refresh of REFRESHES) {
    const sway = await startSway([{ width: WIDTH, height: HEIGHT, x: 0, y: 0 }], { refresh });
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'corvane-bench-'));
    let picture;
    try {
      picture = await showPicture(sway.env, dir);
      const env = { ...sway.env, CORVANE_BACKEND: 'wayland' };
      for (const rate of RATES) {
        const result = spawnSync(process.execPath, ['-e', `require(${JSON.stringify(__filename)}).child()`, String(rate), String(sway.pid)], {
          env: { ...process.env, ...env }, encoding: 'utf8', stdio: ['ignore', 'pipe', 'inherit'],
        });
        if (result.status !== 0) throw new Error(`the measuring child failed at rate ${rate}`);
        rows.push({ refresh, rate, ...JSON.parse(result.stdout) });
      }
    } finally {
      picture?.kill();
      await sway.close();
      fs.rmSync(dir, { recursive: true, force: true });
    }
  }
  const f = (n, digits = 2) => n.toFixed(digits);
  console.log(`headless sway 1.7 (pixman), one ${WIDTH}x${HEIGHT} output, test picture; ${seconds} s per figure.`);
  console.log('CPU: ms of processor time per frame, this node process + sway.\n');
  console.log('| output refresh | sampling rate | corvane fps | corvane CPU ms/frame (node + sway) | grab ms | conversion ms | memcpy ms |');
  console.log('|---:|---:|---:|---:|---:|---:|---:|');
  for (const r of rows) {
    console.log(`| ${r.refresh} Hz | ${r.rate} | ${f(r.fps, 1)} | ${f(r.cpuMs)} + ${f(r.serverMs)} | ${f(r.grabMs, 3)} | ${f(r.convertMs, 3)} | ${f(memcpy, 3)} |`);
  }
  console.log(`\nmemcpy of one ${WIDTH}x${HEIGHT}x4 frame (Buffer.copy): ${f(memcpy, 3)} ms; ` +
    'every measured frame equalled the sampled test picture. The conversion is ~0 where the ' +
    "compositor's XRGB8888 buffer is handed to the sampler as it is.");
}

// In a child, so that the backend is chosen on this sway: the plain build for fps and CPU, then
// the timed build for the grab and the conversion.
async function child() {
  const [rate, compositorPid] = process.argv.slice(-2).map(Number);
  // Both modules in one process share nothing: each chooses its backend and connects on its own.
  const corvane = require(path.join(buildDir, 'corvane.node'));
  const timed = require(path.join(buildDir, 'corvane-x11-bench.node'));
  const display = corvane.getMonitors()[0];
  if (!display || display.width !== WIDTH || display.height !== HEIGHT) throw new Error(`need a ${WIDTH}x${HEIGHT} output`);
  const expected = sampledPicture(rate);
  const ours = await capture(corvane, display, rate, expected, compositorPid);
  await capture(timed, display, rate, expected, compositorPid, () => timed.benchmark.reset());
  const p = timed.benchmark.phases();
  const perTick = (name) => (p[name].count ? p[name].ns / 1e6 / p[name].count : 0);
  process.stdout.write(JSON.stringify({ ...ours, grabMs: perTick('grab'), convertMs: perTick('pixelBuffer') }));
}

module.exports = { child: () => child().catch((error) => {
  console.error(error.message);
  process.exit(1);
}) };

if (require.main === module) {
  main().catch((error) => {
    console.error(`wayland-capture benchmark failed: ${error.message}`);
    process.exit(1);
  });
}
