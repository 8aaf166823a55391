'use strict';
// The floor of a capture tick: one copy of a width x height 32-bit pixel buffer, in ms.
function memcpyMs(width, height) {
  const source = Buffer.alloc(width * height * 4, 7);
  const target = Buffer.alloc(source.length);
  for (let i = 0; i < 20; i++) source.copy(target);
  const rounds = 200;
  const start = process.hrtime.bigint();
  for (let i = 0; i < rounds; i++) source.copy(target);
  return Number(process.hrtime.bigint() - start) / 1e6 / rounds;
}

module.exports = { memcpyMs };
