'use strict';
// The Linux binaries as a Linux loader sees them: what each needs of the system must be on every
// desktop of its processor with glibc 2.31 or later and the X client libraries.
const { describe, it } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { execFileSync } = require('node:child_process');

const prebuilt = (target) => path.join(__dirname, '..', '..', 'prebuilds', target, 'corvane.node');
const binaries = [
  { target: 'linux-x64', machine: 62, file: process.env.CORVANE_LINUX_BINARY ?? prebuilt('linux-x64') },
  { target: 'linux-arm64', machine: 183, file: process.env.CORVANE_LINUX_ARM64_BINARY ?? prebuilt('linux-arm64') },
];

// The C library family, and the XCB libraries.
const allowedLibraries = ['libc.so.6', 'libm.so.6', 'libpthread.so.0', 'libdl.so.2', 'librt.so.1', 'ld-linux-x86-64.so.2',
  'ld-linux-aarch64.so.1', 'libxcb.so.1', 'libxcb-randr.so.0', 'libxcb-render.so.0', 'libxcb-shm.so.0', 'libxcb-xinerama.so.0'];

for (const { target, machine, file } of binaries) {
  describe(target, () => {
    const objdump = (flag) => execFileSync('objdump', [flag, file], { encoding: 'utf8' });

    it('is a 64-bit little-endian ELF file of its processor', () => {
      const header = fs.readFileSync(file).subarray(0, 20);
      assert.equal(header.readUInt32BE(0), 0x7f454c46);
      assert.deepEqual([header[4], header[5]], [2, 1]);
      assert.equal(header.readUInt16LE(18), machine);
    });

    it('needs no glibc symbol newer than 2.31, and nothing of the C++ runtime or libgcc', () => {
      const versions = [...new Set([...objdump('-T').matchAll(/\b([A-Z]+)_(\d[\d.]*)\b/g)].map((m) => m[0]))];
      const glibc = versions.filter((v) => v.startsWith('GLIBC_'));
      assert.ok(glibc.length > 0, 'the symbol versions were read');
      const tooNew = glibc.filter((v) => {
        const [major, minor] = v.slice('GLIBC_'.length).split('.').map(Number);
        return major > 2 || (major === 2 && minor > 31);
      });
      assert.deepEqual(tooNew, []);
      assert.deepEqual(versions.filter((v) => /^(GLIBCXX|CXXABI|GCC)_/.test(v)), []);
    });

    it('links only the C library family and the XCB libraries', () => {
      const needed = [...objdump('-p').matchAll(/^\s*NEEDED\s+(\S+)$/gm)].map((m) => m[1]);
      assert.ok(needed.includes('libxcb.so.1'), needed.join(' '));
      assert.deepEqual(needed.filter((lib) => !allowedLibraries.includes(lib)), []);
    });

    it('exports exactly the two Node-API entry points, and carries no symbol table or debug info', () => {
      const defined = objdump('-T').split('\n').filter((l) => /^[0-9a-f]{16} /.test(l) && !l.includes('*UND*'));
      assert.deepEqual(defined.map((l) => l.split(/\s+/).pop()).sort(), ['napi_register_module_v1', 'node_api_module_get_api_version_v1']);
      const sections = [...objdump('-h').matchAll(/^\s*\d+\s+(\S+)/gm)].map((m) => m[1]);
      assert.deepEqual(sections.filter((s) => s === '.symtab' || s.startsWith('.debug')), []);
    });
  });
}
