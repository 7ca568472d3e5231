#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RegTestValues.h"
#include "support/ScratchFolder.h"
#include "platform/ERegistryException.h"
#include "platform/RegFileFormat.h"
#include "platform/UnicodeText.h"

namespace {

using namespace std::string_literals;

const std::string kFile = "/x/registry.reg";
const std::string kHead = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Q]\n";

std::string ParseError(const std::string& text) {
  try {
    (void)RegFileFormat::Parse(text, kFile);
  } catch (const ERegistryException& error) {
    return error.what();
  }
  return "(parsed without error)";
}

const TRegKey* KeyAt(const TRegKey& root, const std::vector<std::string>& path) {
  const TRegKey* key = &root;
  for (const auto& name : path) {
    key = key == nullptr ? nullptr : key->FindSubkey(name);
  }
  return key;
}

TEST(RegFileFormatParse, ReadsEveryValueForm) {
  struct Case {
    const char* what;
    std::string valueLines;  // below [HKEY_CURRENT_USER\Software\Q]
    std::string name;
    TRegValue expected;
  };
  const Case cases[] = {
      {"string", "\"Name\"=\"text\"\n", "Name", SzValue("text")},
      {"escapes", "\"Path\"=\"C:\\\\Logs\\\\ \\\"q\\\"\"\n", "Path", SzValue("C:\\Logs\\ \"q\"")},
      {"escaped quote in name", "\"a\\\"b\"=\"v\"\n", "a\"b", SzValue("v")},
      {"default value", "@=\"default\"\n", "", SzValue("default")},
      {"empty string", "\"E\"=\"\"\n", "E", SzValue("")},
      {"8-bit bytes raw", "\"L\"=\"\xE9t\xE9\"\n", "L", SzValue("\xE9t\xE9")},
      {"blanks around =", "  \"N\" = \"v\"  \n", "N", SzValue("v")},
      {"dword", "\"D\"=dword:0000006e\n", "D", DwordValue(110)},
      {"short upper-case dword", "\"D\"=DWORD:6E\n", "D", DwordValue(110)},
      {"largest dword", "\"D\"=dword:ffffffff\n", "D", DwordValue(0xFFFFFFFF)},
      {"binary", "\"B\"=hex:61,00,62,00\n", "B", BinaryValue({0x61, 0, 0x62, 0})},
      {"empty binary", "\"B\"=hex:\n", "B", BinaryValue({})},
      {"upper-case hex", "\"B\"=hex:AB,cD\n", "B", BinaryValue({0xAB, 0xCD})},
      {"wrapped binary", "\"B\"=hex:01,02,\\\n  03,\\\n\t04\n", "B", BinaryValue({1, 2, 3, 4})},
      {"hex(3) binary", "\"B\"=hex(3):ff\n", "B", BinaryValue({0xFF})},
      {"hex(4) dword", "\"D\"=hex(4):6e,00,00,01\n", "D", DwordValue(0x0100006E)},
      {"hex(2) expand string", "\"E\"=hex(2):25,00,50,00,25,00,00,00\n", "E", ExpandValue("%P%")},
      {"hex(2) non-BMP", "\"E\"=hex(2):3d,d8,00,de,00,00\n", "E", ExpandValue("\xF0\x9F\x98\x80")},
      {"hex(2) escaped byte", "\"E\"=hex(2):e9,dc,00,00\n", "E", ExpandValue("\xE9")},
      {"hex(1) string with LF", "\"S\"=hex(1):61,00,0a,00,00,00\n", "S", SzValue("a\n")},
      {"hex(1) without terminator", "\"S\"=hex(1):61,00\n", "S", SzValue("a")},
      {"hex(1) keeps inner NUL", "\"S\"=hex(1):00,00,00,00\n", "S", SzValue("\0"s)},
      {"CR LF line ends", "\"C\"=\"v\"\r\n\"D\"=hex:01,\\\r\n  02\r\n", "D", BinaryValue({1, 2})},
      {"comments and blank lines", "; comment\n\n   \n\"C\"=\"v\"\n;\"C\"=\"no\"\n", "C", SzValue("v")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TRegKey root = RegFileFormat::Parse(kHead + c.valueLines, kFile);
    const TRegKey* key = KeyAt(root, {"Software", "Q"});
    ASSERT_NE(key, nullptr);
    const TRegValue* value = key->FindValue(c.name);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(*value, c.expected);
  }
}

TEST(RegFileFormatParse, AcceptsByteOrderMarksAndTheRootKey) {
  const TRegKey withBom = RegFileFormat::Parse(
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER]\r\n@=dword:1\r\n", kFile);
  ASSERT_NE(withBom.FindValue(""), nullptr);
  EXPECT_EQ(*withBom.FindValue(""), DwordValue(1));

  // What regedit itself writes: UTF-16LE with a byte-order mark and CR LF.
  const TRegKey exported = RegFileFormat::Parse(
      ReadWholeFile(std::string(QUORIX_TEST_DATA_DIR) + "/platform/regedit-export-utf16le.reg"), kFile);
  const TRegKey* config = KeyAt(exported, {"Software", "Vantorell", "Quorix", "Config"});
  ASSERT_NE(config, nullptr);
  EXPECT_EQ(*config->FindValue("ListenPort"), DwordValue(110));
  EXPECT_EQ(*config->FindValue("LogPath"), SzValue("C:\\Users\\Ren\xC3\xA9\\Logs"));
  EXPECT_EQ(*config->FindValue("Footer"), ExpandValue("%USERPROFILE%\\Desktop"));
  ASSERT_NE(config->FindValue("Stamp"), nullptr);
  EXPECT_EQ(config->FindValue("Stamp")->Binary.size(), 40U);
  EXPECT_NE(KeyAt(exported, {"Software", "Vantorell", "Quorix", "Config", "Accounts"}), nullptr);
}

TEST(RegFileFormatParse, RepeatedKeysMergeAndTheLastValueWins) {
  const TRegKey root = RegFileFormat::Parse(kHead +
                                                "\"A\"=\"first\"\n"
                                                "[HKEY_CURRENT_USER\\SOFTWARE\\q]\n"
                                                "\"a\"=\"second\"\n"
                                                "\"B\"=dword:2\n",
                                            kFile);
  ASSERT_EQ(root.Subkeys().size(), 1U);
  EXPECT_EQ(root.Subkeys().begin()->first, "Software");  // the first spelling stays
  const TRegKey* key = KeyAt(root, {"software", "Q"});
  ASSERT_NE(key, nullptr);
  ASSERT_EQ(key->Values().size(), 2U);
  EXPECT_EQ(key->Values().begin()->first, "A");
  EXPECT_EQ(key->Values().begin()->second, SzValue("second"));
}

TEST(RegFileFormatParse, ErrorsNameTheFileTheLineAndTheFault) {
  const std::string head0 = "Windows Registry Editor Version 5.00\n\n";
  const std::string deep = [] {
    std::string path = "[HKEY_CURRENT_USER";
    for (std::size_t i = 0; i <= RegFileFormat::kMaxKeyDepth; ++i) {
      path += "\\k";
    }
    return path + "]\n";
  }();
  struct Case {
    std::string text;
    std::string expected;  // after "Cannot read the settings file '/x/registry.reg': "
  };
  const Case cases[] = {
      {"", "line 1: the file is empty; expected 'Windows Registry Editor Version 5.00'"},
      {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n", "line 1: expected 'Windows Registry Editor Version 5.00'"},
      {"\xFE\xFF\0W"s, "line 1: the file is UTF-16 big-endian; only UTF-8 and UTF-16 little-endian are read"},
      {"\xFF\xFEW\0\n\0\n"s, "line 2: the UTF-16 text ends in the middle of a character"},
      {head0 + "\"a\"=\"b\"\n", "line 3: a value before the first key line"},
      {head0 + "[HKEY_LOCAL_MACHINE\\Software]\n",
       "line 3: the key 'HKEY_LOCAL_MACHINE\\Software' is not under HKEY_CURRENT_USER"},
      {head0 + "[HKEY_CURRENT_USERX]\n",
       "line 3: the key 'HKEY_CURRENT_USERX' is not under HKEY_CURRENT_USER"},
      {head0 + "[HKEY_CURRENT_USER\\Software\n", "line 3: a key line must end with ']'"},
      {head0 + "[-HKEY_CURRENT_USER\\Software]\n", "line 3: deleting a key ('[-...]') is not supported"},
      {head0 + "[HKEY_CURRENT_USER\\a\\\\b]\n", "line 3: empty key name in 'HKEY_CURRENT_USER\\a\\\\b'"},
      {head0 + "[HKEY_CURRENT_USER\\a\\]\n", "line 3: empty key name in 'HKEY_CURRENT_USER\\a\\'"},
      {head0 + deep, "line 3: the key is nested deeper than 512 levels"},
      {kHead + "\"a\"=\"b\"\n\n\n\"c\" \"d\"\n", "line 7: expected '=' after the value name"},
      {kHead + "\"a\"=\"b\n", "line 4: unterminated string"},
      {kHead + "\"a=\"b\"\n", "line 4: expected '=' after the value name"},
      {kHead + "\"a\n", "line 4: unterminated string"},
      {kHead + "\"a\"=\"trailing\\\"\n", "line 4: unterminated string"},
      {kHead + "\"a\"=\"\\n\"\n", "line 4: unknown escape '\\n' in a quoted string"},
      {kHead + "\"a\"=\n", "line 4: expected a value after '='"},
      {kHead + "\"a\"=-\n", "line 4: deleting a value ('=-') is not supported"},
      {kHead + "\"a\"=\"b\" x\n", "line 4: unexpected text after the value: 'x'"},
      {kHead + "\"a\"=sz:x\n",
       "line 4: expected a value after '=': a quoted string, dword:, hex: or hex(<type>):"},
      {kHead + "\"a\"=dword:\n", "line 4: a dword value needs 1 to 8 hexadecimal digits"},
      {kHead + "\"a\"=dword:123456789\n", "line 4: a dword value needs 1 to 8 hexadecimal digits"},
      {kHead + "\"a\"=dword:12 34\n", "line 4: a dword value needs 1 to 8 hexadecimal digits"},
      {kHead + "\"a\"=hex:6g\n", "line 4: expected two hexadecimal digits, found '6g'"},
      {kHead + "\"a\"=hex:612\n", "line 4: expected two hexadecimal digits, found '612'"},
      {kHead + "\"a\"=hex:61,\n", "line 4: expected two hexadecimal digits, found ''"},
      {kHead + "\"a\"=hex:61,,62\n", "line 4: expected two hexadecimal digits, found ''"},
      {kHead + "\"a\"=hex:61,\\\n  62,\\\n  6x\n", "line 6: expected two hexadecimal digits, found '6x'"},
      {kHead + "\"a\"=hex:61,\\\n", "line 4: the value continues past the end of the file"},
      {kHead + "\"a\"=hex(2:00\n", "line 4: expected 'hex(<type>):' before the bytes"},
      {kHead + "\"a\"=hex(7):00,00\n", "line 4: values of type 'hex(7)' are not supported"},
      {kHead + "\"a\"=hex(4):01,\\\n  02\n", "line 4: a hex(4) value needs exactly 4 bytes"},
      {kHead + "\"a\"=hex(2):61\n", "line 4: a hex(2) value needs an even number of bytes (UTF-16 text)"},
      {kHead + "Name=\"v\"\n", "line 4: expected a key line, a value line, a comment or a blank line"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseError(c.text), "Cannot read the settings file '/x/registry.reg': " + c.expected) << c.text;
  }
}

TEST(RegFileFormatFormat, WritesKeysParentsFirstSortedWithTheDefaultValueFirst) {
  TRegKey root;
  TRegKey& quorix = root.AddSubkey("Software").AddSubkey("Vantorell").AddSubkey("Quorix");
  TRegKey& config = quorix.AddSubkey("Config");
  config.SetValue("LogPath", SzValue("C:\\Logs\\\"x\""));
  config.SetValue("ListenPort", DwordValue(110));
  config.SetValue("zeta", BinaryValue({0x61, 0x00, 0x62, 0x00}));
  config.SetValue("Alpha", ExpandValue("%A%"));
  config.SetValue("", SzValue("d"));
  quorix.AddSubkey("State");
  config.AddSubkey("Accounts").AddSubkey("b.qx");
  config.AddSubkey("accounts").AddSubkey("A.qx").SetValue("RemotePort", DwordValue(0xFFFFFFFF));
  config.AddSubkey("Accounts").AddSubkey("A_x.qx");  // '_' enumerates after the letters

  EXPECT_EQ(RegFileFormat::Format(root),
            "Windows Registry Editor Version 5.00\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software]\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Vantorell]\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Vantorell\\Quorix]\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Vantorell\\Quorix\\Config]\n"
            "@=\"d\"\n"
            "\"Alpha\"=hex(2):25,00,41,00,25,00,00,00\n"
            "\"ListenPort\"=dword:0000006e\n"
            "\"LogPath\"=\"C:\\\\Logs\\\\\\\"x\\\"\"\n"
            "\"zeta\"=hex:61,00,62,00\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Vantorell\\Quorix\\Config\\Accounts]\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Vantorell\\Quorix\\Config\\Accounts\\A.qx]\n"
            "\"RemotePort\"=dword:ffffffff\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Vantorell\\Quorix\\Config\\Accounts\\A_x.qx]\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Vantorell\\Quorix\\Config\\Accounts\\b.qx]\n"
            "\n"
            "[HKEY_CURRENT_USER\\Software\\Vantorell\\Quorix\\State]\n"
            "\n");

  EXPECT_EQ(RegFileFormat::Format(TRegKey()), "Windows Registry Editor Version 5.00\n\n");
  TRegKey valuesAtRoot;
  valuesAtRoot.SetValue("r", DwordValue(1));
  EXPECT_EQ(RegFileFormat::Format(valuesAtRoot),
            "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER]\n\"r\"=dword:00000001\n\n");
}

TEST(RegFileFormatFormat, WrapsLongHexListsAsRegeditDoes) {
  std::vector<std::uint8_t> bytes;
  for (std::uint8_t b = 0; b < 60; ++b) {
    bytes.push_back(b);
  }
  TRegKey root;
  root.AddSubkey("K").SetValue("Data", BinaryValue(bytes));
  const std::string text = RegFileFormat::Format(root);
  EXPECT_EQ(text.substr(text.find("\"Data\"")),
            "\"Data\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\n"
            "  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,\\\n"
            "  2f,30,31,32,33,34,35,36,37,38,39,3a,3b\n"
            "\n");
  EXPECT_EQ(RegFileFormat::Parse(text, kFile), root);
}

// Every narrow string must come back byte for byte, whatever representation it needs.
TEST(RegFileFormatRoundTrip, AwkwardStringsAndBinaryComeBackExactly) {
  std::vector<std::string> texts = {
      "",
      "plain",
      "tab\tinside",
      "CR\rLF\nCRLF\r\n",
      "trailing LF\n",
      "nul\0inside"s,
      "\0"s,
      "quote \" and backslash \\ at the end\\",
      "\xE9t\xE9 (Latin-1, no control characters)",
      "\xE9\r\n(Latin-1 with a line break)",
      "UTF-8 \xE2\x82\xAC and \xF0\x9F\x98\x80",
      "UTF-8 \xE2\x82\xAC\n with a line break",
      "surrogate bytes \xED\xA0\x80 and a cut sequence \xE2\x82",
      "escaped-looking bytes \xED\xB3\xA9\n",
      "\x7F\x1B[0m",
      "@",
      "dword:00000001",
  };
  for (int b = 0; b < 256; ++b) {
    texts.emplace_back(1, static_cast<char>(b));
  }
  std::vector<std::uint8_t> allBytes;
  for (int b = 0; b < 256; ++b) {
    allBytes.push_back(static_cast<std::uint8_t>(b));
  }

  TRegKey root;
  TRegKey& strings = root.AddSubkey("Strings");
  TRegKey& expands = root.AddSubkey("Expand");
  TRegKey& names = root.AddSubkey("Names");
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const std::string name = "v" + std::to_string(i);
    strings.SetValue(name, SzValue(texts[i]));
    expands.SetValue(name, ExpandValue(texts[i]));
    const std::string odd = texts[i] + "#" + name;
    if (RegFileFormat::IsStorableValueName(odd)) {
      names.SetValue(odd, DwordValue(static_cast<std::uint32_t>(i)));
    }
    if (RegFileFormat::IsStorableKeyName(odd)) {
      names.AddSubkey(odd);
    }
  }
  root.AddSubkey("Binary").SetValue("all", BinaryValue(allBytes));

  const std::string text = RegFileFormat::Format(root);
  const TRegKey back = RegFileFormat::Parse(text, kFile);
  EXPECT_EQ(back, root);
  EXPECT_EQ(RegFileFormat::Format(back), text);

  // The readable form is kept wherever a line can hold the text.
  EXPECT_NE(text.find("\"v1\"=\"plain\"\n"), std::string::npos);
  EXPECT_NE(text.find("\"v2\"=\"tab\tinside\"\n"), std::string::npos);
  EXPECT_NE(text.find("\"v8\"=\"\xE9t\xE9 (Latin-1"), std::string::npos);
  EXPECT_NE(text.find("\"v4\"=hex(1):74,00,72,00"), std::string::npos);
}

// Only what would split or end a key line is refused as a key name; names that merely look
// odd on a key line (a "]" at its end, blanks, control characters) come back unchanged.
TEST(RegFileFormatRoundTrip, KeyNamesHoldEverythingButTheirSeparators) {
  struct Case {
    std::string name;
    std::string problem;  // "" if the name is kept
  };
  const Case cases[] = {
      {"", "a key name cannot be empty"},
      {"Home\\Work", "a key name cannot contain '\\' (it would name a key inside another)"},
      {"\\", "a key name cannot contain '\\' (it would name a key inside another)"},
      {"two\nlines", "a key name cannot contain a line break"},
      {"ends]", ""},
      {"]", ""},
      {"[x]", ""},
      {" ", ""},
      {" padded\t", ""},
      {"cr\r", ""},
      {"\r", ""},
      {"nul\0"s, ""},
      {"-dash", ""},
      {";semicolon", ""},
      {"\"quoted\"=", ""},
      {"\xC3\x9C" "bung", ""},
      {"\xFF\x80", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RegFileFormat::KeyNameProblem(c.name), c.problem);
    if (!c.problem.empty()) {
      continue;
    }
    TRegKey root;
    root.AddSubkey(c.name).AddSubkey(c.name).SetValue(c.name, DwordValue(1));
    EXPECT_EQ(RegFileFormat::Parse(RegFileFormat::Format(root), kFile), root);
  }
}

TEST(UnicodeText, NarrowToUtf16AndBackLosesNoByte) {
  struct Case {
    std::string narrow;
    std::u16string wide;
    bool validUtf8;
  };
  const Case cases[] = {
      {"A\xC3\xA9", u"A\u00E9", true},
      {"\xF0\x9F\x98\x80", u"\U0001F600", true},
      {"\xE9", u"\xDCE9", false},                                // a Latin-1 byte
      {"\xC0\xAF", u"\xDCC0\xDCAF", false},                      // an overlong form is not UTF-8
      {"\xED\xA0\x80", u"\xDCED\xDCA0\xDC80", false},            // nor is an encoded surrogate
      {"\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80", false},  // above U+10FFFF
      {"\xE2\x82", u"\xDCE2\xDC82", false},                      // cut short
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Platform::NarrowToUtf16(c.narrow), c.wide) << c.narrow;
    EXPECT_EQ(Platform::Utf16ToNarrow(c.wide), c.narrow) << c.narrow;
    EXPECT_EQ(Platform::IsValidUtf8(c.narrow), c.validUtf8) << c.narrow;
  }
  // A lone surrogate from a foreign file is kept in its three-byte form.
  EXPECT_EQ(Platform::Utf16ToNarrow(u"\xD800"), "\xED\xA0\x80");
}

}  // namespace
