// The page in headless Chromium, served on 127.0.0.1: a link's picture is
// the golden one of the same options, bad values fall back as on the command
// line, a changed control draws the picture that the shown command line
// draws under node, the canvas holds the BMP's pixels, no link freezes the
// page, and a result never outlives its run.
//
//   BRAMBLEWISP_SITE=build-web/site BRAMBLEWISP_NODE_PROGRAM=build-web/bramblewisp.js node web/tests/page.test.mjs
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, execFileSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { existsSync, mkdtempSync, copyFileSync, readFileSync, rmSync } from 'node:fs';
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

const controls = () => page.evaluate(() => Object.fromEntries(
  ['type', 'seed', 'iter', 'dark', 'prefx', 'postfx', 'spikes'].map((name) => {
    const control = document.forms.controls.elements[name];
    return [name, control.type === 'checkbox' ? (control.checked ? '1' : '0') : control.value];
  })));

test('a link draws the golden picture of its options', { timeout: 300_000 }, async (t) => {
  const cases = [
    // The whole command line in the address.
    ['?time=1&mem=1&cpu=1&iter=6&type=1&prefx=0&postfx=1', '-time 1 -mem 1 -cpu 1 -iter 6 -type 1 -prefx 0 -postfx 1'],
    ['?time=1&mem=1&cpu=1&iter=4&type=4&seed=77&dark=1&postfx=2', '-time 1 -mem 1 -cpu 1 -iter 4 -type 4 -seed 77 -dark 1 -postfx 2'],
    // Missing values at their defaults, -iter at 12.
    ['?type=2&dark=1&prefx=2&postfx=3', '-time 1 -mem 1 -cpu 1 -iter 12 -type 2 -dark 1 -prefx 2 -postfx 3'],
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

// The picture that the command line shown draws, run by bash under node.
function pictureOfCommandLine(commandLine) {
  const work = mkdtempSync(join(tmpdir(), 'bramblewisp-page-'));
  try {
    copyFileSync(join(repository, 'font.bmp'), join(work, 'font.bmp'));
    execFileSync('bash', ['-c', commandLine.replace(/^build\/bramblewisp /, 'node "$0" '), nodeProgram],
      { cwd: work, stdio: 'ignore', timeout: PICTURE_MS });
    return createHash('sha256').update(readFileSync(join(work, 'testSystem.bmp'))).digest('hex');
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
}

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
