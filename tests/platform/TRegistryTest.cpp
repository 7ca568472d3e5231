#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>

#include "RegTestValues.h"
#include "support/ScratchFolder.h"
#include "platform/ERegistryException.h"
#include "platform/TRegistry.h"
#include "platform/TRegistryStore.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const ERegistryException& error) {
    return error.what();
  }
  return "";
}

class RegistryTest : public ::testing::Test {
 protected:
  ScratchFolder scratch_;
  TRegistryStore store_{scratch_ / "registry.reg",
                        {std::string(QUORIX_TEST_DATA_DIR) + "/platform/mime.types.system"}};
  TRegistry registry_{store_};
};

TEST_F(RegistryTest, PathsFromABackslashStartAtTheRootOthersAtTheCurrentKey) {
  struct Step {
    const char* path;
    bool canCreate;
    bool opened;
    const char* currentAfter;
  };
  const Step steps[] = {
      {"Software", false, false, ""},  // nothing there yet; nothing opened
      {"\\Software\\Vantorell", true, true, "Software\\Vantorell"},
      {"Quorix", true, true, "Software\\Vantorell\\Quorix"},
      {"\\Missing", false, false, "Software\\Vantorell\\Quorix"},  // a failed open keeps the key
      {"Config\\", true, true, "Software\\Vantorell\\Quorix\\Config"},
      {"", false, true, "Software\\Vantorell\\Quorix\\Config"},
      {"\\software\\VANTORELL", false, true, "software\\VANTORELL"},
      {"Bad\\\\Path", true, false, "software\\VANTORELL"},
      {"\\", false, true, ""},  // the root itself
      {"Software", false, true, "Software"},
  };
  for (const Step& step : steps) {
    EXPECT_EQ(registry_.OpenKey(step.path, step.canCreate), step.opened) << step.path;
    EXPECT_EQ(registry_.CurrentPath(), step.currentAfter) << step.path;
  }
  EXPECT_TRUE(registry_.HasCurrentKey());
  EXPECT_TRUE(registry_.KeyExists("Vantorell\\Quorix"));  // relative to "Software"
  EXPECT_FALSE(registry_.KeyExists("\\Vantorell"));
  EXPECT_TRUE(registry_.KeyExists("\\Software\\Vantorell\\Quorix\\Config"));

  registry_.CloseKey();
  EXPECT_FALSE(registry_.HasCurrentKey());
  EXPECT_EQ(registry_.CurrentPath(), "");
  EXPECT_TRUE(registry_.KeyExists("Software\\Vantorell"));  // relative to the root when none is open
  ASSERT_TRUE(registry_.OpenKey("Software\\Vantorell", false));
  EXPECT_THAT(registry_.GetKeyNames(), ElementsAre("Quorix"));
  EXPECT_TRUE(registry_.DeleteKey("Quorix"));
  EXPECT_FALSE(registry_.KeyExists("\\Software\\Vantorell\\Quorix\\Config"));
  EXPECT_FALSE(registry_.DeleteKey("Quorix"));
}

