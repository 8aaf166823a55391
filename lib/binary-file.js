'use strict';
// Reads a native module's headers before the system loader sees it. The loader maps a file's
// segments as its headers describe them, so a truncated module would be mapped past its end and
// the process would die of SIGBUS on the first touch; a module for another platform gets an
// obscure message at best. Both are told here, in words, as errors.
const fs = require('node:fs');

const elfMachines = { 3: 'x86', 40: 'arm', 62: 'x64', 183: 'arm64' };
const peMachines = { 0x14c: 'x86', 0x1c4: 'arm', 0x8664: 'x64', 0xaa64: 'arm64' };

function formatOf(bytes) {
  if (bytes.length >= 4 && bytes.readUInt32BE(0) === 0x7f454c46) return 'elf';
  if (bytes.length >= 2 && bytes.toString('latin1', 0, 2) === 'MZ') return 'pe';
  // Mach-O: a thin binary of either width, or a universal one.
  if (bytes.length >= 4 && [0xfeedfacf, 0xfeedface].includes(bytes.readUInt32LE(0))) return 'mach-o';
  if (bytes.length >= 4 && bytes.readUInt32BE(0) === 0xcafebabe) return 'mach-o';
  return null;
}

const formatNames = { elf: 'a Linux (ELF) binary', pe: 'a Windows (PE) binary', 'mach-o': 'a macOS (Mach-O) binary' };

// The extent of the file that an ELF shared object's headers describe, and what it is built for.
function readElf(bytes) {
  if (bytes.length < 64) return { end: 64 };
  if (bytes[4] !== 2 || bytes[5] !== 1) return { machine: '32-bit or big-endian', end: 64 };
  const type = bytes.readUInt16LE(16);
  const machine = elfMachines[bytes.readUInt16LE(18)] ?? `machine ${bytes.readUInt16LE(18)}`;
  const phoff = Number(bytes.readBigUInt64LE(32));
  const shoff = Number(bytes.readBigUInt64LE(40));
  const [phentsize, phnum, shentsize, shnum] = [54, 56, 58, 60].map((at) => bytes.readUInt16LE(at));
  let end = Math.max(phoff + phentsize * phnum, shoff + shentsize * shnum);
  if (phoff + phentsize * phnum <= bytes.length) {
    for (let i = 0; i < phnum; i++) {
      const at = phoff + i * phentsize;
      end = Math.max(end, Number(bytes.readBigUInt64LE(at + 8)) + Number(bytes.readBigUInt64LE(at + 32)));
    }
  }
  return { machine, library: type === 3, end };
}

function readPe(bytes) {
  if (bytes.length < 64) return { end: 64 };
  const header = bytes.readUInt32LE(0x3c);
  if (header + 24 > bytes.length) return { end: header + 24 };
  if (bytes.readUInt32BE(header) !== 0x50450000) return { machine: 'DOS', end: 0 };
  const machineCode = bytes.readUInt16LE(header + 4);
  const machine = peMachines[machineCode] ?? `machine 0x${machineCode.toString(16)}`;
  const sections = bytes.readUInt16LE(header + 6);
  const table = header + 24 + bytes.readUInt16LE(header + 20);
  let end = table + 40 * sections;
  if (end <= bytes.length) {
    for (let i = 0; i < sections; i++) {
      const at = table + 40 * i;
      end = Math.max(end, bytes.readUInt32LE(at + 20) + bytes.readUInt32LE(at + 16));
    }
  }
  return { machine, library: (bytes.readUInt16LE(header + 22) & 0x2000) !== 0, end };
}

// Why `file` cannot be loaded as a shared library of `format` ('elf' or 'pe') for `arch`, or null
// when nothing is wrong with it.
function binaryProblem(file, format, arch) {
  let bytes;
  try {
    bytes = fs.readFileSync(file);
  } catch (error) {
    return `it cannot be read (${error.code ?? error.message})`;
  }
  const found = formatOf(bytes);
  if (found !== format) {
    return found ? `it is ${formatNames[found]}, not ${formatNames[format]}` : 'it is not a native binary';
  }
  const { machine, library, end } = (format === 'elf' ? readElf : readPe)(bytes);
  if (end > bytes.length) return `it is truncated: ${bytes.length} bytes, where its headers describe ${end}`;
  if (machine !== arch) return `it is built for ${machine}, not ${arch}`;
  if (!library) return 'it is a program, not a shared library';
  return null;
}

module.exports = { binaryProblem };
