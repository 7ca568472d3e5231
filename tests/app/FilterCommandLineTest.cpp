// quorix-filter as users and scripts run it: exit statuses and their reasons, the report, line
// ends, fixed processing time, logging and the output file.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "FilterProcess.h"
#include "support/ScratchFolder.h"

namespace {

namespace fs = std::filesystem;
using FilterTest::Now;
using FilterTest::RunFilter;

const fs::path EngineData = fs::path(QUORIX_TEST_DATA_DIR) / "engine";

// A message with an executable attachment, a read-receipt request and a subject whose bytes
// are no valid UTF-8 and hold a control character.
constexpr std::string_view SampleMessage =
    "From: Sender <sender@example.org>\r\n"
    "To: user@example.net\r\n"
    "Subject: Invoice \"Q2\" \\ \x01 caf\xc3\xa9 \xff\xfe end\r\n"
    "Date: Tue, 03 Jun 2003 09:05:00 +0100\r\n"
    "Disposition-Notification-To: sender@example.org\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed; boundary=\"b\"\r\n"
    "\r\n"
    "--b\r\n"
    "Content-Type: text/plain\r\n"
    "\r\n"
    "Please see the attachment.\r\n"
    "--b\r\n"
    "Content-Type: application/octet-stream; name=\"run.exe\"\r\n"
    "Content-Disposition: attachment; filename=\"run.exe\"\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "\r\n"
    "TVqQAAMAAAAEAAAA//8AALgAAAAAAAAAQAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA\r\n"
    "--b--\r\n";

constexpr std::string_view DamagedRegistry = "this is not a settings file\n";

constexpr std::string_view RegistryWithAccount =
    "Windows Registry Editor Version 5.00\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\Vantorell\\Quorix\\Config]\n"
    "\"LaunchOnStartup\"=dword:00000000\n"
    "\"KeepLogsForDays\"=dword:0000001c\n"
    "\n"
    "[HKEY_CURRENT_USER\\Software\\Vantorell\\Quorix\\Config\\Accounts\\pop.example.net.qx]\n"
    "\"RemoteHostname\"=\"pop.example.net\"\n"
    "\"RemotePort\"=dword:0000006e\n"
    "\"DefaultSecurityProfile\"=\"High\"\n";

class FilterCommandLine : public ::testing::Test {
 protected:
  FilterCommandLine() { WriteWholeFile(Message(), SampleMessage); }
  [[nodiscard]] fs::path Message() const { return dir / "message.eml"; }
  [[nodiscard]] std::vector<std::string> FilesIn(const fs::path& folder) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    return names;
  }

  ScratchFolder dir;
};

TEST_F(FilterCommandLine, UsageErrorsExitTwoWithTheReasonAndTheUsage) {
  struct Case {
    std::vector<std::string> arguments;
    std::string reason;
  };
  const std::vector<Case> cases{
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"-x"}, "unknown option '-x'"},
      {{"--now"}, "--now needs a value"},
      {{"--now", "2024-05-01 10:00:00"}, "--now wants a time as YYYY-MM-DDTHH:MM:SS+HHMM"},
      {{"--now", "2023-02-29T10:00:00+0000"}, "--now wants a time"},
      {{"--profile="}, "--profile needs a value"},
      {{"--report", "a", "--report", "b"}, "--report is given twice"},
      {{"--crlf=yes"}, "--crlf takes no value"},
      {{"--no-log", "--log-dir", "logs"}, "--log-dir and --no-log exclude each other"},
      {{"in", "out", "third"}, "too many files: 'third'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.front());
    const auto result = RunFilter(c.arguments, dir.Path());
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("Usage: quorix-filter"), std::string::npos);
    EXPECT_EQ(result.out, "");
  }
  const auto help = RunFilter({"--help"}, dir.Path());
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_TRUE(help.out.starts_with("Usage: quorix-filter")) << help.out;
}

