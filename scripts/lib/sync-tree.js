'use strict';
// Makes a folder hold what another holds, by content: a file is written only where its bytes
// differ (so it gets a fresh modification time), and what the source lacks is removed. A build
// that reads the copy then rebuilds exactly what changed, whatever times the source's files carry
// (a checkout, an archive or a revert may give a changed file an older time than the last build).
const fs = require('node:fs');
const path = require('node:path');

const lstatOrNull = (file) => {
  try {
    return fs.lstatSync(file);
  } catch (error) {
    if (error.code === 'ENOENT') return null;
    throw error;
  }
};

// Makes `to` hold the paths `inputs` (relative to `from`, symbolic links followed) and nothing
// else; returns the paths written and removed, relative to `to`.
function syncTree(from, to, inputs) {
  const changes = { written: [], removed: [] };
  const remove = (file) => {
    fs.rmSync(file, { recursive: true, force: true });
    changes.removed.push(path.relative(to, file));
  };
  // The inputs as a tree of names: true for a path taken whole.
  const wanted = {};
  for (const input of inputs) {
    const parts = input.split('/');
    const last = parts.pop();
    let level = wanted;
    for (const part of parts) level = level[part] = level[part] === true ? true : (level[part] ?? {});
    if (level !== true) level[last] = true;
  }
  (function sync(src, dest, only) {
    const source = fs.statSync(src);
    let target = lstatOrNull(dest);
    if (target && (source.isDirectory() ? !target.isDirectory() : !target.isFile())) {
      remove(dest);
      target = null;
    }
    if (source.isDirectory()) {
      if (!target) fs.mkdirSync(dest, { recursive: true });
      const names = new Set(only === true ? fs.readdirSync(src) : Object.keys(only));
      for (const name of fs.readdirSync(dest)) if (!names.has(name)) remove(path.join(dest, name));
      for (const name of [...names].sort()) sync(path.join(src, name), path.join(dest, name), only === true || only[name]);
      return;
    }
    const bytes = fs.readFileSync(src);
    if (target && target.size === bytes.length && fs.readFileSync(dest).equals(bytes)) return;
    fs.writeFileSync(dest, bytes);
    fs.chmodSync(dest, source.mode & 0o777);
    changes.written.push(path.relative(to, dest));
  })(from, to, wanted);
  return changes;
}

module.exports = { syncTree };
