// The page: controls and address in, the program in a worker, the picture,
// its fingerprint, downloads and the run's console out. Whatever a link
// holds, the page stays responsive and shows only the results of the run
// that its controls show.
'use strict';

const FIELDS = ['type', 'seed', 'iter', 'dark', 'prefx', 'postfx', 'spikes'];
const TYPING_DELAY_MS = 250;
// The console keeps the end of a run's output: every update of a longer
// text would cost the page more.
const CONSOLE_LIMIT = 64 << 10;
const DROPPED_NOTE = '[earlier lines dropped: the console keeps the last 64 KB]\n';

const $ = (id) => document.getElementById(id);
const form = $('controls');
const canvas = $('picture');

let wasm = null; // compiled once, instantiated afresh for every run
let font = null;
let worker = null;
// The run the page shows: {id, pairs, started, running, values}. Messages and late
// steps of any other run are dropped.
let current = null;
let nextId = 1;
let pairs = []; // the link's pairs, as the controls have changed them
let typingTimer = 0;
let urls = [];

// The query's pairs in order, repeats included: they become the command
// line as they stand, and the program's parser decides what they mean.
function queryPairs(search) {
  return Array.from(new URLSearchParams(search));
}

// The program folds only ASCII letters and sees a name up to a NUL.
const optionName = (key) => key.split('\0')[0].replace(/[A-Z]/g, (c) => c.toLowerCase());

// The pairs with the control's value in the first pair of its name (the one
// the program reads); every other pair stays as the link gave it.
function withValue(given, name, value) {
  const at = given.findIndex(([key]) => optionName(key) === name);
  if (at < 0) return [...given, [name, value]];
  return given.map((pair, i) => (i === at ? [pair[0], value] : pair));
}

function controlValue(control) {
  return control.type === 'checkbox' ? (control.checked ? '1' : '0') : control.value;
}

const usedNote = (name) => form.querySelector(`output[data-for=${name}]`);

// The values the program reads. A field being typed in keeps its text and
// says what it reads as; it takes the value when left.
function showValues(values) {
  for (const name of FIELDS) {
    const control = form.elements[name];
    const shown = String(values[name]);
    if (control.type === 'checkbox') {
      control.checked = values[name] !== 0;
    } else if (control === document.activeElement && control.type === 'text') {
      usedNote(name).textContent = control.value === shown ? '' : `reads as ${shown}`;
    } else {
      control.value = shown;
      if (usedNote(name)) usedNote(name).textContent = '';
    }
  }
}

