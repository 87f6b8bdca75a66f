// The page's worker: the program, run once per picture the page asks for.
//
// Messages in:  {type: 'init', wasm, font}       once, the compiled module and the font
//               {type: 'run', id, pairs}         a picture of these query pairs
// Messages out, each with the id of its run:
//               {type: 'options', args, values, note}
//               {type: 'output', bytes, segments}  batches of stdout (0) and stderr (1)
//               {type: 'done', status, runMs, bmp} / {type: 'failed', message}
//
// The program keeps process-wide state (its rule and brush generators start
// once per process), so every run gets a fresh instance of the module; the
// page ends a run it no longer wants by ending this worker.
'use strict';
importScripts('bramblewisp.js');

// What a run needs that a link may leave out. -iter defaults to a fixed
// count, because a timed run depends on the machine and is no link to share.
const DEFAULTS = [['-time', '1'], ['-mem', '1'], ['-cpu', '1'], ['-iter', '12']];

// A timed run grows generations for as long as its budget lasts, so its
// picture depends on the machine's speed and, with no particles, it prints
// generation numbers for hours. With 10 seconds or less it grows none: the
// same picture on every machine, at once.
const MOST_TIMED_SECONDS = 10;

// Output crosses to the page at most once per BATCH_MS while the program
// writes, or as soon as BATCH_BYTES wait: a message per byte would bury the
// page under millions of them.
const BATCH_MS = 20;
const BATCH_BYTES = 64 << 10;

let wasm = null;
let font = null;

// Hands arguments to a C function as argc and argv; frees them afterwards.
function withArguments(module, args, call) {
  const strings = args.map((text) => module.allocateUTF8(text));
  const vector = module._malloc(4 * strings.length);
  strings.forEach((pointer, i) => module.setValue(vector + 4 * i, pointer, 'i32'));
  try {
    return call(strings.length, vector);
  } finally {
    strings.forEach((pointer) => module._free(pointer));
    module._free(vector);
  }
}

// Where the value that the program reads for name stands in args, or -1.
function valueIndex(module, args, name) {
  const namePointer = module.allocateUTF8(name);
  try {
    return withArguments(module, args, (count, vector) => module._pageValueIndex(count, vector, namePointer));
  } finally {
    module._free(namePointer);
  }
}

function optionValues(module, args) {
  const out = module._malloc(4 * 8);
  try {
    withArguments(module, args, (count, vector) => module._pageOptionValues(count, vector, out));
    const [type, seed, iter, dark, prefx, postfx, spikes, time] =
      Array.from({ length: 8 }, (_, i) => module.getValue(out + 4 * i, 'i32'));
    return { type, seed, iter, dark, prefx, postfx, spikes, time };
  } finally {
    module._free(out);
  }
}

// The arguments of a link: each query pair as an option and its value (up
// to a NUL, where a C string ends), the missing defaults in front, where no
// later argument can shadow them, and a timed run's budget capped.
function prepareArguments(module, pairs) {
  const cString = (text) => text.split('\0')[0];
  const given = ['bramblewisp', ...pairs.flatMap(([name, value]) => [cString('-' + name), cString(value)])];
  const missing = DEFAULTS.filter(([name]) => valueIndex(module, given, name) < 0).flat();
  const args = [given[0], ...missing, ...given.slice(1)];
  const values = optionValues(module, args);
  let note = null;
  if (values.iter < 0 && values.time > MOST_TIMED_SECONDS) {
    // The value the parser reads starts with a digit, so no option reads
    // it as its name: replacing it changes nothing else.
    args[valueIndex(module, args, '-time')] = String(MOST_TIMED_SECONDS);
    note = `-time ${values.time} is ${MOST_TIMED_SECONDS} here: a timed run in the page grows no generation, ` +
      'so that its picture is the same on every machine';
    values.time = MOST_TIMED_SECONDS;
  }
  return { args, values, note };
}

// The run's output, gathered in one buffer with the stream of each part.
function outputBatches(id) {
  const bytes = new Uint8Array(BATCH_BYTES);
  let length = 0;
  let segments = []; // [stream, first byte]
  let posted = performance.now();
  const post = () => {
    if (length > 0) {
      const batch = bytes.slice(0, length);
      postMessage({ type: 'output', id, bytes: batch.buffer, segments }, [batch.buffer]);
      length = 0;
      segments = [];
    }
    posted = performance.now();
  };
  return {
    add(stream, byte) {
      if (length === BATCH_BYTES) post();
      if (segments.length === 0 || segments[segments.length - 1][0] !== stream) segments.push([stream, length]);
      bytes[length++] = byte;
    },
    // At the end of each of the program's writes, so a batch ends with one.
    written() {
      if (performance.now() - posted >= BATCH_MS) post();
    },
    post,
  };
}

async function run(id, pairs) {
  const output = outputBatches(id);
  try {
    const module = await createBramblewisp({
      thisProgram: 'bramblewisp',
      instantiateWasm(imports, receive) {
        WebAssembly.instantiate(wasm, imports).then((instance) => receive(instance, wasm));
        return {};
      },
      stdout: (byte) => output.add(0, byte),
      stderr: (byte) => output.add(1, byte),
    });
    for (const fd of [1, 2]) {
      const operations = module.FS.getStream(fd).stream_ops;
      const write = operations.write;
      operations.write = function (...args) {
        const written = write.apply(this, args);
        output.written();
        return written;
      };
    }
    const { args, values, note } = prepareArguments(module, pairs);
    postMessage({ type: 'options', id, args, values, note });
    if (font) {
      module.FS.writeFile('font.bmp', new Uint8Array(font));
    }
    const started = performance.now();
    const status = module.callMain(args.slice(1));
    // The runtime stays up (its files are read below): flush what the
    // program left buffered, as a process's exit would.
    module._fflush(0);
    output.post();
    const picture = module.FS.analyzePath('testSystem.bmp').exists ? module.FS.readFile('testSystem.bmp').slice() : null;
    const runMs = performance.now() - started;
    postMessage({ type: 'done', id, status, runMs, bmp: picture && picture.buffer },
      picture ? [picture.buffer] : []);
  } catch (error) {
    output.post();
    postMessage({ type: 'failed', id, message: String(error && error.message || error) });
  }
}

onmessage = ({ data }) => {
  if (data.type === 'init') {
    ({ wasm, font } = data);
  } else if (data.type === 'run') {
    run(data.id, data.pairs);
  }
};
