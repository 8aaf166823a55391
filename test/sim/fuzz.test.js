'use strict';
// Thousands of random argument lists against every export: the process must neither crash nor
// hang, and every throw must be a documented error or the one a getter threw.
const { it } = require('node:test');
const assert = require('node:assert/strict');
const { setImmediate: nextTurn } = require('node:timers/promises');
const { corvane, simulator } = require('../support/binding');
const { exportNames, isDocumentedError } = require('../support/api');
const { waitFor } = require('../support/capture');

const seed = Number(process.env.CORVANE_FUZZ_SEED ?? 0xc0ffee);
const rounds = Number(process.env.CORVANE_FUZZ_ROUNDS ?? 5000);

class GetterError extends Error {}

// What the engine itself throws while converting the caller's values (ToString of a Symbol,
// ToNumber of a BigInt, any touch of a revoked Proxy): it passes through like a getter's throw.
const engineError = /^(Cannot convert a (Symbol|BigInt) value to a (string|number)|Cannot convert object to primitive value|Cannot perform '\w+' on a proxy that has been revoked)$/;

// Callbacks misbehave only while the rounds run. What they throw goes to the process's handling of
// uncaught exceptions, which the test takes over for the rounds and until the last queue is gone.
let fuzzing = true;

// mulberry32: small, seeded, good enough to spread the cases.
function prng(state) {
  return () => {
    state = (state + 0x6d2b79f5) | 0;
    let t = Math.imul(state ^ (state >>> 15), 1 | state);
    t = (t + Math.imul(t ^ (t >>> 7), 61 | t)) ^ t;
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

const random = prng(seed);
const pick = (list) => list[Math.floor(random() * list.length)];
const int = (n) => Math.floor(random() * n);

// Callbacks run as frames arrive, so how often they reenter depends on timing: they draw from a
// stream of their own, which keeps the rounds' arguments the same on every run of a seed.
const reentryRandom = prng(seed ^ 0x5eed);

// A call back into the module from inside a getter, trap or callback; its own throws stay inside.
function reenter() {
  if (!fuzzing) return;
  const name = exportNames[Math.floor(reentryRandom() * exportNames.length)];
  try {
    corvane[name]();
  } catch {
    // The outer call is what the test checks.
  }
}

const numbers = [
  0, -0, 1, -1, 0.5, -0.5, 7, 33, 100, NaN, Infinity, -Infinity, 2 ** 31 - 1, 2 ** 31, 2 ** 32 - 1, 2 ** 32,
  2 ** 53, -(2 ** 31), -(2 ** 31) - 1, -(2 ** 53), Number.MAX_VALUE, Number.MIN_VALUE, Number.EPSILON, 1e308,
];

function number() {
  return random() < 0.7 ? pick(numbers) : (random() - 0.5) * 10 ** int(20);
}

function primitive() {
  return pick([
    () => undefined,
    () => null,
    () => random() < 0.5,
    number,
    () => pick([0n, -1n, 1n, 2n ** 64n, -(2n ** 63n), BigInt(int(1e9))]),
    () => pick([Symbol(), Symbol.iterator, Symbol.for('corvane')]),
    () => pick(['', 'abc', '\\\\.\\DISPLAY1', '\\\\.\\DISPLAY9', '\0', 'x'.repeat(int(5000)), '显示器', '\ud800']),
  ])();
}

function binary() {
  const size = pick([0, 1, 7, 8, 9, 64, int(4096)]);
  return pick([
    () => Buffer.alloc(size, int(256)),
    () => new Uint8Array(size),
    () => new Float64Array(size),
    () => new BigInt64Array(size),
    () => new DataView(new ArrayBuffer(size)),
    () => new ArrayBuffer(size),
    () => new SharedArrayBuffer(size),
    () => Buffer.alloc(16).subarray(3, 3 + Math.min(size, 13)),
  ])();
}

function displayLike(depth) {
  const display = {};
  for (const key of ['displayId', 'width', 'height', 'x', 'y']) {
    if (random() < 0.8) display[key] = value(depth + 1);
  }
  return display;
}

function trickyObject(depth) {
  return pick([
    () => {
      const o = {};
      for (const key of ['displayId', 'width', 'height', 'length', '0']) {
        Object.defineProperty(o, key, {
          enumerable: true,
          get() {
            throw new GetterError(`getter ${key}`);
          },
        });
      }
      return o;
    },
    () => {
      const o = {};
      for (const key of ['displayId', 'width', 'height']) {
        Object.defineProperty(o, key, {
          enumerable: true,
          get() {
            reenter();
            return value(depth + 1);
          },
        });
      }
      return o;
    },
    () =>
      new Proxy(
        {},
        {
          get() {
            throw new GetterError('proxy get');
          },
          has() {
            throw new GetterError('proxy has');
          },
          ownKeys() {
            throw new GetterError('proxy ownKeys');
          },
          getOwnPropertyDescriptor() {
            throw new GetterError('proxy descriptor');
          },
          getPrototypeOf() {
            throw new GetterError('proxy prototype');
          },
        },
      ),
    () => new Proxy(displayLike(depth), { get: (target, key) => (reenter(), target[key]) }),
    () => new Proxy([value(depth + 1)], {}),
    () => {
      const { proxy, revoke } = Proxy.revocable({}, {});
      revoke();
      return proxy;
    },
    () => {
      const list = [value(depth + 1), value(depth + 1)];
      Object.defineProperty(list, 1, {
        get() {
          throw new GetterError('element getter');
        },
      });
      return list;
    },
    () => Object.create(null),
    () => pick([new Date(NaN), /x/g, new Map([[1, 2]]), Promise.resolve(1), new WeakRef({}), new Error('e')]),
  ])();
}

function callback() {
  return pick([
    () => () => {},
    () => () => {
      if (fuzzing) throw new GetterError('callback');
    },
    () => () => reenter(),
    () => async () => {},
    () => function named() {}.bind(null),
    () => class {},
    () => new Proxy(() => {}, {}),
  ])();
}

function value(depth = 0) {
  if (depth > 2) return primitive();
  const kind = random();
  if (kind < 0.3) return primitive();
  if (kind < 0.45) return callback();
  if (kind < 0.55) return binary();
  if (kind < 0.65) return displayLike(depth);
  if (kind < 0.75) return Array.from({ length: int(5) }, () => value(depth + 1));
  if (kind < 0.85) return trickyObject(depth);
  if (kind < 0.9) return pick(corvane.getMonitors());
  return pick([[], {}, new Array(int(10)), Object.freeze({})]);
}

// Half the lists have the shape a function expects, with random contents, so that the calls get
// past the type checks into conversions, range checks and starts.
function shapedArgs(name) {
  const side = () => (random() < 0.7 ? int(300) : number());
  const plausible = () => ({ displayId: pick(['\\\\.\\DISPLAY1', 'none', 1, value()]), width: side(), height: side() });
  const display = () =>
    random() < 0.2 ? value() : pick([plausible(), displayLike(1), trickyObject(1), pick(corvane.getMonitors())]);
  const interval = () => (random() < 0.7 ? pick([0, 1, 5]) : number());
  const rate = () => (random() < 0.7 ? 1 + int(40) : number());
  switch (name) {
    case 'startCaptureScreen':
      return [callback(), display(), interval(), rate()];
    case 'startCaptureMultiScreens':
      return [callback(), Array.from({ length: int(6) }, display), interval(), rate()];
    case 'shutdownHandler':
      return [binary(), callback()];
    default:
      return [callback(), number()];
  }
}

function describeArgs(args) {
  return args.map((a) => {
    try {
      return typeof a === 'symbol' || typeof a === 'bigint' ? String(a) : Object.prototype.toString.call(a);
    } catch {
      return '(unprintable)';
    }
  });
}

it(`survives ${rounds} random argument lists (seed ${seed})`, { timeout: 300000 }, async () => {
  // Random sizes may ask for huge bitmaps; fail those as GDI would when out of memory.
  simulator.setGdiFaults({ maxBitmapPixels: 4e6 });
  simulator.setRecording(false);
  const uncaught = [];
  const runnersHandlers = process.rawListeners('uncaughtException');
  process.removeAllListeners('uncaughtException');
  process.on('uncaughtException', (error) => uncaught.push(error));
  const thrown = new Map();
  let started = 0;
  for (let round = 0; round < rounds; round++) {
    const name = pick(exportNames);
    const args = random() < 0.5 ? shapedArgs(name) : Array.from({ length: int(7) }, () => value());
    if (random() < 0.3) args.length = int(args.length + 1);
    // A hooked window's queue keeps the process alive for good; hooks with a callback are tested
    // in child processes of their own.
    if (name === 'shutdownHandler' && typeof args[1] === 'function') args[1] = value(3);
    try {
      corvane[name](...args);
      if (name.startsWith('startCapture')) started++;
    } catch (error) {
      const accepted =
        error instanceof GetterError ||
        (error?.constructor === TypeError && engineError.test(error.message)) ||
        isDocumentedError(name, error);
      assert.ok(
        accepted,
        `round ${round}: ${name}(${describeArgs(args).join(', ')}) threw ${error?.constructor?.name}: ${error?.message}`,
      );
      thrown.set(name, (thrown.get(name) ?? 0) + 1);
    }
    // Let queued deliveries run now and then, so that random captures do not pile up frames.
    if (round % 25 === 24) {
      corvane.stopCaptureScreen();
      corvane.stopStream();
      try {
        corvane.stopMouseTracking();
      } catch {
        // not running
      }
      await nextTurn();
    }
  }
  fuzzing = false;
  for (const name of exportNames.filter((n) => n.startsWith('stop'))) {
    try {
      corvane[name]();
    } catch {
      // Nothing left running is what matters here.
    }
  }
  simulator.setGdiFaults({});
  simulator.setRecording(true);
  await waitFor(() => simulator.liveQueues() === 0, 'every queue to be finalized', 60000);
  process.removeAllListeners('uncaughtException');
  for (const handler of runnersHandlers) process.on('uncaughtException', handler);
  // Only callbacks throw after a start: the throwing ones, and classes, which cannot be called.
  const strays = uncaught.filter(
    (e) => !(e instanceof GetterError && e.message === 'callback') && !/^Class constructor/.test(e?.message),
  );
  assert.deepEqual(strays, []);
  assert.ok(uncaught.length > 0, 'some callbacks threw');
  assert.ok(started > rounds / 50, `only ${started} captures started`);
  // Every function that takes arguments was made to throw with this many rounds.
  const quiet = ['getMonitors', 'stopCaptureScreen', 'stopCaptureMultiScreens', 'stopStream'];
  assert.deepEqual(exportNames.filter((n) => !quiet.includes(n) && !thrown.has(n)), []);
});
