#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "common/AsciiCase.h"
#include "config/ConfigTestSupport.h"
#include "config/EConvertError.h"
#include "config/TExtRegistry.h"
#include "config/TStoreableObject.h"
#include "platform/ERegistryException.h"
#include "platform/THKey.h"

namespace {

using ConfigTest::Binary;
using ConfigTest::Dword;
using ConfigTest::ErrorTextOf;
using ConfigTest::Sz;
using ::testing::ElementsAre;
using ::testing::Optional;

enum class TColor : std::uint8_t { Red, Green, Blue };

// One published property of every kind, two of them not stored (values of an "earlier
// version"). Their names sort as listed: Active, Color, Counter, Initial, Legacy, Limit,
// OldTitle, Stamp, Title.
class TSample : public TStoreableObject {
 public:
  [[nodiscard]] std::string ClassName() const override { return "TSample"; }
  [[nodiscard]] const TPropertyTable& PublishedProperties() const override {
    static const TPropertyTable properties{
        Published("Title", &TSample::Title),
        Published("Active", &TSample::Active),
        Published("Counter", &TSample::Counter),
        Published("Color", &TSample::Color),
        Published("Initial", &TSample::Initial),
        Published("Limit", &TSample::Limit),
        Published("Stamp", &TSample::Stamp),
        Published("Legacy", &TSample::Legacy, false),
        Published("OldTitle", &TSample::OldTitle, false),
    };
    return properties;
  }

  bool Active = true;
  TColor Color = TColor::Green;
  int Counter = 7;
  char Initial = 'q';
  std::uint32_t Limit = 1000;
  std::string OldTitle;
  int Legacy = 0;
  double Stamp = 36526.5;
  std::string Title = "default";
};

class TOther : public TStoreableObject {
 public:
  [[nodiscard]] std::string ClassName() const override { return "TOther"; }
  [[nodiscard]] const TPropertyTable& PublishedProperties() const override {
    static const TPropertyTable properties{Published("Title", &TOther::Title)};
    return properties;
  }
  std::string Title;
};

class TWide : public TStoreableObject {
 public:
  [[nodiscard]] std::string ClassName() const override { return "TWide"; }
  [[nodiscard]] const TPropertyTable& PublishedProperties() const override {
    static const TPropertyTable properties{Published("Big", &TWide::Big)};
    return properties;
  }
  std::int64_t Big = 0;
};

void ExpectSameProperties(const TSample& actual, const TSample& expected) {
  EXPECT_EQ(actual.Active, expected.Active);
  EXPECT_EQ(actual.Color, expected.Color);
  EXPECT_EQ(actual.Counter, expected.Counter);
  EXPECT_EQ(actual.Initial, expected.Initial);
  EXPECT_EQ(actual.Legacy, expected.Legacy);
  EXPECT_EQ(actual.Limit, expected.Limit);
  EXPECT_EQ(actual.OldTitle, expected.OldTitle);
  EXPECT_EQ(actual.Stamp, expected.Stamp);
  EXPECT_EQ(actual.Title, expected.Title);
}

constexpr const char* SampleKey = "\\Software\\QuorixTest\\Sample";
constexpr const char* SamplePath = "Software\\QuorixTest\\Sample";
constexpr const char* CallerKey = "\\Software\\QuorixTest\\Caller";
constexpr const char* CallerPath = "Software\\QuorixTest\\Caller";

class TStoreableObjectTest : public ConfigTest::RegistryTest {
 protected:
  void OpenCallerKey() { ASSERT_TRUE(Registry().OpenKey(CallerKey, true)); }
  void ExpectCallerKeyOpen() {
    EXPECT_TRUE(Registry().HasCurrentKey());
    EXPECT_EQ(Registry().CurrentPath(), CallerPath);
  }
};

TEST_F(TStoreableObjectTest, SaveThenLoadRoundTripsEveryKindThroughTheFile) {
  struct Case {
    const char* label;
    TSample values;
  };
  TSample low;
  low.Active = false;
  low.Color = TColor::Red;
  low.Counter = std::numeric_limits<int>::min();
  low.Initial = '\0';
  low.Limit = 0;
  low.Stamp = -693593.25;
  low.Title = "";
  TSample high;
  high.Color = TColor::Blue;
  high.Counter = std::numeric_limits<int>::max();
  high.Initial = '\xff';
  high.Limit = std::numeric_limits<std::uint32_t>::max();
  high.Stamp = 1e300;
  high.Title = "quote \" backslash \\ caf\xc3\xa9 CR\rLF\n tab\t \xff\x80 end";
  const Case cases[] = {{"defaults", TSample{}}, {"lowest values", low}, {"highest values", high}};

  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TSample saved = c.values;
    saved.SaveToRegistry(Registry(), SampleKey);
    reg.Reopen();
    TSample loaded;
    loaded.Active = !c.values.Active;
    loaded.Counter = 12345;
    loaded.Title = "not loaded";
    EXPECT_TRUE(loaded.LoadFromRegistry(Registry(), SampleKey));
    ExpectSameProperties(loaded, saved);
  }
}

