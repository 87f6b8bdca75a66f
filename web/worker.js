// The page's worker: the program, one module instance kept for every picture
// the page asks of this worker. A picture is a value in the program, so a
// run on a used instance draws the bytes a fresh process draws.
//
// Messages in:  {type: 'init', wasm, font, systems}   once: the compiled module,
//                                                     the font and the shipped rules
//               {type: 'run', id, pairs, rules, preview, quiet, fresh}
//                 a picture of these query pairs; rules: {path, text}, a rules
//                 file to write first; preview: the most pixels of the picture
//                 shown (or a thumbnail's width); quiet: no options or output;
//                 fresh: on an instance that has drawn nothing before
// Messages out, each with the id of its run:
//               {type: 'options', args, values, given, note}
//               {type: 'output', bytes, segments}  batches of stdout (0) and stderr (1)
//               {type: 'done', status, runMs, bmp, preview, errors}
//               {type: 'png', png}                   after 'done', the picture as a PNG
//               {type: 'failed', message}
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

// Output crosses to the page at the end of each of the program's writes,
// unless BURST messages went in the last BURST_MS: then at most once per
// BATCH_MS, or as soon as BATCH_BYTES wait. A message per byte or per write
// would bury the page under millions of them; but a write held back waits
// for the next, and a stage's first word ("draw") must not wait for its last
// (" OK"), so a run's every write crosses at once until it writes quickly.
const BATCH_MS = 20;
const BATCH_BYTES = 64 << 10;
const BURST = 8;
const BURST_MS = 100;

// Where the program stands in its file system: the working directory holds
// the font (and the systems, for paths like systems/fern.toml); the systems
// are installed beside the program, so that -rules fern finds them.
const HOME = '/home/bramblewisp';
const PROGRAM = '/usr/bin/bramblewisp';
const INSTALLED_SYSTEMS = '/usr/share/bramblewisp/systems';
const OTHER_FORMAT = '/tmp/picture';

// A linear memory never shrinks, and the memory guard reads the room left in
// it (4 GB less the heap's top). A used instance draws a picture byte for
// byte as a fresh one only while memory is nowhere near ending in either:
// so past RECYCLE_BYTES a fresh instance serves the next picture, and so
// does every picture asked for with fresh (the page asks for one larger than
// 1600 x 1200 pixels, whose particles may come near the limit).
const RECYCLE_BYTES = 1 << 30;

// The options the page shows, as the program names them.
const SHOWN = ['type', 'seed', 'iter', 'dark', 'prefx', 'postfx', 'spikes', 'rules', 'out', 'width', 'height',
  'palette', 'text'];

let wasm = null;
let font = null;
let systems = {};
let instance = null; // the module, made on the first run and kept
let sink = null; // where the current run's output goes

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
  const json = withArguments(module, args, (count, vector) => module._pageOptionValues(count, vector));
  try {
    return JSON.parse(module.UTF8ToString(json));
  } finally {
    module._free(json);
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
  // The text each shown option's value was read from, for the page's notes.
  const texts = {};
  for (const name of SHOWN) {
    const at = valueIndex(module, args, '-' + name);
    if (at >= 0) texts[name] = args[at];
  }
  let note = null;
  if (values.iter < 0 && values.time > MOST_TIMED_SECONDS) {
    // The value the parser reads starts with a digit, so no option reads
    // it as its name: replacing it changes nothing else.
    args[valueIndex(module, args, '-time')] = String(MOST_TIMED_SECONDS);
    note = `-time ${values.time} is ${MOST_TIMED_SECONDS} here: a timed run in the page grows no generation, ` +
      'so that its picture is the same on every machine';
    values.time = MOST_TIMED_SECONDS;
  }
  return { args, values, given: texts, note };
}

