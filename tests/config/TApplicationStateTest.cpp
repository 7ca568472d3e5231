#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/TDateTime.h"
#include "config/ConfigTestSupport.h"
#include "config/TApplicationState.h"
#include "platform/ERegistryException.h"

namespace {

using ConfigTest::Binary;
using ConfigTest::Dword;
using ConfigTest::ErrorTextOf;
using ::testing::HasSubstr;

constexpr const char* StatePath = "Software\\Vantorell\\Quorix\\State";

class TApplicationStateTest : public ConfigTest::RegistryTest {};

TEST_F(TApplicationStateTest, AFirstStartHasTheDefaultsWithBothSummaryDatesToday) {
  const TDateTime before = Today();
  TApplicationState state;
  EXPECT_FALSE(state.LoadStateFromRegistry(Store()));
  const TDateTime after = Today();

  EXPECT_FALSE(state.ShowAdvanced);
  EXPECT_EQ(state.SummaryDialogTab, 0);
  EXPECT_EQ(state.SummaryScreen, 0);
  EXPECT_EQ(state.SummaryInterval, 0);
  EXPECT_TRUE(state.SummaryShowExplanations);
  for (const TDateTime date : {state.LastPopupSummaryDate, state.LastEmailedSummaryDate}) {
    EXPECT_GE(date, before);
    EXPECT_LE(date, after);
  }
  EXPECT_TRUE(reg.KeyExists(StatePath));
}

TEST_F(TApplicationStateTest, SavedStateComesBackAfterARestartWithDatesAsEightByteDoubles) {
  TApplicationState saved;
  saved.ShowAdvanced = true;
  saved.SummaryDialogTab = 2;
  saved.SummaryScreen = 1;
  saved.SummaryInterval = 4;
  saved.SummaryShowExplanations = false;
  saved.LastPopupSummaryDate = EncodeDate(2024, 2, 29);
  saved.LastEmailedSummaryDate = EncodeDate(2024, 2, 29) + 0.5;
  saved.SaveStateToRegistry(Store());

  EXPECT_EQ(reg.Get(StatePath, "LastPopupSummaryDate"),
            Binary({0x00, 0x00, 0x00, 0x00, 0xe0, 0x24, 0xe6, 0x40}));
  EXPECT_EQ(reg.Get(StatePath, "ShowAdvanced"), Dword(1));
  EXPECT_EQ(reg.Get(StatePath, "SummaryInterval"), Dword(4));

  reg.Reopen();
  TApplicationState loaded;
  ASSERT_TRUE(loaded.LoadStateFromRegistry(Store()));
  EXPECT_TRUE(loaded.ShowAdvanced);
  EXPECT_EQ(loaded.SummaryDialogTab, 2);
  EXPECT_EQ(loaded.SummaryScreen, 1);
  EXPECT_EQ(loaded.SummaryInterval, 4);
  EXPECT_FALSE(loaded.SummaryShowExplanations);
  EXPECT_EQ(loaded.LastPopupSummaryDate, 45351.0);
  EXPECT_EQ(loaded.LastEmailedSummaryDate, 45351.5);
}

TEST_F(TApplicationStateTest, ADateThatIsNotEightBytesNamesTheValue) {
  reg.Put(StatePath, "LastEmailedSummaryDate", Binary({0x00, 0x00, 0x00, 0x00, 0xe0, 0x24, 0xe6, 0x40}));
  reg.Put(StatePath, "LastPopupSummaryDate", Binary({0xe0, 0x24, 0xe6, 0x40}));
  TApplicationState state;
  EXPECT_EQ(ErrorTextOf<ERegistryException>([&] { (void)state.LoadStateFromRegistry(Store()); }),
            "Invalid data type for 'LastPopupSummaryDate'");
  EXPECT_EQ(state.LastEmailedSummaryDate, 45351.0);  // read before the bad value
}

TEST_F(TApplicationStateTest, AnUnwritableFolderNamesTheFile) {
  WriteWholeFile(reg.Dir() / "blocker", "not a folder");
  const std::filesystem::path file = reg.Dir() / "blocker" / "registry.reg";
  TRegistryStore store(file, {reg.MimeTypesFile()});
  TApplicationState state;
  EXPECT_THAT(ErrorTextOf<ERegistryException>([&] { state.SaveStateToRegistry(store); }),
              HasSubstr(file.string()));
}

}  // namespace