TEST_F(TStoreableObjectTest, EachKindIsStoredAsItsRegistryTypeUnderItsOwnName) {
  TSample sample;
  sample.Active = true;
  sample.Color = TColor::Blue;
  sample.Counter = -2;
  sample.Stamp = 1.5;
  sample.SaveToRegistry(Registry(), SampleKey);

  EXPECT_THAT(reg.ValueNames(SamplePath),
              ElementsAre("Active", "Color", "Counter", "Initial", "Limit", "Stamp", "Title"));
  EXPECT_THAT(reg.Get(SamplePath, "Active"), Optional(Dword(1)));
  EXPECT_THAT(reg.Get(SamplePath, "Color"), Optional(Dword(2)));
  EXPECT_THAT(reg.Get(SamplePath, "Counter"), Optional(Dword(0xFFFFFFFE)));
  EXPECT_THAT(reg.Get(SamplePath, "Initial"), Optional(Dword('q')));
  EXPECT_THAT(reg.Get(SamplePath, "Stamp"), Optional(Binary({0, 0, 0, 0, 0, 0, 0xF8, 0x3F})));
  EXPECT_THAT(reg.Get(SamplePath, "Title"), Optional(Sz("default")));
}

TEST_F(TStoreableObjectTest, LoadingFromAMissingKeyCreatesItKeepsDefaultsAndAnswersFalse) {
  TSample sample;
  EXPECT_FALSE(sample.LoadFromRegistry(Registry(), SampleKey));
  EXPECT_TRUE(reg.KeyExists(SamplePath));
  ExpectSameProperties(sample, TSample{});
}

TEST_F(TStoreableObjectTest, LoadingSetsOnlyThePropertiesThatHaveValues) {
  reg.Put(SamplePath, "Counter", Dword(42));
  reg.Put(SamplePath, "Unrelated", Sz("ignored"));
  TSample sample;
  EXPECT_TRUE(sample.LoadFromRegistry(Registry(), SampleKey));
  TSample expected;
  expected.Counter = 42;
  ExpectSameProperties(sample, expected);
}

TEST_F(TStoreableObjectTest, AStoredOrdinalIsTakenWhateverItsValue) {
  reg.Put(SamplePath, "Active", Dword(5));
  reg.Put(SamplePath, "Color", Dword(200));
  TSample sample;
  sample.Active = false;
  ASSERT_TRUE(sample.LoadFromRegistry(Registry(), SampleKey));
  EXPECT_TRUE(sample.Active);
  EXPECT_EQ(static_cast<int>(sample.Color), 200);
}

TEST_F(TStoreableObjectTest, AnExpandStringIsReadAsText) {
  reg.Put(SamplePath, "Title", ConfigTest::ExpandSz("%HOME%\\mail"));
  TSample sample;
  ASSERT_TRUE(sample.LoadFromRegistry(Registry(), SampleKey));
  EXPECT_EQ(sample.Title, "%HOME%\\mail");
}

