'use strict';
// The test picture (see tools/pictures.h) as red, green, blue at (x, y) from its corner.
function pictureRgb(x, y) {
  return [(x + (y >> 8) * 32) & 0xff, (y + (x >> 8) * 16) & 0xff, (x * 7 + y * 3 + 0x40) & 0xff];
}

module.exports = { pictureRgb };
