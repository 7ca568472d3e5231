#include "logs/TMessageLogs.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <system_error>

#include "common/EQuorixException.h"
#include "logs/LittleEndian.h"
#include "logs/MessageLogDates.h"
#include "logs/MessageLogTexts.h"
#include "logs/TLockedLogFile.h"
#include "platform/FileIO.h"
#include "platform/QuotedPath.h"

namespace fs = std::filesystem;
using MessageLogBytes::SaturatingAdd;
using MessageLogDates::DayText;
using MessageLogDates::WholeDay;
using MessageLogFormat::TDamage;
using MessageLogFormat::TSummaryEntry;

namespace {

constexpr std::string_view kSummaryName = "Summary";
constexpr std::string_view kDamagedSuffix = ".damaged";
constexpr mode_t kNewFileMode = 0600;  // the logs hold senders and subjects

// A file this store will not write into, so that what it holds stays for the user to see.
class ELogFileDamaged : public EQuorixException {
 public:
  ELogFileDamaged(const fs::path& file, const std::string& detail)
      : EQuorixException(MessageLogTexts::FileDamaged(file.string(), detail)) {}
};

bool SameFile(const struct stat& status, dev_t device, ino_t inode) {
  return status.st_dev == device && status.st_ino == inode;
}

}  // namespace

// What the store has to tell its callbacks once its locks are released.
struct TMessageLogs::TNotices {
  std::vector<std::pair<int, std::string>> Status;
  bool RecentAdded = false;
};

TMessageLogs::TMessageLogs(fs::path directory, TMessageLogsOptions options)
    : directory_(std::move(directory)), options_(std::move(options)) {
  TNotices notices;
  std::error_code ec;
  fs::create_directories(directory_, ec);
  if (!ec && !fs::is_directory(directory_, ec)) {
    ec = std::make_error_code(std::errc::not_a_directory);
  }
  if (ec) {
    Disable("cannot create the folder " + Platform::QuotedPath(directory_) + ": " + ec.message(),
            MessageLogTexts::DirectoryFailed(directory_.string(), ec.message()), notices);
  } else {
    const fs::path path = getSummaryLogFilePath();
    std::string_view verb = "open";
    try {
      std::optional<TLockedLogFile> file = TLockedLogFile::Open(path, TLockedLogFile::TMode::Read);
      if (!file) {
        verb = "create";
        file = TLockedLogFile::Open(path, TLockedLogFile::TMode::Create);
      }
      ReloadSummary(*file);
      if (file->Size() == 0) {
        // Created, or left empty by a run killed right after creating it.
        // The shared lock goes first: it would block our own exclusive one.
        verb = "create";
        file.reset();
        file = TLockedLogFile::Open(path, TLockedLogFile::TMode::Create);
        if (file->Size() == 0) {
          file->WriteAt(0, MessageLogFormat::EncodeTotals(0, 0));
          summaryValidEnd_ = MessageLogFormat::kTotalsSize;
          summaryFile_.Known = false;
        } else {
          ReloadSummary(*file);  // another process filled it meanwhile
        }
      }
    } catch (const ELogFileDamaged& damaged) {
      Disable(std::string("the summary file is damaged"), damaged.what(), notices);
    } catch (const std::exception& error) {
      Disable(std::string("cannot ") + std::string(verb) + " the summary file " + Platform::QuotedPath(path) +
                  ": " + error.what(),
              MessageLogTexts::SummaryFailed(verb, path.string(), error.what()), notices);
    }
    const TDateTime today = Today();
    if (FindSummary(today) != nullptr) {
      todaysDate_ = today;
    }
  }
  Emit(notices);
}

TMessageLogs::~TMessageLogs() = default;

TDateTime TMessageLogs::Today() const {
  return options_.Today ? WholeDay(options_.Today()) : ::Today();
}

void TMessageLogs::Disable(std::string reason, std::string text, TNotices& notices) {
  if (!enabled_) {
    return;
  }
  enabled_ = false;
  disabledReason_ = std::move(reason);
  notices.Status.emplace_back(kMessageLogStatusWarning, std::move(text));
}

void TMessageLogs::Emit(TNotices& notices) const {
  if (options_.OnStatus) {
    for (const auto& [kind, text] : notices.Status) {
      options_.OnStatus(kind, text);
    }
  }
  if (notices.RecentAdded && options_.OnRecentAddition) {
    options_.OnRecentAddition();
  }
}