TEST_F(TStoreableObjectTest, APropertyNotStoredIsReadOnLoadAndItsValueDeletedOnSave) {
  reg.Put(SamplePath, "Legacy", Dword(3));
  reg.Put(SamplePath, "OldTitle", Sz("from an earlier version"));
  TSample sample;
  ASSERT_TRUE(sample.LoadFromRegistry(Registry(), SampleKey));
  EXPECT_EQ(sample.Legacy, 3);
  EXPECT_EQ(sample.OldTitle, "from an earlier version");

  sample.SaveToRegistry(Registry(), SampleKey);
  reg.Reopen();
  EXPECT_EQ(reg.Get(SamplePath, "Legacy"), std::nullopt);
  EXPECT_EQ(reg.Get(SamplePath, "OldTitle"), std::nullopt);
  EXPECT_THAT(reg.Get(SamplePath, "Title"), Optional(Sz("default")));
}

TEST_F(TStoreableObjectTest, AValueOfTheWrongTypeStopsTheLoadAfterTheKeyWasRestored) {
  struct Case {
    const char* property;
    TRegValue value;
  };
  const Case cases[] = {
      {"Active", Binary({1, 0, 0, 0})},  // an ordinal must be a DWORD
      {"Counter", Sz("12")},
      {"Initial", Binary({})},
      {"Limit", Binary({0, 0, 0, 0, 0, 0, 0, 0})},
      {"Stamp", Binary({0, 0, 0, 0})},  // a date is exactly 8 bytes
      {"Stamp", Binary({0, 0, 0, 0, 0, 0, 0, 0, 0})},
      {"Stamp", Dword(1)},
      {"Stamp", Sz("36526")},
      {"Title", Dword(1)},  // a text must not silently become ""
      {"Title", Binary({'a', 'b', 0})},
      {"Legacy", Sz("3")},  // not stored, but still read and checked
  };
  // Values of the right type for every property, so that the properties read before the
  // bad one show that they kept what was read.
  const std::vector<std::pair<std::string, TRegValue>> good = {
      {"Active", Dword(0)},    {"Color", Dword(0)},
      {"Counter", Dword(99)},  {"Initial", Dword('z')},
      {"Legacy", Dword(4)},    {"Limit", Dword(5)},
      {"OldTitle", Sz("old")}, {"Stamp", Binary({0, 0, 0, 0, 0, 0, 0xF8, 0x3F})},
      {"Title", Sz("read")},
  };
  TSample allGood;
  allGood.Active = false;
  allGood.Color = TColor::Red;
  allGood.Counter = 99;
  allGood.Initial = 'z';
  allGood.Legacy = 4;
  allGood.Limit = 5;
  allGood.OldTitle = "old";
  allGood.Stamp = 1.5;
  allGood.Title = "read";
  const TSample defaults;

  for (const Case& c : cases) {
    SCOPED_TRACE(c.property);
    reg.Store().DeleteKey(THKey::HKEY_CURRENT_USER, SamplePath);
    for (const auto& [name, value] : good) {
      reg.Put(SamplePath, name, value);
    }
    reg.Put(SamplePath, c.property, c.value);
    OpenCallerKey();

    TSample sample;
    EXPECT_EQ(ErrorTextOf<ERegistryException>([&] { (void)sample.LoadFromRegistry(Registry(), SampleKey); }),
              "Invalid data type for '" + std::string(c.property) + "'");
    ExpectCallerKeyOpen();
    // Alphabetical order: what comes before the bad value was read, the rest kept its default.
    for (const TPublishedProperty& property : sample.PublishedProperties()) {
      SCOPED_TRACE(property.Name);
      const bool readBefore = caseInsensitiveCompare(property.Name, c.property) < 0;
      EXPECT_TRUE(property.Get(sample) == property.Get(readBefore ? allGood : defaults));
    }
  }
}

