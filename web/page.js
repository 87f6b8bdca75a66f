// The page: controls and address in, the program in workers, the picture,
// its fingerprint, downloads, the command line and the run's console out;
// a rules editor and a grid of the next seeds. Whatever a link holds, the
// page stays responsive and shows only the results of the run that its
// controls show.
'use strict';

// The controls, by the names of the options they set.
const FIELDS = ['type', 'rules', 'seed', 'iter', 'spikes', 'dark', 'prefx', 'postfx', 'palette', 'text', 'width',
  'height', 'out'];
// The picture's size: each side and the whole, as the program bounds them.
const SIDES = [16, 16384];
const MOST_PIXELS = 64000000;
// Query pairs the page reads itself and never hands to the program: the
// text of a rules file of the user's own, compressed.
const PAGE_KEYS = ['toml'];
// The name an edited system is saved under, in the page and for download.
const OWN_RULES = 'mysystem.toml';
// The shipped systems, each in systems/NAME.toml beside the page.
const SHIPPED = ['type0', 'type1', 'type2', 'type3', 'type4', 'fern', 'galaxy', 'coral'];
const TYPING_DELAY_MS = 250;
const EDITING_DELAY_MS = 500;
// A picture larger than this is shown scaled down (its files stay whole).
const PREVIEW_PIXELS = 4096 * 4096;
const THUMBNAIL_CSS_WIDTH = 200;
// Pictures larger than this are drawn on a module that has drawn nothing
// before (worker.js says why).
const FRESH_PIXELS = 4 * 800 * 600;
const fresh = (given) => { const { width, height } = earlyReading(given).values; return width * height > FRESH_PIXELS; };
const SEED_COUNT = 12;
// The console keeps the end of a run's output: every update of a longer
// text would cost the page more.
const CONSOLE_LIMIT = 64 << 10;
const DROPPED_NOTE = '[earlier lines dropped: the console keeps the last 64 KB]\n';
// A link's rules text may not unpack to more than this; the program takes
// at most 1 MB.
const MOST_RULES_BYTES = 2 << 20;

const $ = (id) => document.getElementById(id);
const form = $('controls');
const canvas = $('picture');

let wasm = null; // compiled once, handed to every worker
let font = null;
let shipped = {}; // name: text of the shipped systems
let worker = null; // the picture's worker; its module is kept between pictures
// The run the page shows: {id, pairs, started, running, values}. Messages and late
// steps of any other run are dropped.
let current = null;
let nextId = 1;
let pairs = []; // the link's pairs, as the controls have changed them
let ownText = null; // the text of the user's own rules file, if the link has one
let typingTimer = 0;
let urls = [];

// ----- the address and the program's reading of it

// The query's pairs in order, repeats included: they become the command
// line as they stand, and the program's parser decides what they mean.
function queryPairs(search) {
  return Array.from(new URLSearchParams(search));
}

// The program folds only ASCII letters and sees a name up to a NUL.
const optionName = (key) => key.split('\0')[0].replace(/[A-Z]/g, (c) => c.toLowerCase());

const programPairs = (given) => given.filter(([key]) => !PAGE_KEYS.includes(optionName(key)));
const pageValue = (given, name) => (given.find(([key]) => optionName(key) === name) || [])[1];

// The pairs with the control's value in the first pair of its name (the one
// the program reads); every other pair stays as the link gave it.
function withValue(given, name, value) {
  const at = given.findIndex(([key]) => optionName(key) === name);
  if (at < 0) return [...given, [name, value]];
  return given.map((pair, i) => (i === at ? [pair[0], value] : pair));
}

const without = (given, ...names) => given.filter(([key]) => !names.includes(optionName(key)));

// The program's conversion of a value: blanks, a sign, digits up to the
// first other character, saturated to 32 bits.
function parseDecimal(text) {
  const match = /^[ \t\n\v\f\r]*([+-]?)(\d*)/.exec(text);
  const digits = match[2].replace(/^0+/, '').slice(0, 11) || '0';
  const value = (match[1] === '-' ? -1 : 1) * Number(digits);
  return Math.min(2147483647, Math.max(-2147483648, value));
}

// The program's lookup: the first argument, the program's name included,
// that is the name in any letter case and has an argument after it.
function lookupText(args, name) {
  for (let i = 0; i + 1 < args.length; i++) {
    if (optionName(args[i]) === name) return args[i + 1];
  }
  return null;
}

const argumentsOf = (given) => ['bramblewisp',
  ...programPairs(given).flatMap(([key, value]) => ['-' + key, value].map((text) => text.split('\0')[0]))];

