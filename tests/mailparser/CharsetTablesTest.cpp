// Every byte of every single-byte table and every lead and trail pair of every double-byte
// table, decoded by toWide and by glibc's iconv, the oracle the tables were generated from.
// Where iconv refuses a pair, we must give one U+FFFD, followed by the trail byte decoded
// afresh when it is ASCII (a stray lead byte never swallows "<").

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "IconvOracle.h"
#include "mailparser/Charsets.h"

namespace {

using MailParser::toWide;
using MailParserTest::IconvOracle;

// Where we differ from the oracle on purpose. Each is a byte string in a label, and what we
// give for it instead.
struct Exception {
  const char* label;
  std::string bytes;
  std::u16string ours;
  const char* reason;
};

const std::vector<Exception>& exceptions() {
  static const std::vector<Exception> list = [] {
    std::vector<Exception> rows;
    // glibc leaves five bytes of windows-1252 undefined; browsers decode them as the C1
    // controls of the same value, and so do we, so Latin-1 text keeps them.
    for (const char* label : {"windows-1252", "iso-8859-1", "us-ascii"}) {
      for (const int byte : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) {
        rows.push_back({label, std::string(1, static_cast<char>(byte)),
                        std::u16string(1, static_cast<char16_t>(byte)), "C1 control as browsers decode it"});
      }
    }
    // Korean systems show the backslash as the won sign.
    rows.push_back({"ks_c_5601-1987", "\x5C", u"\u20A9", "WON SIGN for 0x5C"});
    // A single 0x80 is no code of code page 949; we pass it on as itself, as Big5 does.
    rows.push_back({"ks_c_5601-1987", "\x80", u"\u0080", "0x80 as itself"});
    // KS X 1001:2002 added the postal mark; glibc's code page 949 predates it, its EUC-KR has it.
    rows.push_back({"ks_c_5601-1987", "\xA2\xE8", u"\u327E", "postal mark of KS X 1001:2002"});
    return rows;
  }();
  return list;
}

const Exception* findException(const char* label, const std::string& bytes) {
  for (const auto& e : exceptions()) {
    if (std::string_view(e.label) == label && e.bytes == bytes) {
      return &e;
    }
  }
  return nullptr;
}

std::string hex(const std::string& bytes) {
  std::string text;
  char buffer[4];
  for (const unsigned char b : bytes) {
    std::snprintf(buffer, sizeof buffer, "%02X ", b);
    text += buffer;
  }
  return text;
}

std::string units(const std::u16string& text) {
  std::string out;
  char buffer[8];
  for (const char16_t u : text) {
    std::snprintf(buffer, sizeof buffer, "%04X ", static_cast<unsigned>(u));
    out += buffer;
  }
  return out;
}

// What toWide must give for `bytes` when iconv gives `oracle`.
std::u16string expected(const char* label, const std::string& bytes,
                        const std::optional<std::u16string>& oracle) {
  if (const Exception* e = findException(label, bytes)) {
    return e->ours;
  }
  if (oracle) {
    return *oracle;
  }
  std::u16string text = u"\uFFFD";
  if (bytes.size() == 2 && static_cast<unsigned char>(bytes[1]) < 0x80) {
    text += toWide(bytes.substr(1), label, false);
  }
  return text;
}

// Checks the strings, counting mismatches so that a broken table fails with a few examples
// and a total rather than with thousands of lines.
class Comparison {
 public:
  Comparison(const char* label, const char* oracleName) : label_(label), oracle_(oracleName) {}
  ~Comparison() {
    EXPECT_EQ(mismatches_, 0) << label_ << " differs from iconv "
                              << " in " << mismatches_ << " cases";
  }
  Comparison(const Comparison&) = delete;
  Comparison& operator=(const Comparison&) = delete;

  void check(const std::string& bytes) {
    const std::u16string want = expected(label_, bytes, oracle_.decode(bytes));
    const std::u16string got = toWide(bytes, label_, false);
    if (got != want && ++mismatches_ <= 5) {
      ADD_FAILURE() << label_ << " " << hex(bytes) << ": ours " << units(got) << "iconv " << units(want);
    }
  }

