#include "logs/MessageLogDates.h"

#include <charconv>
#include <cstdio>

namespace MessageLogDates {
namespace {

constexpr std::string_view kPrefix = "Message.";
constexpr std::size_t kMaxDigits = 18;  // far beyond any yyyymmdd, and safe in int64

}  // namespace

TDateTime WholeDay(TDateTime dateTime) noexcept {
  const TDateParts parts = DecodeDate(dateTime);
  return TryEncodeDate(parts.Year, parts.Month, parts.Day).value_or(0);
}

std::string DayText(TDateTime dateTime) {
  const TDateParts parts = DecodeDate(dateTime);
  char text[16];
  std::snprintf(text, sizeof text, "%04d%02d%02d", parts.Year, parts.Month, parts.Day);
  return text;
}

bool IsMessageLogName(std::string_view fileName) noexcept {
  return fileName.size() > kPrefix.size() && fileName.starts_with(kPrefix);
}

std::optional<std::int64_t> DayLogNumber(std::string_view fileName) noexcept {
  if (!IsMessageLogName(fileName)) {
    return std::nullopt;
  }
  const std::string_view digits = fileName.substr(kPrefix.size());
  if (digits.size() > kMaxDigits) {
    return std::nullopt;
  }
  for (const char c : digits) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
  }
  std::int64_t number = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), number);
  return number;
}

}  // namespace MessageLogDates