// What the program will read from the pairs, worked out here so that the
// controls show the link's options before the program has loaded; the
// program's own answer follows and wins.
function earlyReading(given) {
  const args = argumentsOf(given);
  const texts = {};
  for (const name of FIELDS) {
    const text = lookupText(args, '-' + name);
    if (text !== null) texts[name] = text;
  }
  const read = (name, fallback) => (name in texts ? parseDecimal(texts[name]) : fallback);
  const within = (value, low, high, fallback) => (value >= low && value <= high ? value : fallback);
  const type = within(read('type', 0), 0, 4, 0);
  const spikes = read('spikes', 64);
  const rules = texts.rules ?? null;
  let width = within(read('width', 800), ...SIDES, 800);
  let height = within(read('height', 600), ...SIDES, 600);
  if (width * height > MOST_PIXELS) [width, height] = [800, 600];
  const values = {
    type, seed: read('seed', 0), iter: read('iter', 12), dark: read('dark', 0) !== 0 ? 1 : 0,
    prefx: within(read('prefx', 1), 0, 2, 1), postfx: within(read('postfx', 0), 0, 3, 0), spikes,
    iterCap: rules !== null ? null : type === 4 ? 8 : 12,
    spikesUsed: rules !== null ? null : type >= 3 ? -1 : Math.min(Math.max(spikes, 0), 1000000),
    palette: within(read('palette', 0), 0, 6, 0), text: within(read('text', 1), 0, 1, 1), width, height,
    out: texts.out ?? null, rules,
  };
  return { values, given: texts };
}

// ----- the controls

const usedNote = (name) => form.querySelector(`output[data-for=${name}]`);

// The shipped system a rules path names, if any.
function shippedName(path) {
  if (path === null) return null;
  const name = path.replace(/^(systems\/)?/, '').replace(/\.toml$/, '');
  return SHIPPED.includes(name) && /^(systems\/)?[a-z0-9]+(\.toml)?$/.test(path) ? name : null;
}

// Each control's value as the program uses it, and a short note where that
// is not the value given.
function shownValues({ values, given }) {
  const shown = {};
  const notes = {};
  const differs = (name, value) => name in given && given[name] !== String(value);
  for (const name of ['type', 'prefx', 'postfx', 'palette']) {
    shown[name] = String(values[name]);
    if (differs(name, values[name])) notes[name] = `-${name} ${given[name]} draws ${values[name]}`;
  }
  if (values.rules !== null) notes.type = 'not used: the rules file gives the system';
  shown.seed = String(values.seed);
  if (differs('seed', values.seed)) notes.seed = `reads as ${values.seed}`;
  shown.dark = values.dark;
  shown.text = values.text;
  if (differs('text', values.text)) notes.text = `-text ${given.text} draws ${values.text}: 0 or 1 is expected`;
  for (const name of ['width', 'height']) {
    shown[name] = String(values[name]);
    if (!differs(name, values[name])) continue;
    const read = parseDecimal(given[name]);
    notes[name] = read === values[name] ? `reads as ${read}`
      : read < SIDES[0] || read > SIDES[1] ? `${given[name]}: 16 to 16384 is expected; ${values[name]} is used`
        : `more than 64 million pixels: 800 x 600 is used`;
  }
  if (values.iter < 0) {
    shown.iter = String(values.iter);
    notes.iter = 'timed mode: the page runs it with -time 10 at most, which grows no generation, ' +
      'so the picture shows the seeds alone, the same on every machine';
  } else if (values.iterCap !== null && values.iterCap >= 0 && values.iter > values.iterCap) {
    shown.iter = String(values.iterCap);
    notes.iter = `${given.iter ?? values.iter}: this system grows at most ${values.iterCap}`;
  } else {
    shown.iter = String(values.iter);
    if (differs('iter', values.iter)) notes.iter = `reads as ${values.iter}`;
  }
  shown.spikes = String(values.spikes);
  if (values.spikesUsed === -1) {
    notes.spikes = 'not used: this system has no random seeds';
  } else if (values.spikesUsed !== null && values.spikesUsed !== values.spikes) {
    shown.spikes = String(values.spikesUsed);
    notes.spikes = values.spikesUsed === 0 ? `${given.spikes}: no seeds, an empty picture`
      : `${given.spikes}: at most ${values.spikesUsed}`;
  } else if (differs('spikes', values.spikes)) {
    notes.spikes = `reads as ${values.spikes}`;
  }
  shown.rules = values.rules === null ? '' : shippedName(values.rules) && !pageValue(pairs, 'toml')
    ? shippedName(values.rules) : values.rules;
  if (shown.rules.startsWith('type')) notes.rules = `the rules of -type ${shown.rules.slice(4)}`;
  shown.out = values.out ?? '';
  return { shown, notes };
}

