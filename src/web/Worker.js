// The page's worker: runs the programs' WebAssembly modules over the files the page hands it, so
// that the page itself stays responsive. Every job gets fresh module instances; files are read in
// pieces where they lie (FileReaderSync, WORKERFS), never copied whole into the heap by the
// converter.
'use strict';

// A file name with its extension replaced, as the converter names its output: only a dot in the
// last component starts an extension; a name without one gets the extension added.
function replaceExtension(name, extension) {
  const separator = Math.max(name.lastIndexOf('/'), name.lastIndexOf('\\'), name.lastIndexOf(':'));
  const dot = name.lastIndexOf('.');
  return (dot > separator ? name.slice(0, dot) : name) + extension;
}

function post(id, message) {
  self.postMessage(Object.assign({ id }, message));
}

// The converter: streams one file through the core with a fixed heap.
async function convert(id, file, encode) {
  const reader = new FileReaderSync();
  const parts = [];
  let position = 0;
  let lastShown = 0;
  const core = await VorlanthConvertModule({
    vlRead(buffer, room) {
      const end = Math.min(file.size, position + room);
      if (end <= position) {
        return 0;
      }
      const bytes = new Uint8Array(reader.readAsArrayBuffer(file.slice(position, end)));
      core.HEAPU8.set(bytes, buffer);
      position = end;
      if (position - lastShown >= (1 << 22) || position === file.size) {
        lastShown = position;
        post(id, { progress: file.size === 0 ? 1 : position / file.size });
      }
      return bytes.length;
    },
    vlWrite(buffer, length) {
      parts.push(core.HEAPU8.slice(buffer, buffer + length));
    },
  });
  const status = core._VorlanthConvert(encode ? 1 : 0);
  const result = { done: true, status, heapBytes: core.HEAPU8.length };
  if (status === 0) {
    const name = replaceExtension(file.name, encode ? '.lang' : '.txt');
    result.outputs = [{ name, blob: new Blob(parts, { type: 'application/octet-stream' }) }];
    result.message = ' ' + core._VorlanthCount() + ' line(s) parsed';
  } else {
    result.message = core.UTF8ToString(core._VorlanthMessage());
  }
  post(id, result);
}

// One of the whole programs (the checker, the PO bridge) over the given files, in a folder of its
// own: the inputs appear there under their names, read in place; what it writes is offered.
async function runProgram(id, factory, files, args, outputs) {
  let stdout = '';
  let stderr = '';
  const program = await factory({
    print: (line) => { stdout += line + '\n'; },
    printErr: (line) => { stderr += line + '\n'; },
  });
  const fs = program.FS;
  fs.mkdir('/in');
  fs.mount(program.WORKERFS, { files }, '/in');
  fs.mkdir('/work');
  for (const file of files) {
    fs.symlink('/in/' + file.name, '/work/' + file.name);
  }
  fs.chdir('/work');
  let status;
  try {
    status = program.callMain(args);
  } catch (e) {
    status = typeof e === 'object' && e !== null && 'status' in e ? e.status : 1;
    stderr += String(e.message || e) + '\n';
  }
  if (status === undefined) {
    status = program.EXITSTATUS || 0;
  }
  const made = [];
  for (const name of outputs) {
    try {
      const bytes = fs.readFile('/work/' + name);
      if (!fs.isLink(fs.lstat('/work/' + name).mode)) {
        made.push({ name, blob: new Blob([bytes], { type: 'application/octet-stream' }) });
      }
    } catch (e) {
      // not written: the run failed or refused
    }
  }
  post(id, { done: true, status, stdout, stderr, outputs: made });
}

self.onmessage = async (event) => {
  const job = event.data;
  try {
    switch (job.job) {
      case 'convert':
        await convert(job.id, job.file, job.encode);
        break;
      case 'check':
        await runProgram(job.id, VorlanthCheckModule, job.files,
                         job.options.concat(['--'], job.files.map((f) => f.name)), []);
        break;
      case 'export':
      case 'import':
        await runProgram(job.id, VorlanthPoModule, job.files, job.args, [job.output]);
        break;
      default:
        post(job.id, { done: true, status: 2, message: 'unknown job ' + job.job });
    }
  } catch (e) {
    post(job.id, { done: true, status: 1, message: String(e && e.message ? e.message : e) });
  }
};
