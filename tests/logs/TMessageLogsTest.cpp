#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "LogTestSupport.h"
#include "logs/MessageLogTexts.h"
#include "logs/TMessageLogs.h"

namespace {

namespace fs = std::filesystem;
using Counter = TMessageLogCounter;

const TDateTime kDay = EncodeDate(2024, 3, 15);

class MessageLogs : public ::testing::Test {
 protected:
  std::unique_ptr<TMessageLogs> Open() {
    return std::make_unique<TMessageLogs>(
        folder_.Path(), TMessageLogsOptions{status_.Callback(), {}, [this] { return today_; }});
  }
  fs::path File(const std::string& name) const { return folder_ / name; }
  std::vector<TMessageLogRecord> Load(TMessageLogs& logs, TDateTime from, TDateTime to,
                                      TMessageLogReadReport* report = nullptr) {
    std::vector<TMessageLogRecord> records;
    TMessageLogReadReport result = logs.LoadLogsByDateTime(from, to, [&](TMessageLogRecord&& record) {
      records.push_back(std::move(record));
      return true;
    });
    if (report != nullptr) {
      *report = result;
    }
    return records;
  }

  ScratchFolder folder_;
  StatusLog status_;
  TDateTime today_ = kDay;
};

TEST_F(MessageLogs, AFreshFolderGetsAnEmptySummaryAndCountsMessages) {
  auto logs = Open();
  EXPECT_EQ(ReadWholeFile(File("Summary")), std::string(8, '\0'));
  ASSERT_TRUE(logs->AddMessageLog(MakeRecord(kDay + 0.5, "plain")));
  ASSERT_TRUE(logs->AddMessageLog(MakeRecord(kDay + 0.6, "blocked", {{Counter::AttachmentsBlocked, 2}})));
  EXPECT_EQ(logs->GetProcessedTotal(), 2);
  EXPECT_EQ(logs->GetFilteredTotal(), 1);
  EXPECT_EQ(logs->GetProcessedToday(), 2);
  EXPECT_EQ(logs->GetFilteredToday(), 1);
  EXPECT_EQ(logs->GetMessageLogState(), 2U);

  const auto dayLog = ReadDayLogFile(File("Message.20240315"));
  ASSERT_EQ(dayLog.Records.size(), 2U);
  EXPECT_FALSE(dayLog.Records[0].Filtered);
  EXPECT_TRUE(dayLog.Records[1].Filtered) << "the store sets Filtered from the counters";
  EXPECT_EQ(ReadWholeFile(File("Summary")).size(), 8U + 88U);
  EXPECT_TRUE(status_.Lines().empty());

  // Everything is in the files: a new store (the next run) sees the same counts.
  today_ = kDay;
  auto reopened = Open();
  EXPECT_EQ(reopened->GetProcessedTotal(), 2);
  EXPECT_EQ(reopened->GetProcessedToday(), 2);
  EXPECT_EQ(reopened->getStats(kDay, kDay)[Counter::AttachmentsBlocked], 2);
}

TEST_F(MessageLogs, AnEmptySummaryFileIsTakenAsZeroTotals) {
  WriteWholeFile(File("Summary"), "");
  auto logs = Open();
  EXPECT_TRUE(logs->IsLoggingEnabled());
  EXPECT_EQ(ReadWholeFile(File("Summary")), std::string(8, '\0'));
  EXPECT_TRUE(logs->AddMessageLog(MakeRecord(kDay + 0.5, "first")));
}

TEST_F(MessageLogs, TheFirstMessageAfterMidnightStartsANewDayLogAndDaySummary) {
  auto logs = Open();
  ASSERT_TRUE(logs->AddMessageLog(MakeRecord(kDay + 0.99, "late")));
  ASSERT_TRUE(logs->AddMessageLog(MakeRecord(kDay + 1.01, "early")));
  EXPECT_TRUE(fs::exists(File("Message.20240315")));
  EXPECT_TRUE(fs::exists(File("Message.20240316")));
  const auto summary = MessageLogFormat::ReadSummaryFile(ReadWholeFile(File("Summary")));
  ASSERT_EQ(summary.Summaries.size(), 2U);
  EXPECT_EQ(summary.Summaries[0].Summary.Date, kDay);
  EXPECT_EQ(summary.Summaries[1].Summary.Date, kDay + 1);
  EXPECT_EQ(summary.Summaries[1].Position, 8 + 88) << "appended at the end";
  EXPECT_EQ(summary.ProcessedTotal, 2);
  EXPECT_EQ(logs->GetProcessedToday(), 1);
}

TEST_F(MessageLogs, CountersLandInTheirOwnStatistics) {
  auto logs = Open();
  ASSERT_TRUE(
      logs->AddMessageLog(MakeRecord(kDay + 0.1, "kept images", {{Counter::AllowedProviderImages, 4}})));
  ASSERT_TRUE(logs->AddMessageLog(MakeRecord(
      kDay + 0.2, "bugs", {{Counter::ImagesWithCookiesBlocked, 3}, {Counter::Images1x1Blocked, 5}})));
  const TMessageLogDaySummary stats = logs->getStats(kDay, kDay + 0.9);
  EXPECT_EQ(stats.Processed, 2);
  EXPECT_EQ(stats.Filtered, 1) << "kept provider images alone are no filtering";
  EXPECT_EQ(stats.Statistics[9], 0) << "the kept-images slot is never added to";
  EXPECT_EQ(stats.Statistics[14], 3);
  EXPECT_EQ(stats.Statistics[15], 5);
  EXPECT_EQ(stats.Date, 0);
  // Ranges: by whole days, both ends included.
  EXPECT_EQ(logs->getStats(kDay + 0.5, kDay + 0.5).Processed, 2);
  EXPECT_EQ(logs->getStats(kDay + 1, kDay + 9).Processed, 0);
  EXPECT_EQ(logs->getStats(kDay - 9, kDay - 1).Processed, 0);
}

TEST_F(MessageLogs, ASingleDayAlsoReadsThePreviousCalendarDaysLogButOnlyHandsOverItsOwnDay) {
  // On the 1st of March the previous day is 29 February, not "20240300".
  const TDateTime march1 = EncodeDate(2024, 3, 1);
  WriteWholeFile(File("Message.20240229"), RecordBlock(MakeRecord(march1 - 0.5, "February")) +
                                               RecordBlock(MakeRecord(march1 + 0.01, "just after midnight")));
  WriteWholeFile(File("Message.20240301"), RecordBlock(MakeRecord(march1 + 0.5, "March")));
  WriteWholeFile(File("Message.20240302"), RecordBlock(MakeRecord(march1 + 1.5, "next day")));
  WriteWholeFile(File("Message.txt"), "not a log");
  auto logs = Open();
  std::vector<std::string> subjects;
  for (const TMessageLogRecord& record : Load(*logs, march1, march1 + 0.3)) {
    subjects.push_back(record.Subject);
  }
  std::sort(subjects.begin(), subjects.end());
  EXPECT_EQ(subjects, (std::vector<std::string>{"March", "just after midnight"}));
}

TEST_F(MessageLogs, TheCallbackCanStopReading) {
  auto logs = Open();
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(logs->AddMessageLog(MakeRecord(kDay + 0.1, "m" + std::to_string(i))));
  }
  int seen = 0;
  const TMessageLogReadReport report =
      logs->LoadLogsByDateTime(kDay, kDay, [&](TMessageLogRecord&&) { return ++seen < 2; });
  EXPECT_EQ(seen, 2);
  EXPECT_TRUE(report.Stopped);
}