TEST_F(TStoreableObjectTest, SaveAndLoadReopenTheCallersKey) {
  OpenCallerKey();
  TSample sample;
  sample.SaveToRegistry(Registry(), SampleKey);
  ExpectCallerKeyOpen();
  EXPECT_TRUE(sample.LoadFromRegistry(Registry(), SampleKey));
  ExpectCallerKeyOpen();

  // Created again if it vanished meanwhile.
  ASSERT_TRUE(reg.Store().DeleteKey(THKey::HKEY_CURRENT_USER, CallerPath));
  sample.SaveToRegistry(Registry(), SampleKey);
  ExpectCallerKeyOpen();
  EXPECT_TRUE(reg.KeyExists(CallerPath));

  // With no key open before, none is open afterwards.
  Registry().CloseKey();
  sample.SaveToRegistry(Registry(), SampleKey);
  EXPECT_FALSE(Registry().HasCurrentKey());
}

TEST_F(TStoreableObjectTest, AFailedWriteRaisesAfterTheKeyWasRestored) {
  // HKEY_CLASSES_ROOT is read-only: its keys open, but nothing can be written to them.
  Registry().SetRootKey(THKey::HKEY_CLASSES_ROOT);
  ASSERT_TRUE(Registry().OpenKeyReadOnly("\\MIME\\Database\\Content Type"));
  TSample sample;
  EXPECT_EQ(ErrorTextOf<ERegistryException>(
                [&] { sample.SaveToRegistry(Registry(), "\\MIME\\Database\\Content Type\\text/html"); }),
            "Failed to set data for 'Active'");
  EXPECT_EQ(Registry().CurrentPath(), "MIME\\Database\\Content Type");
}

TEST_F(TStoreableObjectTest, AKeyThatCannotBeOpenedRaisesInsteadOfUsingAnotherKey) {
  Registry().SetRootKey(THKey::HKEY_CLASSES_ROOT);
  ASSERT_TRUE(Registry().OpenKeyReadOnly("\\MIME"));
  TSample sample;
  EXPECT_EQ(ErrorTextOf<ERegistryException>([&] { sample.SaveToRegistry(Registry(), "\\NoSuchKey"); }),
            "Cannot open the registry key '\\NoSuchKey'");
  EXPECT_EQ(
      ErrorTextOf<ERegistryException>([&] { (void)sample.LoadFromRegistry(Registry(), "\\NoSuchKey"); }),
      "Cannot open the registry key '\\NoSuchKey'");
  EXPECT_EQ(Registry().CurrentPath(), "MIME");
}

TEST_F(TStoreableObjectTest, AnOrdinalWiderThanADwordIsRefusedRatherThanCut) {
  struct Case {
    std::int64_t value;
    const char* error;
  };
  const Case cases[] = {
      {std::numeric_limits<std::int32_t>::min(), "no error"},
      {std::numeric_limits<std::uint32_t>::max(), "no error"},
      {std::int64_t{std::numeric_limits<std::int32_t>::min()} - 1, "Failed to set data for 'Big'"},
      {std::int64_t{std::numeric_limits<std::uint32_t>::max()} + 1, "Failed to set data for 'Big'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    TWide wide;
    wide.Big = c.value;
    EXPECT_EQ(ErrorTextOf<ERegistryException>([&] { wide.SaveToRegistry(Registry(), SampleKey); }), c.error);
    if (std::string(c.error) != "no error") {
      EXPECT_FALSE(reg.KeyExists(SamplePath)) << "something was written before the refusal";
    }
    reg.Store().DeleteKey(THKey::HKEY_CURRENT_USER, SamplePath);
  }
}

TEST(TStoreableObjectAssignTest, CopiesEveryPropertyOfTheSameClassStoredOrNot) {
  TSample source;
  source.Active = false;
  source.Color = TColor::Blue;
  source.Counter = -9;
  source.Initial = 'x';
  source.Legacy = 11;
  source.Limit = 77;
  source.OldTitle = "old";
  source.Stamp = 2.25;
  source.Title = "copied";
  TSample target;
  target.Assign(source);
  ExpectSameProperties(target, source);
}

TEST(TStoreableObjectAssignTest, RejectsAnotherClassNamingBoth) {
  TSample sample;
  TOther other;
  other.Title = "other";
  EXPECT_EQ(ErrorTextOf<EConvertError>([&] { sample.Assign(other); }), "Cannot assign a TOther to a TSample");
  EXPECT_EQ(sample.Title, "default");
  EXPECT_THROW(other.Assign(sample), EConvertError);
}

}  // namespace
