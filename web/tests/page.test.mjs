// The page in headless Chromium, served on 127.0.0.1: a link's picture is
// the golden one of the same options, bad values fall back as on the command
// line and are shown as used, a changed control draws the picture that the
// shown command line draws under node, the canvas holds the BMP's pixels, no
// link freezes the page, a result never outlives its run; the labels, the
// layout, the rules editor, the dropped PNG and the seed grid.
//
//   BRAMBLEWISP_SITE=build-web/site BRAMBLEWISP_NODE_PROGRAM=build-web/bramblewisp.js node web/tests/page.test.mjs
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { existsSync, mkdtempSync, copyFileSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, dirname, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const CHROMIUM = '/usr/bin/chromium';
const here = dirname(fileURLToPath(import.meta.url));
const repository = join(here, '..', '..');
const site = process.env.BRAMBLEWISP_SITE;
const nodeProgram = resolve(process.env.BRAMBLEWISP_NODE_PROGRAM ?? '');
const PICTURE_MS = 60_000;

if (!existsSync(CHROMIUM)) {
  console.log(`${CHROMIUM} is missing (tools/install-web-deps installs it): the page is not tested`);
  process.exit(77);
}
const { chromium } = await import('playwright-core');

// Golden picture hashes by option text, runs with the font only (the page
// always has it).
const golden = new Map(readFileSync(join(repository, 'tests/golden/pictures.txt'), 'utf8').split('\n')
  .filter((line) => line.includes(' font '))
  .map((line) => { const [picture, , , ...options] = line.split(' '); return [options.join(' '), picture]; }));

let server;
let browser;
let page;
let origin;

before(async () => {
  // timeout bounds the server's life even if this process is killed.
  server = spawn('timeout', ['600', 'python3', '-u', '-m', 'http.server', '0', '--bind', '127.0.0.1', '--directory', site],
    { stdio: ['ignore', 'pipe', 'ignore'] });
  origin = await new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error('http.server did not start')), 10_000);
    server.stdout.on('data', (chunk) => {
      const port = /port (\d+)/.exec(String(chunk));
      if (port) { clearTimeout(timer); resolve(`http://127.0.0.1:${port[1]}`); }
    });
  });
  browser = await chromium.launch({
    executablePath: CHROMIUM, timeout: 30_000,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
  page = await browser.newPage({ viewport: { width: 1500, height: 860 } });
  page.setDefaultTimeout(PICTURE_MS);
});

after(async () => {
  await browser?.close();
  server?.kill();
});

async function open(query) {
  await page.goto(`${origin}/${query}`);
  return page.waitForSelector('canvas[data-sha256]', { state: 'attached' }).then(() => page.getAttribute('canvas', 'data-sha256'));
}

const controls = (names = ['type', 'seed', 'iter', 'dark', 'prefx', 'postfx', 'spikes']) => page.evaluate((names) => Object.fromEntries(
  names.map((name) => {
    const control = document.forms.controls.elements[name];
    return [name, control.type === 'checkbox' ? (control.checked ? '1' : '0') : control.value];
  })), names);