TEST_F(MessageLogs, RecordsLoggedWhileAReaderFollowsTheLogAreKeptAsRecentAdditions) {
  int notified = 0;
  TMessageLogs logs(folder_.Path(), {status_.Callback(), [&] { ++notified; }, [this] { return today_; }});
  ASSERT_TRUE(logs.AddMessageLog(MakeRecord(kDay + 0.1, "before")));
  EXPECT_TRUE(logs.TakeRecentLogAdditions().empty()) << "nobody follows the log yet";
  EXPECT_EQ(Load(logs, kDay, kDay).size(), 1U);
  ASSERT_TRUE(logs.AddMessageLog(MakeRecord(kDay + 0.2, "after")));
  EXPECT_EQ(notified, 1);
  const auto recent = logs.TakeRecentLogAdditions();
  ASSERT_EQ(recent.size(), 1U);
  EXPECT_EQ(recent[0].Subject, "after");
  EXPECT_TRUE(logs.TakeRecentLogAdditions().empty());
  ASSERT_TRUE(logs.AddMessageLog(MakeRecord(kDay + 0.3, "more")));
  logs.FreeRecentLogAdditions();
  EXPECT_TRUE(logs.TakeRecentLogAdditions().empty());
}

TEST_F(MessageLogs, ASummaryBlockOfAnotherVersionIsSkippedWithoutError) {
  TMessageLogDaySummary known;
  known.Date = kDay - 1;
  known.Processed = 4;
  std::string newer = MessageLogFormat::EncodeBlock(2, std::string(80, '\x11'));
  WriteWholeFile(File("Summary"), MessageLogFormat::EncodeTotals(9, 1) + newer + SummaryBlock(known));
  auto logs = Open();
  EXPECT_TRUE(logs->IsLoggingEnabled());
  EXPECT_TRUE(status_.Lines().empty());
  EXPECT_EQ(logs->GetProcessedTotal(), 9);
  EXPECT_EQ(logs->getStats(kDay - 9, kDay).Processed, 4);
  ASSERT_TRUE(logs->AddMessageLog(MakeRecord(kDay + 0.5, "new")));
  const std::string file = ReadWholeFile(File("Summary"));
  EXPECT_EQ(file.substr(8, 88), newer) << "the other program's block stays as it was";
  EXPECT_EQ(MessageLogFormat::ReadSummaryFile(file).Summaries.size(), 2U);
}

