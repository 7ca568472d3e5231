#include "mailparser/ContentField.h"

#include "mailparser/HeaderSyntax.h"

namespace MailParser {

namespace {

void skipWhitespace(std::string_view text, std::size_t& position) {
  while (position < text.size() && isHeaderWhitespace(text[position])) {
    ++position;
  }
}

}  // namespace

ContentField::~ContentField() = default;

void ContentField::parse(std::string_view value) {
  parameters.clear();
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

  std::size_t position = semicolon;
  while (true) {
    skipWhitespace(value, position);
    if (position >= value.size() || value[position] != ';') {
      return;
    }
    ++position;
    skipWhitespace(value, position);
    const std::string_view name = scanToken(value, position);
    if (name.empty()) {
      return;
    }
    skipWhitespace(value, position);
    if (position >= value.size() || value[position] != '=') {
      return;
    }
    ++position;
    skipWhitespace(value, position);
    if (position >= value.size()) {
      return;
    }
    std::string parameterValue;
    if (value[position] == '"') {
      ++position;
      parameterValue = scanQuotedString(value, position);
      if (position < value.size() && value[position] == '"') {
        ++position;
      }
    } else {
      parameterValue = scanToken(value, position);
    }
    parameters[std::string(name)] = std::move(parameterValue);
  }
}

std::string ContentField::toString() const {
  std::string text = mainValue();
  for (const auto& [name, value] : parameters) {
    text += ";\r\n\t";
    text += name;
    text += '=';
    text += quoteParameterValue(value);
  }
  return text;
}

}  // namespace MailParser
