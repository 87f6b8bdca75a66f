// Times per type, -iter 12 at 800 x 600: the native program on one thread,
// and for each site given, the run inside the page's worker in headless
// Chromium (data-run-ms) and the page's whole time from a change of the type
// control to the picture on the canvas (data-ms). Runs interleave, so that
// a load on the machine weighs on every column alike; medians are shown,
// with the load average before and after.
//
//   node web/measure.mjs build/bramblewisp LABEL=SITE [LABEL=SITE ...] [--runs N] [--types 0,1,2,3,4]
//
// For example, the page of two builds against the native program:
//   node web/measure.mjs build/bramblewisp before=/tmp/site-before after=build-web/site --runs 9
import { spawnSync, spawn } from 'node:child_process';
import { mkdtempSync, copyFileSync, rmSync } from 'node:fs';
import { tmpdir, loadavg } from 'node:os';
import { join, resolve, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const argv = process.argv.slice(2);
const option = (name, fallback) => {
  const at = argv.indexOf(name);
  return at < 0 ? fallback : argv.splice(at, 2)[1];
};
const runs = Number(option('--runs', '7'));
const types = option('--types', '0,1,2,3,4').split(',').map(Number);
const [native, ...siteArguments] = argv;
const sites = siteArguments.map((text) => {
  const [label, path] = text.split('=');
  return { label, path: resolve(path) };
});
const repository = join(dirname(fileURLToPath(import.meta.url)), '..');
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

const work = mkdtempSync(join(tmpdir(), 'bramblewisp-measure-'));
copyFileSync(join(repository, 'font.bmp'), join(work, 'font.bmp'));
const nativeMs = (type) => {
  const start = process.hrtime.bigint();
  spawnSync(resolve(native), ['-time', '1', '-mem', '1', '-cpu', '1', '-iter', '12', '-type', String(type)],
    { cwd: work, stdio: 'ignore', timeout: 120_000, env: { ...process.env, BRAMBLEWISP_WORKERS: '1' } });
  return Number(process.hrtime.bigint() - start) / 1e6;
};

const browser = await chromium.launch({
  executablePath: '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync'],
});
for (const site of sites) {
  site.server = spawn('timeout', ['3600', 'python3', '-u', '-m', 'http.server', '0', '--bind', '127.0.0.1', '--directory', site.path],
    { stdio: ['ignore', 'pipe', 'ignore'] });
  const origin = await new Promise((done) => site.server.stdout.on('data', (chunk) => {
    const port = /port (\d+)/.exec(String(chunk));
    if (port) done(`http://127.0.0.1:${port[1]}`);
  }));
  site.page = await browser.newPage();
  site.page.setDefaultTimeout(120_000);
  await site.page.goto(`${origin}/?iter=12&type=${types[0] === 0 ? 1 : 0}`);
  await site.page.waitForSelector('canvas[data-sha256]', { state: 'attached' });
}

// A change of the type control, as a person makes it, away and back.
async function pageMs(page, type) {
  await page.selectOption('select[name=type]', String(type === 0 ? 1 : 0));
  await page.waitForSelector('canvas[data-sha256]', { state: 'attached' });
  await page.selectOption('select[name=type]', String(type));
  await page.waitForFunction((t) => document.getElementById('picture').dataset.sha256 &&
    new URLSearchParams(location.search).get('type') === t, String(type));
  return [Number(await page.getAttribute('canvas', 'data-run-ms')), Number(await page.getAttribute('canvas', 'data-ms'))];
}

const loadBefore = loadavg()[0];
const header = ['type', 'native ms', ...sites.flatMap(({ label }) => [`${label} run ms`, `${label} run / native`, `${label} change to picture ms`])];
console.log(`| ${header.join(' | ')} |`);
console.log(`|${header.map(() => '---').join('|')}|`);
for (const type of types) {
  const times = { native: [], sites: sites.map(() => ({ run: [], page: [] })) };
  for (let i = 0; i < runs; i++) {
    times.native.push(nativeMs(type));
    for (const [s, site] of sites.entries()) {
      const [run, page] = await pageMs(site.page, type);
      times.sites[s].run.push(run);
      times.sites[s].page.push(page);
    }
  }
  const n = median(times.native);
  const cells = times.sites.flatMap(({ run, page }) => [median(run).toFixed(0), (median(run) / n).toFixed(2), median(page).toFixed(0)]);
  console.log(`| ${type} | ${n.toFixed(0)} | ${cells.join(' | ')} |`);
}
console.log(`\nload average (1 min): ${loadBefore.toFixed(1)} before, ${loadavg()[0].toFixed(1)} after; ${runs} interleaved runs each`);
await browser.close();
for (const site of sites) site.server.kill();
rmSync(work, { recursive: true, force: true });
