'use strict';
// Runs the sampler benchmark (Google Benchmark) and prints each path's time per frame as a ratio
// to one memcpy of the same pixel buffer, measured in the same run: medians of repetitions run in
// a random interleaved order, so that a busy moment of a shared machine falls on all of them.
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawnSync } = require('node:child_process');

const binary = path.join(__dirname, '..', 'build', 'host', 'corvane_sampler_bench');
const repetitions = process.env.CORVANE_BENCH_REPETITIONS ?? '9';

function main() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'corvane-sampler-'));
  try {
    const out = path.join(dir, 'results.json');
    const run = spawnSync(
      binary,
      ['--benchmark_min_time=0.1', `--benchmark_repetitions=${repetitions}`, '--benchmark_enable_random_interleaving=true',
        '--benchmark_report_aggregates_only=true',
        `--benchmark_out=${out}`, '--benchmark_out_format=json'],
      { stdio: ['ignore', 'inherit', 'inherit'] },
    );
    if (run.status !== 0) throw new Error(`${binary} exited with ${run.status ?? run.signal}`);
    // Names are memcpy/W/H and sample/PATH/W/H/RATE; times in µs.
    const medians = new Map();
    for (const b of JSON.parse(fs.readFileSync(out, 'utf8')).benchmarks) {
      if (b.aggregate_name === 'median') medians.set(b.run_name, b.real_time);
    }
    const rates = [1, 2, 4, 10, 16];
    console.log('\nMedian time per frame in µs, and as a ratio to the memcpy (goal at rates 1 and 2: at most 1.2).\n');
    console.log(`| display | memcpy | path | ${rates.map((r) => `rate ${r}`).join(' | ')} |`);
    console.log(`|---|---:|---|${rates.map(() => '---:').join('|')}|`);
    for (const [width, height] of [[1920, 1080], [3840, 2160]]) {
      const memcpy = medians.get(`memcpy/${width}/${height}`);
      for (const name of ['plain', 'ssse3', 'avx2']) {
        const cells = rates.map((rate) => {
          const time = medians.get(`sample/${name}/${width}/${height}/${rate}`);
          return time === undefined ? (name === 'plain' ? 'n/a' : 'plain') : `${time.toFixed(1)} (${(time / memcpy).toFixed(2)})`;
        });
        if (cells.every((c) => c === 'plain' || c === 'n/a')) continue;  // a path this processor lacks
        console.log(`| ${width}x${height} | ${memcpy.toFixed(1)} | ${name} | ${cells.join(' | ')} |`);
      }
    }
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

main();
