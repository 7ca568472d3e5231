#include "platform/RegFileParser.h"

#include <optional>
#include <string>
#include <utility>

#include "common/AsciiCase.h"
#include "platform/RegFileFormat.h"
#include "platform/RegFileText.h"
#include "platform/RegLineError.h"
#include "platform/RegValueReader.h"

RegFileParser::RegFileParser(std::string_view text) : lines_(text) {}

TRegKey RegFileParser::Run() {
  Header();
  while (const std::optional<std::string_view> next = lines_.Next()) {
    const std::string_view line = RegFileText::Trim(*next);
    if (line.empty() || line.front() == ';') {
      continue;
    }
    if (line.front() == '[') {
      KeyLine(line);
    } else if (line.front() == '"' || line.front() == '@') {
      ValueLine(line);
    } else {
      throw RegLineError(lines_.Number(), "expected a key line, a value line, a comment or a blank line");
    }
  }
  return std::move(root_);
}

void RegFileParser::Header() {
  const std::string header(RegFileFormat::kHeader);
  const std::optional<std::string_view> first = lines_.Next();
  if (!first) {
    throw RegLineError(1, "the file is empty; expected '" + header + "'");
  }
  if (RegFileText::TrimRight(*first) != header) {
    throw RegLineError(1, "expected '" + header + "'");
  }
}

void RegFileParser::KeyLine(std::string_view line) {
  const std::size_t lineNumber = lines_.Number();
  if (line.size() < 2 || line.back() != ']') {
    throw RegLineError(lineNumber, "a key line must end with ']'");
  }
  const std::string_view inner = line.substr(1, line.size() - 2);
  if (inner.starts_with('-')) {
    throw RegLineError(lineNumber, "deleting a key ('[-...]') is not supported");
  }
  const std::size_t separator = inner.find('\\');
  if (!caseInsensitiveEquals(inner.substr(0, separator), RegFileFormat::kRootName)) {
    throw RegLineError(lineNumber, "the key '" + std::string(inner) + "' is not under " +
                                       std::string(RegFileFormat::kRootName));
  }
  TRegKey* key = &root_;
  if (separator != std::string_view::npos) {
    std::string_view rest = inner.substr(separator + 1);
    std::size_t depth = 0;
    while (true) {
      const std::size_t next = rest.find('\\');
      const std::string_view name = rest.substr(0, next);
      if (name.empty()) {
        throw RegLineError(lineNumber, "empty key name in '" + std::string(inner) + "'");
      }
      if (++depth > RegFileFormat::kMaxKeyDepth) {
        throw RegLineError(lineNumber, "the key is nested deeper than " +
                                           std::to_string(RegFileFormat::kMaxKeyDepth) + " levels");
      }
      key = &key->AddSubkey(name);
      if (next == std::string_view::npos) {
        break;
      }
      rest.remove_prefix(next + 1);
    }
  }
  currentKey_ = key;
}

void RegFileParser::ValueLine(std::string_view line) {
  const std::size_t lineNumber = lines_.Number();
  if (currentKey_ == nullptr) {
    throw RegLineError(lineNumber, "a value before the first key line");
  }
  std::size_t pos = 0;
  std::string name;
  if (line.front() == '@') {
    pos = 1;
  } else {
    name = RegValueReader::QuotedString(line, pos, lineNumber);
  }
  std::string_view rest = RegFileText::TrimLeft(line.substr(pos));
  if (!rest.starts_with('=')) {
    throw RegLineError(lineNumber, "expected '=' after the value name");
  }
  // The data may continue on the following lines; ValueData takes them from lines_.
  currentKey_->SetValue(name, RegValueReader::ValueData(RegFileText::TrimLeft(rest.substr(1)), lines_));
}
