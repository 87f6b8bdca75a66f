// The page in headless Chromium, served on 127.0.0.1: a link's picture is
// the golden one of the same options, bad values fall back as on the command
// line, a changed control draws the picture that the shown command line
// draws under node, and the canvas holds the BMP's pixels.
//
//   BRAMBLEWISP_SITE=build-web/site BRAMBLEWISP_NODE_PROGRAM=build-web/bramblewisp.js node web/tests/page.test.mjs
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, execFileSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { existsSync, mkdtempSync, copyFileSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';

const CHROMIUM = '/usr/bin/chromium';
const here = dirname(fileURLToPath(import.meta.url));
const repository = join(here, '..', '..');
const site = process.env.BRAMBLEWISP_SITE;
const nodeProgram = process.env.BRAMBLEWISP_NODE_PROGRAM;
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

test('a changed control draws the picture of the command line shown', { timeout: 180_000 }, async () => {
  const before = await open('?iter=7&type=3&dark=1&prefx=2');
  assert.equal(before, golden.get('-time 1 -mem 1 -cpu 1 -iter 7 -type 3 -dark 1 -prefx 2'));
  await page.selectOption('select[name=postfx]', '1');
  await page.waitForFunction((old) => {
    const sha = document.getElementById('picture').dataset.sha256;
    return sha && sha !== old;
  }, before);
  const after = await page.getAttribute('canvas', 'data-sha256');
  assert.match(page.url(), /postfx=1/);

  const commandLine = await page.inputValue('#commandLine');
  const args = commandLine.split(' ').slice(1);
  const work = mkdtempSync(join(tmpdir(), 'bramblewisp-page-'));
  try {
    copyFileSync(join(repository, 'font.bmp'), join(work, 'font.bmp'));
    execFileSync('node', [nodeProgram, ...args], { cwd: work, stdio: 'ignore', timeout: PICTURE_MS });
    assert.equal(after, createHash('sha256').update(readFileSync(join(work, 'testSystem.bmp'))).digest('hex'));
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
  console.log(`change to picture: ${await page.getAttribute('canvas', 'data-ms')} ms`);
  if (process.env.BRAMBLEWISP_SCREENSHOT) await page.screenshot({ path: process.env.BRAMBLEWISP_SCREENSHOT });
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