fs::path TMessageLogs::getMessageLogFilePath(std::string_view yyyymmdd) const {
  return directory_ / ("Message." + std::string(yyyymmdd));
}

fs::path TMessageLogs::getSummaryLogFilePath() const {
  return directory_ / kSummaryName;
}

TDateTime TMessageLogs::getLogFileDateAsDays(TDateTime date) noexcept {
  return WholeDay(date);
}

std::string TMessageLogs::getLogFileDateAsString(TDateTime date) {
  return DayText(date);
}

bool TMessageLogs::IsLoggingEnabled() const {
  const std::shared_lock lock(mutex_);
  return enabled_;
}

// ---- appending -------------------------------------------------------------------------

TMessageLogResult TMessageLogs::AddMessageLog(const TMessageLogRecord& record) {
  TNotices notices;
  TMessageLogResult result;
  {
    const std::unique_lock lock(mutex_);
    if (!enabled_) {
      return TMessageLogResult::Failure("message logging is off: " + disabledReason_);
    }
    TMessageLogRecord stored = record;
    stored.Filtered = stored.HasFilteringCounts();
    const TDateTime day = WholeDay(stored.ProcessedDate);
    try {
      AppendToDayLog(stored, day);
      CountInSummary(stored, day);
      {
        const std::lock_guard recentLock(recentMutex_);
        if (tracking_) {
          recent_.push_back(stored);
          notices.RecentAdded = true;
        }
      }
      IncMessageLogState();
    } catch (const ELogFileDamaged& damaged) {
      result = TMessageLogResult::Failure(damaged.what());
      Disable(damaged.what(), damaged.what(), notices);
    } catch (const std::exception& error) {
      result = TMessageLogResult::Failure(error.what());
      Disable(error.what(), MessageLogTexts::WriteFailed(directory_.string(), error.what()), notices);
    }
  }
  Emit(notices);
  return result;
}

void TMessageLogs::AppendToDayLog(const TMessageLogRecord& record, TDateTime day) {
  const fs::path path = getMessageLogFilePath(DayText(day));
  std::optional<TLockedLogFile> file = TLockedLogFile::Open(path, TLockedLogFile::TMode::Create);
  const bool sameFile =
      path == dayLogPath_ && dayLog_.Known && SameFile(file->Status(), dayLog_.Device, dayLog_.Inode);
  std::size_t end = 0;
  if (sameFile && file->Size() == dayLog_.Size) {
    end = dayLog_.Size;
  } else {
    // Unknown file, or another process appended: check what is new for a block cut short
    // by a killed writer, which the next record replaces.
    const std::size_t start = sameFile && file->Size() > dayLog_.Size ? dayLog_.Size : 0;
    const MessageLogFormat::TDayLogContents contents =
        MessageLogFormat::ReadDayLog(file->ReadFrom(start), start);
    if (contents.Damage == TDamage::Damaged) {
      throw ELogFileDamaged(path, contents.Detail);
    }
    end = contents.ValidEnd;
    if (end < file->Size()) {
      file->Truncate(end);
    }
  }
  dayLog_.Known = false;
  file->WriteAt(end, MessageLogFormat::EncodeBlock(MessageLogFormat::kRecordVersion, record.Encode()));
  dayLogPath_ = path;
  dayLog_ = {file->Status().st_dev, file->Status().st_ino, end + MessageLogFormat::kRecordBlockSize, true};
}

void TMessageLogs::CountInSummary(const TMessageLogRecord& record, TDateTime day) {
  std::optional<TLockedLogFile> file =
      TLockedLogFile::Open(getSummaryLogFilePath(), TLockedLogFile::TMode::Create);
  SyncSummary(*file, day);
  TSummaryEntry* today = FindSummary(day);
  if (today == nullptr) {
    TSummaryEntry fresh;
    fresh.Summary.Date = day;
    summaries_.push_back(fresh);
    today = &summaries_.back();
  }
  todaysDate_ = day;
  today->Summary.AddRecord(record, record.Filtered);
  processedTotal_ = SaturatingAdd(processedTotal_, 1);
  if (record.Filtered) {
    filteredTotal_ = SaturatingAdd(filteredTotal_, 1);
  }
  UpdateTodaysSummary(*file, *today);
}

