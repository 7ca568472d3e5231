#include "common/TDateTime.h"

#include <cmath>
#include <ctime>

#include "common/EQuorixException.h"

namespace {

// Days from 1970-01-01 to a proleptic Gregorian date (negative before it); eras of 400
// years keep the arithmetic exact for every year the settings can hold.
constexpr long long DaysFromCivil(long long year, unsigned month, unsigned day) noexcept {
  year -= month <= 2 ? 1 : 0;
  const long long era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<long long>(dayOfEra) - 719468;
}

constexpr long long EpochDays = DaysFromCivil(1899, 12, 30);

constexpr bool IsLeapYear(int year) noexcept {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

constexpr int DaysInMonth(int year, int month) noexcept {
  constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

}  // namespace

std::optional<TDateTime> TryEncodeDate(int year, int month, int day) noexcept {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) {
    return std::nullopt;
  }
  return static_cast<TDateTime>(
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - EpochDays);
}

TDateTime EncodeDate(int year, int month, int day) {
  if (const auto result = TryEncodeDate(year, month, day)) {
    return *result;
  }
  throw EQuorixException("Invalid argument to date encode");
}

TDateParts DecodeDate(TDateTime dateTime) noexcept {
  // Stored dates are any 8 bytes a file held; keep the conversion to an integer defined.
  constexpr TDateTime First = -693593;  // 0001-01-01
  constexpr TDateTime Last = 2958465;   // 9999-12-31
  if (std::isnan(dateTime)) {
    dateTime = 0;
  } else if (dateTime < First) {
    dateTime = First;
  } else if (dateTime >= Last + 1) {
    dateTime = Last;
  }
  // Inverse of DaysFromCivil, counted from 0000-03-01 so that leap days fall at a year's end.
  const long long days = static_cast<long long>(std::floor(dateTime)) + EpochDays + 719468;
  const long long era = (days >= 0 ? days : days - 146096) / 146097;
  const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
  const unsigned day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  const unsigned month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  const long long year = static_cast<long long>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
  return TDateParts{static_cast<int>(year), static_cast<int>(month), static_cast<int>(day)};
}

TDateTime Today() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) {
    throw EQuorixException("Cannot determine today's date: the local time is not available");
  }
  return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}
