#include "engine/MessageDate.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <stdexcept>
#include <string>

namespace {

using MailParser::formatMessageDate;
using MailParser::MessageDate;
using MailParser::parseMessageDate;

struct ParseCase {
  const char* what;
  std::string value;
  // The value as the processor writes it back, or the text of the exception.
  std::string expected;
  bool fails = false;
};

std::string parsedAndFormatted(const std::string& value) {
  try {
    return formatMessageDate(parseMessageDate(value));
  } catch (const std::invalid_argument& e) {
    return std::string("error: ") + e.what();
  }
}

TEST(MessageDateTest, ParsesAndRewritesDates) {
  const std::vector<ParseCase> cases = {
      // The ordinary form and its variants.
      {"RFC 5322 form", "Tue, 03 Jun 2003 09:05:07 +0100", "Tue, 03 Jun 2003 09:05:07 +0100"},
      {"one-digit day, two-digit year, no seconds", "Tue, 3 Jun 03 09:05 +0100", "Tue, 03 Jun 2003 09:05:00 +0100"},
      {"75 is 1975", "3 Feb 75 10:00:00 -0500", "Mon, 03 Feb 1975 10:00:00 -0500"},
      {"00 is 2000", "1 Jan 00 00:00:00 +0000", "Sat, 01 Jan 2000 00:00:00 +0000"},
      {"59 is 2059", "1 Jan 59 00:00 +0000", "Wed, 01 Jan 2059 00:00:00 +0000"},
      {"60 is 1960", "1 Jan 60 00:00 +0000", "Fri, 01 Jan 1960 00:00:00 +0000"},
      {"three digits add 1900", "1 Jan 999 00:00 +0000", "Thu, 01 Jan 2899 00:00:00 +0000"},
      {"the weekday is recomputed", "Fri, 3 Jun 2003 09:05 +0100", "Tue, 03 Jun 2003 09:05:00 +0100"},
      {"no weekday", "3 Jun 2003 09:05:07 +0100", "Tue, 03 Jun 2003 09:05:07 +0100"},
      {"weekday glued to the day", "Tue,3 Jun 2003 09:05 +0100", "Tue, 03 Jun 2003 09:05:00 +0100"},
      {"month in capitals", "3 JUN 2003 09:05 +0100", "Tue, 03 Jun 2003 09:05:00 +0100"},
      {"spaces everywhere", "  Tue ,  3   Jun   2003   09 : 05 : 07   +0100  ",
       "Tue, 03 Jun 2003 09:05:07 +0100"},
      {"folded value", "Tue, 3 Jun 2003\r\n 09:05:07\r\n\t+0100", "Tue, 03 Jun 2003 09:05:07 +0100"},
      {"leap second kept", "31 Dec 2016 23:59:60 +0000", "Sat, 31 Dec 2016 23:59:60 +0000"},
      {"second 61 is 0", "31 Dec 2016 23:59:61 +0000", "Sat, 31 Dec 2016 23:59:00 +0000"},
      {"colon without seconds", "3 Jun 2003 09:05: +0100", "Tue, 03 Jun 2003 09:05:00 +0100"},
      {"29 February of a leap year", "29 Feb 2024 12:00 +0000", "Thu, 29 Feb 2024 12:00:00 +0000"},
      // Zones.
      {"negative numeric zone", "3 Jun 2003 09:05 -0330", "Tue, 03 Jun 2003 09:05:00 -0330"},
      {"-0000", "3 Jun 2003 09:05 -0000", "Tue, 03 Jun 2003 09:05:00 +0000"},
      {"zone without sign", "3 Jun 2003 09:05 0200", "Tue, 03 Jun 2003 09:05:00 +0200"},
      {"numeric zone with minutes 60 or more is UTC", "3 Jun 2003 09:05 +0190", "Tue, 03 Jun 2003 09:05:00 +0000"},
      {"numeric zone beyond 9999 is UTC", "3 Jun 2003 09:05 +12345", "Tue, 03 Jun 2003 09:05:00 +0000"},
      {"GMT", "3 Jun 2003 09:05 GMT", "Tue, 03 Jun 2003 09:05:00 +0000"},
      {"UT", "3 Jun 2003 09:05 UT", "Tue, 03 Jun 2003 09:05:00 +0000"},
      {"EST", "3 Jun 2003 09:05 EST", "Tue, 03 Jun 2003 09:05:00 -0500"},
      {"PDT", "3 Jun 2003 09:05 PDT", "Tue, 03 Jun 2003 09:05:00 -0700"},
      {"cetdst", "3 Jun 2003 09:05 cetdst", "Tue, 03 Jun 2003 09:05:00 +0200"},
      {"NZDT", "3 Jun 2003 09:05 NZDT", "Tue, 03 Jun 2003 09:05:00 +1300"},
      {"half hours: NDT", "3 Jun 2003 09:05 NDT", "Tue, 03 Jun 2003 09:05:00 -0230"},
      {"IT", "3 Jun 2003 09:05 IT", "Tue, 03 Jun 2003 09:05:00 +0330"},
      {"IDLW", "3 Jun 2003 09:05 IDLW", "Tue, 03 Jun 2003 09:05:00 -1200"},
      {"YST, the table's last", "3 Jun 2003 09:05 YST", "Tue, 03 Jun 2003 09:05:00 -0900"},
      {"ACSST, the table's first", "3 Jun 2003 09:05 ACSST", "Tue, 03 Jun 2003 09:05:00 +1030"},
      {"a name outside the table is UTC", "3 Jun 2003 09:05 CEST", "Tue, 03 Jun 2003 09:05:00 +0000"},
      {"a name is matched whole, not as a prefix", "3 Jun 2003 09:05 ESTX", "Tue, 03 Jun 2003 09:05:00 +0000"},
      {"military letter is UTC", "3 Jun 2003 09:05 Z", "Tue, 03 Jun 2003 09:05:00 +0000"},
      {"no zone is UTC", "3 Jun 2003 09:05", "Tue, 03 Jun 2003 09:05:00 +0000"},
      // Failures.
      {"empty", "", "error: cannot parse day of month"},
      {"day 0", "0 Jun 2003 09:05 +0100", "error: cannot parse day of month"},
      {"day 32", "32 Jun 2003 09:05 +0100", "error: cannot parse day of month"},
      {"30 February", "30 Feb 2003 09:05 +0100", "error: cannot parse day of month"},
      {"ISO form", "2003-06-03T09:05:00Z", "error: cannot parse day of month"},
      {"month at the end", "3 Jun", "error: cannot parse month name"},
      {"month in full", "3 June 2003 09:05 +0100", "error: cannot parse month"},
      {"month as a number", "3 06 2003 09:05 +0100", "error: cannot parse month"},
      {"year at the end", "3 Jun 2003", "error: cannot parse year"},
      {"year missing", "3 Jun x 09:05", "error: cannot parse year"},
      {"year past 9999", "3 Jun 10000 09:05 +0100", "error: cannot parse year"},
      {"hour 24", "3 Jun 2003 24:05 +0100", "error: cannot parse hour"},
      {"hour without colon", "3 Jun 2003 09 +0100", "error: cannot parse hour"},
      {"hour missing", "3 Jun 2003 +0100", "error: cannot parse hour"},
      {"minute 60", "3 Jun 2003 09:60 +0100", "error: cannot parse minutes"},
      {"minutes missing", "3 Jun 2003 09:", "error: cannot parse minutes"},
      {"asctime form", "Tue Jun  3 09:05:07 2003", "error: cannot parse month"},
      // Hostile bytes.
      {"NUL after the day", std::string("3\0Jun 2003 09:05", 16), "error: cannot parse day of month"},
      {"NUL in the zone", std::string("3 Jun 2003 09:05 \0+0100", 23), "Tue, 03 Jun 2003 09:05:00 +0000"},
      {"lone CR separates like a space", "3\rJun\r2003\r09:05\r+0100", "Tue, 03 Jun 2003 09:05:00 +0100"},
      {"8-bit month", "3 J\xe4n 2003 09:05 +0100", "error: cannot parse month"},
      {"8-bit zone", "3 Jun 2003 09:05 \xff\xfe", "Tue, 03 Jun 2003 09:05:00 +0000"},
      {"over-long day", std::string(100000, '9') + " Jun 2003 09:05", "error: cannot parse day of month"},
      {"over-long year", "3 Jun " + std::string(100000, '9') + " 09:05", "error: cannot parse year"},
      {"over-long zone digits", "3 Jun 2003 09:05 +" + std::string(100000, '1'), "Tue, 03 Jun 2003 09:05:00 +0000"},
      {"over-long leading letters", std::string(100000, 'x') + " 3 Jun 2003 09:05 +0100",
       "Tue, 03 Jun 2003 09:05:00 +0100"},
      {"cut in the year", "Tue, 3 Jun 20", "error: cannot parse year"},
      {"cut in the minutes", "Tue, 3 Jun 2003 09:0", "Tue, 03 Jun 2003 09:00:00 +0000"},
      {"cut in the zone", "Tue, 3 Jun 2003 09:05 +01", "Tue, 03 Jun 2003 09:05:00 +0001"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(parsedAndFormatted(c.value), c.expected);
    EXPECT_EQ(MailParser::tryParseMessageDate(c.value).has_value(), !c.expected.starts_with("error"));
  }
}

TEST(MessageDateTest, GivesTheLocalDateTimeAndZoneAsWritten) {
  const MessageDate date = parseMessageDate("Tue, 3 Jun 2003 18:00:30 -0230");
  EXPECT_EQ(date, (MessageDate{2003, 6, 3, 18, 0, 30, -150}));
  EXPECT_DOUBLE_EQ(date.dateTime(), EncodeDate(2003, 6, 3) + (18 * 3600 + 30) / 86400.0);
}

TEST(MessageDateTest, ZoneTableLooksUpWholeLowerCaseNames) {
  EXPECT_EQ(MailParser::zoneOffsetByName("cet"), 60);
  EXPECT_EQ(MailParser::zoneOffsetByName("nft"), -210);
  EXPECT_EQ(MailParser::zoneOffsetByName("CET"), std::nullopt);
  EXPECT_EQ(MailParser::zoneOffsetByName("ce"), std::nullopt);
  EXPECT_EQ(MailParser::zoneOffsetByName(""), std::nullopt);
}

TEST(MessageDateTest, MomentsAreSeenFromTheirZone) {
  EXPECT_EQ(formatMessageDate(MailParser::messageDateAt(0, 0)), "Thu, 01 Jan 1970 00:00:00 +0000");
  EXPECT_EQ(formatMessageDate(MailParser::messageDateAt(0, -330)), "Wed, 31 Dec 1969 18:30:00 -0530");
  EXPECT_EQ(formatMessageDate(MailParser::messageDateAt(1714550400, 120)), "Wed, 01 May 2024 10:00:00 +0200");
  EXPECT_EQ(formatMessageDate(MailParser::messageDateAt(-1, 0)), "Wed, 31 Dec 1969 23:59:59 +0000");
}

// The processing time is written in the zone's standard time all year round: the same
// instant in winter and summer, and no dependence on when the tests run.
TEST(MessageDateTest, CurrentTimeIsInStandardTime) {
  const char* saved = std::getenv("TZ");
  const std::string savedValue = saved != nullptr ? saved : "";
  for (const auto& [zone, offset] : {std::pair{"UTC0", 0}, std::pair{"CET-1CEST,M3.5.0,M10.5.0/3", 60},
                                     std::pair{"EST5EDT,M3.2.0,M11.1.0", -300}}) {
    SCOPED_TRACE(zone);
    setenv("TZ", zone, 1);
    tzset();
    const std::time_t before = std::time(nullptr);
    const MessageDate now = MailParser::currentMessageDate();
    const std::time_t after = std::time(nullptr);
    EXPECT_EQ(now.zoneOffsetMinutes, offset);
    const MessageDate low = MailParser::messageDateAt(before, offset);
    const MessageDate high = MailParser::messageDateAt(after, offset);
    EXPECT_TRUE(now == low || now == high) << formatMessageDate(now);
  }
  if (saved != nullptr) {
    setenv("TZ", savedValue.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

TEST(MessageDateTest, ProcessingTimeFromTheCommandLine) {
  struct Case {
    const char* text;
    std::optional<MessageDate> expected;
  };
  const Case cases[] = {
      {"2024-05-01T10:00:00+0200", MessageDate{2024, 5, 1, 10, 0, 0, 120}},
      {"1999-12-31T23:59:59-0330", MessageDate{1999, 12, 31, 23, 59, 59, -210}},
      {"2024-02-29T00:00:00+0000", MessageDate{2024, 2, 29, 0, 0, 0, 0}},
      {"2023-02-29T00:00:00+0000", std::nullopt},
      {"2024-05-01T24:00:00+0200", std::nullopt},
      {"2024-05-01T10:60:00+0200", std::nullopt},
      {"2024-05-01T10:00:60+0200", std::nullopt},
      {"2024-05-01T10:00:00+0260", std::nullopt},
      {"2024-05-01T10:00:00Z", std::nullopt},
      {"2024-05-01 10:00:00+0200", std::nullopt},
      {"2024-05-01T10:00:00+02:00", std::nullopt},
      {"2024-05-01T10:00:00+0200x", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(MailParser::parseProcessingTime(c.text), c.expected);
  }
}

}  // namespace