void TMessageLogs::UpdateTodaysSummary(TLockedLogFile& file, TSummaryEntry& today) {
  summaryFile_.Known = false;
  if (summaryValidEnd_ < file.Size()) {
    file.Truncate(std::max(summaryValidEnd_, MessageLogFormat::kTotalsSize));
  }
  file.WriteAt(0, MessageLogFormat::EncodeTotals(processedTotal_, filteredTotal_));
  summaryValidEnd_ = std::max(summaryValidEnd_, MessageLogFormat::kTotalsSize);
  if (today.Position < 0) {
    today.Position = static_cast<std::int64_t>(summaryValidEnd_);
  }
  file.WriteAt(static_cast<std::size_t>(today.Position),
               MessageLogFormat::EncodeBlock(MessageLogFormat::kDaySummaryVersion, today.Summary.Encode()));
  summaryValidEnd_ = std::max(
      summaryValidEnd_, static_cast<std::size_t>(today.Position) + MessageLogFormat::kDaySummaryBlockSize);
  summaryFile_ = {file.Status().st_dev, file.Status().st_ino, file.Size(), true};
}

// Other processes may log to the same folder: before counting, the store takes over what
// they changed. An unchanged file (same inode, same length) can only have had its totals
// and a day block rewritten in place, so only those are read again.
void TMessageLogs::SyncSummary(TLockedLogFile& file, TDateTime day) {
  if (summaryFile_.Known && SameFile(file.Status(), summaryFile_.Device, summaryFile_.Inode) &&
      file.Size() == summaryFile_.Size && file.Size() >= MessageLogFormat::kTotalsSize) {
    const std::string totals = file.ReadFrom(0, MessageLogFormat::kTotalsSize);
    if (totals.size() == MessageLogFormat::kTotalsSize) {
      processedTotal_ = MessageLogBytes::GetInt32(totals, 0);
      filteredTotal_ = MessageLogBytes::GetInt32(totals, 4);
      TSummaryEntry* entry = FindSummary(day);
      if (entry == nullptr || entry->Position < 0) {
        return;
      }
      const std::string block =
          file.ReadFrom(static_cast<std::size_t>(entry->Position), MessageLogFormat::kDaySummaryBlockSize);
      if (block.size() == MessageLogFormat::kDaySummaryBlockSize &&
          MessageLogBytes::GetInt32(block, 0) == MessageLogFormat::kDaySummaryVersion &&
          MessageLogBytes::GetInt32(block, 4) == static_cast<std::int32_t>(TMessageLogDaySummary::kSize)) {
        const TMessageLogDaySummary summary =
            TMessageLogDaySummary::Decode(std::string_view(block).substr(MessageLogFormat::kBlockHeaderSize));
        if (summary.Date == day) {
          entry->Summary = summary;
          return;
        }
      }
    }
  }
  ReloadSummary(file);
}

void TMessageLogs::ReloadSummary(TLockedLogFile& file) {
  MessageLogFormat::TSummaryContents contents = MessageLogFormat::ReadSummaryFile(file.ReadFrom(0));
  processedTotal_ = contents.ProcessedTotal;
  filteredTotal_ = contents.FilteredTotal;
  summaries_ = std::move(contents.Summaries);
  summaryValidEnd_ = contents.ValidEnd;
  summaryFile_ = {file.Status().st_dev, file.Status().st_ino, file.Size(), true};
  if (contents.Damage == TDamage::Damaged) {
    summaryFile_.Known = false;
    throw ELogFileDamaged(file.Path(), contents.Detail);
  }
}

TSummaryEntry* TMessageLogs::FindSummary(TDateTime day) {
  // The latest block of a day wins: older files may hold a day twice.
  for (auto it = summaries_.rbegin(); it != summaries_.rend(); ++it) {
    if (it->Summary.Date == day) {
      return &*it;
    }
  }
  return nullptr;
}

const TSummaryEntry* TMessageLogs::TodaysSummary() const {
  if (!todaysDate_) {
    return nullptr;
  }
  for (auto it = summaries_.rbegin(); it != summaries_.rend(); ++it) {
    if (it->Summary.Date == *todaysDate_) {
      return &*it;
    }
  }
  return nullptr;
}

// ---- counts ----------------------------------------------------------------------------

std::int32_t TMessageLogs::GetProcessedTotal() const {
  const std::shared_lock lock(mutex_);
  return processedTotal_;
}

std::int32_t TMessageLogs::GetFilteredTotal() const {
  const std::shared_lock lock(mutex_);
  return filteredTotal_;
}

std::int32_t TMessageLogs::GetProcessedToday() const {
  const std::shared_lock lock(mutex_);
  const TSummaryEntry* today = TodaysSummary();
  return today != nullptr ? today->Summary.Processed : 0;
}

