#include "mailparser/HeaderSyntax.h"

namespace MailParser {

namespace {

constexpr std::string_view kSeparators = "()<>@,;:\"/[]?=";

// Folds are taken care of before this is asked: any other CR or LF ends the line, and the
// string with it. Controls and 8-bit bytes are text like any other.
bool endsQuotedString(char c) {
  return c == '"' || c == '\r' || c == '\n';
}

bool isFoldAt(std::string_view text, std::size_t position) {
  return position + 2 < text.size() && text[position] == '\r' && text[position + 1] == '\n' &&
         (text[position + 2] == ' ' || text[position + 2] == '\t');
}

}  // namespace

bool isTokenChar(char c) noexcept {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 0x21 && byte <= 0x7F && kSeparators.find(c) == std::string_view::npos;
}

std::string_view scanToken(std::string_view text, std::size_t& position) noexcept {
  const std::size_t start = position;
  while (position < text.size() && isTokenChar(text[position])) {
    ++position;
  }
  return text.substr(start, position - start);
}

std::string scanQuotedString(std::string_view text, std::size_t& position) {
  std::string result;
  while (position < text.size()) {
    const char c = text[position];
    if (c == '\\') {
      ++position;
      if (position < text.size()) {
        result += text[position];
        ++position;
      }
      continue;
    }
    if (isFoldAt(text, position)) {
      // Without this a folded file name would be cut at the fold, along with every parameter
      // after it. Unfolding keeps the whitespace that follows the line break.
      result += text[position + 2];
      position += 3;
      continue;
    }
    if (endsQuotedString(c)) {
      break;
    }
    result += c;
    ++position;
  }
  return result;
}

void appendQuotedByte(std::string& out, char c, char quote) {
  if (static_cast<unsigned char>(c) < 0x20) {
    return;
  }
  if (c == '\\' || c == quote) {
    out += '\\';
  }
  out += c;
}

std::string quoteParameterValue(std::string_view value, char quote) {
  std::string result;
  result.reserve(value.size() + 2);
  result += quote;
  for (const char c : value) {
    appendQuotedByte(result, c, quote);
  }
  result += quote;
  return result;
}

bool stripComments(HeaderField& field) {
  const std::string_view value = field.value;
  std::string result;
  result.reserve(value.size());
  std::size_t depth = 0;
  std::size_t position = 0;
  while (position < value.size()) {
    const char c = value[position];
    if (c == '(') {
      ++depth;
      ++position;
    } else if (c == ')') {
      if (depth > 0) {
        --depth;
      }
      ++position;
    } else if (depth > 0) {
      ++position;
    } else if (c == '"') {
      const std::size_t start = position;
      ++position;
      static_cast<void>(scanQuotedString(value, position));
      if (position < value.size()) {
        ++position;  // the closing quote, or the byte that cut the string short
      }
      result.append(value, start, position - start);
    } else {
      result += c;
      ++position;
    }
  }
  const bool shorter = result.size() < value.size();
  field.value = std::move(result);
  return shorter;
}

bool isMIME(const Header& header) {
  return header.hasField("mime-version", true) || header.hasField("content-", false);
}

std::string_view trimHeaderWhitespace(std::string_view text) noexcept {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && isHeaderWhitespace(text[first])) {
    ++first;
  }
  while (last > first && isHeaderWhitespace(text[last - 1])) {
    --last;
  }
  return text.substr(first, last - first);
}

}  // namespace MailParser
