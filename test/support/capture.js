'use strict';
// Helpers for tests of the captures, which deliver on the event loop until stopped.
const { corvane, simulator } = require('./binding');

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Waits until predicate() holds (or resolves to true), polling the event loop so that deliveries
// run. `what` may be a function, asked at the timeout, so that the message tells how things stood then.
async function waitFor(predicate, what, timeout = 15000) {
  const deadline = Date.now() + timeout;
  while (!(await predicate())) {
    if (Date.now() > deadline) throw new Error(`timed out waiting for ${typeof what === 'function' ? what() : what}`);
    await sleep(5);
  }
}

// Starts a capture with start(callback), takes `count` deliveries, stops it and returns them.
async function collect(start, count = 1, { timeout } = {}) {
  const deliveries = [];
  start((value) => deliveries.push(value));
  try {
    await waitFor(() => deliveries.length >= count, `${count} deliveries`, timeout);
  } finally {
    corvane.stopCaptureScreen();
  }
  return deliveries.slice(0, count);
}

// The sample grid of a capture: columns and rows.
function grid(width, height, samplingRate) {
  return {
    columns: width > 0 ? Math.ceil(width / samplingRate) : 0,
    rows: height > 0 ? Math.ceil(height / samplingRate) : 0,
  };
}

function frameSize(width, height, samplingRate) {
  const { columns, rows } = grid(width, height, samplingRate);
  return columns * rows * 3;
}

// The line a capture writes once when it cannot see a display, and what it says there of a name
// that names no display, on the backend this process captures through: GDI on Windows and on the
// simulated desktop, else X11, wlr-screencopy (Wayland) or the desktop portal.
const captureWay =
  simulator || process.platform === 'win32'
    ? 'GDI'
    : process.env.CORVANE_BACKEND === 'portal'
      ? 'the desktop portal'
      : process.env.WAYLAND_DISPLAY
        ? 'wlr-screencopy'
        : 'X11';
const unknownDisplayWhy = {
  GDI: 'no display of that name',
  X11: `the X server on ${process.env.DISPLAY} has no monitor of that name`,
  'wlr-screencopy': 'the compositor has no output of that name',
}[captureWay];

const blindLine = (displayId, why, way = captureWay) => `capture of ${displayId} through ${way}: ${why}; frames are zero-filled`;
// The lines of a process's standard error that say a capture is blind.
const blindLines = (stderr) => stderr.split(/\r?\n/).filter((line) => line.startsWith('capture of '));

// For a child's script: take(start, count) starts a capture with start(callback), stops it after
// `count` deliveries and resolves to them, each as [name, length, zero-filled] per frame (a single
// capture's frame named 'single'); what was queued before the stop is left out.
const takeFrames = `const take = (start, count) => new Promise((resolve) => {
  const got = [];
  start((delivered) => {
    if (got.length === count) return;
    const frames = Buffer.isBuffer(delivered) ? { single: delivered } : delivered;
    got.push(Object.entries(frames).map(([name, f]) => [name, f.length, f.every((b) => b === 0)]));
    if (got.length === count) {
      corvane.stopCaptureScreen();
      resolve(got);
    }
  });
});`;

// Captures display at rate in this process until a frame equals expected (a picture that takes a
// while to show, a stream's first frames); the last frame otherwise, or null.
async function captureUntil(expected, display, rate, timeout = 20000) {
  let last = null;
  corvane.startCaptureScreen((frame) => (last = frame), display, 20, rate);
  try {
    await waitFor(() => last !== null && last.equals(expected), 'the picture', timeout).catch(() => {});
  } finally {
    corvane.stopCaptureScreen();
  }
  return last;
}

module.exports = { sleep, waitFor, collect, captureUntil, grid, frameSize, captureWay, unknownDisplayWhy, blindLine, blindLines, takeFrames };
