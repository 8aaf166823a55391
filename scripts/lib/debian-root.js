'use strict';
// Debian roots made once with debootstrap and kept in the cache folder, shared by every checkout.
// Each is marked ready with the packages it was made with, so a changed list makes a new root.
const fs = require('node:fs');
const path = require('node:path');
const { run, banner } = require('./run');
const { cacheDir, ensureSystem } = require('./setup');

const MIRROR = 'http://deb.debian.org/debian';
const READY = '.corvane-ready';

const debianRootDir = (suite, arch) => path.join(cacheDir, `${suite}${arch ? `-${arch}` : ''}-root`);

// A root of another processor's is fetched, never run: debootstrap's first stage alone (--foreign),
// then every package unpacked, as a sysroot. Its absolute links would point into the host once it
// is used so (lld would take the host's libpthread.a): each becomes relative to where it stands.
function unpackForeign(dir) {
  const archives = path.join(dir, 'var', 'cache', 'apt', 'archives');
  for (const deb of fs.readdirSync(archives).filter((f) => f.endsWith('.deb'))) run('dpkg', ['-x', path.join(archives, deb), dir]);
  fs.rmSync(archives, { recursive: true, force: true });
  const relink = (folder) => {
    for (const entry of fs.readdirSync(folder, { withFileTypes: true })) {
      const where = path.join(folder, entry.name);
      if (entry.isDirectory()) relink(where);
      if (!entry.isSymbolicLink() || !path.isAbsolute(fs.readlinkSync(where))) continue;
      const target = path.join(dir, fs.readlinkSync(where));
      fs.unlinkSync(where);
      fs.symlinkSync(path.relative(folder, target) || '.', where);
    }
  };
  relink(dir);
}

// `include` goes in with debootstrap's base; `install` is installed by apt-get in the root after,
// which resolves dependencies as any install does (debootstrap's own resolver is a simple one).
// `system` names the group of Debian packages making it needs (debootstrap). With `arch`, the root
// is of that processor and only unpacked (above). Returns the root's folder.
function ensureDebianRoot({ suite, arch, include = [], install = [], title, why, forWhat, system }) {
  const dir = debianRootDir(suite, arch);
  const readyFile = path.join(dir, READY);
  const wanted = [include.join(' '), install.length > 0 && `apt-get install ${install.join(' ')}`].filter(Boolean).join(', ');
  if (fs.existsSync(readyFile) && fs.readFileSync(readyFile, 'utf8') === wanted) return dir;
  if (process.getuid?.() !== 0) throw new Error(`${forWhat} needs a Debian root made with debootstrap, which needs root; run it as root`);
  ensureSystem(system);
  banner(`${title} in ${dir}`, why);
  const partial = `${dir}.partial`;
  fs.rmSync(partial, { recursive: true, force: true });
  fs.rmSync(dir, { recursive: true, force: true });
  fs.mkdirSync(cacheDir, { recursive: true });
  const foreign = arch ? [`--arch=${arch}`, '--foreign'] : [];
  run('debootstrap', [...foreign, '--variant=minbase', ...(include.length > 0 ? [`--include=${include.join(',')}`] : []), suite, partial,
    MIRROR], { stdio: ['ignore', 'ignore', 'inherit'] });
  if (arch) unpackForeign(partial);
  if (install.length > 0) {
    const apt = (...args) => chrootRun(partial, 'apt-get', ['-qq', ...args], ['DEBIAN_FRONTEND=noninteractive'], { stdio: ['ignore', 'ignore', 'inherit'] });
    apt('update');
    apt('install', '-y', '--no-install-recommends', ...install);
    apt('clean');
  }
  fs.writeFileSync(path.join(partial, READY), wanted);
  fs.renameSync(partial, dir);
  return dir;
}

// Runs a command inside a root with a clean environment (and `env`, NAME=VALUE strings).
function chrootRun(dir, command, args, env = [], options = {}) {
  return run('chroot', [dir, '/usr/bin/env', '-i', 'PATH=/usr/sbin:/usr/bin:/sbin:/bin', 'HOME=/root', 'LC_ALL=C', ...env,
    command, ...args], options);
}

module.exports = { ensureDebianRoot, chrootRun, debianRootDir };
