#!/usr/bin/env node
// compare-tokenizer.js -- does our tokenizer see the markup that Chromium sees?
//
//   node compare-tokenizer.js --roundtrip BIN [--vectors DIR] [--expect FILE]
//                             [--write-expectations] [--show ID]... [--chromium PATH]
//   node compare-tokenizer.js --identity [--vectors DIR]
//
// Every vector (DIR/*.html, default tests/data/xss/html) goes through BIN (quorix_html_roundtrip)
// twice: "rewriter" is what the tokenizer + HTMLRewriter write; "events" the same with the
// texts the rewriter copies unparsed (comments, raw content, processing instructions, other
// declarations than a document type) left out: only what a filter between tokenizer and
// rewriter gets to judge. Chromium parses the original and both outputs (dom-structure.js);
// the element trees with their attributes are compared, text is not. Two comparisons:
//
//   original -> rewriter   Is the markup Chromium builds from the vector the markup it builds
//                          from our output? "missed": Chromium builds an element or attribute
//                          with a live name (see difference-causes.js) from the original that
//                          our output lacks or has with another value: our tokenizer read that
//                          markup differently (as text, as another name, not at all), so the
//                          filter judged something other than what a browser would show.
//   events -> rewriter     Does the rewriter write markup that no event described? "unjudged":
//                          Chromium builds an element or attribute from the rewriter's output
//                          that it does not build from the events-only output. Such markup
//                          passes any filter between the two unseen: the way to fool it.
//
// The differences are checked against the reviewed file --expect (default
// tests/browser/tokenizer-differences.json: per comparison, vector id -> cause). The run fails
// on a difference the file does not list and on a listed one that no longer occurs.
// --write-expectations rewrites the file from this run's causes instead (review the diff).
// --identity compares the originals with a second parse of themselves: a check of the pipeline.
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const { execFileSync } = require('child_process');
const { openParser } = require('./dom-structure');
const causes = require('./difference-causes');

const HERE = __dirname;
const VIEWS = ['rewriter', 'events'];
const PAIRS = [
  { name: 'rewriter', from: 'original', to: 'rewriter', flag: 'MISSED', classify: causes.classifyRewriter,
    dangerous: ({ missing }) => missing.some(causes.isLive) },
  { name: 'unjudged', from: 'events', to: 'rewriter', flag: 'UNJUDGED', classify: causes.classifyUnjudged,
    dangerous: ({ extra }) => extra.length > 0 },
];

function parseArgs(argv) {
  const o = { roundtrip: null, vectors: path.join(HERE, '../data/xss/html'),
              expect: path.join(HERE, 'tokenizer-differences.json'),
              cases: path.join(HERE, '../data/html/browser-disagreements.tsv'), write: false, identity: false,
              show: [], chromium: undefined };
  for (let i = 0; i < argv.length; i++) {
    const a = argv[i];
    const next = () => { if (i + 1 >= argv.length) usage(`${a} needs a value`); return argv[++i]; };
    if (a === '--roundtrip') o.roundtrip = next();
    else if (a === '--vectors') o.vectors = next();
    else if (a === '--expect') o.expect = next();
    else if (a === '--cases') o.cases = next();
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
                       '[--cases TSV] [--write-expectations] [--show ID]... | --identity\n');
  process.exit(2);
}

// The compared part of a canonical tree: elements, attributes, document types, template
// contents; text goes.
const structure = (tree) => tree.filter((l) => !l.trimStart().startsWith('#text'));

// Items in document order: {element} for each element, {element, attr, value} for each of
// its attributes.
function items(tree) {
  const out = [];
  let element = null;
  for (const line of tree) {
    const body = line.trimStart();
    if (body.startsWith('@')) {
      const [, name, value] = /^@("(?:[^"\\]|\\.)*")=(.*)$/.exec(body);
      out.push({ element, attr: JSON.parse(name), value: JSON.parse(value) });
    } else if (!body.startsWith('#') && !body.startsWith('!')) {
      element = body;
      out.push({ element });
    }
  }
  return out;
}

