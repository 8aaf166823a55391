'use strict';
// The Linux binary is built in a Debian 11 root that every checkout on the machine shares, with
// its build folders kept between packs: each tree must still get a binary of its own sources,
// whatever times its files carry.
const { it } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawnSync } = require('node:child_process');
const { treeFolder } = require('../../scripts/prebuild');

const checkout = path.join(__dirname, '..', '..');
const source = path.join('src', 'mouse', 'mouse_tracker.cc');
const original = 'Tracking is already running';
const changed = 'Tracking runs in the other tree';
// Older than any build of the checkout.
const longAgo = new Date('2001-01-01T00:00:00Z');

// The Linux binary of `tree`, built into a file of the test's own.
function prebuild(tree, out) {
  const child = spawnSync(process.execPath, [path.join(tree, 'scripts', 'prebuild.js'), 'linux', '--out', out], {
    encoding: 'utf8',
    timeout: 8 * 60 * 1000,
  });
  assert.equal(child.status, 0, `the prebuild of ${tree} ended with ${child.status ?? child.signal}:\n${child.stdout}${child.stderr}`);
  return fs.readFileSync(out);
}

function setTimes(dir, time) {
  for (const entry of fs.readdirSync(dir, { withFileTypes: true })) {
    const file = path.join(dir, entry.name);
    if (entry.isSymbolicLink()) continue;
    if (entry.isDirectory()) setTimes(file, time);
    fs.utimesSync(file, time, time);
  }
}

const carries = (binary, text) => binary.includes(Buffer.from(`${text}\0`));

it("builds each tree's binary from its own sources, whatever their times", { timeout: 20 * 60 * 1000 }, (t) => {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'corvane-prebuild-'));
  const tree = path.join(work, 'tree');
  t.after(() => {
    fs.rmSync(treeFolder(tree).host, { recursive: true, force: true });
    fs.rmSync(work, { recursive: true, force: true });
  });

  const own = prebuild(checkout, path.join(work, 'checkout.node'));
  assert.ok(carries(own, original) && !carries(own, changed));

  // Another tree whose one difference is a message, with every file older than the checkout's
  // build: the shared root must not hand it the checkout's objects.
  for (const input of ['CMakeLists.txt', 'cmake', 'src', 'tools', 'bench', 'scripts', 'package.json']) {
    fs.cpSync(path.join(checkout, input), path.join(tree, input), { recursive: true });
  }
  fs.symlinkSync(fs.realpathSync(path.join(checkout, 'node_modules')), path.join(tree, 'node_modules'));
  const text = fs.readFileSync(path.join(tree, source), 'utf8');
  assert.ok(text.includes(`"${original}"`));
  fs.writeFileSync(path.join(tree, source), text.replace(`"${original}"`, `"${changed}"`));
  fs.writeFileSync(path.join(tree, 'src', 'notes.txt'), 'a file the tree drops later\n');
  setTimes(tree, longAgo);
  const other = prebuild(tree, path.join(work, 'other.node'));
  assert.ok(carries(other, changed) && !carries(other, original));

  // The message back as it was, with a time older than the last build.
  fs.writeFileSync(path.join(tree, source), text);
  fs.utimesSync(path.join(tree, source), longAgo, longAgo);
  fs.rmSync(path.join(tree, 'src', 'notes.txt'));
  const reverted = prebuild(tree, path.join(work, 'reverted.node'));
  assert.ok(carries(reverted, original) && !carries(reverted, changed));
  assert.equal(fs.existsSync(path.join(treeFolder(tree).host, 'source', 'src', 'notes.txt')), false);
  // The same sources built in another folder: the same binary.
  assert.ok(reverted.equals(own), 'the reverted tree builds the checkout\'s binary byte for byte');
});
