#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "LogTestSupport.h"

namespace {

using Counter = TMessageLogCounter;

constexpr int kWriters = 16;
constexpr int kRecordsPerWriter = 60;
const TDateTime kDay = EncodeDate(2024, 3, 15);

std::string Subject(int writer, int index) {
  return std::to_string(writer) + "/" + std::to_string(index);
}

// Sessions log from their relay threads while the main window and the summary screen read.
// A reader that follows the log must end up with every record exactly once: what
// LoadLogsByDateTime handed over plus what came through the recent-additions list.
TEST(ConcurrentLogging, WritersAndReadersAtOnceLoseAndDoubleNothing) {
  ScratchFolder scratch;
  StatusLog status;
  TMessageLogs logs(scratch.Path(), {status.Callback(), {}, [] { return kDay; }});

  std::atomic<int> writersDone{0};
  std::atomic<bool> failed{false};
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      for (int i = 0; i < kRecordsPerWriter; ++i) {
        const auto record = MakeRecord(kDay + 0.5, Subject(w, i), {{Counter::ScriptingRemoved, i % 2}});
        if (!logs.AddMessageLog(record)) {
          failed = true;
        }
      }
      ++writersDone;
    });
  }

  std::multiset<std::string> seen;
  std::thread follower([&] {
    while (writersDone < kWriters / 4) {
      std::this_thread::yield();
    }
    (void)logs.LoadLogsByDateTime(kDay, kDay, [&](TMessageLogRecord&& record) {
      seen.insert(record.Subject);
      return true;
    });
    while (writersDone < kWriters) {
      for (const TMessageLogRecord& record : logs.TakeRecentLogAdditions()) {
        seen.insert(record.Subject);
      }
    }
  });
  std::thread counter([&] {
    std::int32_t last = 0;
    while (writersDone < kWriters) {
      const std::int32_t now = logs.GetProcessedTotal();
      EXPECT_GE(now, last) << "counts only grow";
      last = now;
      const TMessageLogDaySummary stats = logs.getStats(kDay, kDay);
      EXPECT_LE(stats.Filtered, stats.Processed);
      (void)logs.GetFilteredToday();
      (void)logs.GetMessageLogState();
    }
  });
  for (std::thread& writer : writers) {
    writer.join();
  }
  follower.join();
  counter.join();
  for (const TMessageLogRecord& record : logs.TakeRecentLogAdditions()) {
    seen.insert(record.Subject);
  }

  EXPECT_FALSE(failed);
  EXPECT_TRUE(status.Lines().empty());
  constexpr int kTotal = kWriters * kRecordsPerWriter;
  EXPECT_EQ(logs.GetProcessedTotal(), kTotal);
  EXPECT_EQ(logs.GetFilteredTotal(), kTotal / 2);
  EXPECT_EQ(logs.GetMessageLogState(), static_cast<std::uint64_t>(kTotal));
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kTotal)) << "each record once";
  EXPECT_EQ(std::set<std::string>(seen.begin(), seen.end()).size(), static_cast<std::size_t>(kTotal));

  const auto dayLog = ReadDayLogFile(scratch / "Message.20240315");
  EXPECT_EQ(dayLog.Damage, MessageLogFormat::TDamage::None);
  EXPECT_EQ(dayLog.Records.size(), static_cast<std::size_t>(kTotal));
  const auto summary = MessageLogFormat::ReadSummaryFile(ReadWholeFile(scratch / "Summary"));
  ASSERT_EQ(summary.Summaries.size(), 1U);
  EXPECT_EQ(summary.Summaries[0].Summary.Processed, kTotal);
  EXPECT_EQ(summary.Summaries[0].Summary[Counter::ScriptingRemoved], kTotal / 2);
}

}  // namespace
