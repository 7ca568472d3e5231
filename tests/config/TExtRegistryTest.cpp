#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/ConfigTestSupport.h"
#include "config/TExtRegistry.h"
#include "platform/ERegistryException.h"

namespace {

using ConfigTest::Binary;
using ConfigTest::Dword;
using ConfigTest::ErrorTextOf;
using ConfigTest::ExpandSz;
using ConfigTest::Sz;
using ::testing::Optional;

constexpr const char* Key = "\\Software\\QuorixTest\\Ext";
constexpr const char* Path = "Software\\QuorixTest\\Ext";

class TExtRegistryTest : public ConfigTest::RegistryTest {
 protected:
  void SetUp() override { ASSERT_TRUE(Registry().OpenKey(Key, true)); }
  void Plant(const std::optional<TRegValue>& value) {
    if (value) {
      reg.Put(Path, "V", *value);
    }
  }
};

TEST_F(TExtRegistryTest, ReadsWithDefaults) {
  struct Case {
    const char* label;
    std::optional<TRegValue> stored;
    bool boolean;           // ReadBoolDefault("V", true)
    int integer;            // ReadIntegerDefault("V", -5)
    const char* text;       // ReadStringDefault("V", "fallback")
    const char* boolError;  // also the error of ReadIntegerDefault
    const char* textError;
  };
  const Case cases[] = {
      {"missing", std::nullopt, true, -5, "fallback", nullptr, nullptr},
      {"dword 0", Dword(0), false, 0, nullptr, nullptr, "Invalid data type for 'V'"},
      {"dword 2", Dword(2), true, 2, nullptr, nullptr, "Invalid data type for 'V'"},
      {"dword max", Dword(0xFFFFFFFF), true, -1, nullptr, nullptr, "Invalid data type for 'V'"},
      {"text", Sz("words"), false, 0, "words", "Invalid data type for 'V'", nullptr},
      {"empty text", Sz(""), false, 0, "", "Invalid data type for 'V'", nullptr},
      {"expand text", ExpandSz("%x%"), false, 0, "%x%", "Invalid data type for 'V'", nullptr},
      {"binary", Binary({1, 0, 0, 0}), false, 0, nullptr, "Invalid data type for 'V'",
       "Invalid data type for 'V'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Registry().DeleteValue("V");
    Plant(c.stored);
    if (c.boolError == nullptr) {
      EXPECT_EQ(Registry().ReadBoolDefault("V", true), c.boolean);
      EXPECT_EQ(Registry().ReadIntegerDefault("V", -5), c.integer);
    } else {
      EXPECT_EQ(ErrorTextOf<ERegistryException>([&] { (void)Registry().ReadBoolDefault("V", true); }),
                c.boolError);
      EXPECT_EQ(ErrorTextOf<ERegistryException>([&] { (void)Registry().ReadIntegerDefault("V", 1); }),
                c.boolError);
    }
    if (c.textError == nullptr) {
      EXPECT_EQ(Registry().ReadStringDefault("V", "fallback"), c.text);
    } else {
      EXPECT_EQ(ErrorTextOf<ERegistryException>([&] { (void)Registry().ReadStringDefault("V", "x"); }),
                c.textError);
    }
  }
}

TEST_F(TExtRegistryTest, BinaryWideStringsAreUtf16LittleEndianWithATerminatingNul) {
  struct Case {
    const char* label;
    std::string text;  // UTF-8
    std::vector<std::uint8_t> bytes;
  };
  const Case cases[] = {
      {"ascii", "abc", {0x61, 0, 0x62, 0, 0x63, 0, 0, 0}},
      {"empty", "", {0, 0}},
      {"latin-1 range", "caf\xc3\xa9", {0x63, 0, 0x61, 0, 0x66, 0, 0xE9, 0, 0, 0}},
      {"euro sign", "\xe2\x82\xac", {0xAC, 0x20, 0, 0}},
      {"beyond the BMP: a surrogate pair", "\xf0\x9f\x98\x80", {0x3D, 0xD8, 0x00, 0xDE, 0, 0}},
      {"host name", "pop.example.com.qx", {'p', 0,   'o', 0,   'p', 0,   '.', 0,   'e', 0,   'x', 0,   'a',
                                           0,   'm', 0,   'p', 0,   'l', 0,   'e', 0,   '.', 0,   'c', 0,
                                           'o', 0,   'm', 0,   '.', 0,   'q', 0,   'x', 0,   0,   0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Registry().WriteBinaryWidestring("W", c.text);
    EXPECT_THAT(reg.Get(Path, "W"), Optional(Binary(c.bytes)));
    EXPECT_EQ(Registry().ReadBinaryWidestring("W"), c.text);
  }
}

TEST_F(TExtRegistryTest, ReadingABinaryWideStringWrittenElsewhere) {
  std::vector<std::uint8_t> longest;  // 256 characters and the NUL: 514 bytes
  for (int i = 0; i < 256; ++i) {
    longest.insert(longest.end(), {'x', 0});
  }
  longest.insert(longest.end(), {0, 0});
  std::vector<std::uint8_t> fullWithoutNul = longest;
  fullWithoutNul[512] = 'y';
  std::vector<std::uint8_t> tooLong = longest;
  tooLong.insert(tooLong.begin(), {'x', 0});

  struct Case {
    const char* label;
    std::optional<TRegValue> stored;
    std::string expected;  // or the error text
    bool error;
  };
  const Case cases[] = {
      {"longest accepted", Binary(longest), std::string(256, 'x'), false},
      {"one character more", Binary(tooLong), "Invalid data type for 'V'", true},
      {"a full buffer without the NUL", Binary(fullWithoutNul), std::string(256, 'x') + "y", false},
      {"a text value", Sz("abc"), "Invalid data type for 'V'", true},
      {"a dword", Dword(0x61), "Invalid data type for 'V'", true},
      {"missing", std::nullopt, "Failed to get data for 'V'", true},
      {"no terminating NUL keeps every character", Binary({'a', 0, 'b', 0}), "ab", false},
      {"an odd byte at the end is not half a character", Binary({'a', 0, 'b', 0, 0, 0, 'c'}), "ab", false},
      {"no bytes at all", Binary({}), "", false},
      {"a lone surrogate becomes U+FFFD", Binary({0x3D, 0xD8, 'a', 0, 0, 0}),
       "\xef\xbf\xbd"
       "a",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Registry().DeleteValue("V");
    Plant(c.stored);
    if (c.error) {
      EXPECT_EQ(ErrorTextOf<ERegistryException>([&] { (void)Registry().ReadBinaryWidestring("V"); }),
                c.expected);
    } else {
      EXPECT_EQ(Registry().ReadBinaryWidestring("V"), c.expected);
      EXPECT_EQ(Registry().ReadBinaryWidestringDefault("V", "fallback"), c.expected);
    }
  }
  Registry().DeleteValue("V");
  EXPECT_EQ(Registry().ReadBinaryWidestringDefault("V", "fallback"), "fallback");
}

TEST_F(TExtRegistryTest, AWideStringThatCannotBeStoredAsGivenIsRefusedAndTheOldValueKept) {
  std::string emoji128;
  for (int i = 0; i < 128; ++i) {
    emoji128 += "\xf0\x9f\x98\x80";  // two UTF-16 units each
  }
  struct Case {
    const char* label;
    std::string text;
    bool accepted;
  };
  const Case cases[] = {
      {"256 characters", std::string(256, 'a'), true},
      {"256 code units in surrogate pairs", emoji128, true},
      {"257 characters", std::string(257, 'a'), false},
      {"257 code units", emoji128 + "a", false},
      {"not UTF-8: a Latin-1 byte", "caf\xe9", false},
      {"not UTF-8: a cut sequence", "\xe2\x82", false},
      {"not UTF-8: an overlong slash", "\xc0\xaf", false},
      {"not UTF-8: an encoded surrogate", "\xed\xa0\x80", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Registry().WriteBinaryWidestring("W", "previous");
    if (c.accepted) {
      Registry().WriteBinaryWidestring("W", c.text);
      EXPECT_EQ(Registry().ReadBinaryWidestring("W"), c.text);
    } else {
      EXPECT_EQ(ErrorTextOf<ERegistryException>([&] { Registry().WriteBinaryWidestring("W", c.text); }),
                "Failed to set data for 'W'");
      EXPECT_EQ(Registry().ReadBinaryWidestring("W"), "previous");
    }
  }
}

}  // namespace
