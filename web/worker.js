// One picture per worker: the program keeps process-wide state (its rule and
// brush generators start once per process), so every run gets a fresh
// instance, and the page ends a run it no longer wants by ending its worker.
'use strict';
importScripts('bramblewisp.js');

// What a run needs that a link may leave out. -iter defaults to a fixed
// count, because a timed run depends on the machine and is no link to share.
const DEFAULTS = [['-time', '1'], ['-mem', '1'], ['-cpu', '1'], ['-iter', '12']];

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

function hasOption(module, args, name) {
  const namePointer = module.allocateUTF8(name);
  try {
    return withArguments(module, args, (count, vector) => module._pageHasOption(count, vector, namePointer) !== 0);
  } finally {
    module._free(namePointer);
  }
}

// The arguments of a link: each query pair as an option and its value (up
// to a NUL, where a C string ends), the missing defaults in front, where no
// later argument can shadow them.
function completeArguments(module, pairs) {
  const cString = (text) => text.split('\0')[0];
  const given = ['bramblewisp', ...pairs.flatMap(([name, value]) => [cString('-' + name), cString(value)])];
  const missing = DEFAULTS.filter(([name]) => !hasOption(module, given, name)).flat();
  return [given[0], ...missing, ...given.slice(1)];
}

function optionValues(module, args) {
  const out = module._malloc(4 * 7);
  try {
    withArguments(module, args, (count, vector) => module._pageOptionValues(count, vector, out));
    const [type, seed, iter, dark, prefx, postfx, spikes] =
      Array.from({ length: 7 }, (_, i) => module.getValue(out + 4 * i, 'i32'));
    return { type, seed, iter, dark, prefx, postfx, spikes };
  } finally {
    module._free(out);
  }
}

onmessage = async ({ data }) => {
  const { pairs, wasm, font } = data;
  try {
    const module = await createBramblewisp({
      thisProgram: 'bramblewisp',
      instantiateWasm(imports, receive) {
        WebAssembly.instantiate(wasm, imports).then((instance) => receive(instance, wasm));
        return {};
      },
      // Byte by byte as the program flushes them, so progress shows while it runs.
      stdout: (byte) => postMessage({ type: 'out', byte }),
      stderr: (byte) => postMessage({ type: 'err', byte }),
    });
    const args = completeArguments(module, pairs);
    postMessage({ type: 'options', args, values: optionValues(module, args) });
    if (font) {
      module.FS.writeFile('font.bmp', new Uint8Array(font));
    }
    const started = performance.now();
    const status = module.callMain(args.slice(1));
    // The runtime stays up (its files are read below): flush what the
    // program left buffered, as a process's exit would.
    module._fflush(0);
    const picture = module.FS.analyzePath('testSystem.bmp').exists ? module.FS.readFile('testSystem.bmp').slice() : null;
    const runMs = performance.now() - started;
    postMessage({ type: 'done', status, runMs, bmp: picture && picture.buffer },
      picture ? [picture.buffer] : []);
  } catch (error) {
    postMessage({ type: 'failed', message: String(error && error.message || error) });
  }
};
