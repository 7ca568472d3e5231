// Throughput of the CSS filter over the CSS of real mail: the style attributes of the HTML
// parts of the test corpus (as the HTML parser hands them to the filter), and for style
// elements, of which the corpus holds next to none, the sheet of a typical newsletter
// template. Scripting is removed and every URL allowed, as the HTML filter calls it.
//
// Each measurement runs beside a baseline in the same loop, by turns, on this thread's
// processor time: a plain copy of the same text, the lower bound of anything that writes
// its output. The ratio filter/copy is what to watch; MB/s count UTF-16 text as one byte a
// character, as the mail mostly had it.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "bench/BenchSupport.h"
#include "html/CSSFilter.h"
#include "html/CSSTokenizer.h"
#include "html/HTMLParser.h"
#include "html/IHTMLHandler.h"
#include "mailparser/Charsets.h"

namespace {

// The CSS the HTML parser hands to the filter.
class StyleCollector : public HTMLFilter::IHTMLHandler {
 public:
  std::vector<std::u16string> attributes;
  std::vector<std::u16string> sheets;

  void text(std::u16string_view, std::u16string_view) override {}
  void startTag(std::u16string_view, std::string_view key) override { inStyle_ = key == "style"; }
  void attribute(std::u16string_view, std::string_view key, std::u16string_view,
                 std::u16string_view decodedValue) override {
    if (key == "style") attributes.emplace_back(decodedValue);
  }
  void attributeWithoutValue(std::u16string_view, std::string_view) override {}
  void startTagEnd() override {}
  void rawContent(std::u16string content) override {
    if (inStyle_) sheets.push_back(std::move(content));
  }
  void endTag(std::u16string_view, std::string_view) override {}
  void comment(std::u16string_view) override {}
  void declaration(std::u16string_view) override {}
  void processingInstruction(std::u16string_view) override {}
  void endDocument() override {}

