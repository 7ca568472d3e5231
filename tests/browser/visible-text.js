#!/usr/bin/env node
// visible-text.js -- the text a reader sees in HTML files: Chromium's document.body.innerText
// (layout applied, so hidden elements give none), with JavaScript off as in a mail reader.
//
//   node visible-text.js [--out FILE] [--concurrency N] [--timeout MS] [--chromium PATH] PATH...
//
// PATH: .html files or folders (not recursive). One JSON line per file: {file, text, load}.
// Each file is served under a fake origin; every other request is aborted, so nothing leaves
// the machine and a remote style sheet or font never changes what is shown.
'use strict';
const fs = require('fs');
const { listFiles } = require('./dom-structure');
const path = require('path');
const { chromium } = require('playwright-core');

function parseArgs(argv) {
  const o = { out: null, concurrency: 2, timeout: 4000, chromium: process.env.CHROMIUM || '/usr/bin/chromium',
              paths: [] };
  for (let i = 0; i < argv.length; i++) {
    const a = argv[i];
    const next = () => { if (i + 1 >= argv.length) usage(`${a} needs a value`); return argv[++i]; };
    if (a === '--out') o.out = next();
    else if (a === '--concurrency') o.concurrency = Math.max(1, +next());
    else if (a === '--timeout') o.timeout = +next();
    else if (a === '--chromium') o.chromium = next();
    else if (a.startsWith('--')) usage(`unknown option ${a}`);
    else o.paths.push(a);
  }
  if (!o.paths.length) usage('no PATH given');
  return o;
}

function usage(msg) {
  if (msg) process.stderr.write(`visible-text: ${msg}\n`);
  process.stderr.write('usage: node visible-text.js [--out FILE] [--concurrency N] [--timeout MS] [--chromium PATH] PATH...\n');
  process.exit(2);
}

async function main() {
  const opt = parseArgs(process.argv.slice(2));
  const files = listFiles(opt.paths);
  const browser = await chromium.launch({
    executablePath: opt.chromium,
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--disable-extensions', '--dns-prefetch-disable',
           '--host-resolver-rules=MAP * ~NOTFOUND , EXCLUDE localhost'],
    proxy: { server: 'http://127.0.0.1:9' },   // closed loopback port: a last-resort sink
  });
  const results = new Array(files.length);
  let next = 0;
  const worker = async () => {
    const context = await browser.newContext({ javaScriptEnabled: false, serviceWorkers: 'block', acceptDownloads: false });
    const docs = new Map();
    await context.route('**/*', async (route) => {
      const body = docs.get(route.request().url());
      if (body !== undefined) await route.fulfill({ status: 200, contentType: 'text/html', body }).catch(() => {});
      else await route.abort('blockedbyclient').catch(() => {});
    });
    let page = null;
    context.on('page', (p) => { if (page && p !== page) p.close().catch(() => {}); });
    page = await context.newPage();
    page.on('dialog', (d) => d.dismiss().catch(() => {}));
    while (next < files.length) {
      const i = next++;
      const url = `http://t${i}.visible-text.invalid/${encodeURIComponent(path.basename(files[i]))}`;
      docs.set(url, fs.readFileSync(files[i]));
      const r = { file: files[i], text: '', load: 'ok' };
      try {
        await page.goto(url, { waitUntil: 'load', timeout: opt.timeout });
      } catch (e) {
        r.load = /Timeout/i.test(e.message) ? 'timeout' : `error: ${e.message.split('\n')[0].slice(0, 120)}`;
      }
      try {
        if (page.url() !== url) r.load = `navigated to ${page.url().slice(0, 100)}`;
        // DevTools evaluation runs with page scripting off; the page's own scripts never run.
        r.text = await page.evaluate(() => (document.body || document.documentElement || { innerText: '' }).innerText || '');
      } catch (e) {
        r.load = `error: ${String(e.message || e).split('\n')[0].slice(0, 120)}`;
      }
      docs.delete(url);
      await page.goto('about:blank').catch(() => {});
      results[i] = r;
    }
    await context.close().catch(() => {});
  };
  try {
    await Promise.all(Array.from({ length: Math.min(opt.concurrency, files.length) }, worker));
  } finally {
    await browser.close().catch(() => {});
  }
  const lines = results.map((r) => JSON.stringify(r) + '\n').join('');
  if (opt.out) fs.writeFileSync(opt.out, lines);
  else process.stdout.write(lines);
}

main().catch((e) => { process.stderr.write(`visible-text: ${e.stack || e}\n`); process.exit(1); });