std::int32_t TMessageLogs::GetFilteredToday() const {
  const std::shared_lock lock(mutex_);
  const TSummaryEntry* today = TodaysSummary();
  return today != nullptr ? today->Summary.Filtered : 0;
}

TMessageLogDaySummary TMessageLogs::getStats(TDateTime from, TDateTime to) const {
  TMessageLogDaySummary result;
  {
    const std::shared_lock lock(mutex_);
    if (enabled_) {
      const TDateTime first = WholeDay(from);
      const TDateTime last = WholeDay(to);
      for (const TSummaryEntry& entry : summaries_) {
        if (entry.Summary.Date >= first && entry.Summary.Date <= last) {
          result.Add(entry.Summary);
        }
      }
      return result;
    }
  }
  if (options_.OnStatus) {
    options_.OnStatus(kMessageLogStatusError, MessageLogTexts::rsMessageLogStatsUnavailable);
  }
  return result;
}

std::vector<TMessageLogDaySummary> TMessageLogs::GetDaySummaries() const {
  const std::shared_lock lock(mutex_);
  std::vector<TMessageLogDaySummary> result;
  result.reserve(summaries_.size());
  for (const TSummaryEntry& entry : summaries_) {
    result.push_back(entry.Summary);
  }
  return result;
}

std::uint64_t TMessageLogs::GetMessageLogState() const noexcept {
  return messageLogState_.load();
}

void TMessageLogs::IncMessageLogState() noexcept {
  messageLogState_.fetch_add(1);
}

std::vector<TMessageLogRecord> TMessageLogs::TakeRecentLogAdditions() {
  const std::lock_guard lock(recentMutex_);
  return std::exchange(recent_, {});
}

void TMessageLogs::FreeRecentLogAdditions() {
  const std::lock_guard lock(recentMutex_);
  recent_.clear();
}

// ---- reading ---------------------------------------------------------------------------

std::vector<fs::path> TMessageLogs::ListMessageLogs(std::vector<TMessageLogProblem>& problems) const {
  std::vector<fs::path> files;
  std::error_code ec;
  for (fs::directory_iterator it(directory_, ec), end; !ec && it != end; it.increment(ec)) {
    if (MessageLogDates::IsMessageLogName(it->path().filename().string())) {
      files.push_back(it->path());
    }
  }
  if (ec) {
    problems.push_back(
        {TMessageLogProblem::TKind::Unreadable, directory_, "cannot list the folder: " + ec.message()});
  }
  return files;
}

namespace {

// The records of one day log, or nothing (with the problem noted) if it cannot be read.
std::vector<TMessageLogRecord> ReadDayLogFile(const fs::path& path,
                                              std::vector<TMessageLogProblem>& problems) {
  try {
    const std::optional<TLockedLogFile> file = TLockedLogFile::Open(path, TLockedLogFile::TMode::Read);
    if (!file) {
      return {};  // removed since the listing
    }
    MessageLogFormat::TDayLogContents contents = MessageLogFormat::ReadDayLog(file->ReadFrom(0));
    if (contents.Damage != TDamage::None) {
      problems.push_back({TMessageLogProblem::TKind::Damaged, path, contents.Detail});
    }
    return std::move(contents.Records);
  } catch (const std::exception& error) {
    problems.push_back({TMessageLogProblem::TKind::Unreadable, path, error.what()});
    return {};
  }
}

}  // namespace

TMessageLogReadReport TMessageLogs::LoadLogsByDateTime(TDateTime from, TDateTime to,
                                                       const TMessageLogRecordCallback& callback) {
  TMessageLogReadReport report;
  {
    const std::unique_lock lock(mutex_);
    const std::lock_guard recentLock(recentMutex_);
    tracking_ = true;
  }
  const TDateTime firstDay = WholeDay(from);
  const TDateTime lastDay = WholeDay(to);
  // The day before too: its file may hold records of the first day. That is the calendar's
  // previous day, so that on the 1st the last day of the month before is read.
  const std::int64_t lowest = std::stoll(DayText(firstDay - 1));
  const std::int64_t highest = std::stoll(DayText(lastDay));
  const fs::path todaysLog = getMessageLogFilePath(DayText(Today()));

  const auto handOver = [&](std::vector<TMessageLogRecord>& records) {
    for (TMessageLogRecord& record : records) {
      const TDateTime day = WholeDay(record.ProcessedDate);
      if (day >= firstDay && day <= lastDay && !callback(std::move(record))) {
        report.Stopped = true;
        return false;
      }
    }
    return true;
  };

  bool readToday = false;
  for (const fs::path& path : ListMessageLogs(report.Problems)) {
    const std::optional<std::int64_t> number = MessageLogDates::DayLogNumber(path.filename().string());
    if (!number || *number < lowest || *number > highest) {
      continue;
    }
    if (path == todaysLog) {
      readToday = true;
      continue;
    }
    std::vector<TMessageLogRecord> records = ReadDayLogFile(path, report.Problems);
    if (!handOver(records)) {
      return report;
    }
  }
  if (readToday) {
    std::vector<TMessageLogRecord> records;
    {
      // No message can be appended meanwhile: what the file holds and what the recent list
      // will hold from now on neither overlap nor leave a gap.
      const std::unique_lock lock(mutex_);
      records = ReadDayLogFile(todaysLog, report.Problems);
      const std::lock_guard recentLock(recentMutex_);
      recent_.clear();
    }
    handOver(records);
  }
  return report;
}

