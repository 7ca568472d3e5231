#!/usr/bin/env node
// compare-tokenizer.js -- does our tokenizer see the markup that Chromium sees?
//
//   node compare-tokenizer.js --roundtrip BIN [--vectors DIR] [--expect FILE]
//                             [--write-expectations] [--show ID]... [--chromium PATH]
//   node compare-tokenizer.js --identity [--vectors DIR]
//
// Every vector (DIR/*.html, default tests/data/xss/html) goes through BIN (quorix_html_roundtrip)
// twice: "rewriter" is what the tokenizer + HTMLRewriter write; "events" is the same with the
// texts the rewriter copies unparsed (comments, raw content, processing instructions) left
// out, i.e. only what a filter between tokenizer and rewriter gets to judge. Chromium parses
// the original and both outputs (dom-structure.js) and the element trees with their
// attributes are compared; text is not.
//
// A difference is "dangerous" when Chromium builds an element or an attribute (name and value)
// from the original that the parse of our output lacks: markup our tokenizer read as text or
// never saw, so a filter between tokenizer and rewriter cannot have judged it. The other
// differences are benign: our side has more markup, or the same markup nested differently.
//
// The differences are checked against the reviewed file --expect (default
// tests/browser/tokenizer-differences.json: per view, vector id -> cause). The run fails on a
// difference the file does not list and on a listed one that no longer occurs.
// --write-expectations rewrites the file from this run's causes instead (review the diff).
// --identity compares the originals with themselves: a check of the pipeline.
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const { execFileSync } = require('child_process');
const { openParser } = require('./dom-structure');
const { classify } = require('./difference-causes');

const HERE = __dirname;
const VIEWS = ['rewriter', 'events'];

function parseArgs(argv) {
  const o = { roundtrip: null, vectors: path.join(HERE, '../data/xss/html'),
              expect: path.join(HERE, 'tokenizer-differences.json'), write: false, identity: false,
              show: [], chromium: undefined };
  for (let i = 0; i < argv.length; i++) {
    const a = argv[i];
    const next = () => { if (i + 1 >= argv.length) usage(`${a} needs a value`); return argv[++i]; };
    if (a === '--roundtrip') o.roundtrip = next();
    else if (a === '--vectors') o.vectors = next();
    else if (a === '--expect') o.expect = next();
    else if (a === '--write-expectations') o.write = true;
    else if (a === '--identity') o.identity = true;
    else if (a === '--show') o.show.push(next());
    else if (a === '--chromium') o.chromium = next();
    else if (a === '-h' || a === '--help') usage();
    else usage(`unknown argument ${a}`);
  }
  if (!o.identity && !o.roundtrip) usage('--roundtrip BIN is needed (or --identity)');
  return o;
}

function usage(msg) {
  if (msg) process.stderr.write(`compare-tokenizer: ${msg}\n`);
  process.stderr.write('usage: node compare-tokenizer.js --roundtrip BIN [--vectors DIR] [--expect FILE] ' +
                       '[--write-expectations] [--show ID]... | --identity\n');
  process.exit(2);
}

// The compared part of a canonical tree: elements, attributes, document types, template
// contents; text lines go.
const structure = (tree) => tree.filter((l) => !l.trimStart().startsWith('#text'));

// Elements as {name, attrs: [[name, value]...], depth} in document order.
function elements(tree) {
  const out = [];
  for (const line of tree) {
    const body = line.trimStart();
    if (body.startsWith('@')) {
      const eq = body.indexOf('=');
      out[out.length - 1].attrs.push([body.slice(1, eq), JSON.parse(body.slice(eq + 1))]);
    } else if (!body.startsWith('#') && !body.startsWith('!')) {
      out.push({ name: body, attrs: [], depth: line.length - body.length });
    }
  }
  return out;
}

const count = (keys) => keys.reduce((m, k) => m.set(k, (m.get(k) || 0) + 1), new Map());

// What Chromium builds from the original and not from ours ("missing"), and the reverse.
function compareTrees(original, ours) {
  const keysOf = (els) => els.flatMap((e) => [`<${e.name}>`,
    ...e.attrs.map(([n, v]) => `<${e.name} ${n}=${JSON.stringify(v)}>`)]);
  const a = count(keysOf(elements(original))), b = count(keysOf(elements(ours)));
  const missing = [], extra = [];
  for (const [k, n] of a) if (n > (b.get(k) || 0)) missing.push(k);
  for (const [k, n] of b) if (n > (a.get(k) || 0)) extra.push(k);
  return { missing, extra };
}

function runRoundTrip(bin, vectors, work) {
  const dirs = {};
  for (const view of VIEWS) {
    dirs[view] = path.join(work, view);
    execFileSync(bin, ['--view', view, vectors, dirs[view]], { stdio: ['ignore', 'ignore', 'inherit'] });
  }
  return dirs;
}

function printShow(id, files, trees, rows) {
  for (const [label, file] of Object.entries(files)) {
    process.stdout.write(`--- ${id} ${label}: ${JSON.stringify(fs.readFileSync(file, 'latin1')).slice(0, 2000)}\n`);
    process.stdout.write(trees[label].map((l) => `    ${l}`).join('\n') + '\n');
  }
  for (const r of rows) process.stdout.write(`    ${r.view}: ${r.cause} missing=${JSON.stringify(r.missing)} ` +
                                             `extra=${JSON.stringify(r.extra)}\n`);
}

