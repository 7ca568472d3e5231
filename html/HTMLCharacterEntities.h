#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace HTMLFilter {

// Conversion between text and HTML character references.
//
// Decoding knows every HTML5 named reference as browsers read it (the old names also without
// ";"), three old aliases of HTML 4 names (with or without ";"), and numeric
// references up to U+10FFFF (those above U+FFFF become a surrogate pair). Encoding writes
// 7-bit ASCII only, with the HTML 4.01 names where one exists.
//
// One process-wide instance, built on first use and read-only afterwards.
class HTMLCharacterEntities {
 public:
  static const HTMLCharacterEntities& instance();

  // Replaces every recognised reference; an "&" that starts none stays as written. With
  // dropNul, U+0000 characters are removed. References end as browsers end them: an old
  // name without ";" in an attribute value followed by "=", a letter or a digit is no
  // reference, so inAttribute says which rules apply.
  [[nodiscard]] std::u16string decode(std::u16string_view text, bool dropNul, bool inAttribute = false) const;
  void decodeAppend(std::u16string& out, std::u16string_view text, bool dropNul,
                    bool inAttribute = false) const;

  // Printable ASCII other than '"', "&", "<" and ">" as itself, everything else as a
  // reference. A surrogate pair is one character and gets one numeric reference.
  [[nodiscard]] std::string encode(std::u16string_view text) const;
  void encodeAppend(std::string& out, std::u16string_view text) const;

  // "&name;" when the character has an HTML 4.01 name, otherwise "&#decimal;". A surrogate
  // on its own or a value above U+10FFFF is written as U+FFFD.
  [[nodiscard]] std::string encodeCharacter(char32_t code) const;
  void encodeCharacterAppend(std::string& out, char32_t code) const;

 private:
  HTMLCharacterEntities();

  // Length of the reference starting at text[0] == '&' (0 when there is none); its one or
  // two code points go to first and second (second 0 for one).
  // Longest reference encode writes: "&thetasym;", "&#1114111;".
  static constexpr std::size_t kMaxReferenceLength = 10;
  // Writes the reference of one character at p, returning the end.
  char* writeReference(char* p, char32_t code) const;

  std::size_t readReference(std::u16string_view text, bool inAttribute, char32_t& first,
                            char32_t& second) const;

  std::map<std::string, char16_t, std::less<>> HTMLEntitiesByName;
  std::map<char16_t, std::string> namesByCode;
  // The same names indexed by code for encoding, in the two ranges that hold them all:
  // below 0x400 (Latin-1, Latin Extended, Greek) and the punctuation and symbols from 0x2000.
  static constexpr char16_t kLowNamesEnd = 0x400;
  static constexpr char16_t kSymbolNamesBegin = 0x2000;
  static constexpr char16_t kSymbolNamesEnd = 0x2700;
  // "&", the name and ";" in a fixed-size slot that is copied whole (the longest,
  // "&thetasym;", fills it); length 0 for a code without a name. Below 0x400 every slot is
  // filled, with the numeric reference where there is no name.
  struct Reference {
    char text[10];
    std::uint8_t length;
  };
  Reference lowNames[kLowNamesEnd] = {};
  Reference symbolNames[kSymbolNamesEnd - kSymbolNamesBegin] = {};
};

}  // namespace HTMLFilter
