#pragma once

#include <map>
#include <string>
#include <string_view>

namespace HTMLFilter {

// Conversion between text and HTML character references.
//
// Decoding knows every HTML5 named reference as browsers read it, the HTML 4.01 names and
// three old aliases (which, unlike the HTML5 names, may also stand without ";"), and numeric
// references up to U+10FFFF (those above U+FFFF become a surrogate pair). Encoding writes
// 7-bit ASCII only, with the HTML 4.01 names where one exists.
//
// One process-wide instance, built on first use and read-only afterwards.
class HTMLCharacterEntities {
 public:
  static const HTMLCharacterEntities& instance();

  // Replaces every recognised reference; an "&" that starts none stays as written. With
  // dropNul, U+0000 characters are removed.
  [[nodiscard]] std::u16string decode(std::u16string_view text, bool dropNul) const;
  void decodeAppend(std::u16string& out, std::u16string_view text, bool dropNul) const;

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
  std::size_t readReference(std::u16string_view text, char32_t& first, char32_t& second) const;

  std::map<std::string, char16_t, std::less<>> HTMLEntitiesByName;
  std::map<char16_t, std::string> namesByCode;
};

}  // namespace HTMLFilter
