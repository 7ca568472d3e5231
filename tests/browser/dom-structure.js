#!/usr/bin/env node
// dom-structure.js -- parse HTML files with Chromium's HTML parser and print, per file, the
// canonical structure of the document it builds: the element tree (namespace + local name)
// with each element's attributes (name, value) in document order.
//
//   node dom-structure.js [--mode domparser|navigate] [--out FILE] [--chromium PATH] PATH...
//     PATH: .html/.htm files, or folders whose .html/.htm files are taken (not recursively)
//
// Output: one JSON line per file, {"file": ..., "tree": [line, ...]} (see canonicalTree).
//
// Mode "domparser" (the default) decodes every file as UTF-8 (WHATWG decoder, so a BOM is
// dropped and broken sequences become U+FFFD) and hands the text to DOMParser('text/html')
// inside one blank page. That is Blink's own HTMLDocumentParser (tokenizer and tree builder),
// run on a document without a browsing context: scripting is disabled, exactly as in a mail
// viewer that runs no script, so <noscript> content is parsed as markup, nothing executes,
// no document.write() can change the parse and nothing is fetched. All files go through one
// page in batches, so hundreds of files take a few seconds.
// Mode "navigate" loads each file as a page (served by request interception, JavaScript off,
// charset UTF-8): the slow way, kept to show that both modes build the same trees.
//
// Nothing leaves the machine: every request is aborted, a proxy on a closed loopback port and
// a host-resolver rule catch anything else. A DOMParser document fetches nothing, so in that
// mode any request seen makes the run fail.
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');

const CHROMIUM_ARGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                       '--disable-background-networking', '--disable-component-update', '--disable-sync',
                       '--disable-default-apps', '--disable-extensions', '--no-pings', '--dns-prefetch-disable',
                       '--host-resolver-rules=MAP * ~NOTFOUND , EXCLUDE localhost'];

// Runs inside the page. Lines, indented by one space per level:
//   "!doctype NAME"             a document type node
//   "NS:NAME" or "NAME"         an element; NS is svg or math, none for HTML
//   "@NAME=VALUE"               an attribute of the element above, both JSON-quoted (a name
//                               may hold "=" or quotes); NAME is the qualified name, with
//                               "{NS}" in front for a namespaced one
//   "#content"                  the content fragment of a <template>
//   "#text VALUE"               text, whitespace runs collapsed to one space; whitespace-only
//                               text is left out. Comments are left out.
function canonicalTree(doc) {
  // Through the prototypes' own getters: a <form> with <input name=attributes> (or firstChild,
  // localName, ...) shadows the element's properties of the same name.
  const get = (proto, name) => Object.getOwnPropertyDescriptor(proto, name).get;
  const firstChild = get(Node.prototype, 'firstChild'), nextSibling = get(Node.prototype, 'nextSibling');
  const nodeType = get(Node.prototype, 'nodeType'), data = get(CharacterData.prototype, 'data');
  const localName = get(Element.prototype, 'localName'), namespaceURI = get(Element.prototype, 'namespaceURI');
  const attributes = get(Element.prototype, 'attributes'), doctypeName = get(DocumentType.prototype, 'name');
  const content = get(HTMLTemplateElement.prototype, 'content');
  const ns = { 'http://www.w3.org/1999/xhtml': '', 'http://www.w3.org/2000/svg': 'svg:',
               'http://www.w3.org/1998/Math/MathML': 'math:' };
  const attrNs = { 'http://www.w3.org/1999/xlink': 'xlink', 'http://www.w3.org/XML/1998/namespace': 'xml',
                   'http://www.w3.org/2000/xmlns/': 'xmlns' };
  const out = [];
  const walk = (node, depth) => {
    const pad = ' '.repeat(depth);
    for (let c = firstChild.call(node); c; c = nextSibling.call(c)) {
      const type = nodeType.call(c);
      if (type === 1) {
        const uri = namespaceURI.call(c);
        out.push(pad + (uri in ns ? ns[uri] : `{${uri}}`) + localName.call(c));
        const list = attributes.call(c);
        for (let i = 0; i < list.length; i++) {
          const a = list[i];
          const an = a.namespaceURI ? `{${attrNs[a.namespaceURI] || a.namespaceURI}}` : '';
          out.push(`${pad} @${JSON.stringify(an + a.name)}=${JSON.stringify(a.value)}`);
        }
        if (c instanceof HTMLTemplateElement) {
          out.push(`${pad} #content`);
          walk(content.call(c), depth + 2);
        }
        walk(c, depth + 1);
      } else if (type === 3) {
        const t = data.call(c).replace(/[\t\n\f\r ]+/g, ' ').trim();
        if (t) out.push(`${pad}#text ${JSON.stringify(t)}`);
      } else if (type === 10) {
        out.push(`${pad}!doctype ${doctypeName.call(c)}`);
      }
    }
  };
  walk(doc, 0);
  return out;
}

