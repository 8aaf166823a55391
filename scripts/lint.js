'use strict';
// npm run lint: the direction of the C++ includes, clang-format and clang-tidy over the C++ sources
// (the host build's compile database, and the arm64 build's for its own files), and cppcheck.
const fs = require('node:fs');
const path = require('node:path');
const { root, run, fail } = require('./lib/run');
const { build, buildDirs } = require('./build');

const sources = (dir) =>
  fs.readdirSync(path.join(root, dir), { recursive: true })
    .filter((f) => /\.(cc|h)$/.test(f))
    .map((f) => path.join(dir, f));

// A subsystem knows its own folder and the shared floor alone, no backend and no other subsystem:
// a backend implements its seam, and the build picks one. The floor knows nothing above it.
function checkIncludes() {
  const allowed = {
    module: /^(module|common|capture|displays|mouse|audio|shutdown)\//,
    common: /^common\//,
    ...Object.fromEntries(['capture', 'displays', 'mouse', 'audio', 'shutdown'].map((d) => [d, new RegExp(`^(${d}|common)/`)])),
  };
  const wrong = [];
  for (const [dir, pattern] of Object.entries(allowed)) {
    for (const file of sources(path.join('src', dir))) {
      const text = fs.readFileSync(path.join(root, file), 'utf8');
      for (const [, header] of text.matchAll(/^#include "([^"]+)"/gm)) {
        if (!pattern.test(header)) wrong.push(`${file} includes ${header}`);
      }
    }
  }
  if (wrong.length > 0) throw new Error(`includes against the layout:\n  ${wrong.join('\n  ')}`);
}

try {
  checkIncludes();
  build('host', { tests: true });
  const cpp = [...sources('src'), ...sources('test/cpp'), ...sources('bench'), ...sources('tools')];
  run('clang-format', ['--dry-run', '-Werror', ...cpp]);
  // clang-tidy reads the files that the host build compiles; the Win32 ones need windows.h, which
  // it does not have, and cppcheck reads those alone.
  const compiledIn = (dir) => new Set(
    JSON.parse(fs.readFileSync(path.join(dir, 'compile_commands.json'), 'utf8')).map((c) =>
      path.relative(root, path.resolve(c.directory, c.file)),
    ),
  );
  const compiled = compiledIn(buildDirs.host);
  run('clang-tidy', ['-p', buildDirs.host, '--quiet', ...cpp.filter((f) => compiled.has(f) && /^(src|tools)\//.test(f))]);
  // What the arm64 build alone compiles (its vector path), through its own compile database.
  build('arm64');
  const arm64Only = [...compiledIn(buildDirs.arm64)].filter((f) => !compiled.has(f) && f.startsWith('src/'));
  run('clang-tidy', ['-p', buildDirs.arm64, '--quiet', ...arm64Only]);
  run('cppcheck', ['--quiet', '--error-exitcode=1', '--enable=warning,performance,portability',
    '--inline-suppr', '--suppress=missingIncludeSystem', '-I', 'src', ...sources('src').filter((f) => f.endsWith('.cc'))]);
} catch (error) {
  fail(`lint failed: ${error.message}`);
}
