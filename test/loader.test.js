'use strict';
// index.js: picks the binary for the platform, and refuses in words, never with a crash, where
// there is none that can load.
const { describe, it } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const { file, packageDir } = require('./support/binding');
const { exportNames } = require('./support/api');

const target = `${process.platform}-${process.arch}`;

// The loader's files (of the installed package, when the tests run against one), in a folder of
// the test's own.
function packageCopy(t) {
  const from = packageDir ?? path.join(__dirname, '..');
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'corvane-package-'));
  t.after(() => fs.rmSync(dir, { recursive: true, force: true }));
  fs.copyFileSync(path.join(from, 'index.js'), path.join(dir, 'index.js'));
  fs.cpSync(path.join(from, 'lib'), path.join(dir, 'lib'), { recursive: true });
  return dir;
}

function place(dir, relative, bytes) {
  const to = path.join(dir, relative);
  fs.mkdirSync(path.dirname(to), { recursive: true });
  fs.writeFileSync(to, bytes);
  return to;
}

const prebuilt = (platform = target) => path.join('prebuilds', platform, 'corvane.node');

// Requires the package in a child process (Windows cannot delete a loaded module) and returns its
// export keys, or the message it threw. `pretend` runs first, to show the loader another host.
function load(dir, pretend = '') {
  const out = path.join(dir, 'result.json');
  const script = `${pretend}
    let result;
    try { result = { keys: Object.keys(require(${JSON.stringify(dir)})) }; }
    catch (error) { result = { error: error.message }; }
    require('fs').writeFileSync(${JSON.stringify(out)}, JSON.stringify(result));`;
  const child = spawnSync(process.execPath, ['-e', script], { encoding: 'utf8', timeout: 60000 });
  assert.equal(child.status, 0, `the child ended with ${child.status ?? child.signal}: ${child.error ?? ''}${child.stderr}`);
  return JSON.parse(fs.readFileSync(out, 'utf8'));
}

const pretendHost = (platform, arch, glibc) => `
  Object.defineProperty(process, 'platform', { value: ${JSON.stringify(platform)} });
  Object.defineProperty(process, 'arch', { value: ${JSON.stringify(arch)} });
  const report = process.report.getReport.bind(process.report);
  process.report.getReport = () => {
    const r = report();
    r.header.glibcVersionRuntime = ${JSON.stringify(glibc)};
    return r;
  };`;

const supportedList =
  /supports win32-x64 \(Windows 10 or later\), linux-x64 \(glibc 2\.31 or later, X11 or Wayland\) and linux-arm64 \(glibc 2\.31 or later, X11 or Wayland\)\./;

function assertRefusal(error, platform) {
  assert.ok(error, 'the require threw');
  assert.ok(error.includes(platform), error);
  assert.match(error, supportedList);
  // An application's user cannot build the module; the message must not send them to.
  assert.doesNotMatch(error, /\b(build|compile|npm run|cmake)\b/i);
}

describe('which binary loads', () => {
  it('loads the prebuilt binary of this platform before a local build', (t) => {
    const dir = packageCopy(t);
    place(dir, prebuilt(), fs.readFileSync(file));
    place(dir, path.join('build', 'host', 'corvane.node'), 'not a module');
    assert.deepEqual(load(dir), { keys: exportNames });
  });

  it('falls back to the local build of a source checkout', (t) => {
    const dir = packageCopy(t);
    place(dir, path.join('build', 'host', 'corvane.node'), fs.readFileSync(file));
    assert.deepEqual(load(dir), { keys: exportNames });
  });

  it('names the platform and the supported ones when the binary is missing', (t) => {
    const dir = packageCopy(t);
    const { error } = load(dir);
    assertRefusal(error, target);
    assert.ok(error.includes(path.join(dir, prebuilt())), error);
  });
});

describe('hosts without a binary', () => {
  // Each with this platform's real binary in the place of linux-x64's: it must not be tried.
  const hosts = [
    { name: 'macOS on arm64', platform: 'darwin', arch: 'arm64', glibc: '2.36', says: 'darwin-arm64' },
    { name: 'Linux on 32-bit ARM', platform: 'linux', arch: 'arm', glibc: '2.36', says: 'linux-arm' },
    { name: 'Linux arm64 with glibc 2.28', platform: 'linux', arch: 'arm64', glibc: '2.28', says: 'linux-arm64 with glibc 2.28' },
    { name: 'Linux x64 on musl (Alpine)', platform: 'linux', arch: 'x64', glibc: null, says: 'linux-x64 with a C library other than glibc' },
    { name: 'Linux x64 with glibc 2.28', platform: 'linux', arch: 'x64', glibc: '2.28', says: 'linux-x64 with glibc 2.28' },
    { name: 'Windows on arm64', platform: 'win32', arch: 'arm64', glibc: null, says: 'win32-arm64' },
  ];
  for (const host of hosts) {
    it(`refuses on ${host.name}, naming it and the supported platforms`, (t) => {
      const dir = packageCopy(t);
      place(dir, prebuilt('linux-x64'), fs.readFileSync(file));
      const { error } = load(dir, pretendHost(host.platform, host.arch, host.glibc));
      assertRefusal(error, host.says);
    });
  }
});

describe('a damaged or foreign binary', () => {
  const binary = fs.readFileSync(file);
  // The binary with its machine field set to another processor's.
  const otherArch = process.arch === 'arm64' ? 'x64' : 'arm64';
  function forOtherArch() {
    const copy = Buffer.from(binary);
    const elf = copy.readUInt32BE(0) === 0x7f454c46;
    const machine = { elf: { x64: 62, arm64: 183 }, pe: { x64: 0x8664, arm64: 0xaa64 } }[elf ? 'elf' : 'pe'][otherArch];
    copy.writeUInt16LE(machine, elf ? 18 : copy.readUInt32LE(0x3c) + 4);
    return copy;
  }
  const otherOs = process.platform === 'win32' ? 'linux-x64' : 'win32-x64';
  const cases = [
    { name: 'cut short in its code', bytes: () => binary.subarray(0, Math.floor(binary.length / 2)), reason: /it is truncated: \d+ bytes/ },
    { name: 'cut short in its last header', bytes: () => binary.subarray(0, binary.length - 100), reason: /it is truncated/ },
    { name: 'cut to a few bytes', bytes: () => binary.subarray(0, 10), reason: /it is truncated/ },
    { name: `built for ${otherArch}`, bytes: forOtherArch, reason: new RegExp(`it is built for ${otherArch}, not ${process.arch}`) },
    { name: 'not a binary at all', bytes: () => Buffer.from('{"not": "a module"}'), reason: /it is not a native binary/ },
    // The installed package holds the other platform's binary too.
    ...(packageDir
      ? [{ name: `the ${otherOs} binary`, bytes: () => fs.readFileSync(path.join(packageDir, prebuilt(otherOs))), reason: /it is a (Windows|Linux) \((PE|ELF)\) binary, not a/ }]
      : []),
  ];
  for (const c of cases) {
    it(`throws an error naming the file and why when it is ${c.name}`, (t) => {
      const dir = packageCopy(t);
      const placed = place(dir, prebuilt(), c.bytes());
      const { error } = load(dir);
      assert.ok(error?.startsWith(`corvane cannot load ${placed}: `), error);
      assert.match(error, c.reason);
    });
  }
});