function listFiles(paths) {
  const out = [];
  for (const p of paths) {
    if (fs.statSync(p).isDirectory()) {
      for (const e of fs.readdirSync(p).sort()) if (/\.html?$/i.test(e)) out.push(path.join(p, e));
    } else {
      out.push(p);
    }
  }
  return out;
}

// Starts Chromium once; parse(buffers) returns one canonical tree per buffer.
async function openParser({ chromium: executable = process.env.CHROMIUM || '/usr/bin/chromium',
                            mode = 'domparser' } = {}) {
  const { chromium } = require('playwright-core');
  if (!fs.existsSync(executable)) throw new Error(`no browser at ${executable} (Debian package chromium)`);
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'quorix-dom-structure-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: executable, headless: true, args: CHROMIUM_ARGS,
    proxy: { server: 'http://127.0.0.1:9' },   // a closed loopback port: a last-resort sink
    javaScriptEnabled: mode !== 'navigate', serviceWorkers: 'block', acceptDownloads: false,
  });
  const requests = [];
  const served = new Map();
  await context.route('**/*', async (route) => {
    const body = served.get(route.request().url());
    if (body !== undefined) {
      await route.fulfill({ status: 200, contentType: 'text/html; charset=utf-8', body }).catch(() => {});
      return;
    }
    requests.push(route.request().url().slice(0, 200));
    await route.abort('blockedbyclient').catch(() => {});
  });
  const page = context.pages()[0] || await context.newPage();
  const decoder = new TextDecoder('utf-8');
  let serial = 0;

  const checkQuiet = () => {
    if (requests.length) throw new Error(`the browser tried to fetch: ${requests.slice(0, 5).join(' ')}`);
  };

  async function parseDOMParser(buffers) {
    const texts = buffers.map((b) => decoder.decode(b));
    const trees = [];
    // batches keep each evaluate() message small
    for (let i = 0; i < texts.length; i += 100) {
      trees.push(...await page.evaluate(([src, batch]) => {
        const canon = new Function(`return (${src});`)();
        const parser = new DOMParser();
        return batch.map((t) => canon(parser.parseFromString(t, 'text/html')));
      }, [canonicalTree.toString(), texts.slice(i, i + 100)]));
    }
    checkQuiet();
    return trees;
  }

  async function parseNavigate(buffers) {
    const trees = [];
    for (const body of buffers) {
      const url = `http://f${serial++}.dom-structure.invalid/page.html`;
      served.set(url, body);
      await page.goto(url, { waitUntil: 'domcontentloaded', timeout: 10000 });
      trees.push(await page.evaluate(`(${canonicalTree.toString()})(document)`));
      served.delete(url);
    }
    await page.goto('about:blank');
    return trees;   // a loaded page fetches its images and frames: aborted, not an error here
  }

  return {
    parse: mode === 'navigate' ? parseNavigate : parseDOMParser,
    version: () => context.browser() ? context.browser().version() : 'unknown',
    async close() {
      await context.close().catch(() => {});
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

function usage(msg) {
  if (msg) process.stderr.write(`dom-structure: ${msg}\n`);
  process.stderr.write('usage: node dom-structure.js [--mode domparser|navigate] [--out FILE] ' +
                       '[--chromium PATH] PATH...\n');
  process.exit(2);
}

async function main() {
  const o = { mode: 'domparser', out: null, chromium: undefined, paths: [] };
  const argv = process.argv.slice(2);
  for (let i = 0; i < argv.length; i++) {
    const a = argv[i];
    const next = () => { if (i + 1 >= argv.length) usage(`${a} needs a value`); return argv[++i]; };
    if (a === '--mode') o.mode = next();
    else if (a === '--out') o.out = next();
    else if (a === '--chromium') o.chromium = next();
    else if (a === '-h' || a === '--help') usage();
    else if (a.startsWith('--')) usage(`unknown option ${a}`);
    else o.paths.push(a);
  }
  if (!['domparser', 'navigate'].includes(o.mode)) usage(`unknown mode ${o.mode}`);
  const files = listFiles(o.paths);
  if (!files.length) usage('no .html files given');
  const parser = await openParser({ chromium: o.chromium, mode: o.mode });
  try {
    const trees = await parser.parse(files.map((f) => fs.readFileSync(f)));
    const lines = files.map((f, i) => JSON.stringify({ file: f, tree: trees[i] })).join('\n') + '\n';
    if (o.out) fs.writeFileSync(o.out, lines); else process.stdout.write(lines);
  } finally {
    await parser.close();
  }
}

module.exports = { openParser, listFiles, canonicalTree };

if (require.main === module) {
  main().catch((e) => { process.stderr.write(`dom-structure: ${e.stack || e}\n`); process.exit(1); });
}
