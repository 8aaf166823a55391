'use strict';
// A capture whose callback is slower than the grabs, on X11 (an Xvfb of its own, 1920x1080): how
// much resident memory grows, how late a 100 ms timer of the application fires, and how many
// frames still arrive after the stop. Each binary runs each case in a process of its own, one
// after the other, so that the binaries are compared in one run (CORVANE_BENCH_BINARIES: a JSON
// list of [label, file]; by default the local build).
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const { startXvfb } = require('../scripts/lib/xvfb');

const seconds = Number(process.env.CORVANE_BENCH_SECONDS ?? 20);
const binaries = JSON.parse(
  process.env.CORVANE_BENCH_BINARIES ?? JSON.stringify([['corvane', path.join(__dirname, '..', 'build', 'host', 'corvane.node')]]),
);
const cases = [
  { work: 10, interval: 0, rate: 1 },
  { work: 50, interval: 33, rate: 1 },
];

// Runs in the child: the capture for `seconds`, then the stop, then as long as frames keep coming
// (at most 60 s more).
const child = `
  const corvane = require(process.env.BINARY);
  const { work, interval, rate, seconds } = JSON.parse(process.env.CASE);
  const display = corvane.getMonitors().find((m) => m.isPrimary);
  const startRss = process.memoryUsage().rss;
  const started = performance.now();
  let peakRss = startRss;
  let frames = 0;
  let after = null;
  const lateness = [];
  let last = performance.now();
  const timer = setInterval(() => {
    const now = performance.now();
    lateness.push(now - last - 100);
    last = now;
    peakRss = Math.max(peakRss, process.memoryUsage().rss);
  }, 100);
  corvane.startCaptureScreen(() => {
    if (after === null) frames++;
    else after++;
    const until = performance.now() + work;
    while (performance.now() < until);
  }, display, interval, rate);
  setTimeout(() => {
    const stopStarted = performance.now();
    corvane.stopCaptureScreen();
    const stopMs = performance.now() - stopStarted;
    after = 0;
    clearInterval(timer);
    const sorted = lateness.slice().sort((a, b) => a - b);
    let quiet = 0;
    const watch = setInterval(() => {
      if (after === quiet || performance.now() - stopStarted > 60000) {
        clearInterval(watch);
        console.log(JSON.stringify({
          // A starved event loop runs the stop's timer late: the span is measured.
          fps: frames / ((stopStarted - started) / 1000),
          rssGrowthMB: (peakRss - startRss) / 2 ** 20,
          timerTicks: lateness.length,
          lateMedianMs: sorted[sorted.length >> 1] ?? null,
          lateMaxMs: sorted.at(-1) ?? null,
          stopMs,
          after,
        }));
        process.exit(0);
      }
      quiet = after;
    }, 1000);
  }, seconds * 1000);
`;

async function main() {
  const xvfb = await startXvfb([{ width: 1920, height: 1080 }]);
  try {
    console.log(`${seconds} s per case, 1920x1080; lateness of a 100 ms setInterval; frames after the stop counted until none came for 1 s`);
    console.log('| case | binary | frames/s | RSS growth (MB) | timer ticks (of ' + seconds * 10 + ') | timer late, median / max (ms) | stop (ms) | frames after the stop |');
    console.log('|---|---|---|---|---|---|---|---|');
    for (const c of cases) {
      for (const [label, file] of binaries) {
        const result = spawnSync(process.execPath, ['-e', child], {
          encoding: 'utf8',
          env: { ...process.env, DISPLAY: xvfb.display, BINARY: file, CASE: JSON.stringify({ ...c, seconds }) },
          maxBuffer: 1 << 24,
        });
        if (result.status !== 0) throw new Error(`${label}: ${result.stderr}`);
        const r = JSON.parse(result.stdout.trim().split('\n').pop());
        const f = (n, d = 1) => (n === null ? '-' : n.toFixed(d));
        console.log(
          `| ${c.work} ms callback, interval ${c.interval}, rate ${c.rate} | ${label} | ${f(r.fps)} | ${f(r.rssGrowthMB, 0)} | ` +
            `${r.timerTicks} | ${f(r.lateMedianMs)} / ${f(r.lateMaxMs)} | ${f(r.stopMs)} | ${r.after} |`,
        );
      }
    }
  } finally {
    await xvfb.stop();
  }
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