 private:
  const char* label_;
  IconvOracle oracle_;
  int mismatches_ = 0;
};

struct SingleByteCase {
  const char* label;
  const char* oracle;
};

// One label for every table. Tables that glibc lacks were generated from Python's codecs or
// Perl's Encode and cannot be checked here: ibm737, x-mac-arabic, x-mac-greek,
// x-mac-hebrew, x-mac-turkish.
const SingleByteCase kSingleByteCases[] = {
    {"windows-1252", "CP1252"},
    {"iso-8859-1", "CP1252"},
    {"us-ascii", "CP1252"},
    {"iso-8859-2", "ISO-8859-2"},
    {"iso-8859-3", "ISO-8859-3"},
    {"iso-8859-4", "ISO-8859-4"},
    {"iso-8859-5", "ISO-8859-5"},
    {"iso-8859-6", "ISO-8859-6"},
    {"iso-8859-7", "ISO-8859-7"},
    {"iso-8859-8", "ISO-8859-8"},
    {"iso-8859-9", "ISO-8859-9"},
    {"iso-8859-10", "ISO-8859-10"},
    {"iso-8859-13", "ISO-8859-13"},
    {"iso-8859-14", "ISO-8859-14"},
    {"iso-8859-15", "ISO-8859-15"},
    {"iso-8859-16", "ISO-8859-16"},
    {"windows-874", "CP874"},
    {"windows-1250", "CP1250"},
    {"windows-1251", "CP1251"},
    {"windows-1253", "CP1253"},
    {"windows-1254", "CP1254"},
    {"windows-1255", "CP1255"},
    {"windows-1256", "CP1256"},
    {"windows-1257", "CP1257"},
    {"windows-1258", "CP1258"},
    {"cp437", "IBM437"},
    {"cp850", "IBM850"},
    {"cp852", "IBM852"},
    {"cp857", "IBM857"},
    {"cp860", "IBM860"},
    {"cp861", "IBM861"},
    {"cp862", "IBM862"},
    {"cp863", "IBM863"},
    {"cp864", "IBM864"},
    {"cp865", "IBM865"},
    {"cp866", "IBM866"},
    {"cp869", "IBM869"},
    {"cp424", "IBM424"},
    {"ibm775", "IBM775"},
    {"macintosh", "MACINTOSH"},
    {"x-mac-ce", "MAC-CENTRALEUROPE"},
    {"x-mac-cyrillic", "CP10007"},
    {"x-mac-icelandic", "MAC-IS"},
    {"koi8-r", "KOI8-R"},
    {"koi8-u", "KOI8-U"},
};

TEST(CharsetTables, EveryByteOfEverySingleByteTableMatchesIconv) {
  for (const auto& c : kSingleByteCases) {
    Comparison comparison(c.label, c.oracle);
    for (int byte = 0; byte < 256; ++byte) {
      comparison.check(std::string(1, static_cast<char>(byte)));
    }
  }
}

struct DoubleByteCase {
  const char* label;
  const char* oracle;
  bool (*isLead)(int byte);
};

bool isEUCStyleLead(int byte) {
  return byte >= 0x81 && byte <= 0xFE;
}
bool isShiftJISLead(int byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

const DoubleByteCase kDoubleByteCases[] = {
    {"gbk", "CP936", isEUCStyleLead},
    {"big5", "CP950", isEUCStyleLead},
    {"big5-hkscs", "BIG5-HKSCS", isEUCStyleLead},
    {"ks_c_5601-1987", "CP949", isEUCStyleLead},
    {"shift_jis", "CP932", isShiftJISLead},
};

TEST(CharsetTables, EveryPairOfEveryDoubleByteTableMatchesIconv) {
  for (const auto& c : kDoubleByteCases) {
    Comparison comparison(c.label, c.oracle);
    for (int byte = 0; byte < 256; ++byte) {
      comparison.check(std::string(1, static_cast<char>(byte)));
    }
    for (int lead = 0x80; lead < 0x100; ++lead) {
      if (!c.isLead(lead)) {
        continue;  // a byte that is no lead is checked on its own above
      }
      for (int trail = 0; trail < 256; ++trail) {
        comparison.check({static_cast<char>(lead), static_cast<char>(trail)});
      }
    }
  }
}

// GB 18030's four-byte codes, read by the GBK decoder as browsers do: every code below
// U+10000 and the first and last of the planes above.
TEST(CharsetTables, EveryFourByteCodeOfGB18030MatchesIconv) {
  Comparison comparison("gb18030", "GB18030");
  const auto code = [](int index, int b1) {
    return std::string{static_cast<char>(b1 + index / 12600), static_cast<char>(0x30 + index / 1260 % 10),
                       static_cast<char>(0x81 + index / 10 % 126), static_cast<char>(0x30 + index % 10)};
  };
  for (int index = 0; index < 39420; ++index) {
    comparison.check(code(index, 0x81));
  }
  for (int index = 0; index < 2000; ++index) {
    comparison.check(code(index, 0x90));
    comparison.check(code(index, 0xE3));
  }
  EXPECT_EQ(toWide("\x90\x30\x81\x30", "gb18030", false), u"\U00010000");
  EXPECT_EQ(toWide("\xE3\x32\x9A\x35", "gb18030", false), u"\U0010FFFF");
  EXPECT_EQ(toWide("\xE3\x32\x9A\x36", "gb18030", false), u"\uFFFD");
}

// The 94x94 sets of the ISO 2022 engine: EUC-JP's JIS X 0208 (two bytes 0xA1..0xFE) and
// JIS X 0212 (0x8F and two such bytes), and KS C 5601 in ISO-2022-KR's EUC form.
TEST(CharsetTables, EveryCellOfTheISO2022SetsMatchesIconv) {
  struct Set {
    const char* label;
    const char* oracle;
    std::string prefix;
  };
  const Set sets[] = {
      {"euc-jp", "EUC-JP-MS", ""},
      {"euc-jp", "EUC-JP-MS", "\x8F"},
      {"iso-2022-kr", "EUC-KR", ""},
  };
  for (const auto& set : sets) {
    Comparison comparison(set.label, set.oracle);
    for (int row = 0xA1; row <= 0xFE; ++row) {
      if (set.prefix.empty() && std::string_view(set.label) == "euc-jp" && row >= 0xF5) {
        continue;  // rows 85..94: see the next test
      }
      for (int cell = 0xA1; cell <= 0xFE; ++cell) {
        comparison.check(set.prefix + std::string{static_cast<char>(row), static_cast<char>(cell)});
      }
    }
  }
}

// Rows 85..94 of EUC-JP's JIS X 0208 are eucJP-ms's user-defined area (private use). We read
// them as browsers do, as the rows of the Windows table that Shift_JIS reaches with the lead
// bytes 0xEB..0xEF (rows 89..92 the NEC-selected IBM kanji, the others undefined): each
// cell must decode as its Shift_JIS code, which the test above holds to code page 932.
TEST(CharsetTables, TheUpperRowsOfEUCJPAreTheWindowsRowsOfShiftJIS) {
  int kanji = 0;
  for (int row = 85; row <= 94; ++row) {
    for (int cell = 1; cell <= 94; ++cell) {
      const std::string euc{static_cast<char>(0xA0 + row), static_cast<char>(0xA0 + cell)};
      const int lead = (row + 1) / 2 + 0xC0;
      const int trail = row % 2 != 0 ? cell + (cell <= 63 ? 0x3F : 0x40) : cell + 0x9E;
      const std::string sjis{static_cast<char>(lead), static_cast<char>(trail)};
      const std::u16string text = toWide(euc, "euc-jp", false);
      // An undefined Shift_JIS pair with an ASCII trail byte gives that byte too.
      const std::u16string shiftJIS = toWide(sjis, "shift_jis", false).substr(0, 1);
      EXPECT_EQ(text, shiftJIS) << "row " << row << " cell " << cell;
      kanji += text != u"\uFFFD" ? 1 : 0;
    }
  }
  EXPECT_EQ(kanji, 4 * 94 - 2);  // rows 89..92 less their two empty cells
}

}  // namespace
