'use strict';
// The README's examples, run as they stand by an application that installed the package, on an
// X display of the test's own: the quick start until Ctrl+C, the ES module and TypeScript examples,
// and every example of the reference.
const { describe, it, before, after } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { spawn, spawnSync, execFileSync } = require('node:child_process');
const { appFolder, write } = require('../support/app');
const { waitFor } = require('../support/capture');
const { startXvfb } = require('../../scripts/lib/xvfb');

const root = path.join(__dirname, '..', '..');
const readme = fs.readFileSync(path.join(root, 'README.md'), 'utf8');

// The fenced blocks of a language in the section under `heading`, up to the next heading of its level.
function blocks(heading, language) {
  const level = heading.match(/^#+/)[0];
  const start = readme.indexOf(`\n${heading}\n`);
  assert.ok(start >= 0, `the README has no section ${heading}`);
  const rest = readme.slice(start + heading.length + 2);
  const end = rest.search(new RegExp(`^${level} `, 'm'));
  const section = end < 0 ? rest : rest.slice(0, end);
  return [...section.matchAll(new RegExp('^```' + language + '\\n([\\s\\S]*?)^```$', 'gm'))].map((m) => m[1]);
}

describe('the README, run as it stands', () => {
  let xvfb;
  before(async () => (xvfb = await startXvfb([{ width: 1280, height: 720 }])));
  after(() => xvfb?.stop());
  const env = () => ({ ...process.env, DISPLAY: xvfb.display, WAYLAND_DISPLAY: '', NODE_PATH: '' });

  it('quick start: edge colours and the pointer once a second, and a clean end on Ctrl+C', async (t) => {
    const [code] = blocks('## Quick start', 'js');
    const dir = appFolder(t, 'readme');
    write(dir, { 'edges.js': code });
    const child = spawn(process.execPath, ['edges.js'], { cwd: dir, env: env(), stdio: ['ignore', 'pipe', 'pipe'] });
    let stdout = '';
    let stderr = '';
    child.stdout.setEncoding('utf8').on('data', (d) => (stdout += d));
    child.stderr.setEncoding('utf8').on('data', (d) => (stderr += d));
    const exit = new Promise((resolve) => child.once('exit', (code, signal) => resolve({ code, signal })));
    const line = /^top #[0-9a-f]{6} {2}right #[0-9a-f]{6} {2}bottom #[0-9a-f]{6} {2}left #[0-9a-f]{6} {2}pointer (moved|still)$/;
    const lines = () => stdout.split('\n').filter(Boolean);
    try {
      await waitFor(() => lines().length >= 1 || child.exitCode !== null, 'the first line', 30000);
      // The pointer moves after the first report: a later one says so.
      let x = 10;
      await waitFor(() => {
        execFileSync('xdotool', ['mousemove', String((x = (x + 37) % 1200)), '100'], { env: env() });
        return lines().slice(1).some((l) => l.endsWith('moved')) || child.exitCode !== null;
      }, 'a later line that saw the pointer move', 30000);
      child.kill('SIGINT');
      assert.deepEqual(await exit, { code: 0, signal: null }, stderr);
    } finally {
      child.kill('SIGKILL');
    }
    assert.ok(lines().length >= 2, stdout);
    for (const l of lines()) assert.match(l, line);
    // The root window of a bare X server is black.
    assert.ok(lines().some((l) => l.startsWith('top #000000')), stdout);
  });

  it('ES modules: the monitors, from an .mjs file', (t) => {
    const [code] = blocks('## ES modules and TypeScript', 'js');
    const dir = appFolder(t, 'readme');
    write(dir, { 'monitors.mjs': code });
    const child = spawnSync(process.execPath, ['monitors.mjs'], { cwd: dir, env: env(), encoding: 'utf8', timeout: 30000 });
    assert.equal(child.status, 0, child.stderr);
    assert.deepEqual(child.stdout.trim().split('\n'), ['screen 1280x720 primary', 'true']);
  });

  it('TypeScript: strict, nodenext, compiled to an ES module and run', (t) => {
    const [code] = blocks('## ES modules and TypeScript', 'ts');
    const dir = appFolder(t, 'readme');
    write(dir, {
      'level.mts': code,
      'tsconfig.json': JSON.stringify({
        compilerOptions: { strict: true, module: 'nodenext', moduleResolution: 'nodenext', target: 'es2022', types: [] },
        files: ['level.mts'],
      }),
    });
    execFileSync(process.execPath, [path.join(root, 'node_modules', 'typescript', 'bin', 'tsc'), '-p', dir], { encoding: 'utf8' });
    // No sound server here: the stream reports its code once, then stops.
    const child = spawnSync(process.execPath, ['level.mjs'], {
      cwd: dir,
      env: { ...env(), PULSE_SERVER: `unix:${path.join(dir, 'no-server')}` },
      encoding: 'utf8',
      timeout: 30000,
    });
    assert.equal(child.status, 0, child.stderr);
    assert.deepEqual(child.stdout.trim().split('\n'), ['screen', 'no level (code -2.200000047683716)']);
  });

  it('the reference: every example runs and ends by itself', async (t) => {
    // Electron's own examples need Electron.
    const examples = blocks('## Reference', 'js').filter((code) => !code.includes("require('electron')"));
    assert.ok(examples.length >= 3, `${examples.length} examples`);
    const dir = appFolder(t, 'readme');
    const runs = examples.map((code, i) => {
      const file = `example-${i}.js`;
      write(dir, { [file]: code.includes("require('corvane')") ? code : `const corvane = require('corvane');\n${code}` });
      return new Promise((resolve) => {
        const child = spawn(process.execPath, [file], { cwd: dir, env: env(), stdio: ['ignore', 'pipe', 'pipe'], timeout: 60000 });
        let output = '';
        child.stdout.on('data', (d) => (output += d));
        child.stderr.on('data', (d) => (output += d));
        child.once('exit', (code, signal) => resolve({ file, code, signal, output, lines: output.split('\n').filter(Boolean).length }));
      });
    });
    for (const run of await Promise.all(runs)) {
      assert.deepEqual({ code: run.code, signal: run.signal }, { code: 0, signal: null }, `${run.file}: ${run.output}`);
      assert.ok(run.lines > 0, `${run.file} printed nothing`);
    }
  });
});
