'use strict';
// What the simulated platform's call log tells of what it handed out: a device context (`-> dc1`),
// a bitmap (`-> bm3`) or a COM object (`-> object7`) is made the first time a call returns it and
// released by DeleteDC, DeleteObject or Release; a COM entry is made by a CoInitialize that
// succeeded and left by CoUninitialize.
const assert = require('node:assert/strict');

const handle = /\b(?:dc|bm|object)\d+\b/g;
const release = /^(?:DeleteDC\((dc\d+)\)|DeleteObject\((bm\d+)\)|(object\d+)->Release\(\))$/;
const comEntry = /^((?:worker: )?)CoInitialize\(NULL\) -> 0x0000000[01]$/;
const comExit = /^((?:worker: )?)CoUninitialize\(\)$/;

// Asserts that everything the calls made is released exactly once, newest first, and named by no
// call after its release.
function assertReleasedNewestFirst(calls) {
  const open = [];
  const seen = new Set();
  for (const call of calls) {
    for (const name of call.match(handle) ?? []) assert.ok(!seen.has(name) || open.includes(name), `${call}: ${name} used after its release`);
    const released = call.match(release)?.slice(1).find(Boolean) ?? (comExit.test(call) ? `${call.match(comExit)[1]}COM` : null);
    if (released) {
      assert.equal(released, open.at(-1), `${call} out of order; open: ${open.join(', ')}`);
      open.pop();
      continue;
    }
    const made = comEntry.test(call) ? `${call.match(comEntry)[1]}COM` : call.match(/-> ((?:dc|bm|object)\d+)$/)?.[1];
    if (made && !seen.has(made)) open.push(made);
    if (made?.endsWith('COM') === false) seen.add(made);
  }
  assert.deepEqual(open, [], 'left open');
}

module.exports = { assertReleasedNewestFirst };
