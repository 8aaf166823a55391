'use strict';
// corvane demo: the monitors of this desktop as a table and a picture of their layout, then a
// live capture of up to three displays drawn in the terminal, with the pointer's activity and
// the audio output's level beneath (Windows: Core Audio; Linux: PulseAudio or pipewire-pulse).
//   node examples/demo.js [--seconds N] [--png FILE]
const fs = require('node:fs');
const zlib = require('node:zlib');
const corvane = require('..');

const options = { seconds: 6, png: null };
for (let i = 2; i < process.argv.length; i++) {
  if (process.argv[i] === '--seconds') options.seconds = Number(process.argv[++i]);
  else if (process.argv[i] === '--png') options.png = process.argv[++i];
  else {
    console.error('usage: node examples/demo.js [--seconds N] [--png FILE]');
    process.exit(2);
  }
}
// Redraw in place only on a terminal (or where the caller says its output reaches one).
const live = process.env.CORVANE_DEMO_LIVE ? process.env.CORVANE_DEMO_LIVE === '1' : process.stdout.isTTY;

const colour = process.env.FORCE_COLOR ? process.env.FORCE_COLOR !== '0' : process.stdout.isTTY;
const palette = [
  [66, 135, 245],
  [245, 166, 35],
  [80, 200, 120],
  [214, 69, 80],
  [155, 89, 182],
];

function table(rows) {
  const widths = rows[0].map((_, c) => Math.max(...rows.map((r) => String(r[c]).length)));
  const line = (r) => r.map((cell, c) => String(cell).padEnd(widths[c])).join('  ').trimEnd();
  return [line(rows[0]), widths.map((w) => '-'.repeat(w)).join('  '), ...rows.slice(1).map(line)].join('\n');
}

// Each monitor is a filled rectangle on a grid of terminal cells (a cell is about twice as high
// as it is wide). Larger monitors are drawn first so that smaller ones on top of them stay
// visible, and each label sits in its monitor's bottom-right corner.
function layout(monitors, columns = 64) {
  const left = Math.min(...monitors.map((m) => m.x));
  const top = Math.min(...monitors.map((m) => m.y));
  const right = Math.max(...monitors.map((m) => m.x + m.width));
  const bottom = Math.max(...monitors.map((m) => m.y + m.height));
  const scale = columns / Math.max(1, right - left);
  const rows = Math.max(1, Math.round(((bottom - top) * scale) / 2));
  const grid = Array.from({ length: rows }, () => Array.from({ length: columns }, () => ({ ch: ' ', m: -1 })));
  const boxes = monitors.map((m, i) => {
    const x0 = Math.min(columns - 1, Math.round((m.x - left) * scale));
    const y0 = Math.min(rows - 1, Math.round(((m.y - top) * scale) / 2));
    const x1 = Math.min(columns, Math.max(x0 + 1, Math.round((m.x - left + m.width) * scale)));
    const y1 = Math.min(rows, Math.max(y0 + 1, Math.round(((m.y - top + m.height) * scale) / 2)));
    return { i, m, x0, y0, x1, y1 };
  });
  boxes.sort((a, b) => b.m.width * b.m.height - a.m.width * a.m.height);
  for (const { i, x0, y0, x1, y1 } of boxes) {
    for (let y = y0; y < y1; y++) {
      for (let x = x0; x < x1; x++) {
        const edge = y === y0 || y === y1 - 1 || x === x0 || x === x1 - 1;
        grid[y][x] = { ch: colour ? ' ' : edge ? String(i + 1) : '.', m: i };
      }
    }
  }
  for (const { i, m, x0, y0, x1, y1 } of boxes) {
    const label = ` ${i + 1}${m.isPrimary ? '*' : ''} ${m.width}x${m.height} `;
    const y = Math.max(y0, y1 - 2);
    const end = x1 - 1;
    for (let k = 0; k < label.length; k++) {
      const x = end - label.length + k;
      if (x > x0) grid[y][x] = { ch: label[k], m: i };
    }
  }
  return grid
    .map((row) =>
      row
        .map(({ ch, m }) => {
          if (!colour || m < 0) return ch;
          const [r, g, b] = palette[m % palette.length];
          return `\x1b[48;2;${r};${g};${b}m\x1b[38;2;255;255;255m${ch}\x1b[0m`;
        })
        .join('')
        .trimEnd(),
    )
    .join('\n');
}

