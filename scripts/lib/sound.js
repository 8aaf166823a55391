'use strict';
// A PulseAudio server with a null sink, so that Wine finds an audio output device.
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawn, spawnSync } = require('node:child_process');

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
      // --kill only signals the daemon, which removes its files in the folder as it ends.
      const deadline = Date.now() + 10000;
      while (spawnSync('pulseaudio', ['--check'], { env }).status === 0 && Date.now() < deadline);
      fs.rmSync(runtime, { recursive: true, force: true, maxRetries: 5 });
    },
  };
}

// Plays a music-like signal into the server's default sink for `seconds`: a tone whose loudness
// rises and falls with a beat, so that a level meter has something to show. Returns its process.
function playBeat(env, seconds) {
  const rate = 22050;
  const samples = new Float32Array(Math.ceil(rate * seconds));
  for (let i = 0; i < samples.length; i++) {
    const t = i / rate;
    const beat = 0.15 + 0.75 * Math.exp(-6 * (t % 0.5)) * (0.6 + 0.4 * Math.sin(t * 0.7));
    samples[i] = beat * Math.sin(2 * Math.PI * 220 * t) * (0.7 + 0.3 * Math.sin(2 * Math.PI * 3 * t));
  }
  const file = path.join(env.XDG_RUNTIME_DIR, 'beat.raw');
  fs.writeFileSync(file, Buffer.from(samples.buffer));
  return spawn('pacat', ['-p', '--raw', '--format=float32le', `--rate=${rate}`, '--channels=1', '--latency-msec=20', file],
    { env: { ...process.env, ...env }, stdio: 'ignore' });
}

module.exports = { startPulseAudio, playBeat };
