'use strict';
// The module under test: the simulated desktop build unless CORVANE_BINARY names another.
const path = require('node:path');

const file = process.env.CORVANE_BINARY ? path.resolve(process.env.CORVANE_BINARY) : path.join(__dirname, '..', '..', 'build', 'host', 'corvane-sim.node');
const corvane = require(file);

module.exports = {
  file,
  corvane,
  // Only the simulated build has it.
  simulator: corvane.simulator ?? null,
};
