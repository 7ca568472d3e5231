#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "LogTestSupport.h"
#include "support/ChildProcess.h"

namespace {

namespace fs = std::filesystem;

const TDateTime kDay = EncodeDate(2024, 3, 15);

// Each case runs as an unprivileged child, since root writes wherever it likes. The child
// answers "<AddMessageLog ok>|<second add ok>|<enabled>|<status lines>|<first status>".
std::string TryToLog(const fs::path& folder) {
  return RunInChild(
      [&] {
        StatusLog status;
        TMessageLogs logs(folder, {status.Callback(), {}, [] { return kDay; }});
        const TMessageLogResult first = logs.AddMessageLog(MakeRecord(kDay + 0.5, "one"));
        const TMessageLogResult second = logs.AddMessageLog(MakeRecord(kDay + 0.6, "two"));
        const auto lines = status.Lines();
        return std::string(first ? "ok" : "failed") + "|" + (second ? "ok" : "failed") + "|" +
               (logs.IsLoggingEnabled() ? "on" : "off") + "|" + std::to_string(lines.size()) + "|" +
               (lines.empty() ? "" : std::to_string(lines[0].first) + " " + lines[0].second);
      },
      true);
}

TEST(UnwritableLogFolder, LoggingTurnsOffWithOneWarningAndAddMessageLogFails) {
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> prepare;
    const char* expectedStart;
    const char* textPart;
  } const cases[] = {
      {"the folder cannot be created",
       [](const fs::path& folder) { fs::permissions(folder.parent_path(), fs::perms(0555)); },
       "failed|failed|off|1|1 qx failed to create the message logs directory", "Permission denied"},
      {"the summary file cannot be created",
       [](const fs::path& folder) {
         fs::create_directories(folder);
         fs::permissions(folder, fs::perms(0555));
       },
       "failed|failed|off|1|1 Unable to create summary file(", "Permission denied"},
      {"the summary file is read-only",
       [](const fs::path& folder) {
         fs::create_directories(folder);
         WriteWholeFile(folder / "Summary", std::string(8, '\0'));
         fs::permissions(folder / "Summary", fs::perms(0444));
       },
       "failed|failed|off|1|1 Unable to write to the message logs (", "Summary': Permission denied"},
      {"the day log cannot be created",
       [](const fs::path& folder) {
         fs::create_directories(folder);
         WriteWholeFile(folder / "Summary", std::string(8, '\0'));
         fs::permissions(folder, fs::perms(0555));
       },
       "failed|failed|off|1|1 Unable to write to the message logs (", "Message.20240315"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchFolder scratch;
    const fs::path parent = scratch / "data";
    const fs::path folder = parent / "logs";
    fs::create_directories(parent);
    HandToUnprivilegedUser(scratch.Path());
    c.prepare(folder);
    HandToUnprivilegedUser(parent);
    const std::string answer = TryToLog(folder);
    EXPECT_TRUE(answer.starts_with(c.expectedStart)) << answer;
    EXPECT_NE(answer.find(c.textPart), std::string::npos) << answer;
    fs::permissions(parent, fs::perms::owner_all, fs::perm_options::add);
  }
}

// A file-size limit fails writes the way a full disk does: part of the block goes out,
// then the write fails.
TEST(UnwritableLogFolder, AFailedWriteLeavesNoPartialRecordAndTurnsLoggingOff) {
  ScratchFolder scratch;
  const std::string answer = RunInChild([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{500, 500};  // room for one record block and the summary, not for two records
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
      return std::string("setrlimit failed");
    }
    StatusLog status;
    TMessageLogs logs(scratch.Path(), {status.Callback(), {}, [] { return kDay; }});
    const TMessageLogResult first = logs.AddMessageLog(MakeRecord(kDay + 0.5, "one"));
    const TMessageLogResult second = logs.AddMessageLog(MakeRecord(kDay + 0.6, "two"));
    return std::string(first ? "ok" : "failed") + "|" + (second ? "ok" : second.Reason) + "|" +
           std::to_string(status.Lines().size());
  });
  EXPECT_EQ(answer, "ok|cannot write to '" + (scratch / "Message.20240315").string() + "': File too large|1");
  const auto dayLog = ReadDayLogFile(scratch / "Message.20240315");
  EXPECT_EQ(dayLog.Damage, MessageLogFormat::TDamage::None);
  EXPECT_EQ(dayLog.Records.size(), 1U);
  EXPECT_EQ(MessageLogFormat::ReadSummaryFile(ReadWholeFile(scratch / "Summary")).ProcessedTotal, 1);
}

}  // namespace
