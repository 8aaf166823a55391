'use strict';
// A PulseAudio server of the test's own: null sinks on a socket of its own folder, tones of a known
// amplitude played into them, and a stop and a start again on the same socket.
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawn, spawnSync } = require('node:child_process');
const { waitFor } = require('./capture');

const rate = 48000;

// A 440 Hz sine of that amplitude, mono float, `seconds` long.
function toneFile(dir, amplitude, seconds = 60) {
  const file = path.join(dir, `tone-${amplitude}.raw`);
  if (fs.existsSync(file)) return file;
  const samples = new Float32Array(rate * seconds);
  for (let i = 0; i < samples.length; i++) samples[i] = amplitude * Math.sin((2 * Math.PI * 440 * i) / rate);
  fs.writeFileSync(file, Buffer.from(samples.buffer));
  return file;
}

async function startPulseServer({ sinks = ['one'] } = {}) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'corvane-pulse-'));
  fs.chmodSync(dir, 0o700);
  const socket = path.join(dir, 'socket');
  const env = { PULSE_SERVER: `unix:${socket}` };
  // The server and its tools are not ours to sanitize: a preloaded sanitizer stays with the module.
  const { LD_PRELOAD, ...unsanitized } = process.env;
  const tools = { ...unsanitized, ...env, HOME: dir, XDG_RUNTIME_DIR: dir, XDG_CONFIG_HOME: dir };
  const players = new Set();
  let daemon = null;

  const pactl = (...args) => {
    const result = spawnSync('pactl', args, { env: tools, encoding: 'utf8', timeout: 10000 });
    if (result.status !== 0) throw new Error(`pactl ${args.join(' ')}: ${result.stderr}`);
    return result.stdout;
  };

  const server = {
    env,
    pactl,
    async start() {
      const loads = [
        ...sinks.map((name) => `--load=module-null-sink sink_name=${name}`),
        `--load=module-native-protocol-unix socket=${socket} auth-anonymous=1`,
      ];
      daemon = spawn('pulseaudio', ['-n', '--daemonize=no', '--exit-idle-time=-1', '--log-target=stderr', '--log-level=error', ...loads],
        { env: tools, stdio: 'ignore' });
      await waitFor(() => spawnSync('pactl', ['info'], { env: tools }).status === 0, 'the PulseAudio server', 20000);
    },
    // Plays a tone into the sink at a low latency, as a desktop player would, until stopped.
    play(sink, amplitude) {
      const player = spawn('pacat', ['-p', '--raw', '--format=float32le', `--rate=${rate}`, '--channels=1', '--latency-msec=20',
        `--device=${sink}`, toneFile(dir, amplitude)], { env: tools, stdio: 'ignore' });
      players.add(player);
      return {
        stop: () => new Promise((resolve) => {
          players.delete(player);
          if (player.exitCode !== null || player.signalCode !== null) return resolve();
          player.once('exit', resolve);
          player.kill();
        }),
      };
    },
    // The clients connected now, by the name they gave.
    clients: () => pactl('list', 'short', 'clients').split('\n').filter(Boolean).map((line) => line.split('\t')[2]),
    async stop() {
      for (const player of players) player.kill();
      players.clear();
      if (!daemon || daemon.exitCode !== null) return;
      const exited = new Promise((resolve) => daemon.once('exit', resolve));
      daemon.kill();
      await exited;
    },
    async close() {
      await server.stop();
      fs.rmSync(dir, { recursive: true, force: true });
    },
  };
  await server.start();
  return server;
}

module.exports = { startPulseServer };
