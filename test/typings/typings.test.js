'use strict';
// The TypeScript typings: usage.ts compiles under strict with and without @types/node, and
// index.d.ts declares exactly the functions the module exports (the binary's).
const { describe, it } = require('node:test');
const assert = require('node:assert/strict');
const path = require('node:path');
const ts = require('typescript');
const { corvane, file } = require('../support/binding');

const root = path.join(__dirname, '..', '..');
const usage = path.join(__dirname, 'usage.ts');
const typings = path.join(root, 'index.d.ts');
const nodeTypes = path.join(root, 'node_modules', '@types', 'node');

// The ES library alone, so that neither Node's globals nor the DOM's are there unless asked for.
function compile(types) {
  return ts.createProgram([usage], {
    strict: true,
    noEmit: true,
    target: ts.ScriptTarget.ES2022,
    lib: ['lib.es2022.d.ts'],
    module: ts.ModuleKind.Node16,
    moduleResolution: ts.ModuleResolutionKind.Node16,
    typeRoots: [path.join(root, 'node_modules', '@types')],
    types,
  });
}

function assertCompiles(program) {
  const diagnostics = ts.getPreEmitDiagnostics(program);
  const host = { getCanonicalFileName: (f) => f, getCurrentDirectory: () => root, getNewLine: () => '\n' };
  assert.equal(diagnostics.length, 0, ts.formatDiagnostics(diagnostics, host));
}

const loadsNodeTypes = (program) => program.getSourceFiles().some((f) => f.fileName.startsWith(nodeTypes + path.sep));

describe('usage.ts', () => {
  it('compiles without @types/node', () => {
    const program = compile([]);
    assert.equal(loadsNodeTypes(program), false);
    assertCompiles(program);
  });

  it('compiles with @types/node', () => {
    const program = compile(['node']);
    assert.equal(loadsNodeTypes(program), true);
    assertCompiles(program);
  });
});

describe('index.d.ts', () => {
  const program = compile([]);
  const checker = program.getTypeChecker();
  const exported = checker.getExportsOfModule(checker.getSymbolAtLocation(program.getSourceFile(typings)));

  it('declares as values exactly the functions the module exports, which are the binary\'s', () => {
    const values = exported.filter((s) => s.flags & ts.SymbolFlags.Value);
    for (const s of values) assert.ok(s.flags & ts.SymbolFlags.Function, `${s.name} is not declared as a function`);
    assert.deepEqual(values.map((s) => s.name).sort(), Object.keys(corvane).sort());
    // The loader names each export; each of the binary's must be there, as itself.
    const binary = require(file);
    assert.deepEqual(Object.keys(binary).filter((name) => corvane[name] !== binary[name]), []);
  });

  it('has every export used by usage.ts', () => {
    const used = new Set();
    (function visit(node) {
      if (ts.isIdentifier(node) && !ts.isImportSpecifier(node.parent)) {
        const symbol = checker.getSymbolAtLocation(node);
        if (symbol) used.add(symbol.flags & ts.SymbolFlags.Alias ? checker.getAliasedSymbol(symbol) : symbol);
      }
      ts.forEachChild(node, visit);
    })(program.getSourceFile(usage));
    assert.deepEqual(exported.filter((s) => !used.has(s)).map((s) => s.name), []);
  });
});
