'use strict';
// Names the cause of a difference between two of Chromium's parses (compare-tokenizer.js).
// Each rule looks at the source text and at the items (elements and attributes) that one
// parse has and the other lacks; the first rule that matches names the cause. The names are
// the ones reviewed in tokenizer-differences.json, so a rule changes only with that file.

// A name Chromium gives meaning to: HTML, SVG and MathML names are letters, digits, "-" and
// ":" (and no element or attribute name with other characters does anything in a page that
// runs no script). Our name keys keep exactly these characters.
const LIVE = /^[a-z][a-z0-9:-]*$/i;
const bare = (name) => name.replace(/^\{[^}]*\}/, '').replace(/^(svg|math):/, '');
const isLive = (item) => LIVE.test(bare(item.element)) && (item.attr === undefined || LIVE.test(bare(item.attr)));

// Original against tokenizer + HTMLRewriter output. `missing`: items Chromium builds from the
// original and not from our output; `extra`: the reverse.
const REWRITER_RULES = [
  ['nul-in-value', 'U+0000 in a value: Chromium keeps U+FFFD, the entity decoder drops the character',
   ({ source, missing }) => source.includes('\0') && missing.some((m) => (m.value || '').includes('\uFFFD'))],
  ['cdata-in-foreign-content', '<![CDATA[ inside svg/math runs to "]]>" in Chromium, to the first ">" as our declaration',
   ({ source }) => source.includes('<![CDATA[')],
  ['reference-decoding', 'a character reference in a value decoded otherwise than by Chromium (a name without ' +
   '";" before "=" or a letter, an HTML 4 name without ";", "&#0;")',
   ({ missing, extra }) => missing.some((m) => (m.value || '').includes('&') &&
     extra.some((e) => e.element === m.element && e.attr === m.attr))],
  ['raw-text-element', 'xmp, iframe, noembed, noframes, textarea, title, plaintext: raw text to Chromium up to ' +
   'its end tag, even inside what our tokenizer reads as a quoted value',
   ({ source, missing }) => /<(xmp|iframe|noembed|noframes|textarea|title|plaintext)\b/i.test(source) &&
     missing.some(isLive)],
  ['attribute-name-ends-at-slash', '"/" ends an attribute name in Chromium; ours reads on and drops it from the key ' +
   '("autofocus/onfocus" becomes one attribute "autofocusonfocus")',
   ({ source, missing }) => missing.some((m) => m.attr !== undefined && isLive(m) &&
                                                source.toLowerCase().includes(`${m.attr.toLowerCase()}/`))],
  ['lt-in-tag-name', '"<" inside a tag name: Chromium keeps it in the name ("p<b"), ours ends the name there',
   ({ missing }) => missing.some((m) => m.attr === undefined && m.element.includes('<'))],
  ['lt-in-attribute-name', '"<" inside an attribute name: Chromium keeps it ("<script"), the key drops it',
   ({ missing }) => missing.some((m) => m.attr !== undefined && m.attr.includes('<'))],
  ['ampersand-in-tag-name', '"&" inside a tag name: Chromium keeps it, ours ends the name there',
   ({ missing }) => missing.some((m) => m.attr === undefined && m.element.includes('&'))],
  ['unclosed-tag-at-end', 'a start tag cut off by the end of the input: Chromium drops it, ours closes it',
   ({ source, missing, extra }) => !missing.length && extra.length && !/>\s*$/.test(source)],
  ['self-closing-foreign-element', '"/>" closes an svg/math element in Chromium; the rewriter writes ">", so the ' +
   'following siblings become children (and leave foreignObject in HTML)',
   ({ source, missing, extra }) => /<(svg|math)\b[\s\S]*\/>/i.test(source) &&
     missing.every((m) => m.attr === undefined || extra.some((e) => bare(e.element).toLowerCase() ===
                                                                     bare(m.element).toLowerCase()))],
  ['inert-name-characters', 'names with characters other than letters, digits, "-", ":" (a quote, "%", "\\", ' +
   '"[", "(", ".", ","): Chromium keeps them in names that do nothing; the keys drop them',
   ({ missing }) => missing.every((m) => !isLive(m))],
];

// HTMLRewriter output against the events-only output: `extra` are items Chromium builds from
// what the rewriter wrote that no start tag or attribute event described -- markup a filter
// between tokenizer and rewriter never saw and cannot have judged.
const UNJUDGED_RULES = [
  ['verbatim-text-hides-judged-markup', 'text the rewriter copies (a CDATA declaration, a comment) swallows ' +
   'markup that the events describe; the browser shows less than the filter judged',
   ({ extra }) => !extra.length],
  ['style-comment-in-foreign-content', '"<!--" copied in a style sheet inside svg/math opens a comment in ' +
   'Chromium that runs past the tokenizer\'s "</style>" and "</svg>" and ends at a "-->" in copied script, ' +
   'whose tags then parse: a filter that tracks svg nesting sees an HTML script there',
   ({ output }) => /<(svg|math)\b[\s\S]*<style\b[^>]*>((?!<\/style)[\s\S])*<!--/i.test(output)],
  ['cdata-exposes-copied-text', 'a <![CDATA[ declaration copied inside svg/math runs in Chromium to a "]]>" ' +
   'in copied comment or script text (also past the tokenizer\'s "</svg>"), whose tags then parse',
   ({ output }) => output.includes('<![CDATA[')],
  ['verbatim-text-in-raw-text-element', 'a comment or script/style inside xmp, title, textarea, iframe, noembed ' +
   'or noframes: Chromium reads these elements as raw text, so an end tag inside the copied text ends them ' +
   'and the tags after it parse',
   ({ output }) => /<(xmp|title|textarea|iframe|noembed|noframes)\b/i.test(output)],
  ['script-escape-exposes-comment', '"<!--<script>" in a script makes Chromium skip the next "</script>" (the ' +
   'tokenizer ends there); the script then ends inside a copied comment, whose tags parse',
   ({ output }) => /<script\b[^>]*>[\s\S]*<!--[\s\S]*<script/i.test(output)],
  ['raw-text-in-foreign-content', 'script/style inside svg or math: raw content to the tokenizer, parsed as ' +
   'markup by Chromium, so the tags in it break out',
   ({ output }) => /<(svg|math)\b[\s\S]*<(style|script)\b/i.test(output)],
  ['comment-element', '<comment>: raw content to the tokenizer, an unknown element with parsed content to Chromium',
   ({ output }) => /<comment\b/i.test(output)],
];

function classifyWith(rules, facts) {
  for (const [name, , test] of rules) if (test(facts)) return name;
  return 'other';
}

module.exports = {
  isLive,
  classifyRewriter: (facts) => classifyWith(REWRITER_RULES, facts),
  classifyUnjudged: (facts) => classifyWith(UNJUDGED_RULES, facts),
  describe: (name) => (REWRITER_RULES.concat(UNJUDGED_RULES).find((r) => r[0] === name) || [, 'no rule matched'])[1],
};