// One display's sampled frame as terminal lines: each character cell shows two samples, the
// upper one as the colour of the half block and the lower one as its background.
function frameLines(frame, columns, rows) {
  const rgb = (r, c) => {
    const i = (r * columns + c) * 3;
    return [frame[i], frame[i + 1], frame[i + 2]];
  };
  const lines = [];
  for (let r = 0; r < rows; r += 2) {
    let line = '';
    for (let c = 0; c < columns; c++) {
      const top = rgb(r, c);
      const bottom = r + 1 < rows ? rgb(r + 1, c) : [0, 0, 0];
      if (colour) {
        line += `\x1b[38;2;${top.join(';')}m\x1b[48;2;${bottom.join(';')}m\u2580`;
      } else {
        const light = (top[0] + top[1] + top[2] + bottom[0] + bottom[1] + bottom[2]) / (6 * 255);
        line += ' .:-=+*#%@'[Math.min(9, Math.floor(light * 10))];
      }
    }
    lines.push(colour ? `${line}\x1b[0m` : line);
  }
  return lines;
}

// The displays side by side, each headed by its name.
function sideBySide(blocks) {
  const height = Math.max(...blocks.map((b) => b.lines.length));
  const out = [blocks.map((b) => b.title.slice(0, b.width).padEnd(b.width)).join('  ')];
  for (let i = 0; i < height; i++) {
    out.push(blocks.map((b) => b.lines[i] ?? ' '.repeat(b.width)).join('  '));
  }
  return out;
}

function crc32(bytes) {
  let crc = ~0;
  for (const byte of bytes) {
    crc ^= byte;
    for (let k = 0; k < 8; k++) crc = (crc >>> 1) ^ (0xedb88320 & -(crc & 1));
  }
  return ~crc >>> 0;
}

// The last frames side by side as an RGB PNG, one pixel per sample.
function writePng(file, frames) {
  const gap = 4;
  const width = frames.reduce((sum, f) => sum + f.columns, 0) + gap * (frames.length - 1);
  const height = Math.max(...frames.map((f) => f.rows));
  const raw = Buffer.alloc((width * 3 + 1) * height);
  let left = 0;
  for (const f of frames) {
    for (let r = 0; r < f.rows; r++) {
      f.bytes.copy(raw, r * (width * 3 + 1) + 1 + left * 3, r * f.columns * 3, (r + 1) * f.columns * 3);
    }
    left += f.columns + gap;
  }
  const chunk = (type, data) => {
    const body = Buffer.concat([Buffer.from(type, 'latin1'), data]);
    const length = Buffer.alloc(4);
    length.writeUInt32BE(data.length);
    const crc = Buffer.alloc(4);
    crc.writeUInt32BE(crc32(body));
    return Buffer.concat([length, body, crc]);
  };
  const header = Buffer.alloc(13);
  header.writeUInt32BE(width, 0);
  header.writeUInt32BE(height, 4);
  header.set([8, 2, 0, 0, 0], 8); // 8-bit RGB
  fs.writeFileSync(
    file,
    Buffer.concat([
      Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]),
      chunk('IHDR', header),
      chunk('IDAT', zlib.deflateSync(raw)),
      chunk('IEND', Buffer.alloc(0)),
    ]),
  );
}

// What a negative level says: the Core Audio step (Windows) or the PulseAudio cause (Linux).
const audioFailures = new Map([
  [Math.fround(-2.1), 'libpulse.so.0 cannot be loaded'],
  [Math.fround(-2.2), 'no PulseAudio server answers'],
  [Math.fround(-2.3), 'no default audio output'],
  [Math.fround(-2.4), 'the record stream failed'],
  [Math.fround(-1.1), 'COM could not be entered'],
  [Math.fround(-1.2), 'no audio device enumerator'],
  [Math.fround(-1.3), 'no audio output device'],
  [Math.fround(-1.4), 'the output device has no peak meter'],
]);

