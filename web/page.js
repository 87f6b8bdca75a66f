// The page: controls and address in, one worker per picture, the picture,
// its fingerprint, downloads and the run's console out.
'use strict';

const FIELDS = ['type', 'seed', 'iter', 'dark', 'prefx', 'postfx', 'spikes'];
const TYPING_DELAY_MS = 250;

const $ = (id) => document.getElementById(id);
const form = $('controls');
const canvas = $('picture');

let wasm = null; // compiled once, instantiated afresh by every worker
let font = null;
let worker = null;
let typingTimer = 0;
let urls = [];

// The query's pairs in order, repeats included: they become the command
// line as they stand, and the program's parser decides what they mean.
function queryPairs(search) {
  return Array.from(new URLSearchParams(search));
}

function controlPairs() {
  return FIELDS.map((name) => {
    const control = form.elements[name];
    return [name, control.type === 'checkbox' ? (control.checked ? '1' : '0') : control.value];
  });
}

function showValues(values) {
  for (const name of FIELDS) {
    const control = form.elements[name];
    if (control.type === 'checkbox') {
      control.checked = values[name] !== 0;
    } else {
      control.value = String(values[name]);
    }
  }
}

function shellWord(word) {
  return /^[A-Za-z0-9_./:=+,-]+$/.test(word) ? word : "'" + word.replace(/'/g, "'\\''") + "'";
}

// A backspace takes back the character before it, as on a terminal.
const consoleText = {
  text: '',
  add(byte) {
    this.text = byte === 8 ? this.text.slice(0, -1) : this.text + String.fromCharCode(byte);
    $('console').textContent = this.text;
  },
  reset(text) {
    this.text = text;
    $('console').textContent = text;
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

async function showPicture(bmp, started, runMs) {
  const bytes = new Uint8Array(bmp);
  canvas.getContext('2d').putImageData(bmpToImageData(bytes), 0, 0);
  const digest = await sha256(bytes);
  const fingerprint = digest.slice(0, 12);
  setLink('bmp', new Blob([bytes], { type: 'image/bmp' }), `bramblewisp-${fingerprint}.bmp`);
  const png = await new Promise((resolve) => canvas.toBlob(resolve, 'image/png'));
  if (png) setLink('png', png, `bramblewisp-${fingerprint}.png`);
  const ms = Math.round(performance.now() - started);
  canvas.title = `sha256 ${digest}`;
  setStatus(`fingerprint ${fingerprint}  ·  ${ms} ms`);
  canvas.dataset.ms = String(ms);
  canvas.dataset.runMs = String(Math.round(runMs));
  canvas.dataset.sha256 = digest;
}

// Starts a run of these query pairs, ending any run still going. A link's
// values are shown as the program reads them; the controls' own values stay
// as typed.
function render(pairs, started, fromLink = false) {
  if (worker) worker.terminate();
  clearPicture();
  consoleText.reset('');
  setStatus('drawing…');
  const current = new Worker('worker.js');
  worker = current;
  current.onmessage = ({ data }) => {
    if (worker !== current) return;
    switch (data.type) {
      case 'options':
        if (fromLink) showValues(data.values);
        $('commandLine').value = ['build/bramblewisp', ...data.args.slice(1)].map(shellWord).join(' ');
        break;
      case 'out':
      case 'err':
        consoleText.add(data.byte);
        break;
      case 'done':
        worker = null;
        current.terminate();
        if (data.status === 0 && data.bmp) {
          showPicture(data.bmp, started, data.runMs);
        } else {
          setStatus(`no picture (exit status ${data.status})`);
        }
        break;
      case 'failed':
        worker = null;
        current.terminate();
        setStatus('the run failed');
        consoleText.reset(`${consoleText.text}\n${data.message}\n`);
        break;
    }
  };
  current.onerror = (event) => {
    if (worker !== current) return;
    worker = null;
    setStatus(`the run failed: ${event.message}`);
  };
  current.postMessage({ pairs, wasm, font });
}

function changed(event) {
  clearTimeout(typingTimer);
  const started = performance.now();
  const go = () => {
    const pairs = controlPairs();
    history.replaceState(null, '', '?' + new URLSearchParams(pairs).toString());
    render(pairs, started);
  };
  if (event && event.type === 'input' && event.target.type === 'number') {
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
  form.addEventListener('input', (event) => { if (event.target.type === 'number') changed(event); });
  form.addEventListener('change', (event) => { if (event.target.type !== 'number') changed(event); });
  form.addEventListener('submit', (event) => { event.preventDefault(); changed(); });
  $('newSeed').addEventListener('click', () => {
    form.elements.seed.value = String(crypto.getRandomValues(new Uint32Array(1))[0] % 1000000);
    changed();
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
  render(queryPairs(location.search), started, true);
}

start();
