'use strict';
// Runs arm64 Linux executables on this x86-64 machine through qemu's user-mode emulation. Node's
// test runner, and many tests, start process.execPath: the kernel itself must hand arm64 files to
// qemu, so for the time of a run qemu is registered with binfmt_misc (as root), and unregistered
// after. A registration the machine already has for arm64 is used as it is and left alone.
const fs = require('node:fs');
const path = require('node:path');
const { run } = require('./run');
const { arm64Root } = require('./arm64-root');

const binfmt = '/proc/sys/fs/binfmt_misc';
const NAME = 'corvane-aarch64';
// Debian's own rule (/usr/lib/binfmt.d/qemu-aarch64.conf): the magic of an arm64 ELF file, and
// flags F (qemu is opened now, so it runs inside any root), P (argv[0] kept) and O.
const rule = (name) => fs.readFileSync('/usr/lib/binfmt.d/qemu-aarch64.conf', 'utf8').trim().replace(/^:[^:]+:/, `:${name}:`);
const arm64Magic = '7f454c460201010000000000000000000200b700';

function registeredForArm64() {
  return fs.readdirSync(binfmt).some((entry) => {
    if (entry === 'register' || entry === 'status') return false;
    const text = fs.readFileSync(path.join(binfmt, entry), 'utf8');
    return text.startsWith('enabled') && text.includes(`magic ${arm64Magic}`);
  });
}

// Registers qemu for arm64 where nothing is; returns what undoes exactly that. The environment
// it gives makes qemu find the arm64 C library in the Debian 11 arm64 root.
function startArm64Emulation() {
  if (process.getuid?.() !== 0) throw new Error('running arm64 Node.js under qemu needs root, to register qemu with binfmt_misc');
  const mountsHere = !fs.existsSync(path.join(binfmt, 'register'));
  if (mountsHere) run('mount', ['-t', 'binfmt_misc', 'binfmt_misc', binfmt]);
  // Ours may be left from a run that was killed: it is then removed at the end as well.
  const ours = fs.existsSync(path.join(binfmt, NAME));
  const registersHere = ours || !registeredForArm64();
  if (registersHere && !ours) fs.writeFileSync(path.join(binfmt, 'register'), rule(NAME));
  return {
    env: { QEMU_LD_PREFIX: arm64Root },
    stop() {
      if (registersHere) fs.writeFileSync(path.join(binfmt, NAME), '-1');
      if (mountsHere) run('umount', [binfmt]);
    },
  };
}

module.exports = { startArm64Emulation };