// A select shows any value it is given, adding an option for one it lacks.
function selectValue(select, value, label) {
  if (![...select.options].some((option) => option.value === value)) {
    select.add(new Option(label || value, value));
  }
  select.value = value;
}

// The values the program reads. A field being typed in keeps its text and
// says what it reads as; it takes the value when left.
function showValues(reading) {
  const { shown, notes } = shownValues(reading);
  for (const name of FIELDS) {
    const control = form.elements[name];
    const note = usedNote(name);
    if (control.type === 'checkbox') {
      control.checked = shown[name] !== 0;
    } else if (control === document.activeElement && control.type === 'text') {
      note.textContent = notes[name] || (control.value === shown[name] ? '' : `reads as ${shown[name]}`);
      continue;
    } else if (control.tagName === 'SELECT') {
      selectValue(control, shown[name], name === 'rules' && !shippedName(shown[name]) ? `your own: ${shown[name]}` : undefined);
    } else {
      control.value = shown[name];
    }
    if (note) note.textContent = notes[name] || '';
  }
  form.elements.type.disabled = reading.values.rules !== null;
  const size = `${reading.values.width}x${reading.values.height}`;
  $('size').value = [...$('size').options].some((option) => option.value === size) ? size : 'custom';
  canvas.setAttribute('aria-label', describe(reading.values));
  form.classList.remove('pending');
}

const optionText = (name, value) => {
  const option = [...form.elements[name].options].find((o) => o.value === String(value));
  return option ? option.textContent.replace(/^\d+ /, '') : String(value);
};

// The picture's text alternative: what it shows, by the options it is drawn from.
function describe(values) {
  const system = values.rules !== null ? `the system of the rules file ${values.rules}`
    : `a type ${values.type} system (${optionText('type', values.type)})`;
  const generations = values.iter < 0 ? 'its seeds alone (timed mode)'
    : `${values.iterCap !== null && values.iterCap >= 0 ? Math.min(values.iter, values.iterCap) : values.iter} generations at most`;
  const spikes = values.spikesUsed !== null && values.spikesUsed >= 0 ? `, ${values.spikesUsed} spikes` : '';
  return `bramblewisp picture, ${values.width} x ${values.height}: ${system}, seed ${values.seed}, ${generations}${spikes}, ` +
    `${values.dark ? 'dark' : 'light'}, background ${optionText('prefx', values.prefx)}, ` +
    `post effect ${optionText('postfx', values.postfx)}, colours ${optionText('palette', values.palette)}` +
    `${values.text ? '' : ', no text'}`;
}

// ----- the command line

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

// ----- the console and the progress bar

// How far a run has come, from the stages its console shows: each stage's
// share of a typical run's time, growth by its generations. The strokes
// print nothing while they are drawn, so their part is estimated from the
// particle count and the time per particle of the page's previous picture.
const STAGES = [['create bitmaps...', 0.02], ['pre effect...', 0.08], ['create system...', 0.02],
  ['evolve...', 0.45], ['render...', 0.33], ['post effect...', 0.05], ['saving...', 0.05]];
let strokeMs = 0.0003; // per particle and unit of line width, learnt from each picture
function progressOf(text, run) {
  const { iter, iterCap, width, height } = run.values;
  const generations = iterCap !== null && iterCap >= 0 ? Math.min(iter, iterCap) : iter;
  let done = 0;
  let at = -1;
  STAGES.forEach(([stage], i) => { if (text.lastIndexOf(stage) >= 0) at = i; });
  for (let i = 0; i < at; i++) done += STAGES[i][1];
  const since = text.slice(text.lastIndexOf(STAGES[Math.max(at, 0)][0]));
  const lineWidth = Math.round(Math.sqrt(Math.max(1, Math.min(width / 800, height / 600))));
  if (at === 3 && generations > 0) {
    const grown = since.match(/\d+/g);
    done += STAGES[3][1] * Math.min(1, (grown ? Number(grown[grown.length - 1]) : 0) / generations);
  } else if (at === 4) {
    // The steps' shares of the render: drawing the strokes is most of it.
    const steps = [['get', 0.1], ['sort', 0.15], ['bbox', 0.05]];
    for (const [word, share] of steps) if (since.includes(word)) done += STAGES[4][1] * share;
    const particles = Number((/get \((\d+)\)/.exec(since) || [0, 0])[1]);
    if (since.includes('draw')) {
      run.strokes = run.strokes || { started: performance.now(), work: particles * lineWidth };
      const expected = run.strokes.work * strokeMs;
      done += STAGES[4][1] * 0.7 * Math.min(0.95, (performance.now() - run.strokes.started) / Math.max(1, expected));
    }
  }
  if (at > 4 && run.strokes && !run.strokes.learnt && run.strokes.work > 0) {
    run.strokes.learnt = true;
    strokeMs = (performance.now() - run.strokes.started) / run.strokes.work;
  }
  return done;
}

