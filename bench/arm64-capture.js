'use strict';
// The linux-arm64 binary in Node.js for arm64 under qemu beside the linux-x64 one natively: both
// capture the same 1920x1080 Xvfb screen, showing the test picture, at interval 0, sampled by the
// X server and read whole, and must deliver the same frames byte for byte. Frames per second and
// the capturing process's processor time per frame. Emulated figures only
// show that nothing on arm64 is pathological: qemu translates every instruction.
//   node bench/arm64-capture.js             the comparison (needs npm run prebuilds first)
//   node bench/arm64-capture.js --measure   one side, run by the comparison
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const crypto = require('node:crypto');
const { spawnSync } = require('node:child_process');
const { captureRate } = require('./capture-rate');

const WIDTH = 1920;
const HEIGHT = 1080;
const RATES = [1, 2, 4, 10, 16];
const WAYS = ['server', 'client'];
const seconds = Number(process.env.CORVANE_BENCH_SECONDS ?? 3);
const WARMUP = 10;

// In the measuring process: every rate and way, as JSON on standard output.
async function measure() {
  const corvane = require(process.env.CORVANE_BINARY);
  const display = corvane.getMonitors().find((m) => m.isPrimary);
  const results = [];
  for (const way of WAYS) {
    process.env.CORVANE_X11_SAMPLING = way;
    for (const rate of RATES) {
      const { perSecond, cpuMs, frame } = await captureRate(corvane, display, rate, { seconds, warmup: WARMUP });
      results.push({ way, rate, fps: perSecond, cpuMs, digest: crypto.createHash('sha256').update(frame).digest('hex') });
    }
  }
  process.stdout.write(JSON.stringify(results));
}

async function compare() {
  const { startXvfb } = require('../scripts/lib/xvfb');
  const { ensureNode, nodeVersions } = require('../scripts/lib/setup');
  const { arm64Root } = require('../scripts/lib/arm64-root');
  const { showTestPicture } = require('./x11-support');
  const root = path.join(__dirname, '..');
  const xvfb = await startXvfb([{ width: WIDTH, height: HEIGHT }]);
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'corvane-bench-'));
  let picture;
  try {
    process.env.DISPLAY = xvfb.display;
    picture = await showTestPicture(dir, WIDTH, HEIGHT);
    const arm64Node = ensureNode('linux', nodeVersions.linuxArm64.at(-1), 'arm64');
    const sides = {
      'x64, native': [process.execPath, 'linux-x64'],
      'arm64, qemu': ['qemu-aarch64-static', 'linux-arm64', ['-L', arm64Root, arm64Node]],
    };
    const measured = {};
    for (const [name, [command, target, prefix = []]] of Object.entries(sides)) {
      const run = spawnSync(command, [...prefix, __filename, '--measure'], {
        encoding: 'utf8',
        env: { ...process.env, DISPLAY: xvfb.display, CORVANE_BINARY: path.join(root, 'prebuilds', target, 'corvane.node') },
        stdio: ['ignore', 'pipe', 'inherit'],
      });
      if (run.status !== 0) throw new Error(`the ${name} side exited with ${run.status ?? run.signal}`);
      measured[name] = JSON.parse(run.stdout);
    }
    const [native, emulated] = Object.values(measured);
    console.log(`\n1920x1080, interval 0, ${seconds} s each; frames equal on both sides byte for byte.\n`);
    console.log('| sampled by | rate | x64 frames/s | x64 ms CPU/frame | arm64 (qemu) frames/s | arm64 ms CPU/frame | frames/s ratio |');
    console.log('|---|---:|---:|---:|---:|---:|---:|');
    native.forEach((n, i) => {
      const e = emulated[i];
      if (n.digest !== e.digest) throw new Error(`the frames differ at rate ${n.rate}, sampled by the ${n.way}`);
      console.log(`| ${n.way} | ${n.rate} | ${n.fps.toFixed(0)} | ${n.cpuMs.toFixed(2)} | ${e.fps.toFixed(0)} | ${e.cpuMs.toFixed(2)} | ` +
        `${(e.fps / n.fps).toFixed(2)} |`);
    });
  } finally {
    picture?.kill();
    await xvfb.stop();
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

(process.argv[2] === '--measure' ? measure() : compare()).catch((error) => {
  console.error(error.stack);
  process.exit(1);
});
