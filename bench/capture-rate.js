'use strict';
// One capture at interval 0, after a warm-up, for `seconds`: frames per second, this process's
// processor time per frame and the last frame. Plain Node.js, so that it runs in every Node.js the
// benchmarks start (Windows Node.js under Wine, Node.js for arm64 under qemu).
function captureRate(corvane, display, rate, { seconds, warmup }) {
  return new Promise((resolve, reject) => {
    let frames = -warmup;
    let start;
    let cpu;
    const watchdog = setTimeout(() => reject(new Error(`no frames at rate ${rate}`)), (seconds + 60) * 1000);
    corvane.startCaptureScreen((frame) => {
      if (frames === null) return; // queued before the stop
      if (++frames === 0) {
        start = process.hrtime.bigint();
        cpu = process.cpuUsage();
      } else if (frames > 0 && process.hrtime.bigint() - start >= BigInt(seconds * 1e9)) {
        const used = process.cpuUsage(cpu);
        const wall = Number(process.hrtime.bigint() - start) / 1e9;
        const result = { perSecond: frames / wall, cpuMs: (used.user + used.system) / 1e3 / frames, frame };
        frames = null;
        clearTimeout(watchdog);
        corvane.stopCaptureScreen();
        // Frames queued before the stop are delivered first.
        setTimeout(() => resolve(result), 100);
      }
    }, display, 0, rate);
  });
}

module.exports = { captureRate };
