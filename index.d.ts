// corvane is a CommonJS module, and these are its typings: `require('corvane')`, the named imports
// (`import { getMonitors } from 'corvane'`) and the namespace (`import * as corvane from 'corvane'`)
// give the functions below; the default import (`import corvane from 'corvane'`) is the exports
// object itself, which has no `default` of its own.
//
// What every callback of the periodic services (captures, pointer, audio) may rely on: a callback
// slower than its service slows the service down rather than letting values pile up (one value
// waits queued, one more ready in the service's thread), the application's timers and I/O run
// between two deliveries, and an exception the callback throws goes to
// `process.on('uncaughtException')` (or, without a handler, ends the process as any uncaught
// exception does) while the service goes on.

/**
 * The frames' type: Node's `Buffer` where its typings (@types/node) are loaded, `Uint8Array`, which
 * `Buffer` extends, where they are not. Read from `Buffer.alloc`, as `BufferConstructor` declares no
 * `prototype` of its own.
 */
type NodeBuffer = typeof globalThis extends { Buffer: { alloc(size: number): infer B } } ? B : Uint8Array;

/** One display monitor, as `getMonitors` reports it. */
export interface DisplayInfo {
  /**
   * The display's device name, which captures open the display by: on Windows its GDI name such
   * as `\\.\DISPLAY1`; on Linux (X11) the RandR monitor's name such as `DP-1`, or `XINERAMA-0`,
   * `XINERAMA-1`... where the screens are laid out by Xinerama alone, or `screen` when the server
   * has neither.
   */
  displayId: string;
  /** Left edge on the virtual screen, in pixels; negative left of the primary monitor. */
  x: number;
  /** Top edge on the virtual screen, in pixels; negative above the primary monitor. */
  y: number;
  /** Resolution in pixels; 0 when the display could not be opened. */
  width: number;
  height: number;
  /** Physical size in millimetres; 0 when it is unknown or the display could not be opened. */
  widthMM: number;
  heightMM: number;
  /** Whether this is the primary monitor. On X11 the first monitor is, when the server names none. */
  isPrimary: boolean;
  /** `width`:`height` in lowest terms, such as 16:9; 0:0 when both are 0. */
  aspectRatio: { aspectWidth: number; aspectHeight: number };
}

/** What the captures read of a display: its device name and the size to capture. */
export type CaptureDisplay = Pick<DisplayInfo, 'displayId' | 'width' | 'height'>;

/**
 * The monitors of the desktop, in the order the window manager enumerates them (on X11, RandR's
 * order). Fresh objects on every call. Empty on Linux without an X display.
 */
export function getMonitors(): DisplayInfo[];

/**
 * Holds the end of the Windows session back with the reason "Turning off the lights": the window's
 * procedure is replaced by one that refuses each end-of-session query and then calls `callback`
 * with "SHUTDOWN", and holds a real end of the session for 4 s before passing it on. `callback` is
 * first called once, before this returns, with "ShutdownHandler Initial...". `windowHandle` is the
 * native handle of one of the application's windows, as Electron's
 * `BrowserWindow.getNativeWindowHandle()` gives it. The hook lasts until the process ends and keeps
 * it alive. Throws a TypeError for a first argument that is not a Buffer, typed array or DataView of
 * at least 8 bytes, and for a callback that is not a function (the window is hooked all the same).
 * On Linux (`windowHandle` an X11 window id, checked but not needed) it takes a delay inhibitor
 * lock of systemd-logind for "shutdown" over the system bus instead: when logind announces the
 * shutdown, `callback` gets "SHUTDOWN" and the lock is let go 4 s later; a cancelled shutdown takes
 * a new lock. One lock serves the process; the callback keeps the process alive as on Windows. Without
 * libsystemd, a system bus or logind, one line on standard error says that the end of the session
 * cannot be held, and nothing else changes.
 */
