#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/TDateTime.h"
#include "logs/MessageLogFormat.h"
#include "logs/TMessageLogs.h"
#include "support/ScratchFolder.h"

inline TMessageLogRecord MakeRecord(TDateTime processed, std::string subject,
                                    std::vector<std::pair<TMessageLogCounter, int>> counts = {}) {
  TMessageLogRecord record;
  record.ProcessedDate = processed;
  record.SecurityProfile = "Medium";
  record.Sender = "alice@example.org";
  record.Subject = std::move(subject);
  record.MessageDate = processed - 0.01;
  record.MessageDateZone = 100;
  for (const auto& [counter, value] : counts) {
    record[counter] = value;
  }
  return record;
}

// Status lines a store reported, safe to collect from several threads.
class StatusLog {
 public:
  TMessageLogStatusCallback Callback() {
    return [this](int kind, std::string_view text) {
      const std::lock_guard lock(mutex_);
      lines_.emplace_back(kind, std::string(text));
    };
  }
  std::vector<std::pair<int, std::string>> Lines() {
    const std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::pair<int, std::string>> lines_;
};

inline std::string RecordBlock(const TMessageLogRecord& record) {
  return MessageLogFormat::EncodeBlock(MessageLogFormat::kRecordVersion, record.Encode());
}

inline std::string SummaryBlock(const TMessageLogDaySummary& summary) {
  return MessageLogFormat::EncodeBlock(MessageLogFormat::kDaySummaryVersion, summary.Encode());
}

// Every record of a day log file, failing the test if the file is damaged.
inline MessageLogFormat::TDayLogContents ReadDayLogFile(const std::filesystem::path& file) {
  return MessageLogFormat::ReadDayLog(ReadWholeFile(file));
}
