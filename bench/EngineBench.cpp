// Throughput of the whole message engine under the "Medium" profile, as quorix-filter runs
// it (the built-in profiles, the local account, no logs, a fixed processing time), over two
// inputs: every message of the test corpus, and a generated message with a 50 MB PDF
// attachment. The messages are read (or generated) once and split into lines as a POP3
// reply delivers them.
//
// Two baselines run by turns with the engine in the same loop, over the same bytes:
// - the bare parser writing the message back, headers and body lines, with no filtering:
//   the goal is an engine/parser throughput ratio of at least 0.5;
// - GMime 3 building the message from the same bytes and writing it out again (when the
//   build found GMime): the goal is an engine/GMime throughput ratio of at least 1.0.
// Throughput is of the input bytes, measured on this thread's processor clock.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#ifdef QUORIX_BENCH_GMIME
#include <gmime/gmime.h>
#endif

#include "bench/BenchSupport.h"
#include "config/BuiltInSecurityProfiles.h"
#include "config/TAccount.h"
#include "config/TConfig.h"
#include "config/TConfigRef.h"
#include "engine/MessageDate.h"
#include "engine/TProxyMessageProcessorInterface.h"
#include "mailparser/HeaderSyntax.h"
#include "mailparser/MIMEEntity.h"
#include "mailparser/MIMEEntityHeader.h"
#include "mailparser/MessageParser.h"
#include "mailparser/MultipartMIMEEntity.h"

namespace {

// One message as it arrives: its bytes (for GMime and for the byte count) and its lines
// (views into the bytes), split at LF with a CR before the LF removed.
struct Message {
  std::string bytes;
  std::vector<std::string_view> lines;
};

Message splitIntoLines(std::string bytes) {
  Message message{std::move(bytes), {}};
  const std::string_view all(message.bytes);
  // Reserved, so that the vector's growth does not set the peak the benchmark reports.
  message.lines.reserve(static_cast<std::size_t>(std::count(all.begin(), all.end(), '\n')) + 1);
  std::size_t start = 0;
  while (start < all.size()) {
    std::size_t end = all.find('\n', start);
    if (end == std::string_view::npos) end = all.size();
    std::string_view line = all.substr(start, end - start);
    if (line.ends_with('\r')) line.remove_suffix(1);
    message.lines.push_back(line);
    start = end + 1;
  }
  return message;
}

std::size_t byteCount(const std::vector<Message>& messages) {
  std::size_t bytes = 0;
  for (const Message& message : messages) bytes += message.bytes.size();
  return bytes;
}

const std::vector<Message>& corpusMessages() {
  static const std::vector<Message> messages = [] {
    std::vector<std::filesystem::path> files = Bench::corpusFiles();
    if (files.empty()) throw std::runtime_error("no messages found under " + Bench::corpusFolder().string());
    std::sort(files.begin(), files.end());
    std::vector<Message> found;
    for (const auto& file : files) found.push_back(splitIntoLines(Bench::readFile(file)));
    return found;
  }();
  return messages;
}

// A short text part and a 50 MB PDF (random bytes after a PDF signature), base64 in lines
// of 76 characters: an attachment type that "Medium" lets through, so all of it is written.
std::string bigMessageBytes() {
  constexpr std::size_t kAttachmentBytes = std::size_t{50} << 20U;
  static constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string message =
      "From: a@example.org\r\nTo: b@example.org\r\nSubject: big\r\nDate: Wed, 01 May 2024 10:00:00 +0200\r\n"
      "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"B\"\r\n\r\n"
      "--B\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nThe report is attached.\r\n\r\n"
      "--B\r\nContent-Type: application/pdf; name=\"report.pdf\"\r\n"
      "Content-Disposition: attachment; filename=\"report.pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\n";
  // The attachment's bytes are made as they are encoded: holding them would set the peak.
  static constexpr std::string_view signature = "%PDF-1.4\n";
  std::mt19937 random(7);
  const auto byte = [&](std::size_t at) {
    return static_cast<std::uint32_t>(at < signature.size() ? static_cast<unsigned char>(signature[at])
                                                            : random() & 0xFFU);
  };
  message.reserve(message.size() + kAttachmentBytes / 57 * 78 + 100);
  std::size_t column = 0;
  for (std::size_t i = 0; i + 3 <= kAttachmentBytes; i += 3) {
    const std::uint32_t high = byte(i);
    const std::uint32_t middle = byte(i + 1);
    const std::uint32_t group = (high << 16U) | (middle << 8U) | byte(i + 2);
    for (unsigned shift = 18;; shift -= 6) {
      message.push_back(alphabet[(group >> shift) & 0x3FU]);
      if (shift == 0) break;
    }
    column += 4;
    if (column == 76) {
      message += "\r\n";
      column = 0;
    }
  }
  if (column != 0) message += "\r\n";
  message += "--B--\r\n";
  return message;
}

const std::vector<Message>& bigMessage() {
  static const std::vector<Message> messages = [] {
    std::vector<Message> one;
    one.push_back(splitIntoLines(bigMessageBytes()));
    return one;
  }();
  return messages;
}

long peakResidentKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// The engine as quorix-filter sets it up, once for all messages.
class Engine {
 public:
  Engine() : config_(new TConfig) { CreateDefaultSecurityProfiles(config_->SecurityProfiles); }

