#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/TDateTime.h"
#include "logs/MessageLogFormat.h"
#include "logs/TMessageLogDaySummary.h"
#include "logs/TMessageLogProblem.h"
#include "logs/TMessageLogRecord.h"
#include "logs/TMessageLogResult.h"

class TLockedLogFile;

// Status kinds, as the main window shows them.
inline constexpr int kMessageLogStatusInformation = 0;
inline constexpr int kMessageLogStatusWarning = 1;
inline constexpr int kMessageLogStatusError = 2;

using TMessageLogStatusCallback = std::function<void(int kind, std::string_view text)>;
// Receives one record of LoadLogsByDateTime; returns whether to go on.
using TMessageLogRecordCallback = std::function<bool(TMessageLogRecord&& record)>;

struct TMessageLogsOptions {
  // Warnings and errors meant for the user (the first failure to write, a damaged summary
  // file). Called on the thread that met the problem, never while the store holds a lock.
  TMessageLogStatusCallback OnStatus;
  // Called (outside the store's locks) after a record joined the recent-additions list.
  std::function<void()> OnRecentAddition;
  // Today's date; tests fix it. Defaults to the local clock.
  std::function<TDateTime()> Today;
};

// The message-log store: one per program, shared by all sessions, and safe against other
// processes logging to the same folder (every append and rewrite holds flock on its file).
//
// Files in the folder: day logs "Message.yyyymmdd" (records appended in processing order) and
// "Summary" (the two totals, then one day summary per day). Logging turns off for the rest of
// the run at the first failure to write (folder not creatable, disk full, no permission, a
// damaged file it will not write into), with one warning through OnStatus; AddMessageLog
// then reports failure and the message is delivered all the same.
class TMessageLogs {
 public:
  explicit TMessageLogs(std::filesystem::path directory, TMessageLogsOptions options = {});
  ~TMessageLogs();
  TMessageLogs(const TMessageLogs&) = delete;
  TMessageLogs& operator=(const TMessageLogs&) = delete;

  // Appends the record to the day log of its processing day and counts it in that day's
  // summary and in the totals. The store sets Filtered from the counters. Never throws.
  [[nodiscard]] TMessageLogResult AddMessageLog(const TMessageLogRecord& record);

  // Hands every record whose processing day lies between the days of `from` and `to` to
  // `callback` (outside all locks), in the order of the directory listing. Also switches on
  // the recent-additions list: records logged from now on are kept there, so that a reader
  // following the log misses none (today's log is read under the write lock, and the list is
  // emptied at that moment). Damaged or unreadable files are reported and skipped as far as
  // they cannot be read.
  TMessageLogReadReport LoadLogsByDateTime(TDateTime from, TDateTime to,
                                           const TMessageLogRecordCallback& callback);

  // Reads the summary file again (after another program changed it).
  TMessageLogReadReport LoadSummaries();

  [[nodiscard]] std::int32_t GetProcessedTotal() const;
  [[nodiscard]] std::int32_t GetFilteredTotal() const;
  // Counts of today's summary: the day of the last logged message (or, before the first,
  // the clock's today if the summary file has it).
  [[nodiscard]] std::int32_t GetProcessedToday() const;
  [[nodiscard]] std::int32_t GetFilteredToday() const;

  // The sums of the day summaries from the day of `from` to the day of `to`, both included;
  // the date is left 0. While logging is off the result is zero and OnStatus gets the error
  // text rsMessageLogStatsUnavailable.
  [[nodiscard]] TMessageLogDaySummary getStats(TDateTime from, TDateTime to) const;
  // Every day summary, in file order.
  [[nodiscard]] std::vector<TMessageLogDaySummary> GetDaySummaries() const;

  // A change counter: one more for every logged message.
  [[nodiscard]] std::uint64_t GetMessageLogState() const noexcept;
  void IncMessageLogState() noexcept;

  // The records logged since the recent-additions list was last emptied, and empties it.
  [[nodiscard]] std::vector<TMessageLogRecord> TakeRecentLogAdditions();
  void FreeRecentLogAdditions();

  // Removes the day logs of the days before the day of `date`. Other files stay.
  TMessageLogResult deleteFileLogsBefore(TDateTime date);
  // Removes the day summaries of the days before the day of `date` and, with `clearTotals`,
  // sets the totals to 0; the summary file is rewritten through a temporary file.
  TMessageLogResult deleteFileSummariesBefore(TDateTime date, bool clearTotals);
  // One-time conversion: the records of every "Message.*" file are sorted into day logs, one
  // per processing day. The new files are complete on disk before any old file goes; a
  // damaged old file is kept as "<name>.damaged" beside the others.
  TMessageLogResult SplitLogFiles();

  [[nodiscard]] bool IsLoggingEnabled() const;
  [[nodiscard]] std::filesystem::path getMessageLogFilePath(std::string_view yyyymmdd) const;
  [[nodiscard]] std::filesystem::path getSummaryLogFilePath() const;
  [[nodiscard]] static TDateTime getLogFileDateAsDays(TDateTime date) noexcept;
  [[nodiscard]] static std::string getLogFileDateAsString(TDateTime date);

 private:
  struct TNotices;
  struct TFileIdentity {
    dev_t Device = 0;
    ino_t Inode = 0;
    std::size_t Size = 0;
    bool Known = false;
  };

  void Disable(std::string reason, std::string text, TNotices& notices);
  void Emit(TNotices& notices) const;
  void AppendToDayLog(const TMessageLogRecord& record, TDateTime day);
  void CountInSummary(const TMessageLogRecord& record, TDateTime day);
  void SyncSummary(TLockedLogFile& file, TDateTime day);
  void ReloadSummary(TLockedLogFile& file);
  void UpdateTodaysSummary(TLockedLogFile& file, MessageLogFormat::TSummaryEntry& today);
  [[nodiscard]] MessageLogFormat::TSummaryEntry* FindSummary(TDateTime day);
  [[nodiscard]] const MessageLogFormat::TSummaryEntry* TodaysSummary() const;
  [[nodiscard]] TDateTime Today() const;
  [[nodiscard]] std::vector<std::filesystem::path> ListMessageLogs(
      std::vector<TMessageLogProblem>& problems) const;

  const std::filesystem::path directory_;
  const TMessageLogsOptions options_;

  // Guards everything below except the recent-additions list.
  mutable std::shared_mutex mutex_;
  bool enabled_ = true;
  std::string disabledReason_;
  std::int32_t processedTotal_ = 0;
  std::int32_t filteredTotal_ = 0;
  std::vector<MessageLogFormat::TSummaryEntry> summaries_;
  std::optional<TDateTime> todaysDate_;
  std::size_t summaryValidEnd_ = 0;
  TFileIdentity summaryFile_;  // the summary file as this store last saw it
  std::filesystem::path dayLogPath_;
  TFileIdentity dayLog_;  // the day log last appended to; Size = end of its last whole block
  std::atomic<std::uint64_t> messageLogState_{0};

  // Taken inside mutex_ when both are needed.
  std::mutex recentMutex_;
  bool tracking_ = false;
  std::vector<TMessageLogRecord> recent_;
};
