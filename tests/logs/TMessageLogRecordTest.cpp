#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "LogTestSupport.h"
#include "logs/LittleEndian.h"
#include "logs/TMessageLogDaySummary.h"
#include "logs/TMessageLogRecord.h"

namespace {

using MessageLogBytes::GetDouble;
using MessageLogBytes::GetInt32;

TEST(TMessageLogRecord, EveryFieldLiesAtItsOffsetLittleEndian) {
  TMessageLogRecord record;
  record.ProcessedDate = 38061.5;
  record.SecurityProfile = "High";
  record.Sender = "bob@example.com";
  record.Subject = "Hello";
  record.MessageDate = 38061.25;
  record.MessageDateZone = -500;
  record.Filtered = true;
  for (std::size_t i = 0; i < record.Counters.size(); ++i) {
    record.Counters[i] = static_cast<std::int32_t>(0x01020300 + i);
  }
  const std::string bytes = record.Encode();
  ASSERT_EQ(bytes.size(), 272U);
  EXPECT_EQ(GetDouble(bytes, 0), 38061.5);
  EXPECT_EQ(bytes.substr(8, 5), std::string("\x04High", 5));
  EXPECT_EQ(bytes.substr(40, 16), std::string("\x0f") + "bob@example.com");
  EXPECT_EQ(bytes.substr(113, 6), "\x05Hello");
  EXPECT_EQ(GetDouble(bytes, 192), 38061.25);
  EXPECT_EQ(GetInt32(bytes, 200), -500);
  EXPECT_EQ(bytes[204], '\1');
  EXPECT_EQ(bytes.substr(208, 4), std::string("\x00\x03\x02\x01", 4)) << "little-endian";
  EXPECT_EQ(GetInt32(bytes, 268), 0x0102030F);
  // Padding and the bytes past each string's length are zero, so files do not carry memory.
  EXPECT_EQ(bytes.substr(186, 6), std::string(6, '\0'));
  EXPECT_EQ(bytes.substr(205, 3), std::string(3, '\0'));
  EXPECT_EQ(bytes.substr(13, 27), std::string(27, '\0'));
  EXPECT_EQ(TMessageLogRecord::Decode(bytes), record);
}

TEST(TMessageLogRecord, LongStringsAreCutToTheirFieldNotInsideAUtf8Sequence) {
  struct Case {
    const char* name;
    std::string subject;
    std::string expected;
  } const cases[] = {
      {"ascii", std::string(80, 'a'), std::string(72, 'a')},
      {"exactly full", std::string(72, 'b'), std::string(72, 'b')},
      // "é" is two bytes; the 72nd byte would be the first half of one.
      {"utf-8 split", std::string(71, 'c') + "\xC3\xA9" + "tail", std::string(71, 'c')},
      {"utf-8 fits", std::string(70, 'c') + "\xC3\xA9" + "tail", std::string(70, 'c') + "\xC3\xA9"},
      {"three-byte char split", std::string(70, 'd') + "\xE2\x82\xAC", std::string(70, 'd')},
      // Latin-1 bytes are not UTF-8: no lead byte within reach, cut at the field size.
      {"latin-1", std::string(72, '\xE9') + "x", std::string(72, '\xE9')},
      {"NUL and CR kept", std::string("a\0b\rc", 5), std::string("a\0b\rc", 5)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TMessageLogRecord record;
    record.Subject = c.subject;
    EXPECT_EQ(TMessageLogRecord::Decode(record.Encode()).Subject, c.expected);
  }
  TMessageLogRecord record;
  record.SecurityProfile = std::string(40, 'p');
  EXPECT_EQ(TMessageLogRecord::Decode(record.Encode()).SecurityProfile, std::string(31, 'p'));
}

TEST(TMessageLogRecord, DamagedBytesStillDecode) {
  std::string bytes(272, '\xFF');
  const TMessageLogRecord record = TMessageLogRecord::Decode(bytes);
  EXPECT_TRUE(std::isnan(record.ProcessedDate));
  EXPECT_EQ(record.SecurityProfile.size(), 31U) << "a length byte past the field is taken as the field size";
  EXPECT_EQ(record.Subject.size(), 72U);
  EXPECT_EQ(record.Counters[0], -1);
  EXPECT_THROW((void)TMessageLogRecord::Decode(bytes.substr(1)), std::invalid_argument);
}

TEST(TMessageLogRecord, FilteredCountsEveryCounterButKeptProviderImages) {
  for (std::size_t i = 0; i < kMessageLogCounterCount; ++i) {
    TMessageLogRecord record;
    record.Counters[i] = 1;
    const auto counter = static_cast<TMessageLogCounter>(i);
    EXPECT_EQ(record.HasFilteringCounts(), counter != TMessageLogCounter::AllowedProviderImages)
        << MessageLogCounterName(counter);
  }
  EXPECT_EQ(MessageLogCounterName(TMessageLogCounter::Images1x1Blocked), "Images1x1Blocked");
}

TEST(TMessageLogDaySummary, SumsSaturateAndSkipKeptProviderImages) {
  TMessageLogDaySummary summary;
  summary.Processed = INT32_MAX;
  summary.Statistics[1] = INT32_MAX - 1;
  TMessageLogRecord record;
  record[TMessageLogCounter::AttachmentsBlocked] = 5;
  record[TMessageLogCounter::AllowedProviderImages] = 3;
  record[TMessageLogCounter::ScriptingRemoved] = -4;  // a damaged count takes nothing away
  summary.AddRecord(record, true);
  EXPECT_EQ(summary.Processed, INT32_MAX);
  EXPECT_EQ(summary.Filtered, 1);
  EXPECT_EQ(summary[TMessageLogCounter::AttachmentsBlocked], INT32_MAX);
  EXPECT_EQ(summary[TMessageLogCounter::AllowedProviderImages], 0);
  EXPECT_EQ(summary[TMessageLogCounter::ScriptingRemoved], 0);

  const std::string bytes = summary.Encode();
  ASSERT_EQ(bytes.size(), 80U);
  EXPECT_EQ(GetInt32(bytes, 12), INT32_MAX);
  EXPECT_EQ(GetInt32(bytes, 72), 1);
  EXPECT_EQ(GetInt32(bytes, 76), INT32_MAX);
  EXPECT_EQ(TMessageLogDaySummary::Decode(bytes), summary);
}

}  // namespace
