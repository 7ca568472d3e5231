#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/TDateTime.h"

namespace MailParser {

// A date and time as a message states it: the local calendar date and time of the writer
// and the writer's offset from UTC. Kept as fields rather than a day number so that a leap
// second (60) is written back as it came.
struct MessageDate {
  int year = 1900;
  int month = 1;  // 1-12
  int day = 1;    // 1-31, valid for the month
  int hour = 0;
  int minute = 0;
  int second = 0;              // 0-60
  int zoneOffsetMinutes = 0;  // east of UTC is positive

  // The local date and time as a day number.
  [[nodiscard]] TDateTime dateTime() const;

  friend bool operator==(const MessageDate&, const MessageDate&) = default;
};

// "Tue, 03 Jun 2003 09:05:00 +0100": English weekday and month, two-digit day, full year,
// and the offset as sign, two digits of hours and two of minutes.
[[nodiscard]] std::string formatMessageDate(const MessageDate& date);

// Reads the value of a Date field whose comments are already removed. Understands the
// RFC 5322 form and its obsolete relatives: optional weekday, one- or two-digit day,
// three-letter month in any letter case, two-digit years (60-99 are 19xx, 00-59 20xx; three
// digits add 1900), optional seconds, a numeric zone or a zone name of the table below; an
// unknown or missing zone is UTC, and seconds outside 0-60 are 0.
// Anything else raises std::invalid_argument with one of the texts "cannot parse day of
// month", "cannot parse month name", "cannot parse month", "cannot parse year", "cannot
// parse hour", "cannot parse minutes" (a day the month does not have counts as a bad day).
[[nodiscard]] MessageDate parseMessageDate(std::string_view text);

// As parseMessageDate, with nullopt in place of the exception.
[[nodiscard]] std::optional<MessageDate> tryParseMessageDate(std::string_view text) noexcept;

// The offset in minutes of a zone name (lower case, whole name: "cet", "pst"), or nullopt
// for a name the table does not hold.
[[nodiscard]] std::optional<int> zoneOffsetByName(std::string_view lowerCaseName) noexcept;

// The date at a moment given as seconds since 1970-01-01 UTC, seen from a zone that is
// `zoneOffsetMinutes` east of UTC.
[[nodiscard]] MessageDate messageDateAt(std::int64_t unixSeconds, int zoneOffsetMinutes);

// Now, in the local zone's standard time (daylight saving left out, as Date fields written
// by this program always have been): the same instant whatever the season.
[[nodiscard]] MessageDate currentMessageDate();

// A fixed processing time written as "YYYY-MM-DDTHH:MM:SS+HHMM" (or -HHMM): a local date and
// time and its zone, so that runs can be compared byte for byte. nullopt when the text is not
// exactly of that form or names a date that does not exist.
[[nodiscard]] std::optional<MessageDate> parseProcessingTime(std::string_view text) noexcept;

}  // namespace MailParser