  // Filters each message, as one RETR reply each; returns the bytes written.
  std::size_t run(const std::vector<Message>& messages) {
    std::size_t written = 0;
    for (const Message& message : messages) {
      MessageProcessorInterfaceOptions options;
      options.processingTime = MailParser::messageDateAt(1714550400, 120);
      // Web-bug provider look-ups answer from no DNS: the benchmark measures this machine.
      options.resolver = [](const std::string&) { return std::optional<std::uint32_t>(); };
      TProxyMessageProcessorInterface bridge(
          config_, account_, [&](std::string_view line) { written += line.size() + 2; }, {}, nullptr,
          std::move(options));
      for (const std::string_view line : message.lines) bridge.ProcessLine(line);
      bridge.Finish();
    }
    return written;
  }

 private:
  TConfigRef config_;
  const TAccount account_{"localhost", 110, "Medium"};
};

// The bare parser writing everything back: each header as the parser holds it, each body line
// copied out, nothing filtered.
class Sink {
 public:
  void write(std::string_view bytes) {
    line_.assign(bytes);
    written_ += line_.size();
    benchmark::DoNotOptimize(line_.data());
  }
  void writeLine(std::string_view line) {
    write(line);
    written_ += 2;
  }
  [[nodiscard]] std::size_t written() const noexcept { return written_; }

 private:
  std::string line_;
  std::size_t written_ = 0;
};

class CopiedPart : public MailParser::MIMEEntity {
 public:
  CopiedPart(MailParser::MIMEEntityHeader entityHeader, Sink& sink) : MIMEEntity(std::move(entityHeader)), sink_(sink) {}
  void processLine(std::string_view line) override { sink_.writeLine(line); }
  void end() override {}

 private:
  Sink& sink_;
};

std::unique_ptr<MailParser::MIMEEntity> makeCopiedPart(const MailParser::MIMEEntityHeader& header,
                                                       MailParser::MultipartMIMEEntity* parent, Sink& sink);

class CopiedMultipart : public MailParser::MultipartMIMEEntity {
 public:
  CopiedMultipart(MailParser::MIMEEntityHeader entityHeader, MultipartMIMEEntity* parentEntity, Sink& sink)
      : MultipartMIMEEntity(std::move(entityHeader), parentEntity), sink_(sink) {}

 protected:
  std::unique_ptr<MailParser::MIMEEntity> createEntity(const MailParser::MIMEEntityHeader& partHeader) override {
    sink_.writeLine("--" + boundary);
    sink_.write(partHeader.toString());
    sink_.writeLine("");
    return makeCopiedPart(partHeader, this, sink_);
  }
  void closed() override { sink_.writeLine("--" + boundary + "--"); }

 private:
  Sink& sink_;
};

std::unique_ptr<MailParser::MIMEEntity> makeCopiedPart(const MailParser::MIMEEntityHeader& header,
                                                       MailParser::MultipartMIMEEntity* parent, Sink& sink) {
  if (header.contentType.isMultipart()) return std::make_unique<CopiedMultipart>(header, parent, sink);
  return std::make_unique<CopiedPart>(header, sink);
}

class CopyingParser : public MailParser::MessageParser {
 public:
  explicit CopyingParser(Sink& sink) : sink_(sink) {}

 protected:
  void headersComplete() override {
    sink_.write(header.toString());
    sink_.writeLine("");
    if (MailParser::isMIME(header)) entity = makeCopiedPart(MailParser::MIMEEntityHeader(header), nullptr, sink_);
  }
  void bodyLineWithoutEntity(std::string_view line) override { sink_.writeLine(line); }
  void endWithoutEntity() override {}

