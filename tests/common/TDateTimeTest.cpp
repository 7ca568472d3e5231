#include <gtest/gtest.h>

#include <ctime>
#include <limits>

#include "common/EQuorixException.h"
#include "common/TDateTime.h"

namespace {

struct KnownDate {
  int Year, Month, Day;
  TDateTime DayNumber;
};

// Day numbers that settings files of earlier versions hold, so the epoch must match them.
constexpr KnownDate KnownDates[] = {
    {1899, 12, 30, 0},     {1899, 12, 31, 1},   {1900, 1, 1, 2},         {1900, 3, 1, 61},
    {1970, 1, 1, 25569},   {2000, 1, 1, 36526}, {2000, 2, 29, 36585},    {2024, 2, 29, 45351},
    {2099, 12, 31, 73050}, {1, 1, 1, -693593},  {9999, 12, 31, 2958465},
};

TEST(TDateTimeTest, EncodesAndDecodesKnownDates) {
  for (const KnownDate& c : KnownDates) {
    SCOPED_TRACE(testing::Message() << c.Year << "-" << c.Month << "-" << c.Day);
    EXPECT_EQ(EncodeDate(c.Year, c.Month, c.Day), c.DayNumber);
    EXPECT_EQ(DecodeDate(c.DayNumber), (TDateParts{c.Year, c.Month, c.Day}));
  }
}

TEST(TDateTimeTest, DecodeIgnoresTheTimeOfDay) {
  EXPECT_EQ(DecodeDate(45351.999), (TDateParts{2024, 2, 29}));
  // Before the epoch the date part rounds down, so a morning of 1899-12-29 is -0.75.
  EXPECT_EQ(DecodeDate(-0.75), (TDateParts{1899, 12, 29}));
}

TEST(TDateTimeTest, DamagedDayNumbersDecodeToTheNearestValidDate) {
  EXPECT_EQ(DecodeDate(std::numeric_limits<double>::quiet_NaN()), (TDateParts{1899, 12, 30}));
  EXPECT_EQ(DecodeDate(1e300), (TDateParts{9999, 12, 31}));
  EXPECT_EQ(DecodeDate(std::numeric_limits<double>::infinity()), (TDateParts{9999, 12, 31}));
  EXPECT_EQ(DecodeDate(-1e300), (TDateParts{1, 1, 1}));
}

TEST(TDateTimeTest, EveryDayOfFourCenturiesRoundTrips) {
  const TDateTime first = EncodeDate(1900, 1, 1);
  const TDateTime last = EncodeDate(2300, 1, 1);
  TDateParts previous = DecodeDate(first - 1);
  for (TDateTime day = first; day <= last; day += 1) {
    const TDateParts parts = DecodeDate(day);
    ASSERT_EQ(EncodeDate(parts.Year, parts.Month, parts.Day), day);
    ASSERT_TRUE(parts.Day == previous.Day + 1 || parts.Day == 1) << day;
    previous = parts;
  }
}

TEST(TDateTimeTest, ImpossibleDatesAreRejected) {
  struct Case {
    int Year, Month, Day;
  };
  const Case cases[] = {{2023, 2, 29}, {1900, 2, 29}, {2024, 13, 1}, {2024, 0, 1},
                        {2024, 4, 31}, {2024, 1, 0},  {0, 1, 1},     {10000, 1, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Year << "-" << c.Month << "-" << c.Day);
    EXPECT_FALSE(TryEncodeDate(c.Year, c.Month, c.Day).has_value());
    try {
      (void)EncodeDate(c.Year, c.Month, c.Day);
      ADD_FAILURE() << "no exception";
    } catch (const EQuorixException& e) {
      EXPECT_STREQ(e.what(), "Invalid argument to date encode");
    }
  }
}

TDateParts LocalDateNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) {
    ADD_FAILURE() << "no local time";
  }
  return TDateParts{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

TEST(TDateTimeTest, TodayIsTheLocalDateAtMidnight) {
  // Looked at again if local midnight passed in between; it passes once a day, so the
  // second look is always calm.
  TDateParts before;
  TDateTime today = 0;
  do {
    before = LocalDateNow();
    today = Today();
  } while (LocalDateNow() != before);
  EXPECT_EQ(DecodeDate(today), before);
  EXPECT_EQ(today, static_cast<double>(static_cast<long long>(today)));
}

}  // namespace
