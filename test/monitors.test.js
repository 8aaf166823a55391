'use strict';
// getMonitors on whatever desktop the module runs on.
const { describe, it } = require('node:test');
const assert = require('node:assert/strict');
const { corvane } = require('./support/binding');

const displayKeys = ['displayId', 'x', 'y', 'width', 'height', 'widthMM', 'heightMM', 'isPrimary', 'aspectRatio'];

function gcd(a, b) {
  return b === 0 ? a : gcd(b, a % b);
}

describe('getMonitors', () => {
  it('describes each monitor with the nine properties in order', () => {
    const monitors = corvane.getMonitors();
    assert.ok(Array.isArray(monitors));
    assert.ok(monitors.length > 0, 'this desktop has monitors');
    for (const m of monitors) {
      assert.deepEqual(Object.getOwnPropertyNames(m), displayKeys);
      assert.deepEqual(Object.getOwnPropertyNames(m.aspectRatio), ['aspectWidth', 'aspectHeight']);
      assert.equal(Object.getPrototypeOf(m), Object.prototype);
      assert.equal(typeof m.displayId, 'string');
      assert.ok(m.displayId.length > 0);
      for (const key of ['x', 'y', 'width', 'height', 'widthMM', 'heightMM']) {
        assert.ok(Number.isInteger(m[key]), `${key} is an integer`);
      }
      assert.equal(typeof m.isPrimary, 'boolean');
    }
  });

  it('reduces each resolution to its aspect ratio', () => {
    for (const { width, height, aspectRatio } of corvane.getMonitors()) {
      const g = gcd(width, height);
      assert.deepEqual(aspectRatio, { aspectWidth: width / g, aspectHeight: height / g });
    }
  });

  it('names exactly one primary monitor, with distinct device names', () => {
    const monitors = corvane.getMonitors();
    assert.equal(monitors.filter((m) => m.isPrimary).length, 1);
    assert.equal(new Set(monitors.map((m) => m.displayId)).size, monitors.length);
  });

  it('returns fresh objects on every call, untouched by what a caller did to the last ones', () => {
    const first = corvane.getMonitors();
    const snapshot = structuredClone(first);
    first[0].width = -1;
    first[0].aspectRatio.aspectWidth = 'changed';
    first.push('extra');
    const second = corvane.getMonitors();
    assert.notEqual(second, first);
    assert.notEqual(second[0], first[0]);
    assert.notEqual(second[0].aspectRatio, first[0].aspectRatio);
    assert.deepEqual(second, snapshot);
  });
});
