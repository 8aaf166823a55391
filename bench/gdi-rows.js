'use strict';
// GDI's two ways of reading a display, in Windows Node.js under Wine: the whole area against the
// sampled rows alone, and the capture's own choice between them, side by side in one run. Ticks
// per second and this process's processor time per tick at interval 0, rates 2, 4, 8 and 16, for
// a 1920x1080 area and a 3840x2160 one of the same 3840x2160 screen. Each way's frames must equal
// the whole read's, byte for byte, or the script fails.
//   node bench/gdi-rows.js   (run by npm run bench, under Wine, with CORVANE_BINARY the module)
const { captureRate } = require('./capture-rate');

const corvane = require(process.env.CORVANE_BINARY);

const seconds = Number(process.env.CORVANE_BENCH_SECONDS ?? 3);
const RATES = [2, 4, 8, 16];
const SIZES = [[1920, 1080], [3840, 2160]];
const WAYS = ['whole', 'rows', 'auto'];
const WARMUP = 20; // past the automatic choice's first comparison

async function measure(way, display, rate) {
  // Read when the capture opens its display.
  if (way === 'auto') delete process.env.CORVANE_GDI_SAMPLING;
  else process.env.CORVANE_GDI_SAMPLING = way;
  try {
    return await captureRate(corvane, display, rate, { seconds, warmup: WARMUP });
  } finally {
    delete process.env.CORVANE_GDI_SAMPLING;
  }
}

async function main() {
  const screen = corvane.getMonitors().find((m) => m.isPrimary);
  if (!screen || screen.width < 3840 || screen.height < 2160) throw new Error('needs a 3840x2160 screen');
  console.log(`\nTicks per second and ms of processor time per tick, interval 0, ${seconds} s each; frames equal byte for byte.\n`);
  console.log('| area | rate | whole | rows | automatic | rows / whole | automatic / better |');
  console.log('|---|---:|---:|---:|---:|---:|---:|');
  for (const [width, height] of SIZES) {
    for (const rate of RATES) {
      const display = { ...screen, width, height };
      const results = {};
      for (const way of WAYS) results[way] = await measure(way, display, rate);
      for (const way of ['rows', 'auto']) {
        if (!results[way].frame.equals(results.whole.frame)) throw new Error(`${way} differs from whole at ${width}x${height} rate ${rate}`);
      }
      const cell = (r) => `${r.perSecond.toFixed(0)} (${r.cpuMs.toFixed(2)} ms)`;
      const better = Math.max(results.whole.perSecond, results.rows.perSecond);
      console.log(`| ${width}x${height} | ${rate} | ${cell(results.whole)} | ${cell(results.rows)} | ${cell(results.auto)} | ` +
        `${(results.rows.perSecond / results.whole.perSecond).toFixed(2)} | ${(results.auto.perSecond / better).toFixed(2)} |`);
    }
  }
}

main().catch((error) => {
  console.error(error.stack);
  process.exit(1);
});
