#pragma once

#include <optional>

// Dates and times as day numbers: whole days since 1899-12-30 plus the fraction of the day
// (0.5 is noon). Settings files store them as the 8-byte double, so the epoch and the
// representation must not change.
using TDateTime = double;

struct TDateParts {
  int Year = 0;
  int Month = 0;  // 1-12
  int Day = 0;    // 1-31

  friend bool operator==(const TDateParts&, const TDateParts&) = default;
};

// The day number of a calendar date (proleptic Gregorian, years 1 to 9999); nullopt for a
// date that does not exist (2023-02-29, month 13, day 0).
[[nodiscard]] std::optional<TDateTime> TryEncodeDate(int year, int month, int day) noexcept;

// As TryEncodeDate; an impossible date raises EQuorixException "Invalid argument to date
// encode".
[[nodiscard]] TDateTime EncodeDate(int year, int month, int day);

// The calendar date of a day number; the time of day is ignored (negative day numbers, before
// the epoch, are rounded towards the earlier day). A day number outside the years 1 to 9999
// gives the nearest date inside them, NaN the epoch: a damaged stored date still decodes.
[[nodiscard]] TDateParts DecodeDate(TDateTime dateTime) noexcept;

// Today's date in local time at midnight (a whole number).
[[nodiscard]] TDateTime Today();
