'use strict';
// A system bus of the test's own (dbus-daemon), with logind played by python-dbusmock's template,
// and a client on it that lists logind's inhibitor locks and announces shutdowns.
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawn } = require('node:child_process');
const { once } = require('node:events');
const readline = require('node:readline');

// Debian's python3-dbusmock is installed for Debian's Python, whatever python3 comes first on PATH.
const python = fs.existsSync('/usr/bin/python3') ? '/usr/bin/python3' : 'python3';

const config = (dir) => `<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=${dir}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
    <allow own="*"/>
  </policy>
</busconfig>
`;

// One JSON request a line in, one JSON answer a line out.
const clientScript = `
import dbus, json, sys
bus = dbus.bus.BusConnection(sys.argv[1])
for line in sys.stdin:
    request = json.loads(line)
    try:
        logind = bus.get_object('org.freedesktop.login1', '/org/freedesktop/login1')
        if request[0] == 'inhibitors':
            answer = [[str(field) for field in lock[:4]] for lock in
                      logind.ListInhibitors(dbus_interface='org.freedesktop.login1.Manager')]
        else:
            logind.EmitSignal('org.freedesktop.login1.Manager', 'PrepareForShutdown', 'b',
                              [dbus.Boolean(request[1])], dbus_interface='org.freedesktop.DBus.Mock')
            answer = None
        print(json.dumps({'answer': answer}), flush=True)
    except dbus.exceptions.DBusException as e:
        print(json.dumps({'error': str(e)}), flush=True)
`;

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

function started(command, args, env = {}) {
  // The bus and the mock are not ours to sanitize: a preloaded sanitizer stays with the module.
  const { LD_PRELOAD, ...unsanitized } = process.env;
  // Told to end when this process does, however it ends.
  const child = spawn('setpriv', ['--pdeathsig', 'TERM', '--', command, ...args], { stdio: ['pipe', 'pipe', 'pipe'], env: { ...unsanitized, ...env } });
  let errors = '';
  child.stderr.setEncoding('utf8').on('data', (d) => (errors += d));
  child.errors = () => errors;
  child.lines = readline.createInterface({ input: child.stdout })[Symbol.asyncIterator]();
  return child;
}

async function stop(child) {
  if (child.exitCode !== null || child.signalCode !== null) return;
  const exited = once(child, 'exit');
  child.kill('SIGTERM');
  await exited;
}

// A bus alone: withLogind false leaves the name org.freedesktop.login1 unowned.
async function startSystemBus({ withLogind = true } = {}) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'corvane-bus-'));
  fs.writeFileSync(path.join(dir, 'bus.conf'), config(dir));
  const children = [];
  const stopAll = async () => {
    for (const child of children.reverse()) await stop(child);
    fs.rmSync(dir, { recursive: true, force: true });
  };
  try {
    const daemon = started('dbus-daemon', ['--config-file', path.join(dir, 'bus.conf'), '--print-address=1', '--nofork']);
    children.push(daemon);
    const { value: address } = await daemon.lines.next();
    if (!address) throw new Error(`dbus-daemon did not start: ${daemon.errors()}`);
    const bus = { address, stop: stopAll };
    if (!withLogind) return bus;

    children.push(started(python, ['-m', 'dbusmock', '--template', 'logind', '--system'], { DBUS_SYSTEM_BUS_ADDRESS: address }));
    const client = started(python, ['-c', clientScript, address]);
    children.push(client);
    const ask = async (request) => {
      client.stdin.write(`${JSON.stringify(request)}\n`);
      const { value } = await client.lines.next();
      if (value === undefined) throw new Error(`the bus client ended: ${client.errors()}`);
      return JSON.parse(value);
    };
    bus.ask = async (request) => {
      const reply = await ask(request);
      if (reply.error) throw new Error(reply.error);
      return reply.answer;
    };
    // Each lock as [what, who, why, mode].
    bus.inhibitors = () => bus.ask(['inhibitors']);
    bus.prepareForShutdown = (starting) => bus.ask(['prepare', starting]);
    // Until the mock owns its name.
    for (let tries = 0; (await ask(['inhibitors'])).error; tries++) {
      if (tries > 200) throw new Error(`logind's mock did not start: ${children[1].errors()}`);
      await sleep(25);
    }
    return bus;
  } catch (error) {
    await stopAll();
    throw error;
  }
}

// Polls until accept(the locks) holds; returns the time it first did.
async function untilInhibitors(bus, accept, what, timeout = 10000) {
  const deadline = Date.now() + timeout;
  for (;;) {
    const locks = await bus.inhibitors();
    if (accept(locks)) return { at: Date.now(), locks };
    if (Date.now() > deadline) throw new Error(`timed out waiting for ${what}: ${JSON.stringify(locks)}`);
    await sleep(20);
  }
}

module.exports = { startSystemBus, untilInhibitors };