 private:
  Sink& sink_;
};

std::size_t runParser(const std::vector<Message>& messages) {
  Sink sink;
  for (const Message& message : messages) {
    CopyingParser parser(sink);
    for (const std::string_view line : message.lines) parser.processLine(line);
    parser.end();
  }
  return sink.written();
}

#ifdef QUORIX_BENCH_GMIME
// GMime builds each message from its bytes in memory and writes it to a stream that counts.
std::size_t runGMime(const std::vector<Message>& messages) {
  std::size_t written = 0;
  for (const Message& message : messages) {
    GMimeStream* in = g_mime_stream_mem_new_with_buffer(message.bytes.data(), message.bytes.size());
    GMimeParser* parser = g_mime_parser_new_with_stream(in);
    GMimeMessage* parsed = g_mime_parser_construct_message(parser, nullptr);
    if (parsed != nullptr) {
      GMimeStream* out = g_mime_stream_null_new();
      const ssize_t bytes = g_mime_object_write_to_stream(&parsed->parent_object, nullptr, out);
      if (bytes > 0) written += static_cast<std::size_t>(bytes);
      g_object_unref(out);
      g_object_unref(parsed);
    }
    g_object_unref(parser);
    g_object_unref(in);
  }
  return written;
}

void initialiseGMime() {
  static const bool initialised = [] {
    g_mime_init();
    return true;
  }();
  static_cast<void>(initialised);
}
#endif

void runEngineBenchmark(benchmark::State& state, const std::vector<Message>& messages) {
  using Clock = Bench::ThreadClock;
  using Bench::seconds;
  const std::size_t bytes = byteCount(messages);
  Engine engine;
#ifdef QUORIX_BENCH_GMIME
  initialiseGMime();
#endif
  Clock::duration engineTime{};
  Clock::duration parserTime{};
  Clock::duration gmimeTime{};
  // The process's peak before anything ran over these messages, after the engine's first
  // pass and after the baselines' first passes: what each adds over the messages held in
  // memory. Kept from the first repetition, as the process's peak only grows.
  struct Peaks {
    long before = 0;
    long engine = 0;
    long baselines = 0;
  };
  static std::map<const std::vector<Message>*, Peaks> peaksOf;
  Peaks& peaks = peaksOf[&messages];
  if (peaks.before == 0) peaks.before = peakResidentKiB();
  std::size_t engineWritten = 0;
  std::size_t parserWritten = 0;
  std::size_t gmimeWritten = 0;
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores): the library's loop
    const Clock::time_point start = Clock::now();
    engineWritten = engine.run(messages);
    engineTime += Clock::now() - start;
    // The baselines, by turns with the measured run so that all meet the same machine.
    state.PauseTiming();
    if (peaks.engine == 0) peaks.engine = peakResidentKiB();
    const Clock::time_point parserStart = Clock::now();
    parserWritten = runParser(messages);
    parserTime += Clock::now() - parserStart;
#ifdef QUORIX_BENCH_GMIME
    const Clock::time_point gmimeStart = Clock::now();
    gmimeWritten = runGMime(messages);
    gmimeTime += Clock::now() - gmimeStart;
#endif
    if (peaks.baselines == 0) peaks.baselines = peakResidentKiB();
    state.ResumeTiming();
  }
  const double megabytes = static_cast<double>(bytes) * static_cast<double>(state.iterations()) / 1e6;
  state.counters["engine MB/s"] = megabytes / seconds(engineTime);
  state.counters["parser MB/s"] = megabytes / seconds(parserTime);
  state.counters["engine/parser"] = seconds(parserTime) / seconds(engineTime);
#ifdef QUORIX_BENCH_GMIME
  state.counters["gmime MB/s"] = megabytes / seconds(gmimeTime);
  state.counters["engine/gmime"] = seconds(gmimeTime) / seconds(engineTime);
#endif
  state.counters["output/input"] = static_cast<double>(engineWritten) / static_cast<double>(bytes);
  state.counters["parser out/in"] = static_cast<double>(parserWritten) / static_cast<double>(bytes);
  state.counters["gmime out/in"] = static_cast<double>(gmimeWritten) / static_cast<double>(bytes);
  state.counters["engine peak +KiB"] = static_cast<double>(peaks.engine - peaks.before);
  state.counters["baselines peak +KiB"] = static_cast<double>(peaks.baselines - peaks.engine);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

void BM_EngineCorpus(benchmark::State& state) { runEngineBenchmark(state, corpusMessages()); }

void BM_EngineBigMessage(benchmark::State& state) { runEngineBenchmark(state, bigMessage()); }

BENCHMARK(BM_EngineCorpus)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineBigMessage)->Unit(benchmark::kMillisecond);

}  // namespace
