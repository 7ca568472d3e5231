#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "mailparser/TransferCodings.h"

namespace {

using MailParser::decodeQuotedPrintable;
using MailParser::encodeQuotedPrintable;

struct Case {
  std::string input;
  std::string expected;
};

// Shows control and 8-bit bytes in failure messages.
std::string visible(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string shown;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
      shown.push_back(c);
    } else {
      shown += "\\x";
      shown.push_back(kHex[byte >> 4]);
      shown.push_back(kHex[byte & 0x0F]);
    }
  }
  return shown;
}

TEST(DecodeQuotedPrintable, FollowsTheDecodingRules) {
  const Case cases[] = {
      // Escapes: two hexadecimal digits in either letter case.
      {"a=3Db=\r\nc\r\n", "a=bc"},
      {"=3d", "="},
      {"=E9t=e9", "\xE9t\xE9"},
      {"=00=FF=fF", std::string("\0\xFF\xFF", 3)},
      {"=3D41", "=41"},  // a decoded "=" does not start another escape

      // Broken escapes are copied and the bytes after the "=" decoded as usual.
      {"=", "="},
      {"ab=", "ab="},
      {"=4", "=4"},
      {"=G1", "=G1"},
      {"=4x", "=4x"},
      {"=4=41", "=4A"},
      {"==41", "=A"},
      {"= x", "= x"},
      {"=\n", "=\n"},
      {"=\r", "=\r"},
      {"= \r", "= \r"},

      // Soft line breaks, with or without blanks before the CR LF.
      {"ab=\r\ncd", "abcd"},
      {"ab= \t \r\ncd", "abcd"},
      {"ab=\r\n", "ab"},
      {"=\r\n=\r\n", ""},
      {"ab=\r\n\r\n", "ab"},  // the soft break joins onto an empty last line
      {"x =\r\ny", "x y"},    // blanks before a soft break are data

      // Blanks directly before a CR LF are dropped, all others kept.
      {"x   \r\ny\r\n", "x\r\ny"},
      {"x \t\r\n", "x"},
      {"a b\t c", "a b\t c"},
      {"x  ", "x  "},
      {"x  \r", "x  \r"},
      {"x  \ny", "x  \ny"},
      {"x=20\r\n", "x "},
      {"x=20 \r\n", "x "},

      // Only the CR LF that ends the block is dropped.
      {"", ""},
      {"\r\n", ""},
      {"a\r\nb\r\n", "a\r\nb"},
      {"a\r\n\r\n", "a\r\n"},
      {"a\r\nb", "a\r\nb"},
      {"a\rb\nc\n\r", "a\rb\nc\n\r"},
      {"a\r\r\n", "a\r"},

      // Other bytes pass unchanged.
      {"\xE9\x80\x01\x7F", "\xE9\x80\x01\x7F"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(visible(decodeQuotedPrintable(c.input)), visible(c.expected)) << visible(c.input);
  }
}

TEST(EncodeQuotedPrintable, FollowsTheEncodingRules) {
  const Case cases[] = {
      // Printable ASCII other than "=" is kept.
      {"", ""},
      {"Hello, world! ~{|}", "Hello, world! ~{|}"},

      // Everything else becomes "=XX" with upper-case digits.
      {"a=b", "a=3Db"},
      {"caf\xE9", "caf=E9"},
      {std::string("\x7F\x00\x1B\xFF", 4), "=7F=00=1B=FF"},

      // CR LF stays a line break; a lone CR or LF is escaped.
      {"a\r\nb", "a\r\nb"},
      {"a\r\n", "a\r\n"},
      {"a\nb", "a=0Ab"},
      {"a\rb", "a=0Db"},
      {"a\n\r", "a=0A=0D"},
      {"\r\r\n", "=0D\r\n"},

      // Blanks are escaped where they could end a line.
      {"a b", "a b"},
      {"a ", "a=20"},
      {"a\t", "a=09"},
      {"a \r\nb", "a=20\r\nb"},
      {"a\t\r\nb", "a=09\r\nb"},
      {"a \rbc", "a=20=0Dbc"},
      {"a b\nc", "a=20b=0Ac"},  // two bytes before an LF, even when it is a lone one
      {"   ", "  =20"},
      // Directly before the last byte a blank stays literal: that byte is no CR LF.
      {"a \r", "a =0D"},
      {"a \n", "a =0A"},
      {"a\tb", "a\tb"},

      // A soft break follows 72 characters; an escape may take a line to 74 first.
      {std::string(72, 'a'), std::string(72, 'a')},
      {std::string(73, 'a'), std::string(72, 'a') + "=\r\na"},
      {std::string(100, 'a'), std::string(72, 'a') + "=\r\n" + std::string(28, 'a')},
      {std::string(71, 'a') + "\xE9z", std::string(71, 'a') + "=E9=\r\nz"},
      {std::string(70, 'a') + "==", std::string(70, 'a') + "=3D=\r\n=3D"},
      {std::string(72, 'a') + "\r\nb", std::string(72, 'a') + "=\r\n\r\nb"},
      {std::string(71, 'a') + " b", std::string(71, 'a') + " =\r\nb"},
      {std::string(70, 'a') + "\r\n" + std::string(72, 'b'),
       std::string(70, 'a') + "\r\n" + std::string(72, 'b')},  // the count restarts after CR LF
  };
  for (const auto& c : cases) {
    EXPECT_EQ(visible(encodeQuotedPrintable(c.input)), visible(c.expected)) << visible(c.input);
  }
}

TEST(EncodeQuotedPrintable, KeepsLinesWithin75SevenBitCharacters) {
  std::string bytes;
  for (int i = 0; i < 4000; ++i) {
    bytes.push_back(static_cast<char>((i * 37) % 256));
    if (i % 97 == 0) {
      bytes += "\r\n";
    }
  }
  const std::string encoded = encodeQuotedPrintable(bytes);
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    const auto byte = static_cast<unsigned char>(encoded[i]);
    if (byte == '\r') {
      ASSERT_TRUE(i + 1 < encoded.size() && encoded[i + 1] == '\n') << "lone CR at " << i;
      EXPECT_LE(i - lineStart, 75U) << "line at " << lineStart;
      lineStart = i + 2;
      ++i;
    } else {
      ASSERT_TRUE((byte >= 0x20 && byte < 0x7F) || byte == '\t') << "byte " << int{byte} << " at " << i;
    }
  }
  EXPECT_LE(encoded.size() - lineStart, 75U);
}

