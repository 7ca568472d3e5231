// Throughput of the tokenizer writing through HTMLRewriter, over about 2 MB of real HTML:
// the HTML parts of the test corpus, decoded from their transfer encodings and joined. The
// baseline is a per-byte copy of the same HTML; the goal is at least 200 MB/s of input.
//
// The filter in between (with the HTML options of the "Medium" profile) is measured against
// the tokenizer and rewriter alone, run by turns in the same loop and both over the same HTML
// message by message, a new filter and rewriter for each, as the engine runs them: the goal is
// a ratio of at most 1.5 and at least 130 MB/s of input.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bench/BenchSupport.h"
#include "html/HTMLFilter.h"
#include "html/HTMLParser.h"
#include "html/HTMLRewriter.h"
#include "mailparser/Charsets.h"
#include "tests/support/FakeMessageProcessorInterface.h"

namespace {

constexpr std::size_t kTargetSize = 2 << 20;

// The HTML of each message of the corpus that has some.
const std::vector<std::string>& corpusMessages() {
  static const std::vector<std::string> messages = [] {
    std::vector<std::string> found;
    for (const auto& file : Bench::corpusFiles()) {
      std::string html = Bench::htmlOfMessage(Bench::readFile(file), "");
      if (!html.empty()) found.push_back(std::move(html));
    }
    if (found.empty()) throw std::runtime_error("no HTML parts found under " + Bench::corpusFolder().string());
    return found;
  }();
  return messages;
}

// The corpus's HTML, repeated as often as it takes to reach the target size.
const std::string& corpusHTML() {
  static const std::string html = [] {
    std::string once;
    for (const std::string& message : corpusMessages()) once += message;
    std::string all;
    while (all.size() < kTargetSize) all += once;
    return all;
  }();
  return html;
}

// The same HTML as corpusHTML(), message by message: the filter serves one document at a
// time, and what it learns in one (the tags and styles it has met) must not flatter the next.
const std::vector<std::u16string>& corpusDocuments() {
  static const std::vector<std::u16string> documents = [] {
    std::vector<std::u16string> wide;
    for (const std::string& message : corpusMessages()) wide.push_back(MailParser::toWide(message, "utf-8", true));
    std::vector<std::u16string> all;
    std::size_t size = 0;
    while (size < kTargetSize) {
      for (const std::string& message : corpusMessages()) size += message.size();
      all.insert(all.end(), wide.begin(), wide.end());
    }
    return all;
  }();
  return documents;
}

const std::u16string& corpusWide() {
  static const std::u16string wide = MailParser::toWide(corpusHTML(), "utf-8", true);
  return wide;
}

void BM_HTMLCopyBaseline(benchmark::State& state) {
  const std::string& html = corpusHTML();
  for (auto _ : state) {
    std::string copy;
    copy.reserve(html.size());
    for (const char c : html) copy.push_back(c);
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * html.size()));
}

// Bytes are counted as the HTML had them in the mail, not as wide characters.
void BM_HTMLTokenizeAndRewrite(benchmark::State& state) {
  const std::size_t bytes = corpusHTML().size();
  const std::u16string& wide = corpusWide();
  std::size_t written = 0;
  for (auto _ : state) {
    HTMLFilter::HTMLRewriter rewriter;
    // As the caller does, which knows the size of the text it parses.
    rewriter.reserve(wide.size() * 2);
    HTMLFilter::parseHTML(rewriter, wide, false);
    written = rewriter.output().size();
    benchmark::DoNotOptimize(rewriter.output().data());
    benchmark::ClobberMemory();
  }
  // The output is larger than the input wherever a character becomes a reference.
  state.counters["output/input"] = static_cast<double>(written) / static_cast<double>(bytes);
  std::size_t nonASCII = 0;
  for (const char16_t c : wide) nonASCII += c >= 0x80;
  state.counters["non-ASCII/chars"] = static_cast<double>(nonASCII) / static_cast<double>(wide.size());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

// The settings of the "Medium" profile that the filter reads.
void setMediumHTMLOptions(FakeMessageProcessorInterface::Options& o) {
  o.RemoveNonStandardHTML = true;
  o.RemoveScripting = true;
  o.RemoveEmbedding = true;
  o.RemoveFrames = true;
  o.BlockExternalCSS = true;
  o.RemoveBLINKTags = true;
  o.RemoveBGSOUNDTags = true;
  o.RemoveMETATags = true;
  o.BlockImagesWithVariables = true;
  o.BlockImagesWithIdentifiers = true;
  o.BlockImagesWithIdentifiersSensitivity = MailParser::IMessageProcessorInterface::sensitivityMedium;
  o.Block1x1Images = true;
}

void BM_HTMLFilterAndRewrite(benchmark::State& state) {
  using Clock = Bench::ThreadClock;
  const std::size_t bytes = corpusHTML().size();
  const std::vector<std::u16string>& documents = corpusDocuments();
  FakeMessageProcessorInterface settings;
  setMediumHTMLOptions(settings.options);
  Clock::duration filtering{};
  Clock::duration plain{};
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    for (const std::u16string& wide : documents) {
      HTMLFilter::HTMLRewriter rewriter;
      rewriter.reserve(wide.size() * 2);
      HTMLFilter::HTMLFilter filter(rewriter, settings);
      HTMLFilter::parseHTML(filter, wide, false);
      benchmark::DoNotOptimize(rewriter.output().data());
      benchmark::ClobberMemory();
    }
    filtering += Clock::now() - start;
    // The baseline, by turns with the measured run so that both meet the same machine.
    state.PauseTiming();
    const Clock::time_point baseStart = Clock::now();
    for (const std::u16string& wide : documents) {
      HTMLFilter::HTMLRewriter rewriter;
      rewriter.reserve(wide.size() * 2);
      HTMLFilter::parseHTML(rewriter, wide, false);
      benchmark::DoNotOptimize(rewriter.output().data());
      benchmark::ClobberMemory();
    }
    plain += Clock::now() - baseStart;
    // The fake keeps every provider look-up; the real settings keep none.
    settings.providerLookups.clear();
    state.ResumeTiming();
  }
  const double megabytes = static_cast<double>(bytes) * static_cast<double>(state.iterations()) / 1e6;
  state.counters["filter MB/s"] = megabytes / Bench::seconds(filtering);
  state.counters["rewrite MB/s"] = megabytes / Bench::seconds(plain);
  state.counters["filter/rewrite"] = Bench::seconds(filtering) / Bench::seconds(plain);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

BENCHMARK(BM_HTMLCopyBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HTMLTokenizeAndRewrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HTMLFilterAndRewrite)->Unit(benchmark::kMillisecond);

}  // namespace
