'use strict';
// What the platform a suite runs on lacks, or how it differs: test/config.json has an entry for
// each kind of desktop the runner starts, and the runner names the row's kind in CORVANE_PLATFORM.
// A suite asks about what it depends on; a feature that the entry does not mention is an error,
// as is a run without CORVANE_PLATFORM, so that a desktop is never taken for another.
const platforms = require('../config.json');

const kind = process.env.CORVANE_PLATFORM;
if (!Object.hasOwn(platforms, kind ?? '')) {
  throw new Error(`CORVANE_PLATFORM (${kind}) names none of the platforms in test/config.json: ${Object.keys(platforms).join(', ')}`);
}
const platform = platforms[kind];

function has(feature) {
  if (typeof platform[feature] !== 'boolean') throw new Error(`test/config.json does not say whether ${kind} has ${feature}`);
  return platform[feature];
}

module.exports = { kind, has };
