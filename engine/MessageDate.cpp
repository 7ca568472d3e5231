#include "engine/MessageDate.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <stdexcept>

#include "common/AsciiCase.h"

namespace MailParser {

namespace {

struct Zone {
  std::string_view name;
  int offsetMinutes;
};

// Zone names that mailers wrote before numeric zones were the rule, with their offsets.
constexpr std::array<Zone, 73> Zones = {{
    {"acsst", 630},  {"acst", 570},   {"adt", -180},   {"aesst", 660},  {"aest", 600},   {"ahst", -600},
    {"ast", -240},   {"awsst", 540},  {"awst", 480},   {"bst", 60},     {"bt", 180},     {"cadt", 630},
    {"cast", 570},   {"cat", -600},   {"cct", 480},    {"cdt", -300},   {"cet", 60},     {"cetdst", 120},
    {"cst", -360},   {"dnt", 60},     {"east", 600},   {"edt", -240},   {"eet", 120},    {"eetdst", 180},
    {"est", -300},   {"fst", 60},     {"fwt", 120},    {"gmt", 0},      {"gst", 600},    {"hdt", -540},
    {"hkt", 480},    {"idle", 720},   {"idlw", -720},  {"ist", 120},    {"it", 210},     {"jst", 540},
    {"jt", 450},     {"kst", 540},    {"ligt", 600},   {"mdt", -360},   {"mest", 120},   {"met", 60},
    {"metdst", 120}, {"mewt", 60},    {"mez", 60},     {"mst", -420},   {"mt", 510},     {"ndt", -150},
    {"nft", -210},   {"nst", -210},   {"nor", 60},     {"nt", -660},    {"nzdt", 780},   {"nzst", 720},
    {"nzt", 720},    {"pdt", -420},   {"pst", -480},   {"sadt", 630},   {"sast", 570},   {"set", 60},
    {"sst", 120},    {"swt", 60},     {"ut", 0},       {"utc", 0},      {"wadt", 480},   {"wast", 420},
    {"wat", -60},    {"wdt", 540},    {"wet", 0},      {"wetdst", 60},  {"wst", 480},    {"ydt", -480},
    {"yst", -540},
}};

constexpr std::array<std::string_view, 12> MonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<std::string_view, 7> WeekdayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

// The day number of 1970-01-01.
constexpr std::int64_t UnixEpochDay = 25569;
constexpr std::int64_t SecondsPerDay = 86400;
// What "+HHMM" can say: 99 hours 59 minutes.
constexpr int MaxZoneOffsetMinutes = 99 * 60 + 59;

constexpr bool isDateSpace(char c) noexcept {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
constexpr bool isDigit(char c) noexcept {
  return c >= '0' && c <= '9';
}
constexpr bool isLetter(char c) noexcept {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Walks a Date value left to right; every read leaves `pos` at the first byte it did not take.
class DateReader {
 public:
  explicit DateReader(std::string_view text) : text_(text) {}

  [[nodiscard]] bool atEnd() const noexcept { return pos_ >= text_.size(); }
  [[nodiscard]] char peek() const noexcept { return atEnd() ? '\0' : text_[pos_]; }
  void skip() noexcept { ++pos_; }

  void skipSpace() noexcept {
    while (!atEnd() && isDateSpace(text_[pos_])) ++pos_;
  }
  [[nodiscard]] bool atSpace() const noexcept { return !atEnd() && isDateSpace(text_[pos_]); }

  template <class Predicate>
  std::string_view takeWhile(Predicate predicate) noexcept {
    const std::size_t start = pos_;
    while (!atEnd() && predicate(text_[pos_])) ++pos_;
    return text_.substr(start, pos_ - start);
  }

  // A run of decimal digits, or nullopt when there is none. An over-long run saturates, so it
  // fails the range check that follows instead of overflowing.
  std::optional<long> number() noexcept {
    const std::string_view digits = takeWhile(isDigit);
    if (digits.empty()) return std::nullopt;
    long value = 0;
    for (const char c : digits) {
      value = value * 10 + (c - '0');
      if (value > 1'000'000'000L) value = 1'000'000'000L;
    }
    return value;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

[[noreturn]] void fail(const char* what) {
  throw std::invalid_argument(what);
}

int readZone(DateReader& in) {
  in.skipSpace();
  const char c = in.peek();
  if (c == '+' || c == '-' || isDigit(c)) {
    const int sign = c == '-' ? -1 : 1;
    if (!isDigit(c)) in.skip();
    const auto value = in.number();
    if (!value || *value > 9999 || *value % 100 >= 60) return 0;
    return sign * static_cast<int>(*value / 100 * 60 + *value % 100);
  }
  const std::string name = asciiLowerCase(in.takeWhile(isLetter));
  return zoneOffsetByName(name).value_or(0);
}

}  // namespace

TDateTime MessageDate::dateTime() const {
  const double seconds = hour * 3600.0 + minute * 60.0 + second;
  return TryEncodeDate(year, month, day).value_or(0) + seconds / SecondsPerDay;
}

std::string formatMessageDate(const MessageDate& date) {
  const auto dayNumber = static_cast<std::int64_t>(std::floor(TryEncodeDate(date.year, date.month, date.day).value_or(0)));
  // Day 0, 1899-12-30, was a Saturday.
  const auto weekday = static_cast<std::size_t>(((dayNumber % 7) + 7 + 6) % 7);
  const std::string_view weekdayName = WeekdayNames[weekday];
  const std::string_view monthName = MonthNames[static_cast<std::size_t>(date.month >= 1 && date.month <= 12 ? date.month - 1 : 0)];
  int offset = date.zoneOffsetMinutes;
  const char sign = offset < 0 ? '-' : '+';
  offset = std::abs(offset);
  if (offset > MaxZoneOffsetMinutes) offset = MaxZoneOffsetMinutes;
  char text[64];
  std::snprintf(text, sizeof text, "%.3s, %02d %.3s %04d %02d:%02d:%02d %c%02d%02d", weekdayName.data(), date.day,
                monthName.data(), date.year, date.hour, date.minute, date.second, sign, offset / 60, offset % 60);
  return text;
}

MessageDate parseMessageDate(std::string_view text) {
  DateReader in(text);
  in.takeWhile([](char c) { return isDateSpace(c) || c == ',' || isLetter(c); });

  MessageDate date;
  const auto day = in.number();
  if (!day || *day < 1 || *day > 31 || !in.atSpace()) fail("cannot parse day of month");
  date.day = static_cast<int>(*day);
  in.skipSpace();

  const std::string_view month = in.takeWhile([](char c) { return !isDateSpace(c); });
  if (month.empty() || !in.atSpace()) fail("cannot parse month name");
  date.month = 0;
  for (std::size_t i = 0; i < MonthNames.size(); ++i) {
    if (caseInsensitiveEquals(month, MonthNames[i])) date.month = static_cast<int>(i) + 1;
  }
  if (date.month == 0) fail("cannot parse month");
  in.skipSpace();

  auto year = in.number();
  if (!year || !in.atSpace()) fail("cannot parse year");
  if (*year < 1900) *year += *year > 59 ? 1900 : 2000;
  if (*year > 9999) fail("cannot parse year");
  date.year = static_cast<int>(*year);
  if (!TryEncodeDate(date.year, date.month, date.day)) fail("cannot parse day of month");
  in.skipSpace();

  const auto hour = in.number();
  in.skipSpace();
  if (!hour || *hour > 23 || in.peek() != ':') fail("cannot parse hour");
  date.hour = static_cast<int>(*hour);
  in.skip();
  in.skipSpace();

  const auto minute = in.number();
  if (!minute || *minute > 59) fail("cannot parse minutes");
  date.minute = static_cast<int>(*minute);

  in.skipSpace();
  if (in.peek() == ':') {
    in.skip();
    in.skipSpace();
    const auto second = in.number();
    date.second = second && *second <= 60 ? static_cast<int>(*second) : 0;
  }
  date.zoneOffsetMinutes = readZone(in);
  return date;
}

std::optional<MessageDate> tryParseMessageDate(std::string_view text) noexcept {
  try {
    return parseMessageDate(text);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<int> zoneOffsetByName(std::string_view lowerCaseName) noexcept {
  for (const Zone& zone : Zones) {
    if (zone.name == lowerCaseName) return zone.offsetMinutes;
  }
  return std::nullopt;
}

MessageDate messageDateAt(std::int64_t unixSeconds, int zoneOffsetMinutes) {
  const std::int64_t local = unixSeconds + std::int64_t{zoneOffsetMinutes} * 60;
  std::int64_t days = local / SecondsPerDay;
  std::int64_t seconds = local % SecondsPerDay;
  if (seconds < 0) {
    seconds += SecondsPerDay;
    --days;
  }
  const TDateParts parts = DecodeDate(static_cast<TDateTime>(days + UnixEpochDay));
  MessageDate date;
  date.year = parts.Year;
  date.month = parts.Month;
  date.day = parts.Day;
  date.hour = static_cast<int>(seconds / 3600);
  date.minute = static_cast<int>(seconds / 60 % 60);
  date.second = static_cast<int>(seconds % 60);
  date.zoneOffsetMinutes = zoneOffsetMinutes;
  return date;
}

MessageDate currentMessageDate() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  long offsetSeconds = 0;
  if (localtime_r(&now, &local) != nullptr) {
    offsetSeconds = local.tm_gmtoff;
    // In summer the standard offset is that of a moment half a year away.
    constexpr std::time_t HalfYear = std::time_t{182} * SecondsPerDay;
    for (const std::time_t other : {now - HalfYear, now + HalfYear}) {
      if (local.tm_isdst <= 0) break;
      std::tm then{};
      if (localtime_r(&other, &then) != nullptr && then.tm_isdst == 0) {
        offsetSeconds = then.tm_gmtoff;
        break;
      }
    }
  }
  return messageDateAt(static_cast<std::int64_t>(now), static_cast<int>(offsetSeconds / 60));
}

std::optional<MessageDate> parseProcessingTime(std::string_view text) noexcept {
  // YYYY-MM-DDTHH:MM:SS+HHMM
  constexpr std::string_view Shape = "dddd-dd-ddTdd:dd:dd+dddd";
  if (text.size() != Shape.size()) return std::nullopt;
  for (std::size_t i = 0; i < Shape.size(); ++i) {
    const char c = text[i];
    const bool fits = Shape[i] == 'd' ? isDigit(c) : Shape[i] == '+' ? (c == '+' || c == '-') : c == Shape[i];
    if (!fits) return std::nullopt;
  }
  const auto field = [text](std::size_t at, std::size_t length) {
    int value = 0;
    for (std::size_t i = at; i < at + length; ++i) value = value * 10 + (text[i] - '0');
    return value;
  };
  MessageDate date;
  date.year = field(0, 4);
  date.month = field(5, 2);
  date.day = field(8, 2);
  date.hour = field(11, 2);
  date.minute = field(14, 2);
  date.second = field(17, 2);
  const int zoneHours = field(20, 2);
  const int zoneMinutes = field(22, 2);
  if (!TryEncodeDate(date.year, date.month, date.day) || date.hour > 23 || date.minute > 59 || date.second > 59 ||
      zoneHours > 23 || zoneMinutes > 59) {
    return std::nullopt;
  }
  date.zoneOffsetMinutes = (text[19] == '-' ? -1 : 1) * (zoneHours * 60 + zoneMinutes);
  return date;
}

}  // namespace MailParser
