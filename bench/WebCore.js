// Runs the page's WebAssembly converter under node over a file, as the page's worker does (1 MiB
// pieces in, pieces out), and prints the wall time of the conversion alone in microseconds.
//
//   node bench/WebCore.js build/web/vorlanth_web_convert.js INPUT OUTPUT d|e
'use strict';
const fs = require('fs');
const [modulePath, input, output, mode] = process.argv.slice(2);
const factory = require(require('path').resolve(modulePath));
(async () => {
  const fd = fs.openSync(input, 'r');
  const out = fs.openSync(output, 'w');
  const core = await factory({
    vlRead(buffer, room) { return fs.readSync(fd, core.HEAPU8, buffer, room, null); },
    vlWrite(buffer, length) { fs.writeSync(out, core.HEAPU8, buffer, length); },
  });
  const start = process.hrtime.bigint();
  const status = core._VorlanthConvert(mode === 'e' ? 1 : 0);
  const micros = (process.hrtime.bigint() - start) / 1000n;
  if (status !== 0) {
    console.error(core.UTF8ToString(core._VorlanthMessage()));
    process.exit(1);
  }
  console.log(String(micros));
})();