// The encoder's output travels as body lines, each followed by CR LF, and is decoded as one
// block; that block must give back the bytes exactly, whatever they were.
TEST(QuotedPrintableRoundTrip, GivesBackEveryInput) {
  const std::string allBytes = [] {
    std::string bytes;
    for (int i = 0; i < 256; ++i) {
      bytes.push_back(static_cast<char>(i));
    }
    return bytes;
  }();
  const std::string inputs[] = {
      "",
      // blanks before line breaks and at the end
      "x \r\ny\t\r\n",
      "  \r\n \t \r\n",
      " ",
      "\t",
      "a \r",
      "a \n",
      "a \n\n",
      " \r\r\n",
      // bytes around the soft-break column
      std::string(71, 'a') + " \r\n",
      std::string(71, 'a') + "\t" + std::string(5, 'b'),
      std::string(72, 'a') + " ",
      std::string(73, 'a') + "=",
      std::string(70, 'a') + "\xE9\xE9\xE9" + std::string(3, ' '),
      std::string(72, 'a') + "\r\n",
      std::string(71, 'x') + "=\r\n=",
      // lone CR and LF, and CR LF pairs that the encoder must not split
      "\r",
      "\n",
      "\n\r",
      "\r\r\n\n",
      "\r\n\r\n",
      // what looks like an escape or a soft break in the input
      "=",
      "=3D",
      "=\r\n",
      "= \r\n",
      // 8-bit bytes and all the rest
      "caf\xE9 cr\xE8me br\xFBl\xE9"
      "e",
      allBytes,
      std::string(300, ' '),
      std::string(1000, 'z'),
      std::string(500, '\xA0'),
  };
  for (const auto& bytes : inputs) {
    const std::string encoded = encodeQuotedPrintable(bytes);
    EXPECT_EQ(visible(decodeQuotedPrintable(encoded + "\r\n")), visible(bytes)) << visible(encoded);
    // Without the closing line break the block's last CR LF is taken as that break.
    const bool endsInLineBreak = bytes.ends_with("\r\n");
    const std::string_view literal =
        endsInLineBreak ? std::string_view(bytes).substr(0, bytes.size() - 2) : std::string_view(bytes);
    EXPECT_EQ(visible(decodeQuotedPrintable(encoded)), visible(literal)) << visible(encoded);
  }
}

}  // namespace
