#include "engine/FileNames.h"

#include <cstdio>
#include <string>

#include "common/HexDigits.h"

namespace MailParser {

namespace {

std::string_view withoutTrailingDots(std::string_view name) {
  const auto last = name.find_last_not_of('.');
  return last == std::string_view::npos ? std::string_view() : name.substr(0, last + 1);
}

// "{" 8 "-" 4 "-" 4 "-" 4 "-" 12 "}", 38 characters.
constexpr std::string_view kClassIdPattern = "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";

bool isClassId(std::string_view text) {
  if (text.size() != kClassIdPattern.size()) {
    return false;
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (kClassIdPattern[i] == 'x' ? hexDigitValue(text[i]) < 0 : text[i] != kClassIdPattern[i]) {
      return false;
    }
  }
  return true;
}

bool isUnsafeFileNameChar(unsigned char c) {
  if (c < 0x20 || c >= 0x80) {
    return true;
  }
  switch (c) {
    case '/':
    case '\\':
    case ':':
    case '*':
    case '?':
    case '<':
    case '>':
    case '|':
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string extensionOf(std::string_view name) {
  const std::string_view rest = withoutTrailingDots(name);
  const auto dot = rest.rfind('.');
  return dot == std::string_view::npos ? std::string() : std::string(rest.substr(dot + 1));
}

std::string baseNameOf(std::string_view name) {
  const std::string_view rest = withoutTrailingDots(name);
  const auto dot = rest.rfind('.');
  return std::string(dot == std::string_view::npos ? rest : rest.substr(0, dot));
}

std::string trimDotsAndSpaces(std::string_view name) {
  const auto first = name.find_first_not_of(". ");
  if (first == std::string_view::npos) {
    return {};
  }
  const auto last = name.find_last_not_of(". ");
  return std::string(name.substr(first, last - first + 1));
}

std::string stripClassIdSuffix(std::string_view name) {
  const std::size_t suffix = kClassIdPattern.size() + 1;
  if (name.size() >= suffix && name[name.size() - suffix] == '.' &&
      isClassId(name.substr(name.size() - kClassIdPattern.size()))) {
    return std::string(name.substr(0, name.size() - suffix));
  }
  return std::string(name);
}

std::string sanitiseFileName(std::string_view name, std::size_t maxLength) {
  std::string safe;
  safe.reserve(name.size());
  for (const char c : name) {
    if (isUnsafeFileNameChar(static_cast<unsigned char>(c)) || (c == '.' && !safe.empty() && safe.back() == '.')) {
      safe += '_';
    } else {
      safe += c;
    }
  }
  safe = trimDotsAndSpaces(stripClassIdSuffix(trimDotsAndSpaces(safe)));
  if (safe.size() <= maxLength) {
    return safe;
  }
  std::string extension = extensionOf(safe);
  std::string base = baseNameOf(safe);
  while (!base.empty() && base.size() + 1 + extension.size() > maxLength) {
    base.pop_back();
  }
  while (!extension.empty() && base.size() + 1 + extension.size() > maxLength) {
    extension.pop_back();
  }
  return base + "." + extension;
}

std::string renamedFileName(std::string_view name, std::string_view extension) {
  std::string renamed(name);
  renamed += '.';
  renamed += extension;
  return renamed;
}

std::string numberedFileName(int number, std::string_view extension) {
  char digits[24];
  std::snprintf(digits, sizeof digits, "ATT%05d.", number);
  std::string name(digits);
  name += extension;
  return name;
}

}  // namespace MailParser