// level: the latest value, null before the first, or a string when the platform has no stream.
function statusLine(pointerMoved, level) {
  const pointer = pointerMoved === null ? 'pointer: -' : `pointer: ${pointerMoved ? 'moving ' : 'resting'}`;
  let audio = 'audio: -';
  if (typeof level === 'string') {
    audio = `audio: ${level}`;
  } else if (level !== null && level >= 0) {
    const width = 20;
    const filled = Math.round(Math.min(1, level) * width);
    audio = `audio: [${'#'.repeat(filled)}${'.'.repeat(width - filled)}] ${level.toFixed(2)}`;
  } else if (level !== null) {
    audio = `audio: ${audioFailures.get(level) ?? 'unreadable'} (${level})`;
  }
  return `${pointer}   ${audio}`;
}

function liveCapture(monitors) {
  const displays = monitors.slice(0, 3);
  const terminalWidth = (process.stdout.columns || Number(process.env.CORVANE_DEMO_COLUMNS) || 120) - 2 * displays.length;
  const totalWidth = displays.reduce((sum, m) => sum + m.width, 0);
  const samplingRate = Math.max(1, Math.ceil(totalWidth / Math.min(terminalWidth, 150)));
  const grids = displays.map((m) => ({
    columns: Math.ceil(m.width / samplingRate),
    rows: Math.ceil(m.height / samplingRate),
  }));
  console.log(`\nLive capture every 250 ms, one sample every ${samplingRate} pixels, for ${options.seconds} s:\n`);

  let latest = null;
  let drawnLines = 0;
  let deliveries = 0;
  let moved = null;
  let level = null;
  const draw = () => {
    if (!latest) return;
    const lines = sideBySide(
      displays.map((m, i) => ({
        title: `${m.displayId} ${m.width}x${m.height}`,
        width: grids[i].columns,
        lines: frameLines(latest[m.displayId], grids[i].columns, grids[i].rows),
      })),
    );
    lines.push('', statusLine(moved, level).padEnd(80));
    if (drawnLines > 0) process.stdout.write(`\x1b[${drawnLines}A`);
    process.stdout.write(`${lines.join('\n')}\n`);
    drawnLines = lines.length;
  };
  corvane.startCaptureMultiScreens(
    (frames) => {
      latest = frames;
      deliveries++;
      if (live) draw();
    },
    displays,
    250,
    samplingRate,
  );
  corvane.startMouseTracking((value) => (moved = value), 250);
  let streaming = true;
  try {
    corvane.startStream((value) => (level = value), 250);
  } catch {
    streaming = false; // a platform without an audio level
    level = 'not on this platform yet';
  }
  setTimeout(() => {
    corvane.stopCaptureMultiScreens();
    corvane.stopMouseTracking();
    if (streaming) corvane.stopStream();
    if (!live) draw();
    console.log(`\n${deliveries} captures delivered.`);
    if (options.png && latest) {
      writePng(
        options.png,
        displays.map((m, i) => ({ ...grids[i], bytes: latest[m.displayId] })),
      );
      console.log(`Wrote the last frames to ${options.png}.`);
    }
  }, options.seconds * 1000);
}

const monitors = corvane.getMonitors();
console.log(`corvane on ${process.platform}-${process.arch}: ${monitors.length} monitor(s)\n`);
if (monitors.length === 0) {
  console.log('No monitors found.');
} else {
  console.log(
    table([
      ['#', 'displayId', 'position', 'resolution', 'size (mm)', 'aspect', 'primary'],
      ...monitors.map((m, i) => [
        i + 1,
        m.displayId,
        `${m.x},${m.y}`,
        `${m.width}x${m.height}`,
        `${m.widthMM}x${m.heightMM}`,
        `${m.aspectRatio.aspectWidth}:${m.aspectRatio.aspectHeight}`,
        m.isPrimary ? 'yes' : '',
      ]),
    ]),
  );
  console.log('\nLayout on the virtual screen (* marks the primary monitor):\n');
  console.log(layout(monitors));
  liveCapture(monitors);
}
