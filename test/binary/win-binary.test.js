'use strict';
// The win32-x64 binary as a Windows loader sees it.
const { it } = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');
const { execFileSync } = require('node:child_process');

const binary = process.env.CORVANE_WIN_BINARY ?? path.join(__dirname, '..', '..', 'prebuilds', 'win32-x64', 'corvane.node');
const headers = execFileSync('x86_64-w64-mingw32-objdump', ['-p', binary], { encoding: 'utf8' });

it('exports exactly the two Node-API entry points', () => {
  const exportTable = headers.slice(headers.indexOf('[Ordinal/Name Pointer] Table'));
  const names = [...exportTable.matchAll(/^\s*\[\s*\d+\]\s+(\S+)$/gm)].map((m) => m[1]);
  assert.deepEqual(names.sort(), ['napi_register_module_v1', 'node_api_module_get_api_version_v1']);
});

it('imports only DLLs that every Windows machine has, and not node.exe by name', () => {
  const dlls = [...headers.matchAll(/DLL Name: (\S+)/g)].map((m) => m[1].toLowerCase());
  assert.deepEqual(dlls.filter((d) => !['kernel32.dll', 'user32.dll', 'gdi32.dll', 'ole32.dll', 'msvcrt.dll'].includes(d)), []);
});
