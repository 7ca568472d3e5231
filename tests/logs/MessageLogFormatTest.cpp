#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "LogTestSupport.h"
#include "logs/LittleEndian.h"
#include "logs/MessageLogDates.h"
#include "logs/MessageLogFormat.h"

namespace {

using MessageLogFormat::TDamage;

std::string Block(std::int32_t version, std::int32_t size, std::string_view data) {
  std::string header(8, '\0');
  MessageLogBytes::PutInt32(header, 0, version);
  MessageLogBytes::PutInt32(header, 4, size);
  return header + std::string(data);
}

TEST(ReadDayLog, KeepsWhatItCanAndSaysWhatIsWrong) {
  const std::string one = RecordBlock(MakeRecord(45000.5, "one"));
  const std::string two = RecordBlock(MakeRecord(45000.6, "two"));
  struct Case {
    const char* name;
    std::string bytes;
    std::size_t records;
    TDamage damage;
    std::size_t validEnd;
  } const cases[] = {
      {"empty", "", 0, TDamage::None, 0},
      {"two records", one + two, 2, TDamage::None, 560},
      {"newer version skipped by its size", Block(2, 5, "abcde") + one, 1, TDamage::None, 293},
      {"other size skipped", Block(1, 0, "") + one, 1, TDamage::None, 288},
      {"header cut short", one + two.substr(0, 5), 1, TDamage::CutShort, 280},
      {"data cut short (killed writer)", one + two.substr(0, 200), 1, TDamage::CutShort, 280},
      {"lone NUL", std::string(1, '\0'), 0, TDamage::CutShort, 0},
      {"negative size", one + Block(1, -1, ""), 1, TDamage::Damaged, 280},
      {"foreign block past the end", one + Block(7, 1 << 30, "x"), 1, TDamage::Damaged, 280},
      {"text, not a log", "Subject: hello\r\n\xE9\r\n", 0, TDamage::Damaged, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto contents = MessageLogFormat::ReadDayLog(c.bytes);
    EXPECT_EQ(contents.Records.size(), c.records);
    EXPECT_EQ(contents.Damage, c.damage);
    EXPECT_EQ(contents.ValidEnd, c.validEnd);
    EXPECT_EQ(contents.Detail.empty(), c.damage == TDamage::None) << contents.Detail;
  }
  EXPECT_EQ(MessageLogFormat::ReadDayLog(one + two).Records[1].Subject, "two");
}

TEST(ReadSummaryFile, TotalsThenDaySummaryBlocks) {
  TMessageLogDaySummary day;
  day.Date = 45000;
  day.Processed = 3;
  const std::string totals = MessageLogFormat::EncodeTotals(7, 2);
  struct Case {
    const char* name;
    std::string bytes;
    std::size_t summaries;
    TDamage damage;
  } const cases[] = {
      {"empty file: zero totals", "", 0, TDamage::None},
      {"totals only", totals, 0, TDamage::None},
      {"shorter than the totals", totals.substr(0, 5), 0, TDamage::Damaged},
      {"one day", totals + SummaryBlock(day), 1, TDamage::None},
      {"a version 2 block is skipped", totals + Block(2, 80, std::string(80, 'x')) + SummaryBlock(day), 1,
       TDamage::None},
      {"last block cut short", totals + SummaryBlock(day) + SummaryBlock(day).substr(0, 40), 1,
       TDamage::CutShort},
      {"bad size", totals + Block(1, -80, ""), 0, TDamage::Damaged},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto contents = MessageLogFormat::ReadSummaryFile(c.bytes);
    EXPECT_EQ(contents.Summaries.size(), c.summaries);
    EXPECT_EQ(contents.Damage, c.damage);
  }
  const auto contents = MessageLogFormat::ReadSummaryFile(totals + Block(2, 3, "abc") + SummaryBlock(day));
  EXPECT_EQ(contents.ProcessedTotal, 7);
  EXPECT_EQ(contents.FilteredTotal, 2);
  EXPECT_EQ(contents.Summaries[0].Position, 19) << "the offset of its block header";
  EXPECT_EQ(contents.Summaries[0].Summary, day);
}

TEST(MessageLogDates, DayLogNamesAndDays) {
  struct Case {
    const char* name;
    std::optional<std::int64_t> number;
  } const cases[] = {
      {"Message.20040315", 20040315},
      {"Message.1", 1},
      {"Message.txt", std::nullopt},
      {"Message.", std::nullopt},
      {"Message", std::nullopt},
      {"Message.2004 0315", std::nullopt},
      {"Summary", std::nullopt},
      {"Message.-1", std::nullopt},
      {"Message.9999999999999999999999", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MessageLogDates::DayLogNumber(c.name), c.number) << c.name;
  }
  EXPECT_EQ(MessageLogDates::DayText(EncodeDate(2004, 3, 15) + 0.75), "20040315");
  EXPECT_EQ(MessageLogDates::WholeDay(EncodeDate(2004, 3, 15) + 0.75), EncodeDate(2004, 3, 15));
  EXPECT_EQ(MessageLogDates::WholeDay(std::nan("")), 0) << "a damaged date gives a defined day";
  EXPECT_EQ(MessageLogDates::DayText(1e300), "99991231");
}

}  // namespace
