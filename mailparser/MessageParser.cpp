#include "mailparser/MessageParser.h"

namespace MailParser {

namespace {

// A field name is printable ASCII other than ":"; older mail puts spaces or TABs between the
// name and the ":", which still makes a field (its name then holds them, and a header writer
// that keeps only printable names drops it, as before).
bool isFieldLine(std::string_view line) noexcept {
  std::size_t position = 0;
  while (position < line.size() && line[position] >= '!' && line[position] <= '~' && line[position] != ':') {
    ++position;
  }
  if (position == 0) {
    return false;
  }
  while (position < line.size() && (line[position] == ' ' || line[position] == '\t')) {
    ++position;
  }
  return position < line.size() && line[position] == ':';
}

}  // namespace

MessageParser::~MessageParser() = default;

void MessageParser::processLine(std::string_view line) {
  const auto first = line.find_first_not_of('\r');
  if (first == std::string_view::npos) {
    line = {};
  } else {
    line = line.substr(first, line.find_last_not_of('\r') - first + 1);
  }
  // Mail clients treat a bare CR as a line break, so a filter that did not would pass them
  // lines it never looked at (a delimiter or a header field hidden behind a CR).
  for (auto cr = line.find('\r'); cr != std::string_view::npos; cr = line.find('\r')) {
    processLine(line.substr(0, cr));
    line.remove_prefix(cr + 1);
  }
  processSingleLine(line);
}

void MessageParser::processSingleLine(std::string_view line) {
  if (inBody) {
    bodyLine(line);
    return;
  }
  const bool first = firstLine_;
  firstLine_ = false;
  if (line.empty()) {
    endHeader();
    return;
  }
  const bool continuation = !header.empty() && (line.front() == ' ' || line.front() == '\t');
  const bool mboxFromLine = first && line.starts_with("From ");
  // The line break counts, as the header keeps one between folded lines.
  const std::size_t bytes = line.size() + 2;
  const bool fits = headerBytes_ + bytes <= MaxMessageHeaderBytes &&
                    (continuation || header.size() < MaxMessageHeaderFields);
  if (fits && (continuation || mboxFromLine || isFieldLine(line))) {
    headerBytes_ += bytes;
    header.addLine(line);
    return;
  }
  endHeader();
  bodyLine(line);
}

void MessageParser::bodyLine(std::string_view line) {
  if (entity) {
    entity->processLine(line);
  } else {
    bodyLineWithoutEntity(line);
  }
}

void MessageParser::endHeader() {
  inBody = true;
  headersComplete();
}

void MessageParser::end() {
  if (!inBody) {
    endHeader();
  }
  if (entity) {
    entity->end();
  } else {
    endWithoutEntity();
  }
}

}  // namespace MailParser
