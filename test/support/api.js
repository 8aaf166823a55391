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

// Functions whose service is not built yet throw this.
const notYet = (name) => ({ type: Error, message: `${name} is not available yet` });

// For each function, every error it may throw of its own.
const documentedErrors = {
  getMonitors: [],
  shutdownHandler: [notYet('shutdownHandler')],
  startCaptureScreen: [notYet('startCaptureScreen')],
  stopCaptureScreen: [notYet('stopCaptureScreen')],
  startMouseTracking: [notYet('startMouseTracking')],
  stopMouseTracking: [notYet('stopMouseTracking')],
  startCaptureMultiScreens: [notYet('startCaptureMultiScreens')],
  stopCaptureMultiScreens: [notYet('stopCaptureScreen')],
  startStream: [notYet('startStream')],
  stopStream: [notYet('stopStream')],
};

function isDocumentedError(name, error) {
  return documentedErrors[name].some(
    (e) => error instanceof e.type && error.constructor === e.type && error.message === e.message,
  );
}

module.exports = { exportNames, documentedErrors, isDocumentedError };