// The bar, as the console and the time say.
function showProgress() {
  if (current && current.running && current.values) $('progress').value = progressOf(consoleView.text, current);
}
setInterval(showProgress, 250);

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
    showProgress();
  },
};

function setStatus(text) {
  $('status').textContent = text;
}

// ----- the picture

function setLink(id, blob, name) {
  const link = $(id);
  const url = URL.createObjectURL(blob);
  urls.push(url);
  link.href = url;
  link.download = name;
  link.removeAttribute('aria-disabled');
}

function clearPicture() {
  canvas.removeAttribute('title');
  delete canvas.dataset.sha256;
  delete canvas.dataset.ms;
  delete canvas.dataset.runMs;
  for (const id of ['png', 'bmp']) {
    $(id).removeAttribute('href');
    $(id).removeAttribute('download');
    $(id).setAttribute('aria-disabled', 'true');
  }
  urls.forEach((url) => URL.revokeObjectURL(url));
  urls = [];
}

// The canvas's size on the screen: as wide as the picture in CSS pixels at
// most, and where that keeps it at least 90% as large, a whole number of
// device pixels per pixel of the picture, so that a high-density screen
// shows every pixel sharp instead of smeared between device pixels.
function sizeCanvas() {
  const available = $('figure').clientWidth;
  if (!available) return;
  const dpr = window.devicePixelRatio || 1;
  const fitted = Math.min(available, canvas.width);
  const scale = Math.floor(fitted * dpr / canvas.width);
  const exact = scale * canvas.width / dpr;
  const sharp = scale >= 1 && exact >= 0.9 * fitted;
  canvas.style.width = `${sharp ? exact : fitted}px`;
  canvas.classList.toggle('pixelated', sharp && scale >= 2);
}

