'use strict';
// Virtual X displays for the tests, the benchmarks and the demo.
const { spawn } = require('node:child_process');

// Starts Xvfb with one X screen per {width, height}; several screens are joined by Xinerama.
// The display number is the first free one unless displayNumber is given.
// RandR is on for one screen and off for several unless asked for: Wine sees several monitors
// only through Xinerama (it ignores RandR on Xvfb), while an X11 client sees both. Without shm,
// the server has no MIT-SHM, as over the network; without render, no RENDER.
function startXvfb(screens, { randr = screens.length === 1, shm = true, render = true, displayNumber } = {}) {
  const args = [...(displayNumber === undefined ? [] : [`:${displayNumber}`]), '-displayfd', '3', '-nolisten', 'tcp', '-noreset'];
  screens.forEach((s, i) => args.push('-screen', String(i), `${s.width}x${s.height}x24`));
  if (screens.length > 1) args.push('+xinerama');
  if (!randr) args.push('-extension', 'RANDR');
  if (!shm) args.push('-extension', 'MIT-SHM');
  if (!render) args.push('-extension', 'RENDER');
  const server = spawn('Xvfb', args, { stdio: ['ignore', 'ignore', 'pipe', 'pipe'] });
  let errors = '';
  server.stderr.on('data', (d) => (errors += d));
  return new Promise((resolve, reject) => {
    let number = '';
    server.stdio[3].on('data', (d) => {
      number += d;
      if (!number.includes('\n')) return;
      resolve({
        display: `:${number.trim()}`,
        pid: server.pid,
        stop: () =>
          new Promise((done) => {
            if (server.exitCode !== null) return done();
            server.once('exit', done);
            server.kill('SIGTERM');
          }),
      });
    });
    server.once('exit', (code) => reject(new Error(`Xvfb exited with ${code}: ${errors.trim()}`)));
    server.once('error', reject);
  });
}

module.exports = { startXvfb };