// The run's output, gathered in one buffer with the stream of each part;
// stderr's end is kept for the page to find a rules file's problem in.
function outputBatches(id, quiet) {
  const bytes = new Uint8Array(BATCH_BYTES);
  const errors = [];
  let length = 0;
  let segments = []; // [stream, first byte]
  const recent = Array(BURST).fill(-Infinity); // when the last messages went, oldest first
  const post = () => {
    if (length > 0 && !quiet) {
      const batch = bytes.slice(0, length);
      postMessage({ type: 'output', id, bytes: batch.buffer, segments }, [batch.buffer]);
      recent.shift();
      recent.push(performance.now());
    }
    length = 0;
    segments = [];
  };
  return {
    add(stream, byte) {
      if (stream === 1) {
        errors.push(byte);
        if (errors.length > 8192) errors.splice(0, 4096);
      }
      if (quiet) return;
      if (length === BATCH_BYTES) post();
      if (segments.length === 0 || segments[segments.length - 1][0] !== stream) segments.push([stream, length]);
      bytes[length++] = byte;
    },
    // At the end of each of the program's writes, so a batch ends with one.
    written() {
      const now = performance.now();
      if (!quiet && (now - recent[0] >= BURST_MS || now - recent[BURST - 1] >= BATCH_MS)) post();
    },
    post,
    errors: () => new TextDecoder().decode(new Uint8Array(errors)),
  };
}

// Writes a file, making its directories; a relative path is the working
// directory's.
function writeFile(module, path, bytes) {
  const absolute = path.startsWith('/') ? path : `${module.FS.cwd()}/${path}`;
  const slash = absolute.lastIndexOf('/');
  if (slash > 0) module.FS.mkdirTree(absolute.slice(0, slash));
  module.FS.writeFile(absolute, bytes);
}

// The kept instance, or a new one with the font and the systems in place.
async function program() {
  if (instance) return instance;
  const module = await createBramblewisp({
    thisProgram: 'bramblewisp',
    programPath: PROGRAM,
    instantiateWasm(imports, receive) {
      WebAssembly.instantiate(wasm, imports).then((made) => receive(made, wasm));
      return {};
    },
    stdout: (byte) => sink && sink.add(0, byte),
    stderr: (byte) => sink && sink.add(1, byte),
  });
  for (const fd of [1, 2]) {
    const operations = module.FS.getStream(fd).stream_ops;
    const write = operations.write;
    operations.write = function (...args) {
      const written = write.apply(this, args);
      if (sink) sink.written();
      return written;
    };
  }
  module.FS.mkdirTree(HOME);
  module.FS.chdir(HOME);
  if (font) module.FS.writeFile('font.bmp', new Uint8Array(font));
  for (const [name, text] of Object.entries(systems)) {
    writeFile(module, `${INSTALLED_SYSTEMS}/${name}.toml`, text);
    writeFile(module, `systems/${name}.toml`, text);
  }
  instance = module;
  return module;
}

const isPng = (path) => /\.png$/i.test(path);

function takeFile(module, path) {
  if (!module.FS.analyzePath(path).exists) return null;
  const bytes = module.FS.readFile(path).slice();
  module.FS.unlink(path);
  return bytes;
}