// One line for a whole tree, for the regression table: name(attr="value" ...){children},
// children separated by spaces; the html element, an empty head and an attribute-less body
// are left out, so that '<p>' reads 'p'. Names outside letters, digits, "-" and ":" are quoted.
function compact(tree) {
  const root = { name: '#root', attrs: [], children: [] };
  const stack = [{ depth: -1, node: root }];
  for (const line of structure(tree)) {
    const body = line.trimStart(), depth = line.length - body.length;
    while (stack[stack.length - 1].depth >= depth) stack.pop();
    const parent = stack[stack.length - 1].node;
    if (body.startsWith('@')) {
      const [, name, value] = /^@("(?:[^"\\]|\\.)*")=(.*)$/.exec(body);
      parent.attrs.push([JSON.parse(name), JSON.parse(value)]);
      continue;
    }
    const node = { name: body.startsWith('!doctype ') ? `!doctype(${body.slice(9)})` : body, attrs: [], children: [] };
    parent.children.push(node);
    stack.push({ depth, node });
  }
  const name = (n) => (/^[A-Za-z0-9:!#()-]+$/.test(n) ? n : JSON.stringify(n));
  const write = (n) => name(n.name) +
    (n.attrs.length ? `(${n.attrs.map(([k, v]) => `${name(k)}=${JSON.stringify(v)}`).join(' ')})` : '') +
    (n.children.length ? `{${n.children.map(write).join(' ')}}` : '');
  const top = [];
  for (const n of root.children) {
    if (n.name !== 'html' || n.attrs.length) { top.push(n); continue; }
    for (const c of n.children) {
      if (c.name === 'head' && !c.attrs.length && !c.children.length) continue;
      if (c.name === 'body' && !c.attrs.length) top.push(...c.children); else top.push(c);
    }
  }
  return top.map(write).join(' ');
}

const count = (keys) => keys.reduce((m, k) => m.set(k, (m.get(k) || 0) + 1), new Map());

const itemKey = (m) => (m.attr === undefined ? `<${m.element}>` : `<${m.element} ${m.attr}=${JSON.stringify(m.value)}>`);

// Items of tree a that tree b lacks (as multisets), and the reverse.
function compareTrees(a, b) {
  const tally = (list) => {
    const m = new Map();
    for (const it of list) {
      const k = itemKey(it);
      if (!m.has(k)) m.set(k, []);
      m.get(k).push(it);
    }
    return m;
  };
  const ta = tally(items(a)), tb = tally(items(b));
  const surplus = (x, y) => [...x].flatMap(([k, l]) => l.slice((y.get(k) || []).length));
  return { missing: surplus(ta, tb), extra: surplus(tb, ta) };
}

function runRoundTrip(bin, vectors, work, prefix) {
  const dirs = {};
  for (const view of VIEWS) {
    dirs[view] = path.join(work, prefix + view);
    execFileSync(bin, ['--view', view, vectors, dirs[view]], { stdio: ['ignore', 'ignore', 'inherit'] });
  }
  return dirs;
}

function describeRow(r) {
  const list = r.pair.name === 'unjudged' ? (r.extra.length ? r.extra : r.missing) : (r.missing.length ? r.missing : r.extra);
  const word = r.pair.name === 'unjudged' ? (r.extra.length ? 'unjudged' : 'hidden') : (r.missing.length ? 'lacks' : 'extra');
  return `${word} ${list.slice(0, 2).map(itemKey).join(' ')}`.slice(0, 160);
}

// The regression table (tests/data/html/browser-disagreements.tsv): one minimal case per cause,
// with what Chromium builds from it and from our two outputs. Fields are tab-separated; in the
// html field "\\", "\t", "\n", "\r", "\f" and "\0" stand for themselves. Lines starting with
// "#" are comments. The computed columns (verdict, chromium, rewritten, judged) must be what
// this run computes; --write-expectations brings them up to date.
const CASE_COLUMNS = ['name', 'cause', 'owner', 'verdict', 'html', 'chromium', 'rewritten', 'judged'];
const UNESCAPE = { '\\': '\\', t: '\t', n: '\n', r: '\r', f: '\f', 0: '\0' };
const unescapeField = (s) => s.replace(/\\(.)/g, (m, c) => (c in UNESCAPE ? UNESCAPE[c] : m));
const escapeField = (s) => s.replace(/[\\\t\n\r\f\0]/g, (c) => '\\' + Object.keys(UNESCAPE).find((k) => UNESCAPE[k] === c));

function readCases(file) {
  const comments = [], rows = [];
  for (const line of fs.readFileSync(file, 'utf8').split('\n')) {
    if (!line) continue;
    if (line.startsWith('#')) { comments.push(line); continue; }
    const f = line.split('\t');
    const row = Object.fromEntries(CASE_COLUMNS.map((c, i) => [c, f[i] || '']));
    if (!row.name || !row.html) throw new Error(`${file}: a row needs a name and html: ${line.slice(0, 80)}`);
    row.html = unescapeField(row.html);
    rows.push(row);
  }
  return { comments, rows };
}

function writeCases(file, { comments, rows }) {
  const lines = rows.map((r) => CASE_COLUMNS.map((c) => (c === 'html' ? escapeField(r[c]) : r[c])).join('\t'));
  fs.writeFileSync(file, comments.concat(lines).join('\n') + '\n');
}

// unjudged: the rewriter writes markup no event described; missed: Chromium builds live
// markup from the html that it does not build from our output; benign: those trees differ
// otherwise; hidden: they agree, but text the rewriter copies hides markup the events
// describe; agrees: no difference.
function verdictOf(original, rewriter, events) {
  if (compareTrees(structure(events), structure(rewriter)).extra.length) return 'unjudged';
  const a = structure(original), b = structure(rewriter);
  if (JSON.stringify(a) !== JSON.stringify(b)) return compareTrees(a, b).missing.some(causes.isLive) ? 'missed' : 'benign';
  return JSON.stringify(structure(events)) === JSON.stringify(b) ? 'agrees' : 'hidden';
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
    const files = { original: names.map((n) => fs.readFileSync(path.join(o.vectors, n))) };
    const trees = { original: await parser.parse(files.original) };
    if (o.identity) {
      const again = await parser.parse(files.original);
      const same = again.filter((t, i) => JSON.stringify(t) === JSON.stringify(trees.original[i])).length;
      process.stdout.write(`identity: ${same} of ${names.length} vectors agree\n`);
      failed = same !== names.length;
      return;
    }
    const dirs = runRoundTrip(o.roundtrip, o.vectors, work, '');
    for (const view of VIEWS) {
      files[view] = names.map((n) => fs.readFileSync(path.join(dirs[view], n)));
      trees[view] = await parser.parse(files[view]);
    }

    const found = {}, rows = [];
    for (const pair of PAIRS) {
      found[pair.name] = {};
      let agree = 0;
      ids.forEach((id, i) => {
        const a = structure(trees[pair.from][i]), b = structure(trees[pair.to][i]);
        if (JSON.stringify(a) === JSON.stringify(b)) { agree++; return; }
        const { missing, extra } = compareTrees(a, b);
        const facts = { source: files.original[i].toString('utf8'), output: files.rewriter[i].toString('latin1'),
                        missing, extra };
        const cause = pair.classify(facts);
        found[pair.name][id] = cause;
        rows.push({ id, pair, cause, dangerous: pair.dangerous(facts), missing, extra });
      });
      const nd = rows.filter((r) => r.pair === pair && r.dangerous).length;
      process.stdout.write(`${pair.from} -> ${pair.to}: ${agree} of ${names.length} vectors agree, ` +
                           `${names.length - agree} differ, ${nd} of them ${pair.flag}\n`);
    }

    for (const pair of PAIRS) {
      const groups = new Map();
      for (const r of rows.filter((x) => x.pair === pair)) {
        if (!groups.has(r.cause)) groups.set(r.cause, []);
        groups.get(r.cause).push(r);
      }
      if (!groups.size) continue;
      const sorted = [...groups].sort((x, y) => (y[1].some((r) => r.dangerous) - x[1].some((r) => r.dangerous)) ||
                                                y[1].length - x[1].length);
      process.stdout.write(`\n${pair.from} -> ${pair.to}: differences by cause\n`);
      for (const [cause, list] of sorted) {
        const nd = list.filter((r) => r.dangerous).length;
        process.stdout.write(`  ${(nd ? pair.flag : 'benign').padEnd(8)} ${String(list.length).padStart(3)} ${cause}` +
                             (nd && nd !== list.length ? ` (${nd} ${pair.flag})` : '') +
                             `\n           ${causes.describe(cause)}\n`);
        for (const r of list.slice(0, 3)) process.stdout.write(`           ${r.id}: ${describeRow(r)}\n`);
      }
    }

    for (const id of o.show) {
      const i = ids.indexOf(id);
      if (i < 0) { process.stdout.write(`--show: no vector ${id}\n`); continue; }
      for (const view of ['original', ...VIEWS]) {
        process.stdout.write(`--- ${id} ${view}: ${JSON.stringify(files[view][i].toString('latin1')).slice(0, 3000)}\n`);
        process.stdout.write(trees[view][i].map((l) => `    ${l}`).join('\n') + '\n');
      }
      for (const r of rows.filter((x) => x.id === id)) {
        process.stdout.write(`    ${r.pair.name}: ${r.cause} missing=${JSON.stringify(r.missing.map(itemKey))} ` +
                             `extra=${JSON.stringify(r.extra.map(itemKey))}\n`);
      }
    }

    // The regression table: each case through the same pipeline.
    const table = readCases(o.cases);
    const caseDir = path.join(work, 'cases');
    fs.mkdirSync(caseDir);
    for (const r of table.rows) fs.writeFileSync(path.join(caseDir, `${r.name}.html`), r.html);
    const caseDirs = runRoundTrip(o.roundtrip, caseDir, work, 'cases-');
    const caseTrees = { original: await parser.parse(table.rows.map((r) => Buffer.from(r.html))) };
    for (const view of VIEWS) {
      caseTrees[view] = await parser.parse(table.rows.map((r) => fs.readFileSync(path.join(caseDirs[view], `${r.name}.html`))));
    }
    const caseProblems = [];
    table.rows.forEach((r, i) => {
      const now = { verdict: verdictOf(caseTrees.original[i], caseTrees.rewriter[i], caseTrees.events[i]),
                    chromium: compact(caseTrees.original[i]), rewritten: compact(caseTrees.rewriter[i]),
                    judged: compact(caseTrees.events[i]) };
      for (const [column, value] of Object.entries(now)) {
        if (o.write) r[column] = value;
        else if (r[column] !== value) caseProblems.push(`case ${r.name}: ${column} is now ${value.slice(0, 200)}`);
      }
    });
    const verdicts = count(table.rows.map((r) => r.verdict));
    process.stdout.write(`\ncases of ${path.basename(o.cases)}: ${table.rows.length}, ` +
                         `${[...verdicts].map(([v, n]) => `${n} ${v}`).join(', ')}\n`);

    if (o.write) {
      writeCases(o.cases, table);
      process.stdout.write(`wrote ${o.cases}\n`);
      const sorted = (m) => Object.fromEntries(Object.entries(m).sort());
      fs.writeFileSync(o.expect, JSON.stringify(Object.fromEntries(PAIRS.map((p) => [p.name, sorted(found[p.name])])),
                                                null, 1) + '\n');
      process.stdout.write(`\nwrote ${o.expect}\n`);
      return;
    }
    const expected = JSON.parse(fs.readFileSync(o.expect, 'utf8'));
    const problems = caseProblems;
    for (const pair of PAIRS) {
      const want = expected[pair.name] || {};
      for (const [id, cause] of Object.entries(found[pair.name])) {
        if (!(id in want)) problems.push(`${pair.name} ${id}: a new difference (${cause})`);
        else if (want[id] !== cause) problems.push(`${pair.name} ${id}: listed as ${want[id]}, the cause now is ${cause}`);
      }
      for (const id of Object.keys(want)) {
        if (!(id in found[pair.name])) problems.push(`${pair.name} ${id}: listed (${want[id]}) but no longer differs`);
      }
    }
    process.stdout.write('\n');
    for (const p of problems) process.stdout.write(`FAIL ${p}\n`);
    if (problems.length) {
      process.stdout.write(`${problems.length} differences do not match ${o.expect}; look at them with --show ID, ` +
                           'then mend the cause or, once reviewed, update the file (--write-expectations)\n');
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
