#!/usr/bin/env node
// check-filter.js -- the HTML filter against a real browser.
//
//   node check-filter.js --filter QUORIX_HTML_FILTER --work DIR [--concurrency N] [--settle MS]
//
// 1. Every vector of tests/data/xss/html, wrapped as <html><body>...</body></html>, filtered
//    with the HTML options of the built-in profiles Low, Medium and High and with only
//    RemoveScripting on ("Scripting"); each distinct output rendered once, in one run of
//    render-check.js --interact (it hovers and clicks as a reader would). Fails unless, for
//    every profile, no vector runs script and none leaves script-capable markup (dom_active),
//    and under High none reaches the network while the page loads (load_network).
// 2. The text kept: the sanitizer-case vectors and the HTML parts of tests/data/corpus, the
//    text Chromium shows (visible-text.js, JavaScript off) from the filtered HTML against the
//    text it shows from the original, whitespace collapsed. Fails unless it is equal for at
//    least 98% of them under Medium; lists the others with the first difference.
//
// Everything goes to DIR (emptied first): the filtered files per profile, the rendered files
// by hash, render.jsonl, text.jsonl, and report.json with every result per profile.
'use strict';
const fs = require('fs');
const path = require('path');
const crypto = require('crypto');
const { spawn, spawnSync } = require('child_process');

const HERE = __dirname;
const DATA = path.join(HERE, '..', 'data');
const PROFILES = ['Low', 'Medium', 'High', 'Scripting'];
const TEXT_PROFILE = 'Medium';
const TEXT_KEPT_GOAL = 0.98;
const RAW_BASELINE = path.join(DATA, 'xss', 'render-raw.jsonl');

function parseArgs(argv) {
  const o = { filter: null, work: null, concurrency: 2, settle: null };
  for (let i = 0; i < argv.length; i++) {
    const a = argv[i];
    const next = () => { if (i + 1 >= argv.length) usage(`${a} needs a value`); return argv[++i]; };
    if (a === '--filter') o.filter = next();
    else if (a === '--work') o.work = next();
    else if (a === '--concurrency') o.concurrency = Math.max(1, +next());
    else if (a === '--settle') o.settle = +next();
    else usage(`unknown argument ${a}`);
  }
  if (!o.filter || !o.work) usage('--filter and --work are needed');
  return o;
}

function usage(msg) {
  if (msg) process.stderr.write(`check-filter: ${msg}\n`);
  process.stderr.write('usage: node check-filter.js --filter QUORIX_HTML_FILTER --work DIR [--concurrency N] [--settle MS]\n');
  process.exit(2);
}

// Runs a program to its end; returns its stderr.
function run(command, args, what) {
  const r = spawnSync(command, args, { encoding: 'utf8', maxBuffer: 64 << 20, stdio: ['ignore', 'pipe', 'pipe'] });
  if (r.error || r.status !== 0) {
    process.stderr.write(r.stderr || '');
    throw new Error(`${what} failed (${r.error ? r.error.message : `exit ${r.status}`})`);
  }
  return r.stderr;
}

// Runs the filter program; returns the names it refused.
function filterFolder(binary, profile, wrap, from, to) {
  const stderr = run(binary, ['--profile', profile, ...(wrap ? ['--wrap'] : []), from, to],
                     `quorix_html_filter --profile ${profile} ${from}`);
  const refused = new Set();
  for (const line of stderr.split('\n')) {
    const m = /^quorix_html_filter: refused (\S+):/.exec(line);
    if (m) refused.add(m[1]);
  }
  return refused;
}

// Starts a program whose output is shown as it comes; resolves when it ends well.
function runAsync(command, args, what) {
  return new Promise((resolve, reject) => {
    const child = spawn(command, args, { stdio: ['ignore', 'inherit', 'inherit'] });
    child.on('error', (e) => reject(new Error(`${what} failed (${e.message})`)));
    child.on('exit', (code, signal) => (code === 0 ? resolve()
      : reject(new Error(`${what} failed (${signal ? `signal ${signal}` : `exit ${code}`})`))));
  });
}

const sha = (bytes) => crypto.createHash('sha256').update(bytes).digest('hex').slice(0, 20);

// Copies each distinct file once into `dir` as <hash>.html; returns file -> hash.
function byHash(files, dir) {
  fs.mkdirSync(dir, { recursive: true });
  const hashOf = new Map();
  for (const f of files) {
    const bytes = fs.readFileSync(f);
    const h = sha(bytes);
    const target = path.join(dir, `${h}.html`);
    if (!fs.existsSync(target)) fs.writeFileSync(target, bytes);
    hashOf.set(f, h);
  }
  return hashOf;
}

function readJSONLines(file) {
  return fs.readFileSync(file, 'utf8').split('\n').filter((l) => l.trim()).map((l) => JSON.parse(l));
}

const normalise = (text) => text.replace(/\s+/g, ' ').trim();

function firstDifference(a, b) {
  let i = 0;
  while (i < a.length && i < b.length && a[i] === b[i]) i++;
  const from = Math.max(0, i - 30);
  const show = (s) => JSON.stringify(s.slice(from, i + 40));
  return `at ${i}: original ${show(a)}, filtered ${show(b)}`;
}