test('a link draws the golden picture of its options', { timeout: 300_000 }, async (t) => {
  const cases = [
    // The whole command line in the address.
    ['?time=1&mem=1&cpu=1&iter=6&type=1&prefx=0&postfx=1', '-time 1 -mem 1 -cpu 1 -iter 6 -type 1 -prefx 0 -postfx 1'],
    ['?time=1&mem=1&cpu=1&iter=4&type=4&seed=77&dark=1&postfx=2', '-time 1 -mem 1 -cpu 1 -iter 4 -type 4 -seed 77 -dark 1 -postfx 2'],
    // Missing values at their defaults, -iter at 12.
    ['?type=2&dark=1&prefx=2&postfx=3', '-time 1 -mem 1 -cpu 1 -iter 12 -type 2 -dark 1 -prefx 2 -postfx 3'],
    // Other sizes, palettes and no text.
    ['?iter=8&type=4&width=600&height=1000&postfx=3', '-time 1 -mem 1 -cpu 1 -iter 8 -type 4 -width 600 -height 1000 -postfx 3'],
    ['?iter=6&type=0&palette=6&dark=1&postfx=2', '-time 1 -mem 1 -cpu 1 -iter 6 -type 0 -palette 6 -dark 1 -postfx 2'],
    ['?iter=6&text=0&dark=1', '-time 1 -mem 1 -cpu 1 -iter 6 -text 0 -dark 1'],
    // Bad values fall back as the options do: type 0, the grid, no post effect.
    ['?ITER=8&Dark=1&type=9&prefx=-3&postfx=x&prefx=2', '-time 1 -mem 1 -cpu 1 -iter 8 -dark 1'],
  ];
  for (const [query, options] of cases) {
    await t.test(query, async () => {
      assert.equal(await open(query), golden.get(options));
    });
  }
  assert.deepEqual(await controls(), { type: '0', seed: '0', iter: '8', dark: '1', prefx: '1', postfx: '0', spikes: '64' });
});

