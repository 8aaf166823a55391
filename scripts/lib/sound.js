'use strict';
// A PulseAudio server with a null sink, so that Wine finds an audio output device.
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawnSync } = require('node:child_process');

// Returns the environment that reaches the server, and a stop.
function startPulseAudio() {
  const runtime = fs.mkdtempSync(path.join(os.tmpdir(), 'corvane-pulse-'));
  fs.chmodSync(runtime, 0o700);
  const env = { ...process.env, XDG_RUNTIME_DIR: runtime };
  const started = spawnSync(
    'pulseaudio',
    ['-D', '--exit-idle-time=-1', '-n', '--load=module-null-sink sink_name=nul', '--load=module-native-protocol-unix'],
    { env, encoding: 'utf8', timeout: 30000 },
  );
  if (started.status !== 0) throw new Error(`pulseaudio did not start: ${started.stderr}`);
  return {
    env: { XDG_RUNTIME_DIR: runtime },
    stop() {
      spawnSync('pulseaudio', ['--kill'], { env, timeout: 30000 });
      fs.rmSync(runtime, { recursive: true, force: true });
    },
  };
}

module.exports = { startPulseAudio };
