'use strict';
// What the X11 benchmarks share: processor time of this process and of the Xvfb it started, and
// the test picture on screen.
const fs = require('node:fs');
const path = require('node:path');
const { spawn, spawnSync } = require('node:child_process');

const buildDir = path.join(__dirname, '..', 'build', 'host');
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const clockTicks = Number(spawnSync('getconf', ['CLK_TCK'], { encoding: 'utf8' }).stdout) || 100;

// Processor time of the Xvfb we started, in ms: the server does the reading out of the screen, so
// leaving it out would hide part of what a frame costs.
function serverCpuMs() {
  for (const pid of fs.readdirSync('/proc').filter((name) => /^\d+$/.test(name))) {
    let stat;
    try {
      stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
    } catch {
      continue;
    }
    const fields = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
    if (stat.includes('(Xvfb)') && Number(fields[1]) === process.pid) {
      return ((Number(fields[11]) + Number(fields[12])) * 1000) / clockTicks;
    }
  }
  throw new Error('cannot find our Xvfb in /proc');
}

// Wall time, this process's and the X server's processor time, over one measured span.
function span() {
  const wall = process.hrtime.bigint();
  const cpu = process.cpuUsage();
  const server = serverCpuMs();
  return (frames) => {
    const used = process.cpuUsage(cpu);
    const s = Number(process.hrtime.bigint() - wall) / 1e9;
    return {
      fps: frames / s,
      cpuMs: (used.user + used.system) / 1e3 / frames,
      serverMs: (serverCpuMs() - server) / frames,
    };
  };
}

// The test picture of x11_picture, width x height at the root window's corner, shown once the
// program says so in a file of dir.
async function showTestPicture(dir, width, height) {
  const ready = path.join(dir, 'ready');
  const picture = spawn(path.join(buildDir, 'x11_picture'), ['test', '0', '0', String(width), String(height), ready], {
    stdio: ['ignore', 'inherit', 'inherit'],
  });
  for (let waited = 0; !fs.existsSync(ready); waited += 50) {
    if (picture.exitCode !== null || waited > 10000) throw new Error('x11_picture did not show the test picture');
    await sleep(50);
  }
  return picture;
}

module.exports = { span, showTestPicture };
