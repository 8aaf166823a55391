'use strict';
// The System V shared-memory segments this process made that are still attached somewhere: the
// X11 captures' MIT-SHM read-outs.
const { readFileSync } = require('node:fs');

function ourSegmentSizes() {
  const [, ...rows] = readFileSync('/proc/sysvipc/shm', 'utf8').trim().split('\n');
  return rows
    .map((row) => row.trim().split(/\s+/))
    .filter((fields) => Number(fields[4]) === process.pid)
    .map((fields) => Number(fields[3]));
}

module.exports = { ourSegmentSizes };
