'use strict';
// A multi capture of three displays beside single captures of each, on an Xvfb of three
// 1920x1080 screens joined by Xinerama (Xvfb places each at the origin, so every monitor shows the
// same test picture). Time per tick at interval 0, and processor time per tick of this process
// and of the X server; a three-display tick against the sum of the three single ticks, in many
// short rounds that alternate the two, so that a busy moment of a shared machine falls on both;
// the medians of the rounds' ratios.
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { startXvfb } = require('../scripts/lib/xvfb');
const { span, showTestPicture } = require('./x11-support');

const buildDir = path.join(__dirname, '..', 'build', 'host');
const seconds = Number(process.env.CORVANE_BENCH_SECONDS ?? 0.5);
const ROUNDS = Number(process.env.CORVANE_BENCH_ROUNDS ?? 9);
const WIDTH = 1920;
const HEIGHT = 1080;
const RATES = [4, 10];
const WARMUP = 10;

// Deliveries of a capture started by start(callback) at interval 0, counted for `seconds` after a
// warm-up; resolves to the time per tick and the last delivery.
function measure(corvane, start) {
  return new Promise((resolve, reject) => {
    let ticks = -WARMUP;
    let end;
    let deadline;
    let done = false;
    const watchdog = setTimeout(() => {
      done = true;
      corvane.stopCaptureScreen();
      reject(new Error(`a capture delivered ${ticks + WARMUP} times, then nothing`));
    }, (seconds + 10) * 1000);
    start((delivered) => {
      if (done) return; // queued before the stop
      if (++ticks === 0) {
        end = span();
        deadline = process.hrtime.bigint() + BigInt(Math.round(seconds * 1e9));
      } else if (ticks > 0 && process.hrtime.bigint() >= deadline) {
        done = true;
        clearTimeout(watchdog);
        corvane.stopCaptureScreen();
        const { fps, cpuMs, serverMs } = end(ticks);
        resolve({ tickMs: 1000 / fps, cpuMs, serverMs, delivered });
      }
    });
  });
}

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

async function main() {
  const xvfb = await startXvfb([0, 1, 2].map(() => ({ width: WIDTH, height: HEIGHT })), { randr: true });
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'corvane-bench-'));
  let picture;
  try {
    process.env.DISPLAY = xvfb.display;
    picture = await showTestPicture(dir, WIDTH, HEIGHT);
    const corvane = require(path.join(buildDir, 'corvane.node'));
    const displays = corvane.getMonitors();
    if (displays.length !== 3 || displays.some((d) => d.width !== WIDTH || d.height !== HEIGHT)) {
      throw new Error(`need three ${WIDTH}x${HEIGHT} monitors, got ${JSON.stringify(displays)}`);
    }

    const rows = [];
    for (const rate of RATES) {
      const rounds = [];
      for (let round = 0; round < ROUNDS; round++) {
        const singles = [];
        for (const display of displays) {
          singles.push(await measure(corvane, (cb) => corvane.startCaptureScreen(cb, display, 0, rate)));
        }
        const multi = await measure(corvane, (cb) => corvane.startCaptureMultiScreens(cb, displays, 0, rate));
        // Equal frames from both kinds, and not a blank screen, or the comparison is void.
        displays.forEach((display, i) => {
          const frame = multi.delivered[display.displayId];
          if (!frame.equals(singles[i].delivered)) throw new Error(`rate ${rate}: ${display.displayId} differs between the captures`);
          if (frame.every((byte) => byte === frame[0])) throw new Error('the frame is uniform: the test picture is not on screen');
        });
        const sum = (key) => singles.reduce((total, single) => total + single[key], 0);
        const singlesCpu = sum('cpuMs') + sum('serverMs');
        rounds.push({
          singles: { tickMs: sum('tickMs'), cpuMs: sum('cpuMs'), serverMs: sum('serverMs') },
          multi,
          wall: multi.tickMs / sum('tickMs'),
          cpu: (multi.cpuMs + multi.serverMs) / singlesCpu,
        });
      }
      rows.push({ rate, rounds });
    }

    const f = (n, digits = 2) => n.toFixed(digits);
    console.log(
      `Xvfb ${xvfb.display}: three ${WIDTH}x${HEIGHT}x24 screens (Xinerama, MIT-SHM), test picture; ` +
        `${ROUNDS} rounds of ${seconds} s per capture.`,
    );
    console.log('Time: wall time per tick; CPU: ms of processor time per tick, this node process + the Xvfb server.');
    console.log('Figures of the round with the median time ratio; ratios are medians of the rounds (lowest to highest).\n');
    console.log('| sampling rate | three single ticks: time, CPU | one three-display tick: time, CPU | time ratio (goal ≤ 1.2) | CPU ratio |');
    console.log('|---:|---:|---:|---:|---:|');
    const range = (values) => `${f(median(values))} (${f(Math.min(...values))} to ${f(Math.max(...values))})`;
    for (const { rate, rounds } of rows) {
      const shown = rounds.find((r) => r.wall === median(rounds.map((x) => x.wall)));
      const cells = ({ tickMs, cpuMs, serverMs }) => `${f(tickMs, 3)} ms, ${f(cpuMs)} + ${f(serverMs)}`;
      console.log(
        `| ${rate} | ${cells(shown.singles)} | ${cells(shown.multi)} | ${range(rounds.map((r) => r.wall))} | ` +
          `${range(rounds.map((r) => r.cpu))} |`,
      );
    }
  } finally {
    picture?.kill();
    await xvfb.stop();
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

main().catch((error) => {
  console.error(`x11-multi-capture benchmark failed: ${error.message}`);
  process.exit(1);
});