TMessageLogReadReport TMessageLogs::LoadSummaries() {
  TMessageLogReadReport report;
  TNotices notices;
  {
    const std::unique_lock lock(mutex_);
    const fs::path path = getSummaryLogFilePath();
    try {
      std::optional<TLockedLogFile> file = TLockedLogFile::Open(path, TLockedLogFile::TMode::Read);
      if (file) {
        ReloadSummary(*file);
      } else {
        summaries_.clear();
        processedTotal_ = filteredTotal_ = 0;
        summaryValidEnd_ = 0;
        summaryFile_.Known = false;
      }
    } catch (const ELogFileDamaged& damaged) {
      report.Problems.push_back({TMessageLogProblem::TKind::Damaged, path, damaged.what()});
      Disable("the summary file is damaged", damaged.what(), notices);
    } catch (const std::exception& error) {
      report.Problems.push_back({TMessageLogProblem::TKind::Unreadable, path, error.what()});
    }
  }
  Emit(notices);
  return report;
}

// ---- retention and conversion ----------------------------------------------------------

TMessageLogResult TMessageLogs::deleteFileLogsBefore(TDateTime date) {
  const std::int64_t limit = std::stoll(DayText(WholeDay(date) - 1));
  std::vector<TMessageLogProblem> problems;
  std::string failures;
  for (const fs::path& path : ListMessageLogs(problems)) {
    const std::optional<std::int64_t> number = MessageLogDates::DayLogNumber(path.filename().string());
    std::error_code ec;
    if (number && *number <= limit && !fs::remove(path, ec) && ec) {
      failures += (failures.empty() ? "" : "; ") +
                  ("cannot remove " + Platform::QuotedPath(path) + ": " + ec.message());
    }
  }
  for (const TMessageLogProblem& problem : problems) {
    failures += (failures.empty() ? "" : "; ") + problem.Text();
  }
  return failures.empty() ? TMessageLogResult::Success() : TMessageLogResult::Failure(failures);
}

TMessageLogResult TMessageLogs::deleteFileSummariesBefore(TDateTime date, bool clearTotals) {
  TNotices notices;
  TMessageLogResult result;
  {
    const std::unique_lock lock(mutex_);
    if (!enabled_) {
      return TMessageLogResult::Failure("message logging is off: " + disabledReason_);
    }
    try {
      std::optional<TLockedLogFile> file =
          TLockedLogFile::Open(getSummaryLogFilePath(), TLockedLogFile::TMode::Create);
      ReloadSummary(*file);  // takes over what other processes logged
      const TDateTime first = WholeDay(date);
      std::erase_if(summaries_, [first](const TSummaryEntry& entry) { return entry.Summary.Date < first; });
      if (clearTotals) {
        processedTotal_ = filteredTotal_ = 0;
      }
      std::string contents = MessageLogFormat::EncodeTotals(processedTotal_, filteredTotal_);
      for (TSummaryEntry& entry : summaries_) {
        entry.Position = static_cast<std::int64_t>(contents.size());
        contents +=
            MessageLogFormat::EncodeBlock(MessageLogFormat::kDaySummaryVersion, entry.Summary.Encode());
      }
      // The lock of the old file is held until the new one is in place: a process waiting
      // for it then finds the name moved on and opens the new file.
      Platform::ReplaceFileAtomically(getSummaryLogFilePath(), contents, file->Status().st_mode & 07777);
      summaryValidEnd_ = contents.size();
      summaryFile_.Known = false;
    } catch (const ELogFileDamaged& damaged) {
      result = TMessageLogResult::Failure(damaged.what());
      Disable(damaged.what(), damaged.what(), notices);
    } catch (const std::exception& error) {
      result =
          TMessageLogResult::Failure(std::string("cannot rewrite the summary file ") +
                                     Platform::QuotedPath(getSummaryLogFilePath()) + ": " + error.what());
      Disable(result.Reason, MessageLogTexts::WriteFailed(getSummaryLogFilePath().string(), error.what()),
              notices);
    }
  }
  Emit(notices);
  return result;
}