async function main() {
  const o = parseArgs(process.argv.slice(2));
  const names = fs.readdirSync(o.vectors).filter((n) => n.endsWith('.html')).sort();
  if (!names.length) throw new Error(`no .html vectors in ${o.vectors}`);
  const ids = names.map((n) => n.replace(/\.html$/, ''));
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'quorix-compare-tokenizer-'));
  const parser = await openParser({ chromium: o.chromium });
  let failed = false;
  try {
    const originals = names.map((n) => fs.readFileSync(path.join(o.vectors, n)));
    const originalTrees = await parser.parse(originals);
    if (o.identity) {
      const again = await parser.parse(originals);
      const same = again.filter((t, i) => JSON.stringify(structure(t)) === JSON.stringify(structure(originalTrees[i])));
      process.stdout.write(`identity: ${same.length} of ${names.length} vectors agree\n`);
      failed = same.length !== names.length;
      return;
    }
    const dirs = runRoundTrip(o.roundtrip, o.vectors, work);
    const outputs = {}, trees = {};
    for (const view of VIEWS) {
      outputs[view] = names.map((n) => fs.readFileSync(path.join(dirs[view], n)));
      trees[view] = await parser.parse(outputs[view]);
    }

    const found = { rewriter: {}, events: {} };
    const rows = [];
    for (const view of VIEWS) {
      let agree = 0;
      ids.forEach((id, i) => {
        const a = structure(originalTrees[i]), b = structure(trees[view][i]);
        if (JSON.stringify(a) === JSON.stringify(b)) { agree++; return; }
        const { missing, extra } = compareTrees(a, b);
        const dangerous = missing.length > 0;
        const cause = classify({ source: originals[i].toString('utf8'), output: outputs[view][i].toString('latin1'),
                                 view, missing, extra, dangerous });
        found[view][id] = cause;
        rows.push({ id, view, cause, dangerous, missing, extra });
      });
      process.stdout.write(`${view}: ${agree} of ${names.length} vectors agree\n`);
    }

    // Grouped by cause, the dangerous ones first.
    for (const view of VIEWS) {
      const groups = new Map();
      for (const r of rows.filter((x) => x.view === view)) {
        if (!groups.has(r.cause)) groups.set(r.cause, []);
        groups.get(r.cause).push(r);
      }
      const sorted = [...groups].sort((x, y) => (y[1].some((r) => r.dangerous) - x[1].some((r) => r.dangerous)) ||
                                                y[1].length - x[1].length);
      process.stdout.write(`\n${view}: differences by cause\n`);
      for (const [cause, list] of sorted) {
        const nd = list.filter((r) => r.dangerous).length;
        process.stdout.write(`  ${nd ? 'DANGEROUS' : 'benign   '} ${String(list.length).padStart(3)} ${cause}` +
                             (nd && nd !== list.length ? ` (${nd} dangerous)` : '') + '\n');
        for (const r of list.slice(0, 3)) {
          const what = r.missing.length ? `lacks ${r.missing.slice(0, 2).join(' ')}` : `extra ${r.extra.slice(0, 2).join(' ')}`;
          process.stdout.write(`              ${r.id}: ${what.slice(0, 150)}\n`);
        }
      }
    }

    for (const id of o.show) {
      const i = ids.indexOf(id);
      if (i < 0) { process.stdout.write(`--show: no vector ${id}\n`); continue; }
      printShow(id, { original: path.join(o.vectors, names[i]), rewriter: path.join(dirs.rewriter, names[i]),
                      events: path.join(dirs.events, names[i]) },
                { original: originalTrees[i], rewriter: trees.rewriter[i], events: trees.events[i] },
                rows.filter((r) => r.id === id));
    }

    if (o.write) {
      const sortObj = (m) => Object.fromEntries(Object.entries(m).sort());
      fs.writeFileSync(o.expect, JSON.stringify({ rewriter: sortObj(found.rewriter), events: sortObj(found.events) },
                                                null, 1) + '\n');
      process.stdout.write(`\nwrote ${o.expect}\n`);
      return;
    }
    const expected = JSON.parse(fs.readFileSync(o.expect, 'utf8'));
    const problems = [];
    for (const view of VIEWS) {
      const want = expected[view] || {};
      for (const [id, cause] of Object.entries(found[view])) {
        if (!(id in want)) problems.push(`${view} ${id}: new difference (${cause})`);
        else if (want[id] !== cause) process.stdout.write(`note: ${view} ${id} is listed as ${want[id]}, looks like ${cause}\n`);
      }
      for (const id of Object.keys(want)) {
        if (!(id in found[view])) problems.push(`${view} ${id}: listed (${want[id]}) but no longer differs`);
      }
    }
    process.stdout.write('\n');
    for (const p of problems) process.stdout.write(`FAIL ${p}\n`);
    if (problems.length) {
      process.stdout.write(`${problems.length} differences do not match ${path.relative(process.cwd(), o.expect)}; ` +
                           'look at them with --show ID, then fix the cause or update the file\n');
      failed = true;
    } else {
      process.stdout.write(`all differences are the ones listed in ${path.basename(o.expect)}\n`);
    }
  } finally {
    await parser.close();
    fs.rmSync(work, { recursive: true, force: true });
    process.exitCode = failed ? 1 : 0;
  }
}

main().catch((e) => { process.stderr.write(`compare-tokenizer: ${e.stack || e}\n`); process.exit(1); });
