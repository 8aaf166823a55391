'use strict';
// corvane demo: the monitors of this desktop as a table, and their layout as a small picture.
const corvane = require('..');

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
}