TMessageLogResult TMessageLogs::SplitLogFiles() {
  const std::unique_lock lock(mutex_);
  std::vector<TMessageLogProblem> problems;
  std::vector<TLockedLogFile> sources;  // held locked until the new files are in place
  std::vector<fs::path> damaged;
  std::vector<TMessageLogRecord> records;
  for (const fs::path& path : ListMessageLogs(problems)) {
    if (path.filename().string().ends_with(kDamagedSuffix)) {
      continue;  // kept aside by an earlier conversion
    }
    try {
      std::optional<TLockedLogFile> file = TLockedLogFile::Open(path, TLockedLogFile::TMode::Append);
      if (!file) {
        continue;
      }
      MessageLogFormat::TDayLogContents contents = MessageLogFormat::ReadDayLog(file->ReadFrom(0));
      if (contents.Damage == TDamage::Damaged) {
        damaged.push_back(path);
      }
      std::move(contents.Records.begin(), contents.Records.end(), std::back_inserter(records));
      sources.push_back(std::move(*file));
    } catch (const std::exception& error) {
      problems.push_back({TMessageLogProblem::TKind::Unreadable, path, error.what()});
    }
  }

  // By day, then latest message date first; the files get each day's records in the
  // reverse order (oldest message date first). NaN dates sort first so the order stays strict.
  const auto dateKey = [](TDateTime date) {
    return std::isnan(date) ? -std::numeric_limits<double>::infinity() : date;
  };
  std::stable_sort(records.begin(), records.end(),
                   [&](const TMessageLogRecord& a, const TMessageLogRecord& b) {
                     const TDateTime dayA = WholeDay(a.ProcessedDate);
                     const TDateTime dayB = WholeDay(b.ProcessedDate);
                     if (dayA != dayB) {
                       return dayA < dayB;
                     }
                     return dateKey(a.MessageDate) > dateKey(b.MessageDate);
                   });
  std::map<fs::path, std::string> dayLogs;
  for (auto it = records.rbegin(); it != records.rend(); ++it) {
    dayLogs[getMessageLogFilePath(DayText(it->ProcessedDate))] +=
        MessageLogFormat::EncodeBlock(MessageLogFormat::kRecordVersion, it->Encode());
  }

  std::string failures;
  const auto fail = [&failures](const std::string& text) {
    failures += (failures.empty() ? "" : "; ") + text;
  };
  // A damaged file goes aside first, since its name may be one of the new day logs: its
  // unreadable part may still matter to someone.
  for (const fs::path& path : damaged) {
    std::error_code ec;
    fs::rename(path, path.string() + std::string(kDamagedSuffix), ec);
    if (ec) {
      fail("cannot keep the damaged file " + Platform::QuotedPath(path) + " aside: " + ec.message());
      return TMessageLogResult::Failure(failures);
    }
  }
  bool allWritten = true;
  for (const auto& [path, contents] : dayLogs) {
    try {
      Platform::ReplaceFileAtomically(path, contents, kNewFileMode);
    } catch (const std::exception& error) {
      allWritten = false;
      fail("cannot write " + Platform::QuotedPath(path) + ": " + error.what());
    }
  }
  // Old files go only once every record is safely in a new one.
  if (allWritten) {
    for (const TLockedLogFile& source : sources) {
      const fs::path& path = source.Path();
      std::error_code ec;
      if (std::find(damaged.begin(), damaged.end(), path) == damaged.end() &&
          dayLogs.find(path) == dayLogs.end()) {
        fs::remove(path, ec);
      }
      if (ec) {
        fail("cannot remove " + Platform::QuotedPath(path) + ": " + ec.message());
      }
    }
  }
  dayLog_.Known = false;
  for (const TMessageLogProblem& problem : problems) {
    fail(problem.Text());
  }
  return failures.empty() ? TMessageLogResult::Success() : TMessageLogResult::Failure(failures);
}
