#include "mailparser/MessageParser.h"

namespace MailParser {

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
    if (entity) {
      entity->processLine(line);
    } else {
      bodyLineWithoutEntity(line);
    }
    return;
  }
  if (line.empty()) {
    inBody = true;
    headersComplete();
    return;
  }
  header.addLine(line);
}

void MessageParser::end() {
  if (!inBody) {
    inBody = true;
    headersComplete();
  }
  if (entity) {
    entity->end();
  } else {
    endWithoutEntity();
  }
}

}  // namespace MailParser