 private:
  bool inStyle_ = false;
};

// A newsletter template's style element: resets, client fixes, media queries, a web font.
constexpr std::u16string_view kNewsletterSheet = uR"(<!--
  @import url("https://fonts.example.com/css?family=Open+Sans:400,700");
  @font-face { font-family: 'Brand Sans'; font-style: normal; font-weight: 400;
    src: url(https://cdn.example.com/fonts/brand.woff2) format('woff2'), url(https://cdn.example.com/fonts/brand.woff) format('woff'); }
  /* Client-specific resets */
  body, table, td, a { -webkit-text-size-adjust: 100%; -ms-text-size-adjust: 100%; }
  table, td { mso-table-lspace: 0pt; mso-table-rspace: 0pt; border-collapse: collapse !important; }
  img { -ms-interpolation-mode: bicubic; border: 0; height: auto; line-height: 100%; outline: none; text-decoration: none; }
  #outlook a { padding: 0; }
  .ReadMsgBody { width: 100%; } .ExternalClass { width: 100%; }
  .ExternalClass, .ExternalClass p, .ExternalClass span, .ExternalClass font, .ExternalClass td, .ExternalClass div { line-height: 100%; }
  body { margin: 0 !important; padding: 0 !important; width: 100% !important; background-color: #f4f4f4; font-family: "Open Sans", Helvetica, Arial, sans-serif; }
  a[x-apple-data-detectors] { color: inherit !important; text-decoration: none !important; font-size: inherit !important; }
  .button-td, .button-a { transition: all 100ms ease-in; }
  .button-td:hover, .button-a:hover { background: #555555 !important; border-color: #555555 !important; }
  .header { background: #1a73e8 url('https://cdn.example.com/img/header-bg.png') no-repeat center top / cover; color: #ffffff; padding: 24px 32px; }
  .content h1 { font-size: 28px; line-height: 34px; font-weight: 700; margin: 0 0 12px 0; color: #222222; }
  .content p { font-size: 15px; line-height: 1.6; margin: 0 0 16px; color: rgba(34, 34, 34, 0.87); }
  .footer td { font-size: 12px; color: #888888; text-align: center; padding: 16px 0 32px; }
  .preheader { display: none !important; visibility: hidden; opacity: 0; color: transparent; height: 0; width: 0; max-height: 0; overflow: hidden; mso-hide: all; }
  @media screen and (max-width: 600px) {
    .email-container { width: 100% !important; margin: auto !important; }
    .fluid { max-width: 100% !important; height: auto !important; margin-left: auto !important; margin-right: auto !important; }
    .stack-column, .stack-column-center { display: block !important; width: 100% !important; max-width: 100% !important; direction: ltr !important; }
    .stack-column-center { text-align: center !important; }
    .center-on-narrow { text-align: center !important; display: block !important; margin-left: auto !important; margin-right: auto !important; float: none !important; }
    table.center-on-narrow { display: inline-block !important; }
  }
  @media (prefers-color-scheme: dark) { body, .content { background-color: #121212 !important; color: #e8e8e8 !important; } }
-->)";

const StyleCollector& corpusCSS() {
  static const StyleCollector styles = [] {
    StyleCollector collector;
    for (const auto& file : Bench::corpusFiles()) {
      const std::string html = Bench::htmlOfMessage(Bench::readFile(file), "\n");
      HTMLFilter::parseHTML(collector, MailParser::toWide(html, "utf-8", true), false);
    }
    collector.sheets.emplace_back(kNewsletterSheet);
    if (collector.attributes.empty()) {
      throw std::runtime_error("no style attributes under " + Bench::corpusFolder().string());
    }
    return collector;
  }();
  return styles;
}

std::size_t totalSize(const std::vector<std::u16string>& texts) {
  std::size_t size = 0;
  for (const std::u16string& text : texts) size += text.size();
  return size;
}

// Rounds of the corpus's CSS per iteration, so that one iteration takes long enough to time.
constexpr int kRounds = 20;

template <typename Filter>
void runAgainstCopy(benchmark::State& state, const std::vector<std::u16string>& texts, Filter filter) {
  using Clock = Bench::ThreadClock;
  Clock::duration filtering{};
  Clock::duration copying{};
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    for (int round = 0; round < kRounds; ++round) {
      for (const std::u16string& text : texts) {
        std::u16string out = filter(text);
        benchmark::DoNotOptimize(out.data());
      }
    }
    filtering += Clock::now() - start;
    state.PauseTiming();
    const Clock::time_point copyStart = Clock::now();
    for (int round = 0; round < kRounds; ++round) {
      for (const std::u16string& text : texts) {
        std::u16string out;
        out.reserve(text.size());
        for (const char16_t c : text) out.push_back(c);
        benchmark::DoNotOptimize(out.data());
      }
    }
    copying += Clock::now() - copyStart;
    state.ResumeTiming();
  }
  const double megabytes = static_cast<double>(totalSize(texts)) * kRounds *
                           static_cast<double>(state.iterations()) / 1e6;
  state.counters["filter MB/s"] = megabytes / Bench::seconds(filtering);
  state.counters["copy MB/s"] = megabytes / Bench::seconds(copying);
  state.counters["filter/copy"] = Bench::seconds(filtering) / Bench::seconds(copying);
  state.counters["ns/text"] = std::chrono::duration<double, std::nano>(filtering).count() /
                              (static_cast<double>(texts.size()) * kRounds * static_cast<double>(state.iterations()));
  state.counters["texts"] = static_cast<double>(texts.size());
  state.counters["chars"] = static_cast<double>(totalSize(texts));
}

HTMLFilter::CSSFilter mediumFilter() {
  return {true, [](std::u16string_view, HTMLFilter::CSSURLUse) { return true; }, [] {}};
}

void BM_CSSFilterDeclarations(benchmark::State& state) {
  HTMLFilter::CSSFilter filter = mediumFilter();
  runAgainstCopy(state, corpusCSS().attributes,
                 [&](const std::u16string& text) { return filter.filterDeclarations(text); });
}

void BM_CSSFilterStyleSheet(benchmark::State& state) {
  HTMLFilter::CSSFilter filter = mediumFilter();
  runAgainstCopy(state, corpusCSS().sheets,
                 [&](const std::u16string& text) { return filter.filterStyleSheet(text); });
}

// Tokenizing alone, the part of the filter's cost that every reader of CSS pays.
void BM_CSSTokenizeStyleSheet(benchmark::State& state) {
  runAgainstCopy(state, corpusCSS().sheets, [](const std::u16string& text) {
    const HTMLFilter::CSSTokens tokens = HTMLFilter::tokenizeCSS(text, 64);
    return std::u16string(tokens.tokens.empty() ? 0 : 1, u'x');
  });
}

BENCHMARK(BM_CSSFilterDeclarations)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CSSFilterStyleSheet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CSSTokenizeStyleSheet)->Unit(benchmark::kMillisecond);

}  // namespace