// What the command line shown does, run by bash under node with the font
// and the given files in its directory: the picture's digest (of the BMP it
// saves) and its standard error.
function runCommandLine(commandLine, files = {}) {
  const work = mkdtempSync(join(tmpdir(), 'bramblewisp-page-'));
  try {
    copyFileSync(join(repository, 'font.bmp'), join(work, 'font.bmp'));
    for (const [name, text] of Object.entries(files)) writeFileSync(join(work, name), text);
    const run = spawnSync('bash', ['-c', commandLine.replace(/^bramblewisp /, 'node "$0" '), nodeProgram],
      { cwd: work, encoding: 'utf8', timeout: PICTURE_MS });
    const picture = existsSync(join(work, 'testSystem.bmp'))
      ? createHash('sha256').update(readFileSync(join(work, 'testSystem.bmp'))).digest('hex') : null;
    return { picture, stderr: run.stderr };
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
}
const pictureOfCommandLine = (commandLine, files) => runCommandLine(commandLine, files).picture;

const newPicture = (old) => page.waitForFunction((sha) => {
  const shown = document.getElementById('picture').dataset.sha256;
  return shown && shown !== sha;
}, old).then(() => page.getAttribute('canvas', 'data-sha256'));

test('a changed control draws the picture of the command line shown', { timeout: 180_000 }, async () => {
  // A fixed -iter makes -time irrelevant to the picture, not to the link.
  const before = await open('?iter=7&type=3&dark=1&prefx=2&time=30');
  assert.equal(before, golden.get('-time 1 -mem 1 -cpu 1 -iter 7 -type 3 -dark 1 -prefx 2'));
  await page.selectOption('select[name=postfx]', '1');
  const after = await newPicture(before);
  assert.match(page.url(), /\?iter=7&type=3&dark=1&prefx=2&time=30&postfx=1$/);
  assert.equal(after, pictureOfCommandLine(await page.inputValue('#commandLine')));
  console.log(`change to picture: ${await page.getAttribute('canvas', 'data-ms')} ms`);
  if (process.env.BRAMBLEWISP_SCREENSHOT) await page.screenshot({ path: process.env.BRAMBLEWISP_SCREENSHOT });

  // A field takes what the program would read, and shows the value read.
  await page.fill('input[name=seed]', '1e5');
  await page.press('input[name=seed]', 'Tab');
  const seeded = await newPicture(after);
  assert.equal(await page.inputValue('input[name=seed]'), '1');
  const commandLine = await page.inputValue('#commandLine');
  assert.match(commandLine, / -seed 1e5( |$)/);
  assert.equal(seeded, pictureOfCommandLine(commandLine));
});

test('the canvas holds the pixels of the BMP, whose digest the page shows', { timeout: 60_000 }, async () => {
  const result = await page.evaluate(async () => {
    const bytes = new Uint8Array(await (await fetch(document.getElementById('bmp').href)).arrayBuffer());
    const canvas = document.getElementById('picture');
    const shown = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    let differing = 0;
    for (let y = 0; y < 600; y++) {
      for (let x = 0; x < 800; x++) {
        const file = 54 + ((599 - y) * 800 + x) * 3;
        const cell = (y * 800 + x) * 4;
        if (shown[cell] !== bytes[file + 2] || shown[cell + 1] !== bytes[file + 1] || shown[cell + 2] !== bytes[file]) {
          differing++;
        }
      }
    }
    // eslint-disable-next-line no-undef
    return { differing, size: bytes.length, plain: sha256Plain(bytes), sha: canvas.dataset.sha256 };
  });
  assert.deepEqual(result, { differing: 0, size: 1440054, plain: result.sha, sha: result.sha });
});

test('no link freezes the page, and its console stays bounded and safe', { timeout: 300_000 }, async (t) => {
  const hostile = ['x%E2%80%AEy=1', '-a%1B]0;x%07=2', 'a%C3%A9=3'];
  const links = [
    // Timed runs with no particles would print generation numbers until
    // their budget ends; the page caps the budget.
    '?iter=-1&time=1000000&spikes=0',
    '?iter=-1&time=60&spikes=0',
    // 2,000 unknown names, 120 KB of warnings, and three that try the terminal.
    '?' + [...Array(2000).fill('a'), ...hostile].join('&'),
  ];
  // A script on the page that must run every 10 ms: its longest wait, from
  // the page's start on, is how long the page did not answer.
  await page.addInitScript(() => {
    let last = performance.now();
    window.longestWait = 0;
    setInterval(() => {
      const now = performance.now();
      window.longestWait = Math.max(window.longestWait, now - last - 10);
      last = now;
    }, 10);
  });
  const longestWait = () => page.evaluate(() => Math.round(window.longestWait));
  for (const link of links) {
    await t.test(link.slice(0, 40), async () => {
      await page.goto(`${origin}/${link}`);
      await page.waitForSelector('canvas[data-sha256]', { state: 'attached' });
      assert.ok(await longestWait() < 200, `the page did not answer for ${await longestWait()} ms`);
      const shown = await page.evaluate(() => ({
        commandLine: document.getElementById('commandLine').value,
        console: document.getElementById('console').textContent,
      }));
      assert.doesNotMatch(shown.commandLine, /[\x00-\x1f\x7f-\x9f\u061c\u200e\u200f\u2028-\u202e\u2066-\u2069]/);
      assert.doesNotMatch(shown.console, /[\x00-\x09\x0b-\x1f\x7f-\x9f\u061c\u200e\u200f\u2028-\u202e\u2066-\u2069]/);
      if (link.includes('time=')) {
        assert.match(shown.commandLine, / -time 10 /);
      } else {
        assert.ok(shown.console.startsWith('[earlier lines dropped') && shown.console.length < 66_000);
        for (const name of ['-x\\u202ey', '--a\\x1b]0;x\\x07', '-aé']) {
          assert.ok(shown.console.includes(`ignoring unknown option ${name}\n`), name);
        }
      }
      const before = await page.getAttribute('canvas', 'data-sha256');
      const changed = Date.now();
      await page.selectOption('select[name=type]', '3');
      await newPicture(before);
      assert.ok(Date.now() - changed < 20_000);
      assert.ok(await longestWait() < 200, `the page did not answer for ${await longestWait()} ms`);
    });
  }
});

test('a run replaced while its picture is shown leaves none of its results', { timeout: 120_000 }, async () => {
  await open('?iter=3&type=1');
  // The moment the next picture reaches the canvas, a control changes; the
  // page then awaits its digest and PNG for a run it no longer shows.
  const shown = await page.evaluate(() => new Promise((resolve) => {
    const canvas = document.getElementById('picture');
    const put = CanvasRenderingContext2D.prototype.putImageData;
    let staged = false;
    CanvasRenderingContext2D.prototype.putImageData = function (...args) {
      put.apply(this, args);
      if (!staged) {
        staged = true;
        const type = document.forms.controls.elements.type;
        type.value = '4';
        type.dispatchEvent(new Event('change', { bubbles: true }));
      }
    };
    // Every fingerprint the page shows, with the command line beside it.
    new MutationObserver(() => {
      if (canvas.dataset.sha256) {
        resolve({ sha: canvas.dataset.sha256, commandLine: document.getElementById('commandLine').value,
          bmp: document.getElementById('bmp').download, status: document.getElementById('status').textContent });
      }
    }).observe(canvas, { attributes: true, attributeFilter: ['data-sha256'] });
    const postfx = document.forms.controls.elements.postfx;
    postfx.value = '1';
    postfx.dispatchEvent(new Event('change', { bubbles: true }));
  }));
  assert.match(shown.commandLine, / -type 4 /);
  assert.equal(shown.sha, pictureOfCommandLine(shown.commandLine));
  assert.ok(shown.bmp.includes(shown.sha.slice(0, 12)) && shown.status.includes(shown.sha.slice(0, 12)));
});

test('the controls show the link as the program reads it, before its first picture', { timeout: 120_000 }, async () => {
  // The program is held back: what shows meanwhile comes from the address alone.
  let release;
  const held = new Promise((resolve) => { release = resolve; });
  await page.route('**/bramblewisp.wasm', async (route) => { await held; await route.continue(); });
  const expected = { type: '4', seed: '5', iter: '8', dark: '1', prefx: '2', postfx: '2', spikes: '64',
    width: '400', height: '600', palette: '0', text: '0' };
  const link = '?Type=4&seed=5x&iter=99&dark=7&prefx=2&postfx=2&iter=3&width=400&height=99999&palette=9&text=0';
  try {
    await page.goto(`${origin}/${link}`);
    assert.deepEqual(await controls(Object.keys(expected)), expected);
    assert.equal(await page.getAttribute('canvas', 'data-sha256'), null);
  } finally {
    release();
  }
  await page.waitForSelector('canvas[data-sha256]', { state: 'attached' });
  await page.unroute('**/bramblewisp.wasm');
  assert.deepEqual(await controls(Object.keys(expected)), expected);
  // Values used in place of those given carry a note; a timed run says what it draws.
  const notes = () => page.$$eval('output.used', (all) => Object.fromEntries(all.map((o) => [o.dataset.for, o.textContent])));
  assert.match((await notes()).iter, /99: .*at most 8/);
  assert.match((await notes()).seed, /reads as 5/);
  assert.match((await notes()).height, /99999: 16 to 16384 is expected; 600 is used/);
  assert.match((await notes()).palette, /-palette 9 draws 0/);
  await open('?spikes=99999999&iter=-1');
  assert.equal((await controls()).spikes, '1000000');
  assert.match((await notes()).spikes, /99999999: at most 1000000/);
  assert.match((await notes()).iter, /timed mode/);
});

test('the labels say what the README says of each value', async () => {
  // "| `-postfx` | 0 | post effect: 0 none, 1 outlines, 2 relief shading, 3 softening |"
  const readme = readFileSync(join(repository, 'README.md'), 'utf8');
  for (const name of ['type', 'prefx', 'postfx', 'palette']) {
    const row = new RegExp(`^\\| \`-${name}\` \\| [^|]* \\| [^:]*: (.*) \\|$`, 'm').exec(readme);
    const labels = await page.$$eval(`select[name=${name}] option`, (all) => Object.fromEntries(all.map((o) => [o.value, o.textContent])));
    for (const item of row[1].split(', ')) {
      // "1 and 2 dense balls": each of the two is a dense ball.
      const [, first, second, words] = /^(\d+)(?: and (\d+))? (.*)$/.exec(item);
      for (const value of [first, second].filter(Boolean)) {
        assert.ok(labels[value].startsWith(`${value} ${second ? words.replace(/s$/, '') : words}`), `${name} ${value}: ${labels[value]}`);
      }
    }
  }
});

test('the page fits narrow windows without scrolling sideways', { timeout: 120_000 }, async () => {
  const narrow = await browser.newPage({ viewport: { width: 360, height: 740 }, deviceScaleFactor: 2 });
  try {
    for (const width of [360, 800]) {
      await narrow.setViewportSize({ width, height: 740 });
      await narrow.goto(`${origin}/?iter=2&type=3`);
      await narrow.waitForSelector('canvas[data-sha256]', { state: 'attached' });
      const fit = await narrow.evaluate(() => ({
        scroll: document.documentElement.scrollWidth - document.documentElement.clientWidth,
        canvas: document.getElementById('picture').getBoundingClientRect().right,
      }));
      assert.ok(fit.scroll <= 0 && fit.canvas <= width, `${width}: ${JSON.stringify(fit)}`);
      if (width === 360 && process.env.BRAMBLEWISP_SCREENSHOT) {
        await narrow.screenshot({ path: process.env.BRAMBLEWISP_SCREENSHOT.replace(/\.png$/, '-phone.png') });
      }
    }
  } finally {
    await narrow.close();
  }
});

// The text of the rules area, changed and drawn.
async function editRules(change) {
  const before = await page.getAttribute('canvas', 'data-sha256');
  const text = change(await page.inputValue('#rulesText'));
  await page.fill('#rulesText', text);
  await page.waitForFunction((sha) => {
    const canvas = document.getElementById('picture');
    return (canvas.dataset.sha256 && canvas.dataset.sha256 !== sha) || document.getElementById('status').textContent.startsWith('no picture');
  }, before);
  return text;
}

test('an edited system draws, its link draws it again, and a bad one is shown where it is wrong', { timeout: 180_000 }, async () => {
  await open('?iter=9&rules=fern');
  // A bare name is an installed system; here, a file of that name.
  assert.equal(await page.getAttribute('canvas', 'data-sha256'),
    pictureOfCommandLine(await page.inputValue('#commandLine'), { fern: readFileSync(join(repository, 'systems/fern.toml')) }));
  const text = await editRules((fern) => fern.replace('"-pi/40"', '"-pi/30"'));
  const drawn = await page.getAttribute('canvas', 'data-sha256');
  const link = page.url();
  const commandLine = await page.inputValue('#commandLine');
  assert.match(link, /rules=mysystem\.toml&toml=[\w-]+$/);
  assert.match(commandLine, / -rules mysystem\.toml$/);
  // The command line with the downloaded rules file, and the link in a fresh page.
  const download = page.waitForEvent('download');
  await page.click('#downloadRules');
  const file = await download;
  assert.equal(file.suggestedFilename(), 'mysystem.toml');
  assert.equal(readFileSync(await file.path(), 'utf8'), text);
  assert.equal(drawn, pictureOfCommandLine(commandLine, { 'mysystem.toml': text }));
  assert.equal(await open(link.slice(origin.length + 1)), drawn);

  const bad = await editRules((own) => own.replace('weight = 0.6', 'weight = 1.6'));
  const { stderr } = runCommandLine(commandLine, { 'mysystem.toml': bad });
  const shown = await page.textContent('#rulesProblem span');
  assert.match(shown, /^bramblewisp: mysystem\.toml:\d+:\d+: /);
  assert.equal(shown, stderr.trim());
});

test('a PNG dropped on the page draws its recipe again', { timeout: 120_000 }, async () => {
  const options = '-time 1 -mem 1 -cpu 1 -iter 4 -type 4 -seed 77 -dark 1 -postfx 2';
  await open('?iter=4&type=4&seed=77&dark=1&postfx=2&out=picture.png');
  await page.waitForSelector('#png[href]');
  const png = await page.evaluate(async () => Array.from(new Uint8Array(await (await fetch(document.getElementById('png').href)).arrayBuffer())));
  const before = await open('?iter=1');
  await page.evaluate((bytes) => {
    const transfer = new DataTransfer();
    transfer.items.add(new File([new Uint8Array(bytes)], 'tree.png', { type: 'image/png' }));
    document.getElementById('view').dispatchEvent(new DragEvent('drop', { dataTransfer: transfer, bubbles: true, cancelable: true }));
  }, png);
  assert.equal(await newPicture(before), golden.get(options));
  assert.deepEqual(await controls(), { type: '4', seed: '77', iter: '4', dark: '1', prefx: '1', postfx: '2', spikes: '64' });
});

test('every control has a label and answers the keyboard; the picture names its options', { timeout: 120_000 }, async () => {
  await open('?iter=3&type=1&seed=9');
  const unlabelled = await page.$$eval('input, select, textarea, button, a.button, summary', (all) => all
    .filter((control) => !(control.labels && control.labels.length) && !control.getAttribute('aria-label') &&
      !control.textContent.trim() && !control.getAttribute('aria-labelledby'))
    .map((control) => control.outerHTML));
  assert.deepEqual(unlabelled, []);
  assert.match(await page.getAttribute('canvas', 'aria-label'), /type 1 .*seed 9, 3 generations/);
  // Tab reaches the type; an arrow key changes it.
  const before = await page.getAttribute('canvas', 'data-sha256');
  await page.focus('body');
  for (let i = 0; i < 20 && await page.evaluate(() => document.activeElement.name) !== 'type'; i++) await page.keyboard.press('Tab');
  await page.keyboard.press('ArrowDown');
  await newPicture(before);
  assert.match(page.url(), /type=2/);
});

test('the next seeds are their pictures, scaled', { timeout: 240_000 }, async () => {
  await open('?iter=5&type=1&seed=40');
  await page.click('#seedsBox summary');
  await page.waitForFunction(() => [...document.querySelectorAll('#grid canvas')].filter((c) => c.dataset.sha256).length === 12,
    null, { timeout: 180_000 });
  const thumbnails = await page.$$eval('#grid a', (all) => all.map((a) => ({ href: a.href, seed: a.querySelector('canvas').dataset.seed })));
  assert.equal(thumbnails.length, 12);
  assert.deepEqual(thumbnails.map((t) => t.seed), Array.from({ length: 12 }, (_, i) => String(41 + i)));
  const drawn = await Promise.all([0, 11].map((k) => page.$eval(`#grid canvas[data-seed="${41 + k}"]`, (c) =>
    [c.dataset.sha256, Array.from(c.getContext('2d').getImageData(0, 0, c.width, c.height).data), Number(c.dataset.factor)])));
  for (const [k, [sha, pixels, factor]] of [0, 11].map((k, i) => [k, drawn[i]])) {
    assert.equal(await open(thumbnails[k].href.slice(origin.length + 1)), sha);
    // Each pixel of the thumbnail: the rounded mean of its square of the picture.
    const expected = await page.evaluate((f) => {
      const canvas = document.getElementById('picture');
      const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
      const out = [];
      for (let y = 0; y < Math.ceil(canvas.height / f); y++) {
        for (let x = 0; x < Math.ceil(canvas.width / f); x++) {
          const sum = [0, 0, 0];
          let count = 0;
          for (let v = y * f; v < Math.min(canvas.height, y * f + f); v++) {
            for (let u = x * f; u < Math.min(canvas.width, x * f + f); u++, count++) {
              for (let c = 0; c < 3; c++) sum[c] += data[(v * canvas.width + u) * 4 + c];
            }
          }
          out.push(...sum.map((s) => Math.floor((s + count / 2) / count)), 255);
        }
      }
      return out;
    }, factor);
    assert.ok(factor > 1 && pixels.length === expected.length && pixels.every((p, i) => p === expected[i]), `seed ${41 + k}`);
  }
});
