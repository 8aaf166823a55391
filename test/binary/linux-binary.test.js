'use strict';
// The linux-x64 binary as a Linux loader sees it: what it needs of the system must be on every
// desktop with glibc 2.31 or later and the X client libraries.
const { it } = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');
const { execFileSync } = require('node:child_process');

const binary = process.env.CORVANE_LINUX_BINARY ?? path.join(__dirname, '..', '..', 'prebuilds', 'linux-x64', 'corvane.node');
const objdump = (flag) => execFileSync('objdump', [flag, binary], { encoding: 'utf8' });

// The C library family, and the XCB libraries.
const allowedLibraries = ['libc.so.6', 'libm.so.6', 'libpthread.so.0', 'libdl.so.2', 'librt.so.1', 'ld-linux-x86-64.so.2',
  'libxcb.so.1', 'libxcb-randr.so.0', 'libxcb-render.so.0', 'libxcb-shm.so.0', 'libxcb-xinerama.so.0'];

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
