#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/TLineBuffer.h"

namespace {

using namespace std::string_literals;

struct Piece {
  std::string text;
  TLineEnd end;
  friend bool operator==(const Piece&, const Piece&) = default;
};

std::ostream& operator<<(std::ostream& out, const Piece& piece) {
  static const char* const kEnds[] = {"LineFeed", "Split", "EndOfInput"};
  return out << '{' << testing::PrintToString(piece.text) << ", " << kEnds[static_cast<int>(piece.end)] << '}';
}

// Feeds `input` in chunks of `chunk` bytes (0: all at once), taking pieces after each, and
// then ends the input.
std::vector<Piece> Split(const std::string& input, std::size_t maxLength, std::size_t chunk) {
  TLineBuffer buffer(maxLength);
  std::vector<Piece> pieces;
  const auto takeAll = [&](bool atEnd) {
    while (auto piece = buffer.TakePiece(atEnd)) {
      pieces.push_back({piece->Text, piece->End});
    }
  };
  const std::size_t step = chunk == 0 ? std::max<std::size_t>(input.size(), 1) : chunk;
  for (std::size_t at = 0; at < input.size(); at += step) {
    buffer.Append(std::string_view(input).substr(at, step));
    takeAll(false);
  }
  takeAll(true);
  EXPECT_TRUE(buffer.Empty());
  return pieces;
}

constexpr TLineEnd LF = TLineEnd::LineFeed;
constexpr TLineEnd SPLIT = TLineEnd::Split;
constexpr TLineEnd END = TLineEnd::EndOfInput;

TEST(LineBuffer, CutsLinesAndSplitsLongOnesWhateverTheChunks) {
  struct Case {
    const char* name;
    std::string input;
    std::size_t maxLength;
    std::vector<Piece> expected;
  };
  const std::string longLine(300000, 'x');
  const Case cases[] = {
      {"CR LF and bare LF both end a line", "USER a\r\nPASS b\n", 100, {{"USER a", LF}, {"PASS b", LF}}},
      {"empty lines", "\r\n\n", 100, {{"", LF}, {"", LF}}},
      {"NUL is a byte", "a\0b\r\n"s, 100, {{"a\0b"s, LF}}},
      {"lone CR stays", "a\rb\r\n\r", 100, {{"a\rb", LF}, {"\r", END}}},
      {"only the CR right before LF goes", "a\r\r\n", 100, {{"a\r", LF}}},
      {"8-bit bytes pass", "\xff\xfe\x80 caf\xc3\xa9\r\n", 100, {{"\xff\xfe\x80 caf\xc3\xa9", LF}}},
      {"input that stops without a line end", "+OK\r\npartial", 100, {{"+OK", LF}, {"partial", END}}},
      {"stops after CR", "half\r", 100, {{"half\r", END}}},
      {"exactly the maximum, then CR LF", "abcd\r\nef\n", 4, {{"abcd", LF}, {"ef", LF}}},
      {"exactly the maximum, then LF", "abcd\n", 4, {{"abcd", LF}}},
      {"one byte over the maximum", "abcde\r\n", 4, {{"abcd", SPLIT}, {"e", LF}}},
      {"a CR at the cut is a byte", "abc\rdefg\n", 4, {{"abc\r", SPLIT}, {"defg", LF}}},
      {"long line at end of input", "abcdefghij", 4, {{"abcd", SPLIT}, {"efgh", SPLIT}, {"ij", END}}},
      {"maximum and a CR at end of input", "abcd\r", 4, {{"abcd", SPLIT}, {"\r", END}}},
      {"maximum 1", "ab\r\n\n", 1, {{"a", SPLIT}, {"b", LF}, {"", LF}}},
      {"300,000 bytes in pieces of 262144", longLine + "\r\nnext\r\n", 262144,
       {{std::string(262144, 'x'), SPLIT}, {std::string(300000 - 262144, 'x'), LF}, {"next", LF}}},
  };
  for (const Case& c : cases) {
    for (const std::size_t chunk : {std::size_t{0}, std::size_t{1}, std::size_t{3}, std::size_t{4096}}) {
      if (chunk == 1 && c.input.size() > 10000) {
        continue;  // byte by byte through 300,000 bytes adds time, not cover
      }
      EXPECT_EQ(Split(c.input, c.maxLength, chunk), c.expected) << c.name << ", chunks of " << chunk;
    }
  }
}

TEST(LineBuffer, WaitsForMoreWhileALineMayStillFit) {
  TLineBuffer buffer(4);
  buffer.Append("abcd\r");  // the LF may follow: not split yet
  EXPECT_FALSE(buffer.TakePiece().has_value());
  buffer.Append("\n");
  const auto piece = buffer.TakePiece();
  ASSERT_TRUE(piece.has_value());
  EXPECT_EQ(piece->Text, "abcd");
  EXPECT_EQ(piece->End, LF);
}

TEST(LineBuffer, AMaximumOfZeroIsRefused) {
  EXPECT_THROW(TLineBuffer(0), std::invalid_argument);
  TLineBuffer buffer(10);
  EXPECT_THROW(buffer.SetMaxLineLength(0), std::invalid_argument);
}

}  // namespace