// Until the first picture: the canvas says what it is about to show.
function drawPlaceholder(text) {
  const context = canvas.getContext('2d');
  const style = getComputedStyle(document.body);
  context.fillStyle = style.backgroundColor;
  context.fillRect(0, 0, canvas.width, canvas.height);
  context.fillStyle = style.color;
  context.font = `${Math.round(canvas.width / 32)}px system-ui, sans-serif`;
  context.textAlign = 'center';
  context.fillText(text, canvas.width / 2, canvas.height / 2);
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

function putPreview(target, preview) {
  target.width = preview.width;
  target.height = preview.height;
  target.getContext('2d').putImageData(new ImageData(new Uint8ClampedArray(preview.rgba), preview.width, preview.height), 0, 0);
}

// The picture of the run shown; each step after a wait first checks that
// no other run has taken its place.
async function showPicture(run, bmp, preview, runMs) {
  putPreview(canvas, preview);
  sizeCanvas();
  run.pictureWidth = preview.pictureWidth;
  run.pictureHeight = preview.pictureHeight;
  canvas.classList.remove('stale');
  const bytes = new Uint8Array(bmp);
  const digest = await sha256(bytes);
  if (run !== current) return;
  const fingerprint = digest.slice(0, 12);
  run.fingerprint = fingerprint;
  setLink('bmp', new Blob([bytes], { type: 'image/bmp' }), `bramblewisp-${fingerprint}.bmp`);
  if (run.png) setLink('png', run.png, `bramblewisp-${fingerprint}.png`);
  const ms = Math.round(performance.now() - run.started);
  const scaled = preview.factor > 1 ? `  ·  shown at 1/${preview.factor}` : '';
  canvas.title = `sha256 ${digest}`;
  setStatus(`${preview.pictureWidth} x ${preview.pictureHeight}  ·  fingerprint ${fingerprint}  ·  ${ms} ms${scaled}`);
  canvas.dataset.ms = String(ms);
  canvas.dataset.runMs = String(Math.round(runMs));
  canvas.dataset.sha256 = digest;
  drawSeeds(run);
}

// ----- workers

function newWorker(onData, onFailure) {
  const made = new Worker('worker.js');
  made.onmessage = ({ data }) => onData(data);
  made.onerror = (event) => {
    made.terminate();
    onFailure(event.message);
  };
  made.postMessage({ type: 'init', wasm, font, systems: shipped });
  return made;
}

function startWorker() {
  const started = newWorker(received, (message) => {
    // A worker that failed is not asked again.
    if (started !== worker) return;
    worker = null;
    if (current && current.running) finish(`the run failed: ${message}`);
  });
  return started;
}

// The rules file a run writes first: the user's own text under the name the
// link gives it.
function rulesOf(given) {
  const path = pageValue(given, 'rules');
  return ownText !== null && path !== undefined && pageValue(given, 'toml') !== undefined
    ? { path: path.split('\0')[0], text: ownText } : null;
}

// Ends the run shown, at once (a running one by ending its worker, whose
// module goes with it), and takes its results off the page; its late
// messages and steps are dropped.
function stop(status) {
  clearTimeout(typingTimer);
  stopSeeds();
  if (current && current.running) {
    worker.terminate();
    worker = null;
    consoleView.draw();
  }
  current = null;
  clearPicture();
  canvas.classList.add('stale');
  $('progress').hidden = true;
  setStatus(status);
  $('stop').disabled = true;
}

function finish(status) {
  current.running = false;
  $('stop').disabled = true;
  $('progress').hidden = true;
  consoleView.draw();
  setStatus(status);
}

// Starts a run of these query pairs in place of any other.
function render(runPairs, started) {
  stop('drawing…');
  worker = worker || startWorker();
  current = { id: nextId++, pairs: runPairs, started, running: true, values: null, png: null };
  consoleView.reset();
  $('note').hidden = true;
  $('stop').disabled = false;
  $('progress').value = 0;
  $('progress').hidden = false;
  worker.postMessage({ type: 'run', id: current.id, pairs: programPairs(runPairs), rules: rulesOf(runPairs),
    preview: { pixels: PREVIEW_PIXELS }, fresh: fresh(runPairs) });
}

function received(data) {
  if (!current || data.id !== current.id) return;
  const run = current;
  switch (data.type) {
    case 'options':
      run.values = data.values;
      run.given = data.given;
      showValues({ values: data.values, given: data.given });
      showRules(data.values);
      $('commandLine').value = ['bramblewisp', ...data.args.slice(1)].map(shellWord).join(' ');
      $('note').textContent = data.note || '';
      $('note').hidden = !data.note;
      break;
    case 'output':
      consoleView.add(data.bytes, data.segments);
      break;
    case 'done':
      showRulesProblem(run, data.errors);
      finish(data.status === 0 && data.bmp ? 'drawn' : `no picture (exit status ${data.status})`);
      if (data.status === 0 && data.bmp) showPicture(run, data.bmp, data.preview, data.runMs);
      break;
    case 'png':
      run.png = new Blob([data.png], { type: 'image/png' });
      if (run.fingerprint) setLink('png', run.png, `bramblewisp-${run.fingerprint}.png`);
      break;
    case 'failed':
      consoleView.append(`\n${data.message}\n`);
      finish('the run failed');
      break;
  }
}

// The link as the pairs stand, and a run of them.
function go(started = performance.now()) {
  history.replaceState(null, '', '?' + new URLSearchParams(pairs).toString());
  render(pairs, started);
}

// A control changed: the link keeps its other pairs, time included. Typing
// in a field ends the run shown at once and starts the next after a pause.
function changed(event) {
  const started = performance.now();
  const control = event && event.target;
  if (control && control.name === 'rules') {
    chooseSystem(control.value);
    return;
  }
  if (control && control.id === 'size') {
    if (control.value === 'custom') {
      form.elements.width.focus();
      return;
    }
    // The default size leaves both options out.
    const [width, height] = control.value.split('x');
    pairs = control.value === '800x600' ? without(pairs, 'width', 'height')
      : withValue(withValue(pairs, 'width', width), 'height', height);
    go(started);
    return;
  }
  let next = pairs;
  if (control && FIELDS.includes(control.name)) {
    const value = control.type === 'checkbox' ? (control.checked ? '1' : '0') : control.value;
    // The default file leaves the option out.
    next = control.name === 'out' && value === '' ? without(pairs, 'out') : withValue(pairs, control.name, value);
  }
  if (current && JSON.stringify(next) === JSON.stringify(current.pairs)) {
    return; // this run is shown already (a field left after its run started)
  }
  pairs = next;
  if (event && event.type === 'input' && control.type === 'text') {
    stop('…');
    usedNote(control.name).textContent = '';
    typingTimer = setTimeout(() => go(started), TYPING_DELAY_MS);
  } else {
    go(started);
  }
}

// ----- your own system

const base64url = (bytes) => btoa(Array.from(bytes, (b) => String.fromCharCode(b)).join(''))
  .replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
const fromBase64url = (text) => Uint8Array.from(atob(text.replace(/-/g, '+').replace(/_/g, '/')), (c) => c.charCodeAt(0));

async function packText(text) {
  const stream = new Blob([text]).stream().pipeThrough(new CompressionStream('deflate-raw'));
  return base64url(new Uint8Array(await new Response(stream).arrayBuffer()));
}

// The text a link carries, or null when it cannot be read or unpacks to
// more than a rules file may hold.
async function unpackText(packed) {
  try {
    const reader = new Blob([fromBase64url(packed)]).stream().pipeThrough(new DecompressionStream('deflate-raw')).getReader();
    const parts = [];
    let size = 0;
    for (;;) {
      const { done, value } = await reader.read();
      if (done) break;
      size += value.length;
      if (size > MOST_RULES_BYTES) {
        reader.cancel();
        return null;
      }
      parts.push(value);
    }
    return new TextDecoder().decode(await new Blob(parts).arrayBuffer());
  } catch {
    return null;
  }
}

let rulesDirty = false; // the text area holds edits not yet drawn
let editTimer = 0;

// The rules text of the system values draw, in the text area (unless the
// user is editing it).
function showRules(values) {
  const name = values.rules === null ? `type${values.type}` : shippedName(values.rules);
  const own = values.rules !== null && pageValue(pairs, 'toml') !== undefined;
  const text = own ? ownText : name ? shipped[name] : null;
  $('rulesName').textContent = values.rules === null ? `type${values.type}.toml, built in as -type ${values.type}`
    : own ? values.rules : name ? `${name}.toml, shipped` : values.rules;
  if (!rulesDirty) $('rulesText').value = text ?? '';
  $('downloadRules').disabled = text === null;
}

// A choice of the rules select: a shipped system (the type gives way), or
// none, which goes back to the type.
function chooseSystem(value) {
  ownText = null;
  rulesDirty = false;
  let next = without(pairs, 'toml');
  next = value === '' ? without(next, 'rules') : withValue(without(next, 'type'), 'rules', value);
  pairs = next;
  go();
}

// The text area's rules as the user's own system, in the link too.
async function useOwnRules(text) {
  const packed = await packText(text);
  if ($('rulesText').value !== text) return; // typed on meanwhile
  ownText = text;
  rulesDirty = false;
  const named = pageValue(pairs, 'toml') !== undefined ? pageValue(pairs, 'rules') : undefined;
  pairs = withValue(withValue(without(pairs, 'type'), 'rules', named || OWN_RULES), 'toml', packed);
  go();
}

function rulesEdited() {
  rulesDirty = true;
  stop('…');
  clearTimeout(editTimer);
  const text = $('rulesText').value;
  editTimer = setTimeout(() => useOwnRules(text), EDITING_DELAY_MS);
}

// The rules file's problem, worded as the command line words it, under the
// text area, with a way to its line and column.
function showRulesProblem(run, errors) {
  const box = $('rulesProblem');
  box.textContent = '';
  $('rulesText').removeAttribute('aria-invalid');
  const path = run.values && run.values.rules;
  if (path === null || path === undefined) return;
  const line = errors.split('\n').find((text) => text.startsWith(`bramblewisp: ${path}:`) ||
    text.startsWith(`bramblewisp: ${path.replace(/[\x00-\x1f]/g, '?')}:`));
  if (!line) return;
  $('rulesText').setAttribute('aria-invalid', 'true');
  const at = /^bramblewisp: .*?:(\d+):(\d+): /.exec(line);
  const message = document.createElement('span');
  message.textContent = line;
  box.append(message);
  if (at) {
    const go = document.createElement('button');
    go.type = 'button';
    go.textContent = `go to line ${at[1]}, column ${at[2]}`;
    go.addEventListener('click', () => selectAt(Number(at[1]), Number(at[2])));
    box.append(' ', go);
  }
}

function selectAt(line, column) {
  const area = $('rulesText');
  const lines = area.value.split('\n');
  let offset = 0;
  for (let i = 0; i < line - 1 && i < lines.length; i++) offset += lines[i].length + 1;
  const lineLength = (lines[line - 1] || '').length;
  area.focus();
  area.setSelectionRange(offset + Math.min(column - 1, lineLength), offset + lineLength);
}

function downloadRules() {
  const values = current && current.values;
  const path = values && values.rules;
  const name = path ? (shippedName(path) && !path.endsWith('.toml') ? `${path}.toml` : path.split('/').pop())
    : `type${values ? values.type : 0}.toml`;
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([$('rulesText').value], { type: 'application/toml' }));
  link.download = name;
  link.click();
  setTimeout(() => URL.revokeObjectURL(link.href), 10_000);
}