TEST_F(MessageLogs, ClearingAllSummariesLeavesEightZeroBytesAndTheNextMessageStartsADay) {
  auto logs = Open();
  ASSERT_TRUE(logs->AddMessageLog(MakeRecord(kDay - 1 + 0.5, "yesterday")));
  ASSERT_TRUE(logs->AddMessageLog(MakeRecord(kDay + 0.5, "today")));
  ASSERT_TRUE(logs->deleteFileSummariesBefore(kDay + 30, true));
  EXPECT_EQ(ReadWholeFile(File("Summary")), std::string(8, '\0'));
  EXPECT_EQ(logs->GetProcessedTotal(), 0);
  EXPECT_EQ(logs->GetProcessedToday(), 0);
  ASSERT_TRUE(logs->AddMessageLog(MakeRecord(kDay + 0.6, "again")));
  const auto summary = MessageLogFormat::ReadSummaryFile(ReadWholeFile(File("Summary")));
  ASSERT_EQ(summary.Summaries.size(), 1U);
  EXPECT_EQ(summary.Summaries[0].Summary.Processed, 1);
  EXPECT_EQ(summary.ProcessedTotal, 1);
  EXPECT_TRUE(fs::exists(File("Message.20240314"))) << "day logs are not touched";
}

TEST_F(MessageLogs, ClearingOlderSummariesKeepsTotalsAndTodaysSummaryInPlace) {
  auto logs = Open();
  ASSERT_TRUE(logs->AddMessageLog(MakeRecord(kDay - 2 + 0.5, "old")));
  ASSERT_TRUE(logs->AddMessageLog(MakeRecord(kDay + 0.5, "today")));
  ASSERT_TRUE(logs->deleteFileSummariesBefore(kDay, false));
  ASSERT_TRUE(logs->AddMessageLog(MakeRecord(kDay + 0.6, "today again")));
  const auto summary = MessageLogFormat::ReadSummaryFile(ReadWholeFile(File("Summary")));
  ASSERT_EQ(summary.Summaries.size(), 1U);
  EXPECT_EQ(summary.Summaries[0].Summary.Processed, 2) << "rewritten at its new position";
  EXPECT_EQ(summary.ProcessedTotal, 3);
  EXPECT_EQ(logs->GetProcessedToday(), 2);
  for (const auto& entry : fs::directory_iterator(folder_.Path())) {
    EXPECT_FALSE(entry.path().filename().string().starts_with("."))
        << "temporary file left: " << entry.path();
  }
}

TEST_F(MessageLogs, SweepingRemovesOnlyNumberedDayLogsBeforeTheDay) {
  for (const char* name : {"Message.20240313", "Message.20240314", "Message.20240315", "Message.txt",
                           "Message.20240314.damaged", "Summary.bak"}) {
    WriteWholeFile(File(name), "");
  }
  auto logs = Open();
  ASSERT_TRUE(logs->deleteFileLogsBefore(kDay + 0.7));
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(folder_.Path())) {
    left.push_back(entry.path().filename().string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"Message.20240314.damaged", "Message.20240315", "Message.txt",
                                            "Summary", "Summary.bak"}));
}

