'use strict';
// A sound server of the test's own that speaks PulseAudio's protocol, PulseAudio itself or PipeWire
// with pipewire-pulse: null sinks on a socket of its own folder, tones of a known amplitude played
// into them, and a stop and a start again on the same socket.
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

// WirePlumber without the machine's sound cards, cameras and Bluetooth: only the null sinks.
const wireplumberOff = {
  'main.lua.d': 'alsa_monitor.enabled = false\nv4l2_monitor.enabled = false\nlibcamera_monitor.enabled = false\n',
  'bluetooth.lua.d': 'bluez_monitor.enabled = false\n',
};

// `kind` is 'pulseaudio' or 'pipewire'.
async function startPulseServer({ sinks = ['one'], kind = 'pulseaudio' } = {}) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), `corvane-${kind}-`));
  fs.chmodSync(dir, 0o700);
  // pipewire-pulse listens on "native" in $XDG_RUNTIME_DIR/pulse.
  const socket = kind === 'pipewire' ? path.join(dir, 'pulse', 'native') : path.join(dir, 'socket');
  const env = { PULSE_SERVER: `unix:${socket}` };
  const bus = path.join(dir, 'bus');
  // The servers and their tools are not ours to sanitize: a preloaded sanitizer stays with the module.
  const { LD_PRELOAD, ...unsanitized } = process.env;
  const tools = {
    ...unsanitized, ...env, HOME: dir, XDG_RUNTIME_DIR: dir, XDG_CONFIG_HOME: dir, XDG_STATE_HOME: dir,
    DBUS_SESSION_BUS_ADDRESS: `unix:path=${bus}`,
  };
  delete tools.PIPEWIRE_RUNTIME_DIR;
  delete tools.PIPEWIRE_REMOTE;
  for (const [folder, text] of Object.entries(wireplumberOff)) {
    fs.mkdirSync(path.join(dir, 'wireplumber', folder), { recursive: true });
    fs.writeFileSync(path.join(dir, 'wireplumber', folder, '60-corvane.lua'), text);
  }
  const players = new Set();
  // Started in this order, stopped in the reverse one.
  let daemons = [];
  // Each is told to end when this process does, however it ends (a crash runs no stop()).
  const daemon = (command, args = []) => {
    const child = spawn('setpriv', ['--pdeathsig', 'TERM', '--', command, ...args], { env: tools, stdio: 'ignore' });
    daemons.push(child);
    return child;
  };
  const answers = () => spawnSync('pactl', ['info'], { env: tools }).status === 0;

  const pactl = (...args) => {
    const result = spawnSync('pactl', args, { env: tools, encoding: 'utf8', timeout: 10000 });
    if (result.status !== 0) throw new Error(`pactl ${args.join(' ')}: ${result.stderr}`);
    return result.stdout;
  };

  const server = {
    env,
    pactl,
    async start() {
      if (kind === 'pulseaudio') {
        const loads = [
          ...sinks.map((name) => `--load=module-null-sink sink_name=${name}`),
          `--load=module-native-protocol-unix socket=${socket} auth-anonymous=1`,
        ];
        daemon('pulseaudio', ['-n', '--daemonize=no', '--exit-idle-time=-1', '--log-target=stderr', '--log-level=error', ...loads]);
        await waitFor(answers, 'the PulseAudio server', 20000);
        return;
      }
      // WirePlumber quits without a session bus; PipeWire only warns.
      daemon('dbus-daemon', ['--session', '--nofork', '--nopidfile', `--address=unix:path=${bus}`]);
      await waitFor(() => fs.existsSync(bus), 'the session bus', 10000);
      daemon('pipewire');
      await waitFor(() => fs.existsSync(path.join(dir, 'pipewire-0')), 'PipeWire', 10000);
      let wireplumber = daemon('wireplumber');
      daemon('pipewire-pulse');
      await waitFor(answers, 'pipewire-pulse', 20000);
      // Its dummy sink while there is no other, which PulseAudio started bare (-n) does not have.
      pactl('unload-module', 'module-always-sink');
      for (const name of sinks) pactl('load-module', 'module-null-sink', `sink_name=${name}`);
      // WirePlumber chooses the default sink: the suites begin once it has chosen one of ours. One
      // that ended (before a bus or PipeWire it could use) is started once more.
      const ended = () => wireplumber.exitCode !== null || wireplumber.signalCode !== null;
      let restarted = false;
      const chosen = () => {
        if (ended() && !restarted) [wireplumber, restarted] = [daemon('wireplumber'), true];
        return sinks.includes(server.defaultSink());
      };
      const state = () => `the default sink ${server.defaultSink()}, WirePlumber ${ended() ? `ended (${wireplumber.exitCode ?? wireplumber.signalCode})` : 'running'}${restarted ? ', started twice' : ''}`;
      if (sinks.length > 0) await waitFor(chosen, () => `a default sink of ours: ${state()}`, 20000);
    },
    defaultSink: () => pactl('info').match(/^Default Sink: (.*)$/m)?.[1],
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
    // The clients connected now, by the name they gave (pipewire-pulse's short list has the binary's).
    clients: () => [...pactl('list', 'clients').matchAll(/application\.name = "([^"]*)"/g)].map((match) => match[1]),
    async stop() {
      for (const player of players) player.kill();
      players.clear();
      for (const child of daemons.reverse()) {
        if (child.exitCode !== null || child.signalCode !== null) continue;
        const exited = new Promise((resolve) => child.once('exit', resolve));
        child.kill();
        await exited;
      }
      daemons = [];
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
