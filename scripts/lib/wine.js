'use strict';
// Runs Windows Node.js under Wine on a virtual X display whose screen layout the caller picks.
const fs = require('node:fs');
const path = require('node:path');
const { spawn, spawnSync } = require('node:child_process');
const { root } = require('./run');
const { wine, winePrefix, wineserver, ensureWindowsNode } = require('./setup');
const { startXvfb } = require('./xvfb');

const toWindowsPath = (p) => `Z:${path.resolve(p).replace(/\//g, '\\')}`;

function wineEnv(display, extra = {}) {
  // No Mono or Gecko: a new prefix would otherwise offer to download them.
  const quiet = { WINEDEBUG: '-all', WINEARCH: 'win64', WINEDLLOVERRIDES: 'mscoree,mshtml=' };
  return { ...process.env, DISPLAY: display, WINEPREFIX: winePrefix, ...quiet, ...extra };
}

// Waits for the prefix's Wine server to end, so that the next run sees a fresh desktop.
function stopWineServer(display) {
  spawnSync(wineserver, ['-k'], { env: wineEnv(display), stdio: 'ignore' });
  spawnSync(wineserver, ['-w'], { env: wineEnv(display), stdio: 'ignore', timeout: 30000 });
}

// A new prefix must claim Windows 10, or Node.js refuses to start.
function ensurePrefix(display) {
  if (fs.existsSync(path.join(winePrefix, 'system.reg'))) return;
  fs.mkdirSync(winePrefix, { recursive: true });
  spawnSync(wine, ['winecfg', '-v', 'win10'], { env: wineEnv(display), stdio: 'ignore', timeout: 120000 });
  stopWineServer(display);
  if (!fs.existsSync(path.join(winePrefix, 'system.reg'))) throw new Error(`could not create the Wine prefix ${winePrefix}`);
}

// Copies what is appended to `file` to our standard output, until the returned stop is called.
function follow(file) {
  let offset = 0;
  const copy = () => {
    let fd;
    try {
      fd = fs.openSync(file, 'r');
      const size = fs.fstatSync(fd).size;
      if (size <= offset) return;
      const chunk = Buffer.alloc(size - offset);
      fs.readSync(fd, chunk, 0, chunk.length, offset);
      offset = size;
      process.stdout.write(chunk);
    } catch {
      // Not there yet.
    } finally {
      if (fd !== undefined) fs.closeSync(fd);
    }
  };
  const timer = setInterval(copy, 250);
  return () => {
    clearInterval(timer);
    copy();
  };
}

// Runs node.exe (Windows Node.js 20 unless `node` names another) with args. Windows Node.js cannot
// write to a pipe under Wine, so its output goes to files, which are read back and, with `live`,
// shown as they grow.
async function runWindowsNode(display, args, { env = {}, timeout = 300000, outDir, node = ensureWindowsNode(), live = false } = {}) {
  ensurePrefix(display);
  fs.mkdirSync(path.join(root, 'build'), { recursive: true });
  const dir = outDir ?? fs.mkdtempSync(path.join(root, 'build', 'run-'));
  fs.mkdirSync(dir, { recursive: true });
  const outFile = path.join(dir, 'stdout.txt');
  const errFile = path.join(dir, 'stderr.txt');
  const out = fs.openSync(outFile, 'w');
  const err = fs.openSync(errFile, 'w');
  const child = spawn(wine, [node, ...args], { cwd: root, env: wineEnv(display, env), stdio: ['ignore', out, err] });
  fs.closeSync(out);
  fs.closeSync(err);
  const stopFollowing = live ? follow(outFile) : () => {};
  let timedOut = false;
  const timer = setTimeout(() => {
    timedOut = true;
    child.kill('SIGKILL');
  }, timeout);
  const [status, signal] = await new Promise((resolve) => child.once('exit', (...end) => resolve(end)));
  clearTimeout(timer);
  stopFollowing();
  stopWineServer(display);
  return {
    status,
    signal,
    error: timedOut ? new Error(`timed out after ${timeout} ms`) : undefined,
    stdout: fs.readFileSync(outFile, 'utf8'),
    stderr: fs.readFileSync(errFile, 'utf8'),
    dir,
  };
}

// Starts a Windows program under Wine without waiting for it; its output goes to outFile.
function startWindowsProgram(display, program, args, { env = {}, outFile, errFile = outFile } = {}) {
  ensurePrefix(display);
  const out = fs.openSync(outFile, 'w');
  const err = errFile === outFile ? out : fs.openSync(errFile, 'w');
  const child = spawn(wine, [program, ...args], { cwd: root, env: wineEnv(display, env), stdio: ['ignore', out, err] });
  fs.closeSync(out);
  if (err !== out) fs.closeSync(err);
  return child;
}

module.exports = { startXvfb, runWindowsNode, startWindowsProgram, stopWineServer, toWindowsPath };