function pct(n, d) { return d ? `${(100 * n / d).toFixed(1)}%` : '-'; }

function executedDetail(r) {
  const out = [];
  for (const c of r.calls) out.push(`call ${c.fn}(${c.args.join(',')})`);
  for (const d of r.dialogs) out.push(`dialog ${d}`);
  for (const c of r.console) out.push(`console ${c}`);
  for (const e of r.errors) out.push(`error ${e}`);
  if (r.scripts) out.push(`${r.scripts} scripts ${(r.script_urls || []).join(' ')}`);
  if (r.script_requests) out.push(`${r.script_requests} script requests`);
  return out;
}

async function main() {
  const opt = parseArgs(process.argv.slice(2));
  const t0 = Date.now();
  const work = path.resolve(opt.work);
  fs.rmSync(work, { recursive: true, force: true });
  fs.mkdirSync(work, { recursive: true });
  const vectors = JSON.parse(fs.readFileSync(path.join(DATA, 'xss', 'vectors.json'), 'utf8'));
  const kindOf = new Map(vectors.map((v) => [v.id, v.kind]));
  const vectorDir = path.join(DATA, 'xss', 'html');
  const ids = fs.readdirSync(vectorDir).filter((f) => f.endsWith('.html')).map((f) => f.slice(0, -5)).sort();

  // -- filtering
  const refused = {};
  for (const p of ['none', ...PROFILES]) {
    refused[p] = filterFolder(opt.filter, p, true, vectorDir, path.join(work, 'vectors', p));
  }
  run(opt.filter, ['--extract-html', path.join(DATA, 'corpus'), path.join(work, 'corpus', 'parts')], 'extracting the corpus HTML');
  const parts = fs.readdirSync(path.join(work, 'corpus', 'parts')).filter((f) => f.endsWith('.html')).sort();
  const corpusRefused = {};
  for (const p of ['none', ...PROFILES]) {
    corpusRefused[p] = filterFolder(opt.filter, p, false, path.join(work, 'corpus', 'parts'), path.join(work, 'corpus', p));
  }
  const tFiltered = Date.now();

  // -- rendering every distinct filtered vector once and, beside it, the visible text of the
  // originals and of every profile's output for the sanitizer cases and the corpus. Rendering
  // with --interact mostly waits on timers, so the text, which needs the processor, runs
  // alongside it and costs little time.
  const renderFiles = [];
  for (const p of PROFILES) for (const id of ids) renderFiles.push(path.join(work, 'vectors', p, `${id}.html`));
  const renderHash = byHash(renderFiles, path.join(work, 'render'));
  const distinct = new Set(renderHash.values()).size;

  const textItems = [];   // {name, files: {profile: file}}
  for (const id of ids) {
    if (kindOf.get(id) !== 'sanitizer-case') continue;
    const files = {};
    for (const p of ['none', ...PROFILES]) files[p] = path.join(work, 'vectors', p, `${id}.html`);
    textItems.push({ name: id, files });
  }
  for (const part of parts) {
    const files = {};
    for (const p of ['none', ...PROFILES]) files[p] = path.join(work, 'corpus', p, part);
    textItems.push({ name: `corpus/${part.slice(0, -5)}`, files });
  }
  const textHash = byHash(textItems.flatMap((t) => Object.values(t.files)), path.join(work, 'text'));
  process.stderr.write(`check-filter: ${ids.length} vectors x ${PROFILES.length} profiles, ${distinct} distinct ` +
                       `outputs to render; ${new Set(textHash.values()).size} distinct documents for the visible text\n`);

  const renderArgs = [path.join(HERE, 'render-check.js'), '--interact', '--concurrency', String(opt.concurrency),
                      '--out', path.join(work, 'render.jsonl')];
  if (opt.settle !== null) renderArgs.push('--settle', String(opt.settle));
  let tRendered = 0, tText = 0;
  await Promise.all([
    runAsync(process.execPath, [...renderArgs, path.join(work, 'render')], 'render-check.js')
      .then(() => { tRendered = Date.now(); }),
    runAsync(process.execPath, [path.join(HERE, 'visible-text.js'), '--concurrency', '1',
                                '--out', path.join(work, 'text.jsonl'), path.join(work, 'text')], 'visible-text.js')
      .then(() => { tText = Date.now(); }),
  ]);
  const rendered = new Map(readJSONLines(path.join(work, 'render.jsonl')).map((r) => [path.basename(r.file, '.html'), r]));
  const texts = new Map(readJSONLines(path.join(work, 'text.jsonl')).map((r) => [path.basename(r.file, '.html'), r]));

  // -- judging
  const failures = [];
  const report = { profiles: {}, text: {} };
  const rows = [];
  for (const p of PROFILES) {
    const res = { executed: [], network: [], load_network: [], dom_active: [], refused: [...refused[p]], not_loaded: [] };
    for (const id of ids) {
      const file = path.join(work, 'vectors', p, `${id}.html`);
      const r = rendered.get(renderHash.get(file));
      if (!r) { failures.push(`${p} ${id}: not rendered`); continue; }
      const where = `${p} ${id} (${path.relative(process.cwd(), file)})`;
      if (r.load !== 'ok') res.not_loaded.push(id);
      if (r.executed) {
        res.executed.push({ id, detail: executedDetail(r) });
        failures.push(`${where}: script ran: ${executedDetail(r).join('; ')}`);
      }
      if (r.network) res.network.push({ id, requests: r.requests, navigations: r.navigations });
      if (r.load_network) {
        res.load_network.push({ id, requests: r.requests });
        if (p === 'High') failures.push(`${where}: loads ${r.requests.map((q) => `${q.type} ${q.url}`).join(', ')}`);
      }
      if (r.dom_active.length) {
        res.dom_active.push({ id, dom_active: r.dom_active });
        failures.push(`${where}: script-capable markup ${r.dom_active.join(' ')}`);
      }
    }
    report.profiles[p] = res;
  }

  const textOf = (file) => {
    const r = texts.get(textHash.get(file));
    return r ? normalise(r.text) : null;
  };
  for (const p of PROFILES) {
    const lost = [];
    for (const t of textItems) {
      const original = textOf(t.files.none);
      const filtered = textOf(t.files[p]);
      if (original === null || filtered === null) { lost.push({ name: t.name, why: 'no text rendered' }); continue; }
      if (original !== filtered) {
        const why = filtered === '' && fs.statSync(t.files[p]).size === 0 ? 'refused by the filter'
                  : firstDifference(original, filtered);
        lost.push({ name: t.name, why });
      }
    }
    report.text[p] = { checked: textItems.length, kept: textItems.length - lost.length, lost };
  }
  const medium = report.text[TEXT_PROFILE];
  const keptShare = medium.kept / medium.checked;
  if (keptShare < TEXT_KEPT_GOAL) {
    failures.push(`${TEXT_PROFILE}: text kept in ${pct(medium.kept, medium.checked)} of ${medium.checked}, goal ${100 * TEXT_KEPT_GOAL}%`);
  }

  // -- summary
  const raw = readJSONLines(RAW_BASELINE);
  const count = (list, f) => list.filter(f).length;
  rows.push(['unfiltered (render-raw.jsonl)', count(raw, (r) => r.executed), count(raw, (r) => r.network),
             raw.some((r) => 'load_network' in r) ? count(raw, (r) => r.load_network) : '-',
             count(raw, (r) => r.dom_active.length), '-', '-']);
  for (const p of PROFILES) {
    const res = report.profiles[p];
    const t = report.text[p];
    rows.push([p, res.executed.length, res.network.length, res.load_network.length, res.dom_active.length,
               `${t.kept}/${t.checked} (${pct(t.kept, t.checked)})`, res.refused.length]);
  }
  const head = ['profile', 'executed', 'network', 'load_network', 'dom_active', 'text kept', 'refused'];
  const widths = head.map((h, i) => Math.max(h.length, ...rows.map((r) => String(r[i]).length)));
  const line = (r) => r.map((c, i) => String(c).padEnd(widths[i])).join('  ');
  const out = [];
  out.push('', `check-filter: ${ids.length} vectors per profile; text kept over ${textItems.length} documents ` +
           `(${textItems.length - parts.length} sanitizer cases, ${parts.length} corpus HTML parts)`);
  out.push(line(head), widths.map((w) => '-'.repeat(w)).join('  '), ...rows.map(line));
  out.push('', `text not kept under ${TEXT_PROFILE} (${medium.lost.length}):`);
  for (const l of medium.lost) out.push(`  ${l.name}: ${l.why}`);
  const notLoaded = PROFILES.flatMap((p) => report.profiles[p].not_loaded.map((id) => `${p} ${id}`));
  if (notLoaded.length) out.push('', `did not finish loading (results still count): ${notLoaded.join(', ')}`);
  const seconds = (a, b) => `${((b - a) / 1000).toFixed(0)} s`;
  out.push('', `time: filtering ${seconds(t0, tFiltered)}, rendering ${distinct} files ${seconds(tFiltered, tRendered)}, ` +
           `visible text (alongside) ${seconds(tFiltered, tText)}, total ${seconds(t0, Date.now())}`);
  report.summary = { head, rows, seconds: (Date.now() - t0) / 1000, distinct_rendered: distinct };
  fs.writeFileSync(path.join(work, 'report.json'), JSON.stringify(report, null, 1));
  process.stdout.write(out.join('\n') + '\n');

  if (failures.length) {
    process.stdout.write(`\ncheck-filter: FAILED, ${failures.length} findings (details in ${path.join(work, 'report.json')}):\n`);
    for (const f of failures) process.stdout.write(`  ${f}\n`);
    process.exit(1);
  }
  process.stdout.write('\ncheck-filter: passed\n');
}

main().catch((e) => {
  process.stderr.write(`check-filter: ${e.stack || e}\n`);
  process.exit(1);
});