// Every failure names what failed, writes no output and leaves an existing OUT as it was.
TEST_F(FilterCommandLine, FailuresExitOneAndSayWhichFileAndWhy) {
  WriteWholeFile(dir / "damaged.reg", DamagedRegistry);
  fs::create_directories(dir / "folder.reg");
  fs::create_directories(dir / "folder.eml");
  struct Case {
    std::string name;
    std::vector<std::string> arguments;
    std::string reason;
  };
  const std::string message = Message().string();
  const std::vector<Case> cases{
      {"missing input", {(dir / "missing.eml").string()},
       "unreadable input file '" + (dir / "missing.eml").string() + "': No such file or directory"},
      {"input is a folder", {(dir / "folder.eml").string()}, "unreadable input file '" + (dir / "folder.eml").string() + "': Is a directory"},
      {"damaged settings", {"--registry", (dir / "damaged.reg").string(), message},
       "damaged settings file '" + (dir / "damaged.reg").string() + "': Cannot read the settings file"},
      {"unreadable settings", {"--registry", (dir / "folder.reg").string(), message},
       "unreadable settings file '" + (dir / "folder.reg").string() + "'"},
      {"unknown profile", {"--profile", "Nonexistent", message}, "unknown profile Nonexistent"},
      {"output folder missing", {message, (dir / "no-such-folder" / "out.eml").string()},
       "Cannot write '" + (dir / "no-such-folder" / "out.eml").string() + "'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteWholeFile(dir / "out.eml", "earlier output\n");
    std::vector<std::string> arguments = c.arguments;
    if (c.name != "output folder missing") arguments.push_back((dir / "out.eml").string());
    const auto result = RunFilter(arguments, dir.Path());
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(ReadWholeFile(dir / "out.eml"), "earlier output\n");
  }
  // The settings file named by the environment is the default one.
  const auto fromEnvironment =
      RunFilter({message}, dir.Path(), {}, {"QUORIX_REGISTRY=" + (dir / "damaged.reg").string()});
  EXPECT_EQ(fromEnvironment.exitStatus, 1);
  EXPECT_NE(fromEnvironment.err.find("damaged settings file '" + (dir / "damaged.reg").string()), std::string::npos);
  // A damaged file is never replaced or moved by the filter.
  EXPECT_EQ(ReadWholeFile(dir / "damaged.reg"), DamagedRegistry);
}

TEST_F(FilterCommandLine, TheReportIsTheLogRecordAsEscapedJSON) {
  const auto result =
      RunFilter({"--no-log", "--now", Now, "--report", (dir / "report.json").string(), Message().string()}, dir.Path());
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  const std::string report = ReadWholeFile(dir / "report.json");
  const std::vector<std::string> expectedLines{
      "\"profile\": \"Medium\"",
      "\"sender\": \"sender@example.org\"",
      // Quote and backslash escaped, the control byte as \u0001, valid UTF-8 kept, the two
      // bytes that are none as one replacement character each.
      "\"subject\": \"Invoice \\\"Q2\\\" \\\\ \\u0001 caf\xc3\xa9 \\ufffd\\ufffd end\"",
      "\"processed\": \"2024-05-01T10:00:00\"",
      "\"date\": \"2003-06-03T09:05:00\"",
      "\"zone\": \"+0100\"",
      "\"filtered\": true",
      "\"ReadReceiptsBlocked\": 1",
      "\"AttachmentsBlocked\": 1",
      "\"AttachmentsRenamed\": 0",
      "\"Images1x1Blocked\": 0",
  };
  for (const auto& line : expectedLines) {
    EXPECT_NE(report.find(line), std::string::npos) << line << "\nin\n" << report;
  }
  EXPECT_TRUE(report.starts_with("{\n") && report.ends_with("}\n")) << report;
  // Every one of the 16 counters is there by name.
  std::size_t counters = 0;
  for (auto at = report.find("\n    \""); at != std::string::npos; at = report.find("\n    \"", at + 1)) ++counters;
  EXPECT_EQ(counters, 16U) << report;
}

TEST_F(FilterCommandLine, LineEndsAreLFUnlessCRLFIsAsked) {
  const auto lf = RunFilter({"--no-log", "--now", Now, Message().string()}, dir.Path());
  const auto crlf = RunFilter({"--no-log", "--now", Now, "--crlf", Message().string()}, dir.Path());
  ASSERT_EQ(lf.exitStatus, 0) << lf.err;
  ASSERT_EQ(crlf.exitStatus, 0) << crlf.err;
  EXPECT_EQ(lf.out.find('\r'), std::string::npos);
  std::string expected;
  for (const char c : lf.out) {
    if (c == '\n') expected += '\r';
    expected += c;
  }
  EXPECT_EQ(crlf.out, expected);
}

TEST_F(FilterCommandLine, AFixedProcessingTimeGivesTheSameBytesEveryRun) {
  // The same message from standard input and from a file, LF and CR LF alike: POP3 delivers
  // lines, not line ends.
  std::string lfMessage;
  for (const char c : SampleMessage) {
    if (c != '\r') lfMessage += c;
  }
  WriteWholeFile(dir / "lf.eml", lfMessage);
  const auto first = RunFilter({"--no-log", "--now", Now, Message().string()}, dir.Path());
  const auto second = RunFilter({"--no-log", "--now", Now}, dir.Path(), Message());
  const auto third = RunFilter({"--no-log", "--now", Now, "-", "-"}, dir.Path(), dir / "lf.eml");
  ASSERT_EQ(first.exitStatus, 0) << first.err;
  EXPECT_EQ(second.out, first.out);
  EXPECT_EQ(third.out, first.out);
  EXPECT_NE(first.out.find("(applied security profile: Medium) at Wed, 01 May 2024 10:00:00 +0200"),
            std::string::npos)
      << first.out;
  // The golden rewrites of the engine tests come out of the executable too.
  const auto golden = RunFilter({"--no-log", "--now", Now, (EngineData / "read-receipt.eml").string()}, dir.Path(), {},
                                {"QUORIX_REGISTRY=" + (dir / "none.reg").string()});
  ASSERT_EQ(golden.exitStatus, 0) << golden.err;
  std::string expected = ReadWholeFile(EngineData / "read-receipt.Medium.expected.eml");
  // The golden files name the engine tests' account; the filter's own is "localhost".
  if (const auto at = expected.find("Received: from "); at != std::string::npos) {
    expected.replace(at + 15, expected.find(' ', at + 15) - at - 15, "localhost");
  }
  EXPECT_EQ(golden.out, expected);
}

TEST_F(FilterCommandLine, TheAccountAndProfileComeFromTheSettings) {
  WriteWholeFile(dir / "settings.reg", RegistryWithAccount);
  const std::string registry = (dir / "settings.reg").string();
  struct Case {
    std::vector<std::string> arguments;
    std::string received;
    std::string warning;
  };
  const std::vector<Case> cases{
      {{"--account", "pop.example.net"}, "from pop.example.net by qx for sender@example.org\n\t(applied security profile: High)", ""},
      {{"--account", "pop.example.net", "--profile", "Low"}, "(applied security profile: Low)", ""},
      {{"--account", "other.example"}, "from localhost by qx for sender@example.org\n\t(applied security profile: Medium)",
       "no account has the server 'other.example'"},
      {{}, "from localhost by qx", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.received);
    std::vector<std::string> arguments{"--no-log", "--now", Now, "--registry", registry};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    arguments.push_back(Message().string());
    const auto result = RunFilter(arguments, dir.Path());
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_NE(result.out.find(c.received), std::string::npos) << result.out;
    if (!c.warning.empty()) {
      EXPECT_NE(result.err.find(c.warning), std::string::npos) << result.err;
    }
  }
  // Loading never writes the settings file.
  EXPECT_EQ(ReadWholeFile(dir / "settings.reg"), RegistryWithAccount);
}

TEST_F(FilterCommandLine, MessagesAreLoggedInTheChosenFolderOrNotAtAll) {
  const auto logged = RunFilter({"--now", Now, "--log-dir", (dir / "logs").string(), Message().string()}, dir.Path());
  ASSERT_EQ(logged.exitStatus, 0) << logged.err;
  const std::vector<std::string> expected{"Message.20240501", "Summary"};
  auto names = FilesIn(dir / "logs");
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, expected);
  EXPECT_EQ(fs::file_size(dir / "logs" / "Message.20240501"), 8U + 272U);

  // Without an option the configured folder (by default below XDG_DATA_HOME) gets it.
  ASSERT_EQ(RunFilter({"--now", Now, Message().string()}, dir.Path()).exitStatus, 0);
  EXPECT_TRUE(fs::exists(dir / "data" / "Vantorell" / "Quorix" / "logs" / "Message.20240501"));

  ScratchFolder quiet;
  ASSERT_EQ(RunFilter({"--no-log", "--now", Now, Message().string()}, quiet.Path()).exitStatus, 0);
  EXPECT_FALSE(fs::exists(quiet / "data"));

  // A log folder that cannot be made costs no mail: one warning, the message still comes.
  WriteWholeFile(dir / "a-file", "x");
  const auto unwritable = RunFilter({"--now", Now, "--log-dir", (dir / "a-file" / "logs").string(), Message().string()},
                                    dir.Path());
  EXPECT_EQ(unwritable.exitStatus, 0);
  EXPECT_NE(unwritable.err.find("warning"), std::string::npos) << unwritable.err;
  EXPECT_NE(unwritable.out.find("Please see the attachment."), std::string::npos);
}

TEST_F(FilterCommandLine, OutputAppearsWholeAndReplacesTheOldFile) {
  WriteWholeFile(dir / "out" / "result.eml", "old\n");
  const auto result =
      RunFilter({"--no-log", "--now", Now, Message().string(), (dir / "out" / "result.eml").string()}, dir.Path());
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_EQ(result.out, "");
  const auto toStdout = RunFilter({"--no-log", "--now", Now, Message().string()}, dir.Path());
  EXPECT_EQ(ReadWholeFile(dir / "out" / "result.eml"), toStdout.out);
  // No temporary file is left beside it.
  EXPECT_EQ(FilesIn(dir / "out"), std::vector<std::string>{"result.eml"});
  // Filtering a file onto itself works, because the input is read before the rename.
  const auto inPlace = RunFilter({"--no-log", "--now", Now, (dir / "out" / "result.eml").string(),
                                  (dir / "out" / "result.eml").string()},
                                 dir.Path());
  EXPECT_EQ(inPlace.exitStatus, 0) << inPlace.err;
  EXPECT_EQ(FilesIn(dir / "out"), std::vector<std::string>{"result.eml"});
}

}  // namespace
