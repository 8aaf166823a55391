'use strict';
// What the tests know of the public API: the export table and the errors each function may throw.

const exportNames = [
  'getMonitors',
  'shutdownHandler',
  'startCaptureScreen',
  'stopCaptureScreen',
  'startMouseTracking',
  'stopMouseTracking',
  'startCaptureMultiScreens',
  'stopCaptureMultiScreens',
  'startStream',
  'stopStream',
];

const captureRangeErrors = [
  { type: RangeError, message: /^samplingRate must be an integer from 1 to 2147483647, got \d+$/ },
  {
    type: RangeError,
    message: /^display ".*": width and height must be 0 or more, and width x height x 4 must not exceed 2147483647 bytes, got -?\d+ x -?\d+$/s,
  },
];

// For each function, every error it may throw of its own.
const documentedErrors = {
  getMonitors: [],
  shutdownHandler: [
    { type: TypeError, message: 'Expected first argument to be a buffer' },
    { type: TypeError, message: 'Expected the buffer to hold a window handle of 8 bytes' },
    { type: TypeError, message: 'Expected the second argument to be a function' },
  ],
  startCaptureScreen: [
    { type: Error, message: 'Callback function, display object, interval, and sampling rate required' },
    { type: TypeError, message: '对象缺少 displayId 属性' },
    { type: TypeError, message: '对象缺少 width 属性 或 height 属性' },
    ...captureRangeErrors,
  ],
  stopCaptureScreen: [],
  startMouseTracking: [
    { type: Error, message: 'Tracking is already running' },
    { type: TypeError, message: 'Expected a callback function' },
  ],
  stopMouseTracking: [{ type: Error, message: 'Tracking is not running' }],
  startCaptureMultiScreens: [
    { type: Error, message: 'Callback function, display array, interval, and sampling rate required' },
    { type: TypeError, message: 'Display info must be objects' },
    { type: TypeError, message: 'Display object missing required properties' },
    { type: Error, message: 'Maximum 3 displays supported, only first 3 will be captured' },
    ...captureRangeErrors,
  ],
  stopCaptureMultiScreens: [],
  startStream: [
    { type: Error, message: 'Monitoring is already running' },
    { type: TypeError, message: 'Function expected as first argument' },
  ],
  stopStream: [],
};

function isDocumentedError(name, error) {
  return documentedErrors[name].some(
    (e) =>
      error instanceof e.type &&
      error.constructor === e.type &&
      (typeof e.message === 'string' ? error.message === e.message : e.message.test(error.message)),
  );
}

module.exports = { exportNames, documentedErrors, isDocumentedError };
