'use strict';
// A known picture shown over every monitor by a program of our own, and the frames a capture of
// it must deliver.
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawn } = require('node:child_process');
const { grid, waitFor } = require('./capture');
const { pictureRgb } = require('./picture-pixels');

// The program that shows the picture, with its leading arguments: a JSON array.
const pictureCommand = JSON.parse(process.env.CORVANE_PICTURE_COMMAND ?? 'null');


// Shows the picture from the top-left corner of the monitors to their bottom-right one, on this
// process's display or the one given (env: a compositor's variables), by the program command
// names; resolves to { origin, stop } once it is on screen.
async function showPicture(monitors, { display = process.env.DISPLAY, env = {}, command = pictureCommand, after = [] } = {}) {
  assert.ok(Array.isArray(command), 'CORVANE_PICTURE_COMMAND names the picture program');
  const origin = { x: Math.min(...monitors.map((m) => m.x)), y: Math.min(...monitors.map((m) => m.y)) };
  const right = Math.max(...monitors.map((m) => m.x + m.width));
  const bottom = Math.max(...monitors.map((m) => m.y + m.height));
  const ready = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'corvane-picture-')), 'ready');
  const [program, ...leading] = command;
  const placement = [origin.x, origin.y, right - origin.x, bottom - origin.y].map(String);
  const window = spawn(program, [...leading, ...placement, ready, ...after], { stdio: 'ignore', env: { ...process.env, DISPLAY: display, ...env } });
  await waitFor(() => fs.existsSync(ready) || window.exitCode !== null, 'the picture window', 30000);
  if (!fs.existsSync(ready)) throw new Error(`the picture program ended with ${window.exitCode}`);
  return { origin, stop: () => window.kill() };
}

// The frame of a width x height capture of monitor at rate, with the picture's corner at origin;
// samples outside the picture's area (right of or below `area`, when given) are black.
function expectedFrame(origin, monitor, width, height, rate, area = null) {
  const { columns, rows } = grid(width, height, rate);
  const bytes = Buffer.alloc(columns * rows * 3);
  for (let r = 0; r < rows; r++) {
    for (let c = 0; c < columns; c++) {
      // A display's capture starts at its own corner; the window starts at the desktop's.
      const x = monitor.x + c * rate - origin.x;
      const y = monitor.y + r * rate - origin.y;
      if (area && (x >= area.width || y >= area.height)) continue;
      bytes.set(pictureRgb(x, y), (r * columns + c) * 3);
    }
  }
  return bytes;
}

// Where two frames differ first, to say which row and column went wrong.
function firstDifference(actual, expected, width, rate) {
  const { columns } = grid(width, 1, rate);
  const i = actual.findIndex((b, k) => b !== expected[k]);
  if (i < 0) return 'none';
  const sample = Math.floor(i / 3);
  return `sample (${sample % columns}, ${Math.floor(sample / columns)}) byte ${i % 3}: ${actual[i]} != ${expected[i]}`;
}

module.exports = { showPicture, expectedFrame, firstDifference };