// Characters that a terminal or the direction of the text would act on are
// written as their bytes inside $'...' (bash, zsh, ksh; POSIX since 2024),
// so the line shown is the line run.
const UNSAFE = /[\x00-\x1f\x7f-\x9f\u061c\u200e\u200f\u2028\u2029\u202a-\u202e\u2066-\u2069]/;
const encoder = new TextEncoder();
function shellWord(word) {
  if (/^[A-Za-z0-9_./:=+,-]+$/.test(word)) return word;
  if (!UNSAFE.test(word)) return "'" + word.replace(/'/g, "'\\''") + "'";
  const escaped = Array.from(word, (char) => {
    if (UNSAFE.test(char)) return Array.from(encoder.encode(char), (b) => '\\x' + b.toString(16).padStart(2, '0')).join('');
    return char === "'" || char === '\\' ? '\\' + char : char;
  });
  return "$'" + escaped.join('') + "'";
}

// The run's output as a terminal shows it, the last CONSOLE_LIMIT
// characters of it, drawn at most once a frame.
const consoleView = {
  text: '',
  dropped: false,
  decoders: [],
  drawing: false,
  reset() {
    this.text = '';
    this.dropped = false;
    this.decoders = [new TextDecoder(), new TextDecoder()];
    this.draw();
  },
  // stdout (0) and stderr (1) decode apart, so a character split between
  // two batches still comes out whole.
  add(buffer, segments) {
    const bytes = new Uint8Array(buffer);
    segments.forEach(([stream, start], i) => {
      const end = i + 1 < segments.length ? segments[i + 1][1] : bytes.length;
      this.append(this.decoders[stream].decode(bytes.subarray(start, end), { stream: true }));
    });
    if (!this.drawing) {
      this.drawing = true;
      requestAnimationFrame(() => this.draw());
    }
  },
  // A backspace takes back the character before it, as on a terminal.
  append(text) {
    if (!text.includes('\b')) {
      this.keep(this.text + text);
      return;
    }
    const kept = [];
    let takenBack = 0;
    for (const char of text) {
      if (char !== '\b') {
        kept.push(char);
      } else if (kept.length > 0) {
        kept.pop();
      } else {
        takenBack++;
      }
    }
    this.keep(this.text.slice(0, Math.max(0, this.text.length - takenBack)) + kept.join(''));
  },
  keep(text) {
    this.text = text;
    if (text.length > CONSOLE_LIMIT) {
      const lineEnd = text.indexOf('\n', text.length - CONSOLE_LIMIT);
      this.text = text.slice(lineEnd < 0 ? text.length - CONSOLE_LIMIT : lineEnd + 1);
      this.dropped = true;
    }
  },
  draw() {
    this.drawing = false;
    $('console').textContent = (this.dropped ? DROPPED_NOTE : '') + this.text;
  },
};

function setStatus(text) {
  $('status').textContent = text;
}

function setLink(id, blob, name) {
  const link = $(id);
  const url = URL.createObjectURL(blob);
  urls.push(url);
  link.href = url;
  link.download = name;
  link.classList.remove('disabled');
}

function clearPicture() {
  canvas.removeAttribute('title');
  delete canvas.dataset.sha256;
  delete canvas.dataset.ms;
  delete canvas.dataset.runMs;
  for (const id of ['png', 'bmp']) {
    $(id).removeAttribute('href');
    $(id).classList.add('disabled');
  }
  urls.forEach((url) => URL.revokeObjectURL(url));
  urls = [];
}

// The picture of a 24-bit BMP, bottom-up rows padded to four bytes.
function bmpToImageData(bytes) {
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  const width = view.getInt32(18, true);
  const height = view.getInt32(22, true);
  const offset = view.getUint32(10, true);
  const stride = (width * 3 + 3) & ~3;
  const image = new ImageData(width, height);
  for (let y = 0; y < height; y++) {
    let from = offset + (height - 1 - y) * stride;
    let to = y * width * 4;
    for (let x = 0; x < width; x++, from += 3, to += 4) {
      image.data[to] = bytes[from + 2];
      image.data[to + 1] = bytes[from + 1];
      image.data[to + 2] = bytes[from];
      image.data[to + 3] = 255;
    }
  }
  return image;
}

const hex = (bytes) => Array.from(bytes, (b) => b.toString(16).padStart(2, '0')).join('');

// crypto.subtle exists only on https and localhost; elsewhere (a page served
// to the local network) the digest comes from here.
function sha256Plain(bytes) {
  const k = [];
  const primes = [];
  for (let n = 2; primes.length < 64; n++) {
    if (primes.every((p) => n % p !== 0)) primes.push(n);
  }
  const fraction = (x) => ((x - Math.floor(x)) * 2 ** 32) >>> 0;
  primes.forEach((p) => k.push(fraction(Math.cbrt(p))));
  const h = primes.slice(0, 8).map((p) => fraction(Math.sqrt(p)));
  const length = ((bytes.length + 9 + 63) >> 6) << 6;
  const data = new Uint8Array(length);
  data.set(bytes);
  data[bytes.length] = 0x80;
  const tail = new DataView(data.buffer);
  tail.setUint32(length - 8, Math.floor(bytes.length / 2 ** 29));
  tail.setUint32(length - 4, (bytes.length * 8) >>> 0);
  const w = new Uint32Array(64);
  const rotr = (x, n) => (x >>> n) | (x << (32 - n));
  for (let block = 0; block < length; block += 64) {
    for (let i = 0; i < 16; i++) w[i] = tail.getUint32(block + 4 * i);
    for (let i = 16; i < 64; i++) {
      const s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >>> 3);
      const s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >>> 10);
      w[i] = (w[i - 16] + s0 + w[i - 7] + s1) | 0;
    }
    let [a, b, c, d, e, f, g, hh] = h;
    for (let i = 0; i < 64; i++) {
      const t1 = (hh + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i]) | 0;
      const t2 = ((rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c))) | 0;
      [hh, g, f, e, d, c, b, a] = [g, f, e, (d + t1) | 0, c, b, a, (t1 + t2) | 0];
    }
    [a, b, c, d, e, f, g, hh].forEach((v, i) => { h[i] = (h[i] + v) >>> 0; });
  }
  return h.map((v) => v.toString(16).padStart(8, '0')).join('');
}

async function sha256(bytes) {
  if (globalThis.crypto && crypto.subtle) {
    return hex(new Uint8Array(await crypto.subtle.digest('SHA-256', bytes)));
  }
  return sha256Plain(bytes);
}

// The picture of the run shown; each step after a wait first checks that
// no other run has taken its place.
async function showPicture(run, bmp, runMs) {
  const bytes = new Uint8Array(bmp);
  canvas.getContext('2d').putImageData(bmpToImageData(bytes), 0, 0);
  canvas.classList.remove('stale');
  const digest = await sha256(bytes);
  if (run !== current) return;
  const fingerprint = digest.slice(0, 12);
  setLink('bmp', new Blob([bytes], { type: 'image/bmp' }), `bramblewisp-${fingerprint}.bmp`);
  const png = await new Promise((resolve) => canvas.toBlob(resolve, 'image/png'));
  if (run !== current) return;
  if (png) setLink('png', png, `bramblewisp-${fingerprint}.png`);
  const ms = Math.round(performance.now() - run.started);
  canvas.title = `sha256 ${digest}`;
  setStatus(`fingerprint ${fingerprint}  ·  ${ms} ms`);
  canvas.dataset.ms = String(ms);
  canvas.dataset.runMs = String(Math.round(runMs));
  canvas.dataset.sha256 = digest;
}

