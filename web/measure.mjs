// Wall times per type: the native program, the same under node, the run
// inside the page's worker in headless Chromium, and the page's whole time
// from a change to the finished picture. Runs interleave; medians are shown.
//
//   node web/measure.mjs build/bramblewisp build-web/bramblewisp.js build-web/site [runs [portable]]
//
// portable: a native build with -DBRAMBLEWISP_NO_SIMD, the code path that
// WebAssembly takes.
import { spawnSync, spawn } from 'node:child_process';
import { mkdtempSync, copyFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const [native, nodeProgram, site, runsText = '5', portableArgument] = process.argv.slice(2);
const portable = portableArgument && resolve(portableArgument);
const runs = Number(runsText);
const repository = join(dirname(fileURLToPath(import.meta.url)), '..');
const options = (type) => ['-time', '1', '-mem', '1', '-cpu', '1', '-iter', '12', '-type', String(type)];
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

const work = mkdtempSync(join(tmpdir(), 'bramblewisp-measure-'));
copyFileSync(join(repository, 'font.bmp'), join(work, 'font.bmp'));
const timed = (command, args) => {
  const start = process.hrtime.bigint();
  spawnSync(command, args, { cwd: work, stdio: 'ignore', timeout: 120_000 });
  return Number(process.hrtime.bigint() - start) / 1e6;
};

const server = spawn('timeout', ['900', 'python3', '-u', '-m', 'http.server', '0', '--bind', '127.0.0.1', '--directory', resolve(site)],
  { stdio: ['ignore', 'pipe', 'ignore'] });
const origin = await new Promise((done) => server.stdout.on('data', (c) => {
  const port = /port (\d+)/.exec(String(c));
  if (port) done(`http://127.0.0.1:${port[1]}`);
}));
const browser = await chromium.launch({
  executablePath: '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync'],
});
const page = await browser.newPage();
page.setDefaultTimeout(120_000);
await page.goto(`${origin}/?iter=0`);
await page.waitForSelector('canvas[data-sha256]', { state: 'attached' });

console.log(`| type | native ms |${portable ? ' portable ms |' : ''} node ms | node / native | Chromium run ms | Chromium / native | page change to picture ms |`);
console.log(`|---|---|${portable ? '---|' : ''}---|---|---|---|---|`);
for (let type = 0; type <= 4; type++) {
  const times = { native: [], portable: [], node: [], run: [], page: [] };
  for (let i = 0; i < runs; i++) {
    times.native.push(timed(resolve(native), options(type)));
    if (portable) times.portable.push(timed(portable, options(type)));
    times.node.push(timed('node', [resolve(nodeProgram), ...options(type)]));
    // A change of the type control, as a person makes it.
    await page.selectOption('select[name=type]', String(type === 0 ? 1 : 0));
    await page.waitForSelector('canvas[data-sha256]', { state: 'attached' });
    await page.fill('input[name=iter]', '12');
    await page.selectOption('select[name=type]', String(type));
    await page.waitForFunction((t) => document.getElementById('picture').dataset.sha256 &&
      new URLSearchParams(location.search).get('type') === t && new URLSearchParams(location.search).get('iter') === '12', String(type));
    times.run.push(Number(await page.getAttribute('canvas', 'data-run-ms')));
    times.page.push(Number(await page.getAttribute('canvas', 'data-ms')));
  }
  const [n, o, j, r, p] = [times.native, times.portable, times.node, times.run, times.page].map(median);
  console.log(`| ${type} | ${n.toFixed(0)} |${portable ? ` ${o.toFixed(0)} |` : ''} ${j.toFixed(0)} | ${(j / n).toFixed(2)} | ${r.toFixed(0)} | ${(r / n).toFixed(2)} | ${p.toFixed(0)} |`);
}
await browser.close();
server.kill();
rmSync(work, { recursive: true, force: true });
