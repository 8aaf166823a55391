// A program that uses the typings as an application would. typings.test.js type-checks it, once
// without @types/node and once with it; it is never run. Each @ts-expect-error line is a misuse
// that must not compile: the check fails if it does.
import * as corvane from '../..';
import type { CaptureDisplay, DisplayInfo } from '../..';

type Equal<A, B> = (<T>() => T extends A ? 1 : 2) extends <T>() => T extends B ? 1 : 2 ? true : false;

// Frames are Node's Buffer where its typings are loaded, and plain bytes otherwise; never `any`.
type Frame = Parameters<Parameters<typeof corvane.startCaptureScreen>[0]>[0];
type NodeLoaded = 'Buffer' extends keyof typeof globalThis ? true : false;
type FrameIsBuffer = Frame extends { readUInt32LE(offset?: number): number } ? true : false;
const frameIsBufferWithNode: Equal<FrameIsBuffer, NodeLoaded> = true;
const frameIsBytes: Equal<Frame extends Uint8Array ? true : false, true> = true;

const monitors: DisplayInfo[] = corvane.getMonitors();
const primary: DisplayInfo | undefined = monitors.find((m) => m.isPrimary);
const first = monitors[0];
const { aspectWidth, aspectHeight } = first.aspectRatio;
const summary: string = `${first.displayId} at ${first.x},${first.y}: ${first.width}x${first.height} px, ` +
  `${first.widthMM}x${first.heightMM} mm, ${aspectWidth}:${aspectHeight}`;

// A monitor is a CaptureDisplay, and so is an object of the three fields the captures read.
const display: CaptureDisplay = primary ?? first;
const byName: CaptureDisplay = { displayId: 'DP-1', width: 1920, height: 1080 };

corvane.startCaptureScreen((frame) => {
  const bytes: Uint8Array = frame;
  const red: number = frame[0];
  // A frame is a view too (a Buffer under @types/node), as the shutdown hook takes.
  corvane.shutdownHandler(frame, () => {});
}, display, 100, 4);
corvane.stopCaptureScreen();

const displays: readonly CaptureDisplay[] = [display, byName];
corvane.startCaptureMultiScreens((frames) => {
  for (const [displayId, frame] of Object.entries(frames)) {
    const id: string = displayId;
    const bytes: Uint8Array = frame;
  }
}, displays, 250, 8);
corvane.startCaptureMultiScreens(() => {}, [display, byName] as const, 250, 8);
corvane.startCaptureMultiScreens(() => {}, monitors, 250, 8);
corvane.stopCaptureMultiScreens();

const tracking: true = corvane.startMouseTracking((moved) => {
  const still: boolean = !moved;
}, 50);
const trackingAgain: true = corvane.startMouseTracking(() => {});
const untracked: true = corvane.stopMouseTracking();

corvane.startStream((level) => {
  const silent: boolean = level === 0;
}, 1000);
corvane.startStream(() => {});
const wasStreaming: boolean = corvane.stopStream();

// Electron's getNativeWindowHandle() gives a Buffer; any view of 8 bytes or more will do.
corvane.shutdownHandler(new BigUint64Array(1), (message) => {
  const text: string = message;
});
corvane.shutdownHandler(new DataView(new ArrayBuffer(8)), () => {});

// @ts-expect-error: the interval is a number
corvane.startCaptureScreen(() => {}, display, '100', 4);
// @ts-expect-error: the sampling rate is required
corvane.startCaptureScreen(() => {}, display, 100);
// @ts-expect-error: a frame is not a string
corvane.startCaptureScreen((frame: string) => {}, display, 100, 4);
// @ts-expect-error: a capture needs the display's height
corvane.startCaptureScreen(() => {}, { displayId: 'DP-1', width: 1920 }, 100, 4);
// @ts-expect-error: the multi-display capture takes an array of displays
corvane.startCaptureMultiScreens(() => {}, display, 100, 4);
// @ts-expect-error: the frames come keyed by display, not as one frame
corvane.startCaptureMultiScreens((frames: Uint8Array) => {}, displays, 100, 4);
// @ts-expect-error: the pointer callback receives a boolean
corvane.startMouseTracking((moved: string) => {});
// @ts-expect-error: the level is a number
corvane.startStream((level: string) => {});
// @ts-expect-error: an ArrayBuffer is not a view of one
corvane.shutdownHandler(new ArrayBuffer(8), () => {});
// @ts-expect-error: the shutdown hook needs its callback
corvane.shutdownHandler(new Uint8Array(8));
// @ts-expect-error: stopping the tracking gives true, never false
const notStopped: false = corvane.stopMouseTracking();
// @ts-expect-error: a monitor's fields cannot be left out
const partial: DisplayInfo = { displayId: 'DP-1', x: 0, y: 0, width: 1920, height: 1080 };