// The picture's pixels for a canvas: every pixel when it has no more than
// preview.pixels, else (and for a thumbnail of preview.width) the mean of
// each square of factor x factor pixels, rounded, the squares at the right
// and bottom edges cut short.
function previewOf(bmp, preview) {
  const view = new DataView(bmp.buffer, bmp.byteOffset, bmp.byteLength);
  const width = view.getInt32(18, true);
  const height = view.getInt32(22, true);
  const offset = view.getUint32(10, true);
  const stride = (width * 3 + 3) & ~3;
  const factor = preview.width
    ? Math.max(1, Math.floor(width / preview.width))
    : Math.max(1, Math.ceil(Math.sqrt(width * height / preview.pixels)));
  const outWidth = Math.ceil(width / factor);
  const outHeight = Math.ceil(height / factor);
  const rgba = new Uint8ClampedArray(outWidth * outHeight * 4);
  if (factor === 1) {
    for (let y = 0; y < height; y++) {
      let from = offset + (height - 1 - y) * stride;
      let to = y * width * 4;
      for (let x = 0; x < width; x++, from += 3, to += 4) {
        rgba[to] = bmp[from + 2];
        rgba[to + 1] = bmp[from + 1];
        rgba[to + 2] = bmp[from];
        rgba[to + 3] = 255;
      }
    }
  } else {
    const sums = new Uint32Array(outWidth * 4);
    for (let outY = 0; outY < outHeight; outY++) {
      sums.fill(0);
      const rows = Math.min(factor, height - outY * factor);
      for (let y = outY * factor; y < outY * factor + rows; y++) {
        const from = offset + (height - 1 - y) * stride;
        for (let x = 0; x < width; x++) {
          const cell = Math.floor(x / factor) * 4;
          sums[cell] += bmp[from + 3 * x + 2];
          sums[cell + 1] += bmp[from + 3 * x + 1];
          sums[cell + 2] += bmp[from + 3 * x];
          sums[cell + 3]++;
        }
      }
      for (let x = 0; x < outWidth; x++) {
        const count = sums[4 * x + 3];
        const to = (outY * outWidth + x) * 4;
        for (let c = 0; c < 3; c++) rgba[to + c] = Math.floor((sums[4 * x + c] + count / 2) / count);
        rgba[to + 3] = 255;
      }
    }
  }
  return { width: outWidth, height: outHeight, factor, pictureWidth: width, pictureHeight: height, rgba: rgba.buffer };
}

async function run({ id, pairs, rules, preview, quiet, fresh }) {
  const output = outputBatches(id, quiet);
  let module = null;
  try {
    if (fresh && instance && instance.drawn) instance = null;
    module = await program();
    module.drawn = true;
    sink = output;
    if (rules) writeFile(module, rules.path, rules.text);
    const { args, values, given, note } = prepareArguments(module, pairs);
    if (!quiet) postMessage({ type: 'options', id, args, values, given, note });
    const started = performance.now();
    const status = withArguments(module, args, (count, vector) => module._pageRun(count, vector));
    output.post();
    sink = null;
    const saved = values.out === null ? 'testSystem.bmp' : values.out;
    let bmp = null;
    let png = null;
    if (status === 0) {
      if (isPng(saved)) {
        png = takeFile(module, saved);
        bmp = savedAs(module, `${OTHER_FORMAT}.bmp`);
      } else {
        bmp = takeFile(module, saved);
      }
    }
    const runMs = performance.now() - started;
    const shown = bmp && previewOf(bmp, preview);
    postMessage({ type: 'done', id, status, runMs, bmp: bmp && bmp.buffer, preview: shown, errors: output.errors() },
      [bmp, shown].filter(Boolean).map((item) => item.buffer || item.rgba));
    if (bmp && !png && !quiet) png = savedAs(module, `${OTHER_FORMAT}.png`);
    if (png) postMessage({ type: 'png', id, png: png.buffer }, [png.buffer]);
  } catch (error) {
    output.post();
    // An instance that failed midway is not trusted with the next picture.
    instance = null;
    postMessage({ type: 'failed', id, message: String(error && error.message || error) });
  } finally {
    sink = null;
    if (module) {
      module._pageForget();
      if (rules) {
        try { module.FS.unlink(rules.path); } catch { /* the run may have replaced it */ }
      }
      if (module.HEAP8.length > RECYCLE_BYTES) instance = null;
    }
  }
}

// The kept picture saved at path as the program saves it: its bytes, or null.
function savedAs(module, path) {
  const pointer = module.allocateUTF8(path);
  try {
    return module._pageSaveAs(pointer) ? takeFile(module, path) : null;
  } finally {
    module._free(pointer);
  }
}

// Runs one at a time, in the order asked.
let queue = Promise.resolve();
onmessage = ({ data }) => {
  if (data.type === 'init') {
    ({ wasm, font, systems } = data);
  } else if (data.type === 'run') {
    queue = queue.then(() => run(data));
  }
};
