'use strict';
// getMonitors on scripted desktops.
const { describe, it, beforeEach, after } = require('node:test');
const assert = require('node:assert/strict');
const { corvane, simulator } = require('../support/binding');

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

  it('reduces common resolutions and zero sides to their aspect ratios', () => {
    const cases = [
      [1920, 1080, 16, 9],
      [2560, 1080, 64, 27],
      [1366, 768, 683, 384],
      [1280, 1024, 5, 4],
      [3440, 1440, 43, 18],
      [1440, 900, 8, 5],
      [1920, 0, 1, 0],
      [0, 1080, 0, 1],
      [0, 0, 0, 0],
    ];
    simulator.setMonitors(cases.map(([width, height], i) => display(i + 1, { width, height })));
    const ratios = corvane.getMonitors().map((m) => [m.width, m.height, m.aspectRatio.aspectWidth, m.aspectRatio.aspectHeight]);
    assert.deepEqual(ratios, cases);
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

  it('makes the platform calls in order, with their arguments, and closes every context', () => {
    simulator.setMonitors([display(1, { flags: 1 }), display(2, { displayFails: true }), display(3)]);
    simulator.takeCalls();
    corvane.getMonitors();
    const device = (n) => `\\\\.\\DISPLAY${n}`;
    assert.deepEqual(simulator.takeCalls(), [
      'EnumDisplayMonitors(NULL, NULL, 0)',
      'GetMonitorInfoA(monitor1, 72)',
      `CreateDCA(DISPLAY, ${device(1)}, NULL, NULL) -> dc1`,
      'GetDeviceCaps(dc1, 8)',
      'GetDeviceCaps(dc1, 10)',
      'GetDeviceCaps(dc1, 4)',
      'GetDeviceCaps(dc1, 6)',
      'DeleteDC(dc1)',
      'GetMonitorInfoA(monitor2, 72)',
      `CreateDCA(DISPLAY, ${device(2)}, NULL, NULL) -> NULL`,
      'GetMonitorInfoA(monitor3, 72)',
      `CreateDCA(DISPLAY, ${device(3)}, NULL, NULL) -> dc2`,
      'GetDeviceCaps(dc2, 8)',
      'GetDeviceCaps(dc2, 10)',
      'GetDeviceCaps(dc2, 4)',
      'GetDeviceCaps(dc2, 6)',
      'DeleteDC(dc2)',
    ]);
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
