'use strict';
// getMonitors on scripted desktops.
const { describe, it, beforeEach, after } = require('node:test');
const assert = require('node:assert/strict');
const { corvane, simulator } = require('../support/binding');
const { assertReleasedNewestFirst } = require('../support/sim-handles');

const display = (n, fields) => ({
  deviceName: `\\\\.\\DISPLAY${n}`,
  x: 0,
  y: 0,
  flags: 0,
  width: 1920,
  height: 1080,
  widthMM: 527,
  heightMM: 296,
  ...fields,
});

const plainDesktop = [display(1, { flags: 1 })];

describe('getMonitors on a simulated desktop', () => {
  beforeEach(() => simulator.takeCalls());
  after(() => simulator.setMonitors(plainDesktop));

  it('returns an empty array for a desktop without monitors', () => {
    simulator.setMonitors([]);
    assert.deepEqual(corvane.getMonitors(), []);
  });

  it('describes a single full-HD monitor at the origin', () => {
    simulator.setMonitors(plainDesktop);
    assert.deepEqual(corvane.getMonitors(), [
      {
        displayId: '\\\\.\\DISPLAY1',
        x: 0,
        y: 0,
        width: 1920,
        height: 1080,
        widthMM: 527,
        heightMM: 296,
        isPrimary: true,
        aspectRatio: { aspectWidth: 16, aspectHeight: 9 },
      },
    ]);
  });

  it('keeps the enumeration order and negative positions left of and above the primary', () => {
    simulator.setMonitors([
      display(2, { x: -1280, y: -200, width: 1280, height: 1024 }),
      display(1, { flags: 1 }),
      display(3, { x: 1920, y: 2147483647 }),
      display(4, { x: -2147483648 }),
    ]);
    const monitors = corvane.getMonitors();
    assert.deepEqual(
      monitors.map((m) => [m.displayId, m.x, m.y, m.isPrimary]),
      [
        ['\\\\.\\DISPLAY2', -1280, -200, false],
        ['\\\\.\\DISPLAY1', 0, 0, true],
        ['\\\\.\\DISPLAY3', 1920, 2147483647, false],
        ['\\\\.\\DISPLAY4', -2147483648, 0, false],
      ],
    );
  });

  it('marks a monitor primary only when its flags are exactly the primary flag', () => {
    simulator.setMonitors([display(1, { flags: 3 }), display(2, { flags: 1 }), display(3, { flags: 2 })]);
    assert.deepEqual(corvane.getMonitors().map((m) => m.isPrimary), [false, true, false]);
  });

  it('lists a display whose device context cannot be opened with zero sizes', () => {
    simulator.setMonitors([display(1, { flags: 1 }), display(2, { x: 1920, displayFails: true })]);
    const [, broken] = corvane.getMonitors();
    assert.deepEqual(broken, {
      displayId: '\\\\.\\DISPLAY2',
      x: 1920,
      y: 0,
      width: 0,
      height: 0,
      widthMM: 0,
      heightMM: 0,
      isPrimary: false,
      aspectRatio: { aspectWidth: 0, aspectHeight: 0 },
    });
  });

  it('reports a physical size the display gives as negative as 0, unknown', () => {
    simulator.setMonitors([display(1, { flags: 1, widthMM: -1, heightMM: -2147483648 })]);
    const [monitor] = corvane.getMonitors();
    assert.deepEqual([monitor.widthMM, monitor.heightMM, monitor.width], [0, 0, 1920]);
  });

  it('leaves out a monitor whose info query fails and keeps the others in order', () => {
    simulator.setMonitors([display(1), display(2, { infoFails: true }), display(3, { flags: 1 })]);
    assert.deepEqual(corvane.getMonitors().map((m) => m.displayId), ['\\\\.\\DISPLAY1', '\\\\.\\DISPLAY3']);
  });

  it('keeps the monitors reported before an enumeration that fails', () => {
    simulator.setMonitors([display(1), display(2), display(3)], { enumerationStopsAfter: 2 });
    assert.deepEqual(corvane.getMonitors().map((m) => m.displayId), ['\\\\.\\DISPLAY1', '\\\\.\\DISPLAY2']);
    simulator.setMonitors([display(1)], { enumerationStopsAfter: 0 });
    assert.deepEqual(corvane.getMonitors(), []);
  });

  it('cuts a device name to the 31 bytes that the monitor info holds', () => {
    simulator.setMonitors([display(1, { deviceName: 'D'.repeat(40), flags: 1 })]);
    const [monitor] = corvane.getMonitors();
    assert.equal(monitor.displayId, 'D'.repeat(31));
    assert.equal(monitor.width, 1920, 'the display is opened by the name it reported');
  });

  it('closes every display context it opened exactly once, newest first, reading none after its close', () => {
    simulator.setMonitors([display(1, { flags: 1 }), display(2, { displayFails: true }), display(3)]);
    simulator.takeCalls();
    corvane.getMonitors();
    assertReleasedNewestFirst(simulator.takeCalls());
    assert.equal(simulator.openDisplayContexts(), 0);
  });

  it('reflects a changed desktop on the next call', () => {
    simulator.setMonitors(plainDesktop);
    assert.equal(corvane.getMonitors().length, 1);
    simulator.setMonitors([display(1, { flags: 1 }), display(2, { x: 1920 })]);
    assert.equal(corvane.getMonitors().length, 2);
  });
});

describe('the simulator control', () => {
  it('is not among the enumerable exports', () => {
    assert.equal(Object.keys(corvane).includes('simulator'), false);
    assert.equal(Object.getOwnPropertyDescriptor(corvane, 'simulator').enumerable, false);
  });
});
