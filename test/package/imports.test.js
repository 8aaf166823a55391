'use strict';
// The installed package as ES modules import it, in each Node.js version the suites run in, and as
// TypeScript programs (strict, nodenext) compiled to ES modules and to CommonJS use it. Every form
// must give the functions of the one native module that require('corvane') gives.
const { describe, it } = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const { exportNames } = require('../support/api');
const { installedBinary, appFolder, write, reportModule, runApp } = require('../support/app');
const { ensureNode, nodeVersions } = require('../../scripts/lib/setup');

const root = path.join(__dirname, '..', '..');
const nodes = [
  { version: process.versions.node, node: process.execPath },
  ...nodeVersions.linux.map((version) => ({ version, node: ensureNode('linux', version) })),
];

// Reports how each form of import compares with require('corvane'), from an ES module.
const importForms = `import { ${exportNames.join(', ')} } from 'corvane';
import * as namespace from 'corvane';
import corvane from 'corvane';
import { createRequire } from 'node:module';
const require = createRequire(import.meta.url);
const { report } = require('./report.cjs');
const required = require('corvane');
const named = { ${exportNames.join(', ')} };
const sameFunctions = (forms) => Object.keys(required).every((name) => typeof forms[name] === 'function' && forms[name] === required[name]);
report({
  names: Object.keys(required),
  named: sameFunctions(named),
  // Node.js 23 and later add the name 'module.exports' for the whole object.
  namespaceNames: Object.keys(namespace).filter((name) => name !== 'module.exports'),
  namespace: sameFunctions(namespace) && namespace.default === required,
  defaultImport: corvane === required,
  monitors: Array.isArray(getMonitors()),
});
`;

describe('ES modules', () => {
  for (const { version, node } of nodes) {
    it(`import the named functions, the namespace and the default in Node.js ${version}, from .mjs and under "type": "module"`, (t) => {
      const dir = appFolder(t, 'imports');
      write(dir, {
        'report.cjs': reportModule,
        'forms.mjs': importForms,
        'module/package.json': JSON.stringify({ type: 'module' }),
        'module/report.cjs': reportModule,
        'module/forms.js': importForms,
      });
      for (const file of ['forms.mjs', 'module/forms.js']) {
        assert.deepEqual(runApp(node, path.join(dir, file)), {
          names: exportNames,
          named: true,
          namespaceNames: ['default', ...exportNames].sort(),
          namespace: true,
          defaultImport: true,
          monitors: true,
          mapped: [installedBinary()],
        }, file);
      }
    });
  }
});

// The three forms as TypeScript sees them. Each program exports what it imported, for a runner
// to compare; the lines marked @ts-expect-error must not compile.
const typescriptPrograms = {
  'esm.mts': `import { getMonitors, startCaptureScreen, type DisplayInfo } from 'corvane';
import * as namespace from 'corvane';
import corvane from 'corvane';

const monitors: DisplayInfo[] = getMonitors();
// The default import is the exports object, and the namespace's default is that object too.
const whole: typeof namespace.default = corvane;
const sameType: typeof corvane.startCaptureScreen = namespace.startCaptureScreen;
// @ts-expect-error: the exports object has no default of its own
corvane.default;

export const forms = { named: { getMonitors, startCaptureScreen }, namespace, corvane: whole, monitors };
`,
  'cjs.cts': `import { getMonitors, startCaptureScreen, type DisplayInfo } from 'corvane';
import * as namespace from 'corvane';
import corvane from 'corvane';
import required = require('corvane');

const monitors: DisplayInfo[] = getMonitors();
const whole: typeof required = corvane;
const sameType: typeof corvane.startCaptureScreen = namespace.startCaptureScreen;
// @ts-expect-error: the exports object has no default of its own
corvane.default;

export const forms = { named: { getMonitors, startCaptureScreen }, namespace, corvane: whole, required, monitors };
`,
  'run.mjs': `import { createRequire } from 'node:module';
import { forms as esm } from './out/esm.mjs';
const require = createRequire(import.meta.url);
const { forms: cjs } = require('./out/cjs.cjs');
const { report } = require('./report.cjs');
const required = require('corvane');
const sameFunctions = (forms, names) => names.every((name) => typeof forms[name] === 'function' && forms[name] === required[name]);
const check = ({ named, namespace, corvane, monitors, ...rest }) => ({
  named: sameFunctions(named, Object.keys(named)) && Object.keys(named).length === 2,
  namespace: sameFunctions(namespace, Object.keys(required)),
  defaultImport: corvane === required,
  monitors: Array.isArray(monitors),
  ...('required' in rest ? { importRequire: rest.required === required } : {}),
});
report({ esm: check(esm), cjs: check(cjs) });
`,
  'report.cjs': reportModule,
  'tsconfig.json': JSON.stringify({
    compilerOptions: { strict: true, module: 'nodenext', target: 'es2022', types: [], outDir: 'out', rootDir: '.' },
    files: ['esm.mts', 'cjs.cts'],
  }),
};

describe('TypeScript, strict, module nodenext', () => {
  it('compiles a program of each import form to an ES module and to CommonJS, which run in every Node.js version', (t) => {
    const dir = appFolder(t, 'typescript');
    write(dir, typescriptPrograms);
    const tsc = path.join(root, 'node_modules', 'typescript', 'bin', 'tsc');
    try {
      execFileSync(process.execPath, [tsc, '-p', dir], { encoding: 'utf8' });
    } catch (error) {
      assert.fail(`tsc: ${error.stdout}${error.stderr}`);
    }
    const forms = { named: true, namespace: true, defaultImport: true, monitors: true };
    for (const { version, node } of nodes) {
      assert.deepEqual(runApp(node, path.join(dir, 'run.mjs')), {
        esm: forms,
        cjs: { ...forms, importRequire: true },
        mapped: [installedBinary()],
      }, `Node.js ${version}`);
    }
  });
});
