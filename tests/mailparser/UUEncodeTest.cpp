#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "mailparser/TransferCodings.h"

namespace {

using MailParser::decodeUUEncoded;
using MailParser::isUUEncodeBeginLine;
using MailParser::neutraliseBeginLine;

struct Case {
  std::string input;
  std::string expected;
};

TEST(DecodeUUEncoded, FollowsTheDecodingRules) {
  const Case cases[] = {
      // A file body: a full line of 45 bytes, a short last line, the empty line.
      {"M5&AE('%U:6-K(&)R;W=N(&9O>\"!J=6UP<R!O=F5R('1H92!L87IY(&1O9RX@\r\n"
       "*,#$R,S0U-C<X.0``\r\n"
       "`\r\n",
       "The quick brown fox jumps over the lazy dog. 0123456789"},
      {"#0V%T\r\n", "Cat"},
      {"!0V%T\r\n", "C"},  // the count decides, not the characters present
      {"\"0V%T\r\n", "Ca"},

      // Only lines that end in CR LF count.
      {"", ""},
      {"#0V%T", ""},
      {"#0V%T\r\n#0V%T", "Cat"},
      {"\r\n#0V%T\r\n\r\n", "Cat"},
      {"#0V%T\n#0V%T\r\n", "Cat"},  // an LF alone does not end a line: the rest is ignored

      // A count of zero yields nothing, whatever follows.
      {"`0V%T\r\n", ""},
      {" 0V%T\r\n", ""},
      {"\xA0"
       "0V%T\r\n",
       ""},  // 8-bit count bytes wrap to six bits as well: 0xA0 gives 0

      // Short lines are read as if padded with spaces, which encode zero bits.
      {"*,#$R,S0U-C<X.0\r\n", "0123456789"},  // trailing "``" stripped in transit
      {"#0V\r\n", std::string("C`\0", 3)},
      {"#\r\n", std::string(3, '\0')},
      {"#````\r\n", std::string(3, '\0')},

      // Characters beyond what the count needs are ignored.
      {"#0V%Textra\r\n", "Cat"},

      // "begin" and "end" lines decode by the same rule as data.
      {"begin 644 cat.txt\r\n#0V%T\r\n`\r\nend\r\n", std::string("\x14r"
                                                                 "Cat"
                                                                 "8@\0\0\0",
                                                                 10)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(decodeUUEncoded(c.input), c.expected) << c.input;
  }
}

// A reference encoder, one line of up to 45 bytes, with "`" for zero.
std::string encodeLine(std::string_view bytes) {
  const auto character = [](unsigned value) { return static_cast<char>(value == 0 ? '`' : value + 32); };
  std::string line(1, character(static_cast<unsigned>(bytes.size())));
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    unsigned triple = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      triple = (triple << 8) | (i + k < bytes.size() ? static_cast<unsigned char>(bytes[i + k]) : 0U);
    }
    for (int shift = 18; shift >= 0; shift -= 6) {
      line.push_back(character((triple >> shift) & 63));
    }
  }
  return line + "\r\n";
}

TEST(DecodeUUEncoded, DecodesEveryByteValueAndLineLength) {
  std::string bytes;
  for (int i = 0; i < 256; ++i) {
    bytes.push_back(static_cast<char>(255 - i));
  }
  std::string block;
  for (std::size_t start = 0, length = 1; start < bytes.size(); start += length, length = length % 45 + 1) {
    block += encodeLine(std::string_view(bytes).substr(start, length));
  }
  block += "`\r\n";
  EXPECT_EQ(decodeUUEncoded(block), bytes);
}

TEST(UUEncodeBeginLine, RecognisesOnlyBeginWithAFileMode) {
  struct BeginCase {
    std::string line;
    bool isBegin;
  };
  const BeginCase cases[] = {
      {"begin 644 report.exe", true},
      {"begin\t644 report.exe", true},
      {"begin \t  755 x", true},
      {"begin\r\n644 x", true},
      {"begin 644", true},
      {"begin 0", true},

      {"beginning 644", false},
      {"begin now", false},
      {"begin -644 x", false},
      {"begin-base64 644 x", false},
      {"Begin 644 x", false},
      {"BEGIN 644 x", false},
      {" begin 644 x", false},
      {"begin", false},
      {"begin ", false},
      {"begin \t\r\n", false},
      {"begi 644", false},
      {"", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(isUUEncodeBeginLine(c.line), c.isBegin) << c.line;
  }
}

TEST(UUEncodeBeginLine, NeutralisedLineIsNoLongerABeginLine) {
  EXPECT_EQ(neutraliseBeginLine("begin 644 x"), " begin 644 x");
  EXPECT_FALSE(isUUEncodeBeginLine(neutraliseBeginLine("begin 644 x")));
  EXPECT_EQ(neutraliseBeginLine(""), " ");
}

}  // namespace