export function shutdownHandler(windowHandle: ArrayBufferView, callback: (message: string) => void): void;

/**
 * Captures one display, again and again, and calls `callback` with each picture down-sampled:
 * the top-left pixel of every `samplingRate` x `samplingRate` block, rows top to bottom, three
 * bytes (red, green, blue) per sample, ceil(width / samplingRate) x ceil(height / samplingRate) x 3
 * bytes in all. Only `displayId`, `width` and `height` of `display` are read. A display that cannot
 * be opened or read (a name that names no display, no X server or compositor, a failed grab)
 * gives zero-filled frames, and one line on standard error when it turns so, not on every tick:
 * "capture of <displayId> through <GDI|X11|wlr-screencopy|the desktop portal>: <why>; frames are
 * zero-filled". After each grab the capture pauses `interval` milliseconds; a callback slower than
 * that holds the next grab back until it is ready for the frame.
 * A capture already running is stopped first. Throws a RangeError for a `samplingRate` outside 1 to
 * 2147483647, or a width or height below 0 or whose 32-bit pixels exceed 2147483647 bytes.
 */
export function startCaptureScreen(
  callback: (frame: NodeBuffer) => void,
  display: CaptureDisplay,
  interval: number,
  samplingRate: number,
): void;

/**
 * Stops the running capture, single or multi-display, and waits for its last grab. The frames that
 * waited for the callback (two at most) are still delivered after it.
 */
export function stopCaptureScreen(): void;

/**
 * Captures up to three displays per period and calls `callback` with one object of their frames,
 * keyed by device name in the order of `displays`. With more than three entries the first three are
 * captured and the call then throws "Maximum 3 displays supported, only first 3 will be captured".
 * A display it cannot see gives zero-filled frames and its own line, as in `startCaptureScreen`.
 */
export function startCaptureMultiScreens(
  callback: (frames: Record<string, NodeBuffer>) => void,
  displays: readonly CaptureDisplay[],
  interval: number,
  samplingRate: number,
): void;

/** The same stop as `stopCaptureScreen`. */
export function stopCaptureMultiScreens(): void;

/**
 * Calls `callback` once per period with whether the pointer has moved since the last look (false
 * while it rests); on GNOME and KDE (Wayland), whether the user gave any input, a key too.
 * `interval` (ms) is read only when it is a number; 0 or less gives 100, and
 * the last one given is kept for later runs (100 at first). Throws "Tracking is already running"
 * while a run is active, and a TypeError "Expected a callback function". A failed pointer read
 * writes "GetCursorPos failed! Error: <code>" to standard error and is tried again after 100 ms.
 */
export function startMouseTracking(callback: (moved: boolean) => void, interval?: number): true;

/** Stops the pointer tracking; throws "Tracking is not running" when none runs. */
export function stopMouseTracking(): true;

/**
 * Calls `callback` once per period with the peak level (0 to 1) of the default audio output, or
 * a negative code for the step that failed: -1.100000023841858 (COM), -1.2000000476837158 (device
 * enumerator), -1.2999999523162842 (no output device), -1.399999976158142 (no peak meter); on
 * Linux (PulseAudio, or PipeWire's pipewire-pulse) -2.0999999046325684 (no libpulse.so.0),
 * -2.200000047683716 (no server), -2.299999952316284 (no default output), -2.4000000953674316
 * (the record stream failed); each failure also writes a line to standard error. The first value
 * comes at once. `interval` (ms) is read only when it is a number; 0 or less gives 16000, and the
 * last one given is kept for later streams (16000 at first). Throws "Monitoring is already
 * running" while a stream is active, and a TypeError "Function expected as first argument".
 */
export function startStream(callback: (level: number) => void, interval?: number): void;

/**
 * Stops the audio level stream; true if one was running, false otherwise. Never throws.
 */
export function stopStream(): boolean;

// Only the declarations marked `export` are the module's (a declaration file exports all otherwise).
export {};