// ----- seeds side by side

const seeds = { workers: [], jobs: [], round: 0 };

function stopSeeds() {
  seeds.round++;
  seeds.jobs = [];
  // A busy worker's picture is no longer wanted: it ends with its module.
  seeds.workers = seeds.workers.filter((entry) => {
    if (entry.busy) entry.worker.terminate();
    return !entry.busy;
  });
}

const thumbnailWidth = () => Math.round(THUMBNAIL_CSS_WIDTH * (window.devicePixelRatio || 1));

function nextSeed(entry) {
  const job = seeds.jobs.shift();
  if (!job) return;
  entry.busy = job;
  entry.worker.postMessage({ type: 'run', id: job.id, pairs: programPairs(job.pairs), rules: rulesOf(job.pairs),
    preview: { width: thumbnailWidth() }, quiet: true, fresh: fresh(job.pairs) });
}

function seedDone(entry, data) {
  const job = entry.busy;
  if (data.type !== 'done' && data.type !== 'failed') return;
  entry.busy = null;
  if (job && job.round === seeds.round && data.id === job.id) {
    if (data.type === 'done' && data.status === 0 && data.bmp) {
      putPreview(job.canvas, data.preview);
      job.canvas.dataset.factor = String(data.preview.factor);
      sha256(new Uint8Array(data.bmp)).then((digest) => { job.canvas.dataset.sha256 = digest; });
    } else {
      job.canvas.parentElement.append(' (no picture)');
    }
  }
  nextSeed(entry);
}

