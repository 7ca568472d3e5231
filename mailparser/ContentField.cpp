#include "mailparser/ContentField.h"

#include "mailparser/HeaderSyntax.h"
#include "mailparser/ParameterAssembler.h"
#include "mailparser/RFC2231.h"

namespace MailParser {

namespace {

void skipWhitespace(std::string_view text, std::size_t& position) {
  while (position < text.size() && isHeaderWhitespace(text[position])) {
    ++position;
  }
}

// An unquoted value: token characters, and 8-bit bytes, which some mailers write unquoted in
// file names and mail programs take as part of the name.
std::string_view scanValueToken(std::string_view text, std::size_t& position) {
  const std::size_t start = position;
  while (position < text.size() &&
         (isTokenChar(text[position]) || static_cast<unsigned char>(text[position]) >= 0x80)) {
    ++position;
  }
  return text.substr(start, position - start);
}

}  // namespace

ContentField::~ContentField() = default;

void ContentField::parse(std::string_view value) {
  parameters.clear();
  rawCharsets.clear();
  const auto semicolon = value.find(';');
  if (semicolon == std::string_view::npos) {
    parseMainValue(value);
    return;
  }
  std::size_t mainEnd = semicolon;
  while (mainEnd > 0 && isHeaderWhitespace(value[mainEnd - 1])) {
    --mainEnd;
  }
  parseMainValue(value.substr(0, mainEnd));

  ParameterAssembler assembler;
  std::size_t position = semicolon;
  while (true) {
    skipWhitespace(value, position);
    if (position >= value.size() || value[position] != ';') {
      break;
    }
    ++position;
    skipWhitespace(value, position);
    const std::string_view name = scanToken(value, position);
    if (name.empty()) {
      break;
    }
    skipWhitespace(value, position);
    if (position >= value.size() || value[position] != '=') {
      break;
    }
    ++position;
    skipWhitespace(value, position);
    if (position >= value.size()) {
      break;
    }
    std::string parameterValue;
    if (value[position] == '"') {
      ++position;
      parameterValue = scanQuotedString(value, position);
      if (position < value.size() && value[position] == '"') {
        ++position;
      }
    } else {
      parameterValue = scanValueToken(value, position);
    }
    assembler.add(name, std::move(parameterValue));
  }
  assembler.finish(parameters, rawCharsets);
}

std::string ContentField::toString() const {
  std::string text = mainValue();
  for (const auto& [name, value] : parameters) {
    const auto charset = rawCharsets.find(name);
    appendParameter(text, name, value, charset == rawCharsets.end() ? std::string_view() : charset->second);
  }
  return text;
}

}  // namespace MailParser
