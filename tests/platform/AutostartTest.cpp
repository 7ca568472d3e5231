#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "support/ScratchFolder.h"
#include "common/EQuorixException.h"
#include "platform/Autostart.h"

namespace {

using ::testing::StartsWith;

class AutostartTest : public ::testing::Test {
 protected:
  AutostartTest() { environment_.Set("XDG_CONFIG_HOME", scratch_.Path().string()); }

  ScratchFolder scratch_;
  ScopedEnvironment environment_;
  std::filesystem::path entry_ = scratch_ / "autostart/quorix.desktop";
};

TEST_F(AutostartTest, WritesADesktopEntryThatRunsTheProgramMinimised) {
  EXPECT_EQ(Platform::AutostartEntryPath(), entry_);
  EXPECT_EQ(Platform::ReadAutostartExec(), std::nullopt);
  Platform::WriteAutostartEntry("/usr/bin/quorix", "/minimize");
  EXPECT_EQ(ReadWholeFile(entry_),
            "[Desktop Entry]\n"
            "Type=Application\n"
            "Name=Quorix\n"
            "Exec=\"/usr/bin/quorix\" /minimize\n");
  EXPECT_EQ(Platform::ReadAutostartExec(), "\"/usr/bin/quorix\" /minimize");

  Platform::RemoveAutostartEntry();
  EXPECT_FALSE(std::filesystem::exists(entry_));
  Platform::RemoveAutostartEntry();  // absent: no error
  EXPECT_EQ(Platform::ReadAutostartExec(), std::nullopt);
}

TEST_F(AutostartTest, QuotesAndEscapesAwkwardProgramPaths) {
  struct Case {
    std::string executable;
    std::string execLine;   // as it stands in the file
    std::string execValue;  // after the string-level escapes
  };
  const Case cases[] = {
      {"/opt/My Apps/quorix", "Exec=\"/opt/My Apps/quorix\" /minimize", "\"/opt/My Apps/quorix\" /minimize"},
      {"/opt/say \"hi\"/q", "Exec=\"/opt/say \\\\\"hi\\\\\"/q\" /minimize",
       "\"/opt/say \\\"hi\\\"/q\" /minimize"},
      {"/opt/a\\b", "Exec=\"/opt/a\\\\\\\\b\" /minimize", "\"/opt/a\\\\b\" /minimize"},
      {"/opt/$HOME/`x`", "Exec=\"/opt/\\\\$HOME/\\\\`x\\\\`\" /minimize",
       "\"/opt/\\$HOME/\\`x\\`\" /minimize"},
      {"/opt/100%/q", "Exec=\"/opt/100%%/q\" /minimize", "\"/opt/100%%/q\" /minimize"},
      {"/opt/new\nline", "Exec=\"/opt/new\\nline\" /minimize", "\"/opt/new\nline\" /minimize"},
  };
  for (const Case& c : cases) {
    Platform::WriteAutostartEntry(c.executable, "/minimize");
    const std::string text = ReadWholeFile(entry_);
    EXPECT_NE(text.find("\n" + c.execLine + "\n"), std::string::npos) << text;
    EXPECT_EQ(Platform::ReadAutostartExec(), c.execValue) << c.executable;
  }
  Platform::WriteAutostartEntry("/usr/bin/quorix", "");
  EXPECT_EQ(Platform::ReadAutostartExec(), "\"/usr/bin/quorix\"");
}

TEST_F(AutostartTest, ReadsOnlyTheExecOfTheDesktopEntryGroup) {
  WriteWholeFile(entry_,
                 "# written by hand\r\n"
                 "[Desktop Action Other]\r\n"
                 "Exec=/bin/false\r\n"
                 "[Desktop Entry]\r\n"
                 "Exec[de]=/bin/false\r\n"
                 "Exec = \"/usr/bin/quorix\" /minimize\\s\r\n");
  EXPECT_EQ(Platform::ReadAutostartExec(), "\"/usr/bin/quorix\" /minimize ");
  WriteWholeFile(entry_, "[Desktop Entry]\nType=Application\n");
  EXPECT_EQ(Platform::ReadAutostartExec(), std::nullopt);
}

TEST_F(AutostartTest, FailuresNameTheFileAndTheCause) {
  WriteWholeFile(scratch_ / "autostart", "a file where the folder should be");
  try {
    Platform::WriteAutostartEntry("/usr/bin/quorix", "/minimize");
    FAIL() << "the entry was written";
  } catch (const EQuorixException& error) {
    EXPECT_THAT(error.what(), StartsWith("Cannot write the autostart entry '" + entry_.string() +
                                         "': cannot create the folder"));
  }
  std::filesystem::remove(scratch_ / "autostart");
  EXPECT_THROW(Platform::WriteAutostartEntry("/opt/\xE9/quorix", "/minimize"), EQuorixException);
  EXPECT_FALSE(std::filesystem::exists(entry_));

  std::filesystem::create_directories(entry_);  // a folder in place of the entry
  EXPECT_THROW((void)Platform::ReadAutostartExec(), EQuorixException);
  EXPECT_THROW(Platform::RemoveAutostartEntry(), EQuorixException);
}

}  // namespace
