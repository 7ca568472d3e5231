// Feeds arbitrary input through the message parser into nested multipart entities, three
// ways: as the proxy would (cut at LF, the CR before it dropped), as the raw pieces between
// LFs (CRs kept), and as the lines the parser itself sees joined again by bare CRs. The
// entity events must be the same every time.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "mailparser/HeaderSyntax.h"
#include "mailparser/MIMEEntity.h"
#include "mailparser/MIMEEntityHeader.h"
#include "mailparser/MessageParser.h"
#include "mailparser/MultipartMIMEEntity.h"

namespace {

using namespace MailParser;

// Events are folded into a hash; keeping them as text would make long inputs slow.
class EventLog {
 public:
  void add(int depth, char kind, std::string_view text = {}) {
    mix(static_cast<unsigned char>(depth));
    mix(static_cast<unsigned char>(kind));
    for (const char c : text) {
      mix(static_cast<unsigned char>(c));
    }
    mix(0xFF);
    ++count_;
  }
  [[nodiscard]] bool operator==(const EventLog& other) const {
    return hash_ == other.hash_ && count_ == other.count_;
  }

 private:
  void mix(unsigned char byte) { hash_ = (hash_ ^ byte) * 1099511628211ULL; }
  std::uint64_t hash_ = 14695981039346656037ULL;
  std::size_t count_ = 0;
};

class CountingEntity : public MIMEEntity {
 public:
  CountingEntity(MIMEEntityHeader entityHeader, EventLog& log, int depth)
      : MIMEEntity(std::move(entityHeader)), log_(log), depth_(depth) {}
  void processLine(std::string_view line) override { log_.add(depth_, 'l', line); }
  void end() override { log_.add(depth_, 'e'); }

 private:
  EventLog& log_;
  int depth_;
};

class FuzzMultipart : public MultipartMIMEEntity {
 public:
  static constexpr int kMaxDepth = 8;

  FuzzMultipart(MIMEEntityHeader entityHeader, FuzzMultipart* parentEntity, EventLog& log, int depth)
      : MultipartMIMEEntity(std::move(entityHeader), parentEntity), log_(log), depth_(depth) {}

  static std::unique_ptr<MIMEEntity> make(const MIMEEntityHeader& header, FuzzMultipart* parent,
                                          EventLog& log, int depth) {
    log.add(depth, 'c', header.toString());
    if (header.contentType.isMultipart() && depth < kMaxDepth) {
      return std::make_unique<FuzzMultipart>(header, parent, log, depth);
    }
    return std::make_unique<CountingEntity>(header, log, depth);
  }

 protected:
  std::unique_ptr<MIMEEntity> createEntity(const MIMEEntityHeader& partHeader) override {
    return make(partHeader, this, log_, depth_ + 1);
  }
  void closed() override { log_.add(depth_, 'x'); }

 private:
  EventLog& log_;
  int depth_;
};

class FuzzParser : public MessageParser {
 public:
  EventLog log;

 protected:
  void headersComplete() override {
    log.add(0, 'h', header.toString());
    if (isMIME(header)) {
      entity = FuzzMultipart::make(MIMEEntityHeader(header), nullptr, log, 0);
    }
  }
  void bodyLineWithoutEntity(std::string_view line) override { log.add(0, 'b', line); }
  void endWithoutEntity() override { log.add(0, 'z'); }
};

std::vector<std::string_view> splitAt(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  while (true) {
    const auto end = text.find(separator, start);
    if (end == std::string_view::npos) {
      if (start < text.size()) {
        pieces.push_back(text.substr(start));
      }
      return pieces;
    }
    pieces.push_back(text.substr(start, end - start));
    start = end + 1;
  }
}

// What the parser makes of one call: CRs at the ends dropped, the rest cut at every CR.
void appendParsedLines(std::string_view call, std::vector<std::string>& lines) {
  const auto first = call.find_first_not_of('\r');
  if (first == std::string_view::npos) {
    lines.emplace_back();
    return;
  }
  call = call.substr(first, call.find_last_not_of('\r') - first + 1);
  for (const auto piece : splitAt(call, '\r')) {
    lines.emplace_back(piece);
  }
}

template <typename Calls>
EventLog run(const Calls& calls) {
  FuzzParser parser;
  for (const auto& call : calls) {
    parser.processLine(call);
  }
  parser.end();
  return parser.log;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string_view> raw = splitAt(input, '\n');

  std::vector<std::string_view> proxyLines;
  std::vector<std::string> parsedLines;
  for (auto piece : raw) {
    if (!piece.empty() && piece.back() == '\r') {
      piece.remove_suffix(1);
    }
    proxyLines.push_back(piece);
    appendParsedLines(piece, parsedLines);
  }

  // The parser's own lines again, joined by bare CRs into runs of three; an empty line at
  // the edge of a run would be eaten as a line-break leftover, so it gets a call of its own.
  std::vector<std::string> joined;
  for (std::size_t begin = 0; begin < parsedLines.size(); begin += 3) {
    std::string run;
    bool open = false;
    for (std::size_t i = begin; i < parsedLines.size() && i < begin + 3; ++i) {
      if (parsedLines[i].empty() && !open) {
        joined.emplace_back();
        continue;
      }
      if (open) {
        run += '\r';
      }
      run += parsedLines[i];
      open = true;
    }
    std::size_t trailing = 0;
    while (open && !run.empty() && run.back() == '\r') {
      run.pop_back();
      ++trailing;
    }
    if (open) {
      joined.push_back(run);
      joined.insert(joined.end(), trailing, std::string());
    }
  }

  const EventLog proxy = run(proxyLines);
  check(run(raw) == proxy && run(parsedLines) == proxy && run(joined) == proxy,
        "every way of feeding the lines gives the same events");
  return 0;
}