// The next seeds of the run shown, in as many workers as the browser has
// cores, once its own picture is done.
function drawSeeds(run) {
  if (!$('seedsBox').open || run !== current || !run.values) return;
  stopSeeds();
  const list = $('grid');
  list.textContent = '';
  const round = seeds.round;
  for (let k = 1; k <= SEED_COUNT && run.values.seed + k <= 2147483647; k++) {
    const seed = run.values.seed + k;
    const seedPairs = withValue(run.pairs, 'seed', String(seed));
    const item = document.createElement('li');
    const link = document.createElement('a');
    link.href = '?' + new URLSearchParams(seedPairs).toString();
    const thumbnail = document.createElement('canvas');
    thumbnail.setAttribute('role', 'img');
    thumbnail.setAttribute('aria-label', `seed ${seed}`);
    thumbnail.dataset.seed = String(seed);
    // The worker's size for it, so that the grid keeps its shape while drawn.
    const factor = Math.max(1, Math.floor(run.pictureWidth / thumbnailWidth()));
    thumbnail.width = Math.ceil(run.pictureWidth / factor);
    thumbnail.height = Math.ceil(run.pictureHeight / factor);
    link.append(thumbnail, `seed ${seed}`);
    item.append(link);
    list.append(item);
    seeds.jobs.push({ id: `seed-${round}-${k}`, round, pairs: seedPairs, canvas: thumbnail });
  }
  const wanted = Math.max(1, navigator.hardwareConcurrency || 1);
  while (seeds.workers.length < wanted) {
    const entry = { busy: null, worker: null };
    entry.worker = newWorker((data) => seedDone(entry, data), () => {
      seeds.workers = seeds.workers.filter((other) => other !== entry);
    });
    seeds.workers.push(entry);
  }
  seeds.workers.forEach((entry) => { if (!entry.busy) nextSeed(entry); });
}

// ----- a dropped or opened file: a PNG's recipe, or a rules file

// The recipe in a PNG's "bramblewisp" text chunk, or null.
function pngRecipe(bytes) {
  const signature = [137, 80, 78, 71, 13, 10, 26, 10];
  if (bytes.length < 8 || signature.some((b, i) => bytes[i] !== b)) return null;
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  for (let at = 8; at + 8 <= bytes.length;) {
    const length = view.getUint32(at);
    const type = String.fromCharCode(...bytes.subarray(at + 4, at + 8));
    const data = bytes.subarray(at + 8, Math.min(bytes.length, at + 8 + length));
    if (type === 'tEXt') {
      const zero = data.indexOf(0);
      if (zero > 0 && String.fromCharCode(...data.subarray(0, zero)) === 'bramblewisp') {
        return new TextDecoder().decode(data.subarray(zero + 1));
      }
    }
    if (type === 'IEND') break;
    at += 12 + length;
  }
  return null;
}

