'use strict';
// Applications that require or import corvane, bundled with it (corvane not marked external):
// the bundle must load its own copy of the platform's binary once it lies far from any
// node_modules, and keep the loader's checks of that copy.
const { describe, it } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync, spawnSync } = require('node:child_process');
const webpack = require('webpack');
const { exportNames } = require('../support/api');
const { app, installedBinary, appFolder, write, reportModule, runApp } = require('../support/app');

const root = path.join(__dirname, '..', '..');
const installed = (platform) => fs.readFileSync(path.join(app, 'node_modules', 'corvane', 'prebuilds', platform, 'corvane.node'));

// The same report from a CommonJS application and from an ES module one.
const apps = {
  'require.js': `const corvane = require('corvane');
const { report } = require('./report.cjs');
report({ names: Object.keys(corvane).sort(), monitors: Array.isArray(corvane.getMonitors()) });
`,
  'import.mjs': `import * as corvane from 'corvane';
import whole, { getMonitors } from 'corvane';
import { report } from './report.cjs';
const names = Object.keys(corvane).filter((name) => name !== 'default').sort();
const sameFunctions = names.every((name) => corvane[name] === whole[name]) && getMonitors === whole.getMonitors;
report({ names: sameFunctions ? names : 'differ', monitors: Array.isArray(getMonitors()) });
`,
  'report.cjs': reportModule,
};

function runWebpack(config) {
  return new Promise((resolve, reject) =>
    webpack(config, (error, stats) => {
      if (error) return reject(error);
      const text = stats.toString({ all: false, errors: true, warnings: true, moduleTrace: true });
      assert.equal(stats.hasErrors() || stats.hasWarnings(), false, `webpack:\n${text}`);
      resolve();
    }),
  );
}

const webpackConfig = (dir, entry, out, rules, target = 'node') => ({
  mode: 'production',
  target,
  context: dir,
  entry: `./${entry}`,
  output: { path: out, filename: 'main.js' },
  module: { rules },
});

// Each bundles `entry` of `dir` into `out` and returns the bundle's file.
const bundlers = {
  'esbuild --bundle --platform=node --loader:.node=copy': async (dir, entry, out) => {
    const esbuild = path.join(root, 'node_modules', '.bin', 'esbuild');
    execFileSync(esbuild, [entry, '--bundle', '--platform=node', '--loader:.node=copy', `--outdir=${out}`, '--log-level=warning'],
      { cwd: dir, encoding: 'utf8', stdio: ['ignore', 'pipe', 'pipe'] });
    return path.join(out, `${path.parse(entry).name}.js`);
  },
  'webpack 5 with node-loader': async (dir, entry, out) => {
    await runWebpack(webpackConfig(dir, entry, out, [{ test: /\.node$/, loader: require.resolve('node-loader') }]));
    return path.join(out, 'main.js');
  },
  // The rules of Electron Forge's webpack template, for its main process.
  "webpack 5 with Electron Forge's rules (node-loader, the asset relocator)": async (dir, entry, out) => {
    await runWebpack(webpackConfig(dir, entry, out, [
      { test: /native_modules[/\\].+\.node$/, use: require.resolve('node-loader') },
      {
        test: /[/\\]node_modules[/\\].+\.(m?js|node)$/,
        parser: { amd: false },
        use: { loader: require.resolve('@vercel/webpack-asset-relocator-loader'), options: { outputAssetBase: 'native_modules' } },
      },
    ], 'electron-main'));
    return path.join(out, 'main.js');
  },
};

const nativeFiles = (dir) =>
  fs.readdirSync(dir, { recursive: true }).filter((f) => f.endsWith('.node')).map((f) => path.join(dir, f));

// Bundles `entry` next to the installed package, then moves the output to a folder with no
// node_modules above it, so that nothing but the bundle's own files can load.
async function bundleAway(t, bundle, entry) {
  const dir = appFolder(t, 'bundle');
  write(dir, apps);
  const out = path.join(dir, 'out');
  const file = await bundle(dir, entry, out);
  const away = fs.mkdtempSync(path.join(os.tmpdir(), 'corvane-bundle-'));
  t.after(() => fs.rmSync(away, { recursive: true, force: true }));
  fs.cpSync(out, away, { recursive: true });
  fs.rmSync(out, { recursive: true });
  return { away: fs.realpathSync(away), main: path.join(away, path.relative(out, file)) };
}

for (const [name, bundle] of Object.entries(bundlers)) {
  describe(name, () => {
    for (const entry of ['require.js', 'import.mjs']) {
      it(`bundles an application that ${entry === 'require.js' ? 'requires' : 'imports'} corvane, which then loads the bundle's copy of the binary`, async (t) => {
        const { away, main } = await bundleAway(t, bundle, entry);
        // Every platform's binary travels with the bundle, as it is.
        const copies = nativeFiles(away);
        assert.deepEqual(copies.map((f) => fs.readFileSync(f)).sort(Buffer.compare),
          [installed('linux-x64'), installed('linux-arm64'), installed('win32-x64')].sort(Buffer.compare));
        const { names, monitors, mapped } = runApp(process.execPath, main, { cwd: away });
        assert.deepEqual({ names, monitors }, { names: [...exportNames].sort(), monitors: true });
        assert.equal(mapped.length, 1, mapped.join(' '));
        assert.ok(mapped[0].startsWith(away + path.sep), `${mapped[0]} is the bundle's`);
        assert.ok(fs.readFileSync(mapped[0]).equals(installed('linux-x64')));
        assert.notEqual(mapped[0], installedBinary());
      });
    }

    it("checks the bundle's copy of the binary as the package's own: truncated, then missing", async (t) => {
      const { away, main } = await bundleAway(t, bundle, 'require.js');
      const copy = nativeFiles(away).find((f) => fs.readFileSync(f).equals(installed('linux-x64')));
      const run = () => spawnSync(process.execPath, [main], { cwd: away, encoding: 'utf8', timeout: 60000, env: { ...process.env, NODE_PATH: '' } });
      fs.writeFileSync(copy, installed('linux-x64').subarray(0, 4096));
      const truncated = run();
      assert.equal(truncated.status, 1, `${truncated.signal ?? ''} ${truncated.stderr}`);
      assert.ok(truncated.stderr.includes(`corvane cannot load ${copy}: it is truncated: 4096 bytes`), truncated.stderr);
      fs.rmSync(copy);
      const missing = run();
      assert.equal(missing.status, 1, `${missing.signal ?? ''} ${missing.stderr}`);
      assert.ok(missing.stderr.includes(`corvane has no native binary for linux-x64: ${copy} is missing`), missing.stderr);
    });
  });
}
