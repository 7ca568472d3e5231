#pragma once

// The ways a message reaches the parser. The proxy cuts the server's stream at its line
// breaks, so normally each call is one line; but a bare CR must separate lines just as well,
// so every streaming test is also fed with runs of lines joined by bare CRs and with CRs
// around each line, and must give the same result each time.

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace MailParserTest {

// Cuts CR LF text into lines; a final CR LF ends the last line rather than starting another.
inline std::vector<std::string> splitCrLfLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const auto end = text.find("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

struct Feeding {
  std::string name;
  std::vector<std::string> calls;  // the argument of each processLine call
};

// Runs of `run` lines joined by bare CRs. CRs at either end of a call are dropped by the
// parser, so an empty line at the edge of a run is given a call of its own.
inline std::vector<std::string> joinWithBareCr(const std::vector<std::string>& lines, std::size_t run) {
  std::vector<std::string> calls;
  for (std::size_t begin = 0; begin < lines.size(); begin += run) {
    std::size_t first = begin;
    std::size_t last = std::min(begin + run, lines.size());
    while (first < last && lines[first].empty()) {
      calls.emplace_back();
      ++first;
    }
    std::size_t trailingEmpty = 0;
    while (last > first && lines[last - 1].empty()) {
      --last;
      ++trailingEmpty;
    }
    if (first < last) {
      std::string joined = lines[first];
      for (std::size_t i = first + 1; i < last; ++i) {
        joined += '\r';
        joined += lines[i];
      }
      calls.push_back(std::move(joined));
    }
    calls.insert(calls.end(), trailingEmpty, std::string());
  }
  return calls;
}

inline std::vector<Feeding> feedingsOf(std::string_view message) {
  const std::vector<std::string> lines = splitCrLfLines(message);
  std::vector<std::string> padded;
  for (const auto& line : lines) {
    padded.push_back("\r" + line + "\r\r");
  }
  return {
      {"one call per line", lines},
      {"pairs joined by a bare CR", joinWithBareCr(lines, 2)},
      {"runs of five joined by bare CRs", joinWithBareCr(lines, 5)},
      {"everything joined by bare CRs", joinWithBareCr(lines, lines.size() + 1)},
      {"CRs around every line", padded},
  };
}

}  // namespace MailParserTest