// A recipe's options as query pairs: "bramblewisp VERSION -name value ...".
function recipePairs(recipe) {
  const words = recipe.split(' ');
  if (words[0] !== 'bramblewisp') return null;
  const result = [];
  for (let i = 2; i + 1 < words.length; i += 2) {
    if (words[i].startsWith('-')) result.push([words[i].slice(1), words[i + 1]]);
  }
  return result;
}

async function openFile(file) {
  const bytes = new Uint8Array(await file.arrayBuffer());
  if (/\.toml$/i.test(file.name) || (bytes[0] !== 137 && !file.type.startsWith('image/'))) {
    const area = $('rulesText');
    area.value = new TextDecoder().decode(bytes);
    rulesDirty = true;
    await useOwnRules(area.value);
    return;
  }
  const recipe = pngRecipe(bytes);
  const found = recipe && recipePairs(recipe);
  if (!found) {
    setStatus(`${file.name} holds no bramblewisp recipe`);
    return;
  }
  // A recipe names its rules file; the page has the shipped ones and the
  // user's own one under its name.
  const own = pageValue(pairs, 'toml');
  const rules = pageValue(found, 'rules');
  pairs = own !== undefined && rules !== undefined && rules === pageValue(pairs, 'rules') ? [...found, ['toml', own]] : found;
  if (pageValue(pairs, 'toml') === undefined) ownText = null;
  rulesDirty = false;
  showValues(earlyReading(pairs));
  go();
}

// ----- start

async function start() {
  const started = performance.now();
  pairs = queryPairs(location.search);
  const early = earlyReading(pairs);
  showValues(early);
  // The picture's shape, as the preview will have it.
  const factor = Math.max(1, Math.ceil(Math.sqrt(early.values.width * early.values.height / PREVIEW_PIXELS)));
  canvas.width = Math.ceil(early.values.width / factor);
  canvas.height = Math.ceil(early.values.height / factor);
  drawPlaceholder('drawing…');
  sizeCanvas();
  try {
    const packed = pageValue(pairs, 'toml');
    const [binary, fontFile, texts, unpacked] = await Promise.all([
      fetch('bramblewisp.wasm').then((r) => { if (!r.ok) throw new Error(`bramblewisp.wasm: ${r.status}`); return r.arrayBuffer(); }),
      // Without the font the picture has no text, as on the command line.
      fetch('font.bmp').then((r) => (r.ok ? r.arrayBuffer() : null), () => null),
      Promise.all(SHIPPED.map((name) => fetch(`systems/${name}.toml`).then((r) => (r.ok ? r.text() : null), () => null))),
      packed === undefined ? null : unpackText(packed),
    ]);
    wasm = await WebAssembly.compile(binary);
    font = fontFile;
    SHIPPED.forEach((name, i) => { if (texts[i] !== null) shipped[name] = texts[i]; });
    ownText = unpacked;
    if (packed !== undefined && unpacked === null) {
      $('rulesProblem').textContent = 'the rules in this link cannot be read';
    }
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
      event.target.value = shownValues({ values: current.values, given: current.given }).shown[name];
      usedNote(name).textContent = shownValues({ values: current.values, given: current.given }).notes[name] || '';
    }
  });
  $('stop').addEventListener('click', () => stop('stopped'));
  $('newSeed').addEventListener('click', () => {
    const seed = form.elements.seed;
    seed.value = String(crypto.getRandomValues(new Uint32Array(1))[0] % 1000000);
    seed.dispatchEvent(new Event('change', { bubbles: true }));
  });
  const copy = async (text, done) => {
    try {
      await navigator.clipboard.writeText(text);
    } catch {
      const field = document.createElement('textarea');
      field.value = text;
      document.body.append(field);
      field.select();
      document.execCommand('copy');
      field.remove();
    }
    setStatus(done);
  };
  $('copy').addEventListener('click', () => copy($('commandLine').value, 'command line copied'));
  $('copyLink').addEventListener('click', () => copy(location.href, 'link copied'));
  $('rulesText').addEventListener('input', rulesEdited);
  $('downloadRules').addEventListener('click', downloadRules);
  $('open').addEventListener('change', (event) => { if (event.target.files[0]) openFile(event.target.files[0]); });
  document.addEventListener('dragover', (event) => { event.preventDefault(); });
  document.addEventListener('drop', (event) => {
    event.preventDefault();
    const file = event.dataTransfer && event.dataTransfer.files[0];
    if (file) openFile(file);
  });
  $('seedsBox').addEventListener('toggle', () => {
    if ($('seedsBox').open && current && !current.running) drawSeeds(current);
    if (!$('seedsBox').open) stopSeeds();
  });
  new ResizeObserver(sizeCanvas).observe($('figure'));
  render(pairs, started);
}

start();
