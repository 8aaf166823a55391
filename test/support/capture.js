'use strict';
// Helpers for tests of the captures, which deliver on the event loop until stopped.
const { corvane } = require('./binding');

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Waits until predicate() holds, polling the event loop so that deliveries run.
async function waitFor(predicate, what, timeout = 15000) {
  const deadline = Date.now() + timeout;
  while (!predicate()) {
    if (Date.now() > deadline) throw new Error(`timed out waiting for ${what}`);
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

module.exports = { sleep, waitFor, collect, grid, frameSize };
