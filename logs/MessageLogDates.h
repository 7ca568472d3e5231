#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/TDateTime.h"

// Day numbers and the yyyymmdd names of the day logs. Dates read from files may be any 8
// bytes (NaN, huge values): every function here gives a defined answer for them.
namespace MessageLogDates {

// The whole day of `dateTime`, within the years 1 to 9999 (NaN counts as the epoch).
[[nodiscard]] TDateTime WholeDay(TDateTime dateTime) noexcept;

// "yyyymmdd" of the day of `dateTime`.
[[nodiscard]] std::string DayText(TDateTime dateTime);

// The number N of a file name "Message." + N, where N is a decimal number; nullopt for any
// other name (also "Message.txt", or more digits than any date has).
[[nodiscard]] std::optional<std::int64_t> DayLogNumber(std::string_view fileName) noexcept;

// Whether a file name is "Message." followed by anything.
[[nodiscard]] bool IsMessageLogName(std::string_view fileName) noexcept;

}  // namespace MessageLogDates
