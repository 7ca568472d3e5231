#include <gtest/gtest.h>

#include <string>

#include "mailparser/TransferCodings.h"

namespace {

using MailParser::decodeBase64;

struct Case {
  std::string input;
  std::string expected;
};

TEST(DecodeBase64, FollowsTheDecodingRules) {
  const Case cases[] = {
      // Whole groups, with and without padding.
      {"", ""},
      {"QUJD", "ABC"},
      {"QUI=", "AB"},
      {"QQ==", "A"},
      {"QUJDRA==", "ABCD"},
      {"/+8A", std::string("\xFF\xEF\x00", 3)},  // the top and bottom of the alphabet

      // Bytes outside the alphabet are skipped wherever they stand.
      {"QU\r\nJD\r\n", "ABC"},
      {" Q U J D ", "ABC"},
      {"QU*J!D\xE9-_.", "ABC"},
      {"\r\n\r\n", ""},

      // An incomplete last group is dropped.
      {"QUJ", ""},
      {"QUJDRA=", "ABC"},
      {"QUJDR", "ABC"},

      // "=" counts as zero bits where it stands, and decoding goes on after it.
      {"QQ==QUJD", "AABC"},
      {"QQ==\r\nQUI=\r\n", "AAB"},
      {"Q=Q=", "@"},
      {"QU=D", "A@"},
      {"====", std::string(1, '\0')},  // the first byte of a group is always written
      {"Q===", "@"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(decodeBase64(c.input), c.expected) << c.input;
  }
}

TEST(DecodeBase64, DecodesPiecesCutAfterEveryFourthCharacterLikeTheWhole) {
  // Seventy-six-character lines as mailers write them, with stray bytes and inner padding.
  const std::string block =
      "VGhlIHF1aWNrIGJyb3duIGZveCBqdW1wcyBvdmVyIHRoZSBsYXp5IGRvZy4gVGhlIHF1aWNrIGJy\r\n"
      "b3duIGZveCBqdW1wcyBvdmVyIHRo ZSBsYXp5IGRvZy4=\r\n"
      "QQ==*\xE9QUJD\r\n";
  const std::string whole = decodeBase64(block);
  ASSERT_EQ(whole.substr(0, 45), "The quick brown fox jumps over the lazy dog. ");

  std::string pieces;
  std::size_t pieceStart = 0;
  int significant = 0;
  for (std::size_t i = 0; i < block.size(); ++i) {
    const char c = block[i];
    const bool inAlphabet = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                            c == '+' || c == '/' || c == '=';
    if (inAlphabet && ++significant % 4 == 0) {
      pieces += decodeBase64(std::string_view(block).substr(pieceStart, i + 1 - pieceStart));
      pieceStart = i + 1;
    }
  }
  pieces += decodeBase64(std::string_view(block).substr(pieceStart));
  EXPECT_EQ(pieces, whole);
}

}  // namespace
