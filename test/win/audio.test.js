'use strict';
// The audio stream on real Core Audio under Wine. Without a sound server there is no output
// device; with a PulseAudio null sink there is one, but Wine has no peak meter.
const { it } = require('node:test');
const assert = require('node:assert/strict');
const { runChild } = require('../support/child');
const platform = require('../support/platform');

// Wine's ALSA driver adds lines of its own when there is no sound server.
const ourLines = (stderr) => stderr.split(/\r?\n/).filter((line) => line && !line.startsWith('ALSA lib'));

const expected = platform.has('soundServer')
  ? { level: -1.399999976158142, line: 'Failed to activate audio meter information' }
  : { level: -1.2999999523162842, line: 'Failed to get default audio endpoint' };

it('delivers the code of the step where Core Audio stops, once per tick, with its line', () => {
  const child = runChild(`
    let values = 0;
    corvane.startStream((level) => { console.log(level); if (++values === 3) corvane.stopStream(); }, 50);
  `);
  assert.equal(child.status, 0, child.stderr);
  assert.deepEqual(child.stdout.trim().split(/\r?\n/), new Array(3).fill(String(expected.level)));
  assert.deepEqual(ourLines(child.stderr), new Array(3).fill(expected.line));
});

it('delivers after a stop the values of the ticks that ran before it, and then lets the process end', () => {
  // The first value's callback keeps the thread busy while values queue up, then stops.
  const child = runChild(`
    let values = 0;
    corvane.startStream((level) => {
      console.log(level);
      if (++values === 1) setImmediate(() => {
        const busyUntil = Date.now() + 300;
        while (Date.now() < busyUntil);
        console.log('stop', corvane.stopStream());
      });
    }, 1);
  `);
  assert.equal(child.status, 0, child.stderr);
  const lines = child.stdout.trim().split(/\r?\n/);
  const values = lines.filter((line) => line !== 'stop true');
  assert.equal(lines.length, values.length + 1, child.stdout);
  assert.ok(lines.at(-1) !== 'stop true', 'values arrive after the stop');
  assert.deepEqual(values, new Array(values.length).fill(String(expected.level)));
  // One line per tick: every tick that ran, the one the stop caught too, delivered its value.
  assert.deepEqual(ourLines(child.stderr), new Array(values.length).fill(expected.line));
});