TEST_F(MessageLogs, ARecordCutShortByAKilledWriterIsReplacedByTheNextAppend) {
  const std::string whole = RecordBlock(MakeRecord(kDay + 0.1, "whole"));
  WriteWholeFile(File("Message.20240315"), whole + RecordBlock(MakeRecord(kDay + 0.2, "cut")).substr(0, 100));
  TMessageLogDaySummary day;
  day.Date = kDay;
  day.Processed = 1;
  WriteWholeFile(File("Summary"),
                 MessageLogFormat::EncodeTotals(1, 0) + SummaryBlock(day) + SummaryBlock(day).substr(0, 30));
  auto logs = Open();
  TMessageLogReadReport report;
  EXPECT_EQ(Load(*logs, kDay, kDay, &report).size(), 1U);
  ASSERT_EQ(report.Problems.size(), 1U);
  EXPECT_EQ(report.Problems[0].Kind, TMessageLogProblem::TKind::Damaged);
  EXPECT_NE(report.Problems[0].Text().find("Message.20240315' is damaged"), std::string::npos)
      << report.Problems[0].Text();

  ASSERT_TRUE(logs->AddMessageLog(MakeRecord(kDay + 0.3, "next")));
  const auto dayLog = ReadDayLogFile(File("Message.20240315"));
  EXPECT_EQ(dayLog.Damage, MessageLogFormat::TDamage::None);
  ASSERT_EQ(dayLog.Records.size(), 2U);
  EXPECT_EQ(dayLog.Records[1].Subject, "next");
  const auto summary = MessageLogFormat::ReadSummaryFile(ReadWholeFile(File("Summary")));
  EXPECT_EQ(summary.Damage, MessageLogFormat::TDamage::None);
  EXPECT_EQ(summary.ProcessedTotal, 2);
  ASSERT_EQ(summary.Summaries.size(), 1U);
  EXPECT_EQ(summary.Summaries[0].Summary.Processed, 2);
}

TEST_F(MessageLogs, ADamagedDayLogIsLeftAloneAndTurnsLoggingOffWithOneWarning) {
  const std::string damaged =
      RecordBlock(MakeRecord(kDay + 0.1, "ok")) + std::string("\x01\0\0\0\xFF\xFF\xFF\xFF junk", 13);
  WriteWholeFile(File("Message.20240315"), damaged);
  auto logs = Open();
  const TMessageLogResult first = logs->AddMessageLog(MakeRecord(kDay + 0.2, "lost log"));
  EXPECT_FALSE(first);
  EXPECT_NE(first.Reason.find("Message.20240315"), std::string::npos) << first.Reason;
  EXPECT_FALSE(logs->AddMessageLog(MakeRecord(kDay + 0.3, "also")));
  EXPECT_FALSE(logs->IsLoggingEnabled());
  const auto lines = status_.Lines();
  ASSERT_EQ(lines.size(), 1U);
  EXPECT_EQ(lines[0].first, kMessageLogStatusWarning);
  EXPECT_NE(lines[0].second.find("is damaged"), std::string::npos) << lines[0].second;
  EXPECT_EQ(ReadWholeFile(File("Message.20240315")), damaged);
  EXPECT_EQ(logs->GetProcessedTotal(), 0);
  // Reading still works and says which file is wrong.
  TMessageLogReadReport report;
  EXPECT_EQ(Load(*logs, kDay, kDay, &report).size(), 1U);
  ASSERT_EQ(report.Problems.size(), 1U);
  EXPECT_NE(report.Problems[0].Detail.find("impossible size"), std::string::npos);
}

TEST_F(MessageLogs, ADamagedSummaryFileIsReportedKeptAndNotWritten) {
  const std::string damaged = MessageLogFormat::EncodeTotals(5, 2) + std::string("\x01\0\0\0\0\0\0\x80", 8);
  WriteWholeFile(File("Summary"), damaged);
  auto logs = Open();
  EXPECT_FALSE(logs->IsLoggingEnabled());
  EXPECT_EQ(logs->GetProcessedTotal(), 5) << "what could be read is shown";
  ASSERT_EQ(status_.Lines().size(), 1U);
  EXPECT_NE(status_.Lines()[0].second.find("Summary\") is damaged"), std::string::npos)
      << status_.Lines()[0].second;
  EXPECT_FALSE(logs->AddMessageLog(MakeRecord(kDay + 0.2, "x")));
  EXPECT_FALSE(logs->deleteFileSummariesBefore(kDay, true));
  EXPECT_EQ(ReadWholeFile(File("Summary")), damaged);
  EXPECT_EQ(logs->getStats(kDay, kDay).Processed, 0);
  ASSERT_EQ(status_.Lines().size(), 2U);
  EXPECT_EQ(status_.Lines()[1].second, std::string(MessageLogTexts::rsMessageLogStatsUnavailable));
}

