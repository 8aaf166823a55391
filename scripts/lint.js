'use strict';
// npm run lint: clang-format and clang-tidy over the C++ sources (the host build's compile
// database), and cppcheck.
const fs = require('node:fs');
const path = require('node:path');
const { root, run, fail } = require('./lib/run');
const { build, buildDirs } = require('./build');

const sources = (dir) =>
  fs.readdirSync(path.join(root, dir), { recursive: true })
    .filter((f) => /\.(cc|h)$/.test(f))
    .map((f) => path.join(dir, f));

try {
  build('host');
  const cpp = [...sources('src'), ...sources('test/cpp')];
  run('clang-format', ['--dry-run', '-Werror', ...cpp]);
  // Win32 files need windows.h, which the host build does not have; cppcheck reads them alone.
  const hostSources = cpp.filter((f) => f.endsWith('.cc') && !f.endsWith('_win32.cc'));
  run('clang-tidy', ['-p', buildDirs.host, '--quiet', ...hostSources.filter((f) => f.startsWith('src'))]);
  run('cppcheck', ['--quiet', '--error-exitcode=1', '--enable=warning,performance,portability',
    '--inline-suppr', '--suppress=missingIncludeSystem', '-I', 'src', ...sources('src').filter((f) => f.endsWith('.cc'))]);
} catch (error) {
  fail(`lint failed: ${error.message}`);
}