TEST_F(RegistryTest, TypedReadsCheckTheTypeAndName) {
  ASSERT_TRUE(registry_.OpenKey("\\Software\\Vantorell\\Quorix\\State", true));
  registry_.WriteInteger("Int", -2);
  registry_.WriteString("Str", "text");
  registry_.WriteExpandString("Exp", "%TEMP%");
  registry_.WriteFloat("Date", 45000.75);
  registry_.WriteBinaryData("Bin4", {1, 2, 3, 4});
  registry_.WriteBinaryData("Empty", {});

  EXPECT_EQ(registry_.ReadInteger("int"), -2);
  EXPECT_EQ(registry_.ReadString("Str"), "text");
  EXPECT_EQ(registry_.ReadString("Exp"), "%TEMP%");
  EXPECT_EQ(registry_.ReadString("Missing"), "");
  EXPECT_EQ(registry_.ReadFloat("Date"), 45000.75);
  EXPECT_EQ(registry_.ReadBinaryData("Bin4", 4), (std::vector<std::uint8_t>{1, 2, 3, 4}));
  EXPECT_THAT(registry_.ReadBinaryData("Empty", 0), IsEmpty());
  EXPECT_EQ(store_.ReadValue(THKey::HKEY_CURRENT_USER, "Software\\Vantorell\\Quorix\\State", "Date"),
            BinaryValue({0x00, 0x00, 0x00, 0x00, 0x18, 0xF9, 0xE5, 0x40}));  // little-endian IEEE 754

  struct Case {
    const char* what;
    std::function<void()> read;
    std::string error;
  };
  const Case cases[] = {
      {"integer from a string", [&] { (void)registry_.ReadInteger("Str"); }, "Invalid data type for 'Str'"},
      {"integer from binary", [&] { (void)registry_.ReadInteger("Bin4"); }, "Invalid data type for 'Bin4'"},
      {"missing integer", [&] { (void)registry_.ReadInteger("Missing"); },
       "Failed to get data for 'Missing'"},
      {"string from an integer", [&] { (void)registry_.ReadString("Int"); }, "Invalid data type for 'Int'"},
      {"string from binary", [&] { (void)registry_.ReadString("Bin4"); }, "Invalid data type for 'Bin4'"},
      {"float from 4 bytes", [&] { (void)registry_.ReadFloat("Bin4"); }, "Invalid data type for 'Bin4'"},
      {"float from a string", [&] { (void)registry_.ReadFloat("Str"); }, "Invalid data type for 'Str'"},
      {"missing float", [&] { (void)registry_.ReadFloat("Missing"); }, "Failed to get data for 'Missing'"},
      {"binary beyond the buffer", [&] { (void)registry_.ReadBinaryData("Bin4", 3); },
       "Invalid data type for 'Bin4'"},
      {"binary from an integer", [&] { (void)registry_.ReadBinaryData("Int", 8); },
       "Invalid data type for 'Int'"},
      {"missing binary", [&] { (void)registry_.ReadBinaryData("Missing", 8); },
       "Failed to get data for 'Missing'"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ErrorOf(c.read), c.error) << c.what;
  }

  EXPECT_EQ(registry_.GetDataType("Str"), TRegDataType::rdString);
  EXPECT_EQ(registry_.GetDataType("Exp"), TRegDataType::rdExpandString);
  EXPECT_EQ(registry_.GetDataType("Int"), TRegDataType::rdInteger);
  EXPECT_EQ(registry_.GetDataType("Bin4"), TRegDataType::rdBinary);
  EXPECT_EQ(registry_.GetDataType("Missing"), TRegDataType::rdUnknown);
  EXPECT_EQ(registry_.GetDataSize("Str"), 5);
  EXPECT_EQ(registry_.GetDataSize("Int"), 4);
  EXPECT_EQ(registry_.GetDataSize("Date"), 8);
  EXPECT_EQ(registry_.GetDataSize("Empty"), 0);
  EXPECT_EQ(registry_.GetDataSize("Missing"), -1);
  EXPECT_THAT(registry_.GetValueNames(), ElementsAre("Bin4", "Date", "Empty", "Exp", "Int", "Str"));

  registry_.WriteInteger("Int", std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(registry_.ReadInteger("Int"), std::numeric_limits<std::int32_t>::min());
  registry_.WriteString("Int", "now a string");  // a write replaces the type too
  EXPECT_EQ(registry_.GetDataType("Int"), TRegDataType::rdString);
  EXPECT_TRUE(registry_.DeleteValue("int"));
  EXPECT_FALSE(registry_.ValueExists("Int"));
}

TEST_F(RegistryTest, WritesFailWhereNothingCanBeWritten) {
  const auto writeFails = [&](const char* what) {
    EXPECT_EQ(ErrorOf([&] { registry_.WriteInteger("V", 1); }), "Failed to set data for 'V'") << what;
    EXPECT_EQ(ErrorOf([&] { registry_.WriteString("S", "x"); }), "Failed to set data for 'S'") << what;
  };
  writeFails("no key open");
  EXPECT_FALSE(registry_.ValueExists("V"));
  EXPECT_THAT(registry_.GetKeyNames(), IsEmpty());

  ASSERT_TRUE(registry_.OpenKey("\\Software\\Q", true));
  registry_.WriteInteger("Kept", 1);
  ASSERT_TRUE(registry_.OpenKeyReadOnly("\\Software\\Q"));
  writeFails("read-only key");
  EXPECT_FALSE(registry_.DeleteValue("Kept"));
  EXPECT_FALSE(registry_.DeleteKey("\\Software\\Q"));
  EXPECT_EQ(registry_.ReadInteger("Kept"), 1);

  ASSERT_TRUE(registry_.OpenKey("\\Software\\Q", true));
  EXPECT_EQ(ErrorOf([&] { registry_.WriteString("line\nfeed", "x"); }),
            "Failed to set data for 'line\nfeed'");
  ASSERT_TRUE(registry_.DeleteKey("\\Software\\Q"));
  writeFails("current key deleted");

  registry_.SetRootKey(THKey::HKEY_CLASSES_ROOT);
  EXPECT_FALSE(registry_.HasCurrentKey());
  ASSERT_TRUE(registry_.OpenKey("\\MIME\\Database\\Content Type\\text/html", true));
  writeFails("read-only root");
}

TEST_F(RegistryTest, ReadsTheMimeViewThroughClassesRoot) {
  registry_.SetRootKey(THKey::HKEY_CLASSES_ROOT);
  ASSERT_TRUE(registry_.OpenKeyReadOnly("\\MIME\\Database\\Content Type\\Image/JPEG"));
  EXPECT_EQ(registry_.ReadString("Extension"), ".jpeg");
  EXPECT_FALSE(registry_.OpenKey("\\MIME\\Database\\Content Type\\application/x-no-extension", true));
  ASSERT_TRUE(registry_.OpenKey("\\MIME\\Database", false));
  EXPECT_THAT(registry_.GetKeyNames(), ElementsAre("Content Type"));
}

}  // namespace