TEST_F(MessageLogs, TotalsSaturateInsteadOfWrapping) {
  TMessageLogDaySummary day;
  day.Date = kDay;
  day.Processed = INT32_MAX;
  day.Filtered = INT32_MAX;
  WriteWholeFile(File("Summary"), MessageLogFormat::EncodeTotals(INT32_MAX, INT32_MAX) + SummaryBlock(day));
  auto logs = Open();
  ASSERT_TRUE(logs->AddMessageLog(MakeRecord(kDay + 0.5, "one more", {{Counter::AttachmentsBlocked, 1}})));
  EXPECT_EQ(logs->GetProcessedTotal(), INT32_MAX);
  EXPECT_EQ(logs->GetFilteredTotal(), INT32_MAX);
  EXPECT_EQ(logs->GetProcessedToday(), INT32_MAX);
}

TEST_F(MessageLogs, TwoStoresOnOneFolderCountEachOthersMessages) {
  // Two programs (the proxy and quorix-filter) logging to the same folder.
  auto first = Open();
  auto second = Open();
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(first->AddMessageLog(MakeRecord(kDay + 0.1, "first")));
    ASSERT_TRUE(second->AddMessageLog(MakeRecord(kDay + 0.2, "second", {{Counter::ScriptingRemoved, 1}})));
  }
  ASSERT_TRUE(second->AddMessageLog(MakeRecord(kDay + 1.2, "tomorrow")));
  ASSERT_TRUE(first->AddMessageLog(MakeRecord(kDay + 1.3, "tomorrow too")));
  const auto summary = MessageLogFormat::ReadSummaryFile(ReadWholeFile(File("Summary")));
  EXPECT_EQ(summary.ProcessedTotal, 12);
  EXPECT_EQ(summary.FilteredTotal, 5);
  ASSERT_EQ(summary.Summaries.size(), 2U) << "one block per day, not one per store";
  EXPECT_EQ(summary.Summaries[0].Summary.Processed, 10);
  EXPECT_EQ(summary.Summaries[1].Summary.Processed, 2);
  EXPECT_EQ(ReadDayLogFile(File("Message.20240315")).Records.size(), 10U);
  EXPECT_EQ(first->GetProcessedTotal(), 12);

  // A rewrite by one store while the other keeps logging.
  ASSERT_TRUE(first->deleteFileSummariesBefore(kDay + 1, false));
  ASSERT_TRUE(second->AddMessageLog(MakeRecord(kDay + 1.4, "after the rewrite")));
  const auto rewritten = MessageLogFormat::ReadSummaryFile(ReadWholeFile(File("Summary")));
  ASSERT_EQ(rewritten.Summaries.size(), 1U);
  EXPECT_EQ(rewritten.Summaries[0].Summary.Processed, 3);
  EXPECT_EQ(rewritten.ProcessedTotal, 13);
}

TEST_F(MessageLogs, SplittingSortsOldFilesIntoDayLogsAndLosesNothing) {
  auto byDate = [](TDateTime processed, TDateTime messageDate, const std::string& subject) {
    TMessageLogRecord record = MakeRecord(processed, subject);
    record.MessageDate = messageDate;
    return RecordBlock(record);
  };
  WriteWholeFile(File("Message.log"),
                 byDate(kDay + 0.5, kDay + 0.4, "b") + byDate(kDay - 1 + 0.5, kDay, "x") +
                     byDate(kDay + 0.2, kDay + 0.1, "a") + MessageLogFormat::EncodeBlock(2, "newer"));
  WriteWholeFile(File("Message.20240315"), byDate(kDay + 0.9, kDay + 0.8, "c"));
  const std::string damaged =
      byDate(kDay + 0.3, kDay + 0.3, "d") + std::string("\x01\0\0\0\xF0\xFF\xFF\xFF", 8);
  WriteWholeFile(File("Message.old"), damaged);
  auto logs = Open();
  ASSERT_TRUE(logs->SplitLogFiles());

  const auto subjects = [&](const std::string& name) {
    std::string text;
    for (const auto& record : ReadDayLogFile(File(name)).Records) {
      text += record.Subject;
    }
    return text;
  };
  EXPECT_EQ(subjects("Message.20240315"), "adbc") << "oldest message date first";
  EXPECT_EQ(subjects("Message.20240314"), "x");
  EXPECT_FALSE(fs::exists(File("Message.log")));
  EXPECT_EQ(ReadWholeFile(File("Message.old.damaged")), damaged) << "kept aside, byte for byte";
  EXPECT_FALSE(fs::exists(File("Message.old")));

  // Splitting again changes nothing (the damaged copy is not taken up a second time).
  ASSERT_TRUE(logs->SplitLogFiles());
  EXPECT_EQ(subjects("Message.20240315"), "adbc");
}

}  // namespace
