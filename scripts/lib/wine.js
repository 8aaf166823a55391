'use strict';
// Runs Windows Node.js under Wine on a virtual X display whose screen layout the caller picks: the
// host's Wine 8, or Wine 10 from a Debian 13 root (for Windows Node.js 24, which Wine 8 cannot start).
const fs = require('node:fs');
const path = require('node:path');
const { spawn, spawnSync } = require('node:child_process');
const { root } = require('./run');
const { cacheDir, wine, winePrefix, wineserver, ensureWindowsNode } = require('./setup');
const { ensureWine10Root, wine10RootDir } = require('./wine10-root');
const { startXvfb } = require('./xvfb');

const toWindowsPath = (p) => `Z:${path.resolve(p).replace(/\//g, '\\')}`;
const quote = (s) => `'${String(s).replace(/'/g, "'\\''")}'`;

// Enters the Debian 13 root in a mount namespace of its own, with the host's kernel file systems,
// X sockets, checkout and cache (node.exe, the prefix) mounted at their own paths: the mounts go
// with the namespace's last process, so nothing stays mounted on the host. The command is exec'd,
// so the pid spawned is Wine's own and a kill reaches it.
function inWine10Root(command, args) {
  const dir = ensureWine10Root();
  const binds = ['/tmp/.X11-unix', root, cacheDir];
  const mounts = [
    `mount -t proc proc ${quote(`${dir}/proc`)}`,
    ...['/dev', '/sys'].map((d) => `mount --rbind ${d} ${quote(dir + d)}`),
    ...binds.map((d) => `mkdir -p ${quote(dir + d)} && mount --bind ${quote(d)} ${quote(dir + d)}`),
  ];
  const script = `set -e\n${mounts.join('\n')}\nexec chroot ${quote(dir)} "$@"`;
  return ['unshare', ['--mount', '--propagation', 'private', 'sh', '-c', script, 'sh', command, ...args]];
}

// Each Wine with a prefix of its own: a prefix that one Wine has updated is not for the other.
const wines = {
  8: { prefix: winePrefix, loader: wine, server: wineserver, enter: (command, args) => [command, args] },
  // Debian's Wine 10 aborts (free(): invalid pointer) whenever TMPDIR is set, even to /tmp.
  // Debian's wine64 package puts both at the same paths in the root.
  10: { prefix: path.join(cacheDir, 'wine10'), loader: wine, server: wineserver, enter: inWine10Root, unset: ['TMPDIR'] },
};

function wineEnv(version, display, extra = {}) {
  // No Mono or Gecko: a new prefix would otherwise offer to download them.
  const quiet = { WINEDEBUG: '-all', WINEARCH: 'win64', WINEDLLOVERRIDES: 'mscoree,mshtml=' };
  const env = { ...process.env, DISPLAY: display, WINEPREFIX: wines[version].prefix, ...quiet, ...extra };
  for (const name of wines[version].unset ?? []) delete env[name];
  return env;
}

// Starts a program of the given Wine (its loader or server) with that Wine's environment.
function spawnWine(version, display, program, args, options = {}) {
  const [command, argv] = wines[version].enter(program, args);
  return spawn(command, argv, { cwd: root, ...options, env: wineEnv(version, display, options.env) });
}

function spawnWineSync(version, display, program, args, options = {}) {
  const [command, argv] = wines[version].enter(program, args);
  return spawnSync(command, argv, { cwd: root, stdio: 'ignore', ...options, env: wineEnv(version, display, options.env) });
}

// Waits for the prefix's Wine server to end, so that the next run sees a fresh desktop and no
// Wine process is left.
function stopWineServer(display, version = 8) {
  const { server } = wines[version];
  spawnWineSync(version, display, server, ['-k']);
  spawnWineSync(version, display, server, ['-w'], { timeout: 30000 });
}

// What a run of the given Wine left behind once its server stopped, which should be nothing: a
// process of its prefix, or a mount of Wine 10's root on the host.
function wineLeftovers(version) {
  const prefixed = `WINEPREFIX=${wines[version].prefix}`;
  const read = (file) => {
    try {
      return fs.readFileSync(file, 'utf8');
    } catch {
      return ''; // Ended meanwhile, or a zombie, which has no environment.
    }
  };
  const processes = fs.readdirSync('/proc').filter((pid) => /^\d+$/.test(pid) && read(`/proc/${pid}/environ`).split('\0').includes(prefixed))
    .map((pid) => `process ${pid} (${read(`/proc/${pid}/comm`).trim()})`);
  const mounts = version === 10 ? read('/proc/self/mountinfo').split('\n').filter((line) => line.includes(` ${wine10RootDir}`)) : [];
  return [...processes, ...mounts.map((line) => `mount ${line.split(' ')[4]}`)];
}

// A new prefix must claim Windows 10, or Node.js refuses to start.
function ensurePrefix(display, version) {
  const { prefix, loader } = wines[version];
  if (fs.existsSync(path.join(prefix, 'system.reg'))) return;
  fs.mkdirSync(prefix, { recursive: true });
  spawnWineSync(version, display, loader, ['winecfg', '-v', 'win10'], { timeout: 120000 });
  stopWineServer(display, version);
  if (!fs.existsSync(path.join(prefix, 'system.reg'))) throw new Error(`could not create the Wine prefix ${prefix}`);
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

// Runs node.exe (Windows Node.js 20 unless `node` names another) with args, under Wine 8 unless
// `wine` is 10. Windows Node.js cannot write to a pipe under Wine, so its output goes to files,
// which are read back and, with `live`, shown as they grow.
async function runWindowsNode(display, args, { env = {}, timeout = 300000, outDir, node = ensureWindowsNode(), live = false, wine: version = 8 } = {}) {
  ensurePrefix(display, version);
  fs.mkdirSync(path.join(root, 'build'), { recursive: true });
  const dir = outDir ?? fs.mkdtempSync(path.join(root, 'build', 'run-'));
  fs.mkdirSync(dir, { recursive: true });
  const outFile = path.join(dir, 'stdout.txt');
  const errFile = path.join(dir, 'stderr.txt');
  const out = fs.openSync(outFile, 'w');
  const err = fs.openSync(errFile, 'w');
  const child = spawnWine(version, display, wines[version].loader, [node, ...args], { env, stdio: ['ignore', out, err] });
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
  stopWineServer(display, version);
  return {
    status,
    signal,
    error: timedOut ? new Error(`timed out after ${timeout} ms`) : undefined,
    stdout: fs.readFileSync(outFile, 'utf8'),
    stderr: fs.readFileSync(errFile, 'utf8'),
    dir,
  };
}

// Starts a Windows program under Wine (8 unless `wine` is 10) without waiting for it; its output
// goes to outFile. The caller stops the Wine server once done.
function startWindowsProgram(display, program, args, { env = {}, outFile, errFile = outFile, wine: version = 8 } = {}) {
  ensurePrefix(display, version);
  const out = fs.openSync(outFile, 'w');
  const err = errFile === outFile ? out : fs.openSync(errFile, 'w');
  const child = spawnWine(version, display, wines[version].loader, [program, ...args], { env, stdio: ['ignore', out, err] });
  fs.closeSync(out);
  if (err !== out) fs.closeSync(err);
  return child;
}

module.exports = { startXvfb, runWindowsNode, startWindowsProgram, stopWineServer, toWindowsPath, wineLeftovers };
