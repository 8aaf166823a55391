'use strict';
// Shows the test picture on a sway desktop: each output gets its part of the picture as a
// wallpaper (swaybg, one per output) of the output's size, so the compositor shows it pixel for
// pixel. Usage, as the picture command of test/support/picture.js:
//   node sway-picture.js X Y WIDTH HEIGHT READY_FILE
// with SWAYSOCK and WAYLAND_DISPLAY set. READY_FILE is written once wlr-screencopy (grim) reads
// every output back as its part; the wallpapers go when this program is ended.
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawn, execFileSync } = require('node:child_process');
const { pictureRgb } = require('./picture-pixels');

const [x, y, , , readyFile] = process.argv.slice(2);
const origin = { x: Number(x), y: Number(y) };
const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'corvane-wallpaper-'));
const outputs = JSON.parse(execFileSync('swaymsg', ['-t', 'get_outputs', '-r'], { encoding: 'utf8' }));

function ppm(rect) {
  const header = Buffer.from(`P6\n${rect.width} ${rect.height}\n255\n`);
  const pixels = Buffer.alloc(rect.width * rect.height * 3);
  for (let py = 0; py < rect.height; py++) {
    for (let px = 0; px < rect.width; px++) {
      pixels.set(pictureRgb(rect.x + px - origin.x, rect.y + py - origin.y), (py * rect.width + px) * 3);
    }
  }
  return { header, pixels };
}

const shown = outputs.map((output) => {
  const { header, pixels } = ppm(output.rect);
  const file = path.join(dir, `${output.name}.ppm`);
  fs.writeFileSync(file, Buffer.concat([header, pixels]));
  const wallpaper = spawn('swaybg', ['-o', output.name, '-i', file, '-m', 'center'], { stdio: 'ignore' });
  return { name: output.name, pixels, wallpaper };
});

function end() {
  for (const { wallpaper } of shown) wallpaper.kill();
  fs.rmSync(dir, { recursive: true, force: true });
  process.exit(0);
}
process.on('SIGTERM', end);
process.on('SIGINT', end);

const onScreen = ({ name, pixels }) => {
  const read = execFileSync('grim', ['-o', name, '-t', 'ppm', '-'], { maxBuffer: 64 << 20 });
  return read.subarray(read.length - pixels.length).equals(pixels);
};

(function poll() {
  if (shown.every(onScreen)) {
    fs.writeFileSync(readyFile, '');
    // The X11 program ends itself after two minutes; the wallpapers stay until ended here.
    return;
  }
  setTimeout(poll, 100);
})();