function startWorker() {
  const started = new Worker('worker.js');
  started.onmessage = ({ data }) => received(data);
  // A worker that failed is not asked again.
  started.onerror = (event) => {
    started.terminate();
    if (started !== worker) return;
    worker = null;
    if (current && current.running) finish(`the run failed: ${event.message}`);
  };
  started.postMessage({ type: 'init', wasm, font });
  return started;
}

// Ends the run shown, at once (a running one by ending its worker), and
// takes its results off the page; its late messages and steps are dropped.
function stop(status) {
  clearTimeout(typingTimer);
  if (current && current.running) {
    worker.terminate();
    worker = null;
    consoleView.draw();
  }
  current = null;
  clearPicture();
  canvas.classList.add('stale');
  setStatus(status);
  $('stop').disabled = true;
}

function finish(status) {
  current.running = false;
  $('stop').disabled = true;
  consoleView.draw();
  setStatus(status);
}

// Starts a run of these query pairs in place of any other.
function render(runPairs, started) {
  stop('drawing…');
  worker = worker || startWorker();
  current = { id: nextId++, pairs: runPairs, started, running: true, values: null };
  consoleView.reset();
  $('note').hidden = true;
  $('stop').disabled = false;
  worker.postMessage({ type: 'run', id: current.id, pairs: runPairs });
}

function received(data) {
  if (!current || data.id !== current.id) return;
  const run = current;
  switch (data.type) {
    case 'options':
      run.values = data.values;
      showValues(data.values);
      $('commandLine').value = ['build/bramblewisp', ...data.args.slice(1)].map(shellWord).join(' ');
      $('note').textContent = data.note || '';
      $('note').hidden = !data.note;
      break;
    case 'output':
      consoleView.add(data.bytes, data.segments);
      break;
    case 'done':
      finish(data.status === 0 && data.bmp ? 'drawn' : `no picture (exit status ${data.status})`);
      if (data.status === 0 && data.bmp) showPicture(run, data.bmp, data.runMs);
      break;
    case 'failed':
      consoleView.append(`\n${data.message}\n`);
      finish('the run failed');
      break;
  }
}

// A control changed: the link keeps its other pairs, time included. Typing
// in a field ends the run shown at once and starts the next after a pause.
function changed(event) {
  const started = performance.now();
  const control = event && event.target;
  const next = control && FIELDS.includes(control.name) ? withValue(pairs, control.name, controlValue(control)) : pairs;
  if (current && JSON.stringify(next) === JSON.stringify(current.pairs)) {
    return; // this run is shown already (a field left after its run started)
  }
  pairs = next;
  const go = () => {
    history.replaceState(null, '', '?' + new URLSearchParams(pairs).toString());
    render(pairs, started);
  };
  if (event && event.type === 'input' && control.type === 'text') {
    stop('…');
    usedNote(control.name).textContent = '';
    typingTimer = setTimeout(go, TYPING_DELAY_MS);
  } else {
    go();
  }
}

async function start() {
  const started = performance.now();
  try {
    const [binary, fontFile] = await Promise.all([
      fetch('bramblewisp.wasm').then((r) => { if (!r.ok) throw new Error(`bramblewisp.wasm: ${r.status}`); return r.arrayBuffer(); }),
      // Without the font the picture has no text, as on the command line.
      fetch('font.bmp').then((r) => (r.ok ? r.arrayBuffer() : null), () => null),
    ]);
    wasm = await WebAssembly.compile(binary);
    font = fontFile;
  } catch (error) {
    setStatus(`cannot load the program: ${error.message}`);
    return;
  }
  form.addEventListener('input', (event) => { if (event.target.type === 'text') changed(event); });
  form.addEventListener('change', changed);
  form.addEventListener('submit', (event) => { event.preventDefault(); changed(); });
  // A field left shows the value its run reads.
  form.addEventListener('focusout', (event) => {
    const { name, type } = event.target;
    if (type === 'text' && current && current.values && current.pairs === pairs) {
      event.target.value = String(current.values[name]);
      usedNote(name).textContent = '';
    }
  });
  $('stop').addEventListener('click', () => stop('stopped'));
  $('newSeed').addEventListener('click', () => {
    const seed = form.elements.seed;
    seed.value = String(crypto.getRandomValues(new Uint32Array(1))[0] % 1000000);
    seed.dispatchEvent(new Event('change', { bubbles: true }));
  });
  $('copy').addEventListener('click', async () => {
    const field = $('commandLine');
    try {
      await navigator.clipboard.writeText(field.value);
    } catch {
      field.select();
      document.execCommand('copy');
    }
  });
  pairs = queryPairs(location.search);
  render(pairs, started);
}

start();
