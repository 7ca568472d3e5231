#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "mailparser/CharacterSetEntry.h"

// The ISO 2022 engine: six registers of character sets (G0..G3, C0, C1), a left-half shift
// (the G register that decodes 0x21..0x7E), a right-half shift (0xA0..0xFF) and a single
// shift for one character. The four modes differ in their initial registers and in which
// controls they honour.

namespace MailParser {

class ISO2022Decoder {
 public:
  enum class Mode : std::uint8_t {
    // G0 ASCII, G1 JIS X 0201 katakana, C1 the Shift_JIS set, which also decodes the right
    // half, so that both lead-byte ranges of Shift_JIS combine. No escapes, SO/SI or single
    // shifts: Shift_JIS is no ISO 2022 code, ESC is a plain control as browsers read it, and
    // 0x8E and 0x8F are lead bytes of common kanji.
    ShiftJIS = 1,
    // G0 ASCII, G1 JIS X 0208, G2 katakana, G3 JIS X 0212, C1 transparent. SS2 and SS3 only.
    EUCJP = 2,
    // G0 ASCII, G1 JIS X 0201 katakana, C1 transparent. Escapes, SO/SI, SS2 and SS3.
    ISO2022JP = 3,
    // G0 ASCII, G1 KS C 5601, C1 transparent. Escapes and SO/SI are honoured, so the same
    // mode reads EUC-KR and ISO-2022-KR ("ESC $ ) C", then SO ... SI).
    EUCKR = 4,
  };

  explicit ISO2022Decoder(Mode mode);

  // Decodes the bytes. A byte or sequence that no set decodes gives U+FFFD; the output never
  // has more code units than the input has bytes. The shift and designation state carries
  // over to a following call, so one decoder object reads one text.
  [[nodiscard]] std::u16string decode(std::string_view bytes);

  // The decoder function of ConvertersMap; the parameter points to a Mode.
  static std::u16string decodeWithMode(std::string_view bytes, const void* mode);

 private:
  // Reads the escape sequence starting at data[i] (just after ESC); returns the index after it.
  std::size_t escape(const unsigned char* data, std::size_t size, std::size_t i);
  void designate(std::uint32_t key, std::uint8_t firstIntermediate);
  // Decodes one character starting at data[i] with `set`, `base` being 0x21 or 0xA1.
  std::size_t decodeWith(const CharacterSetEntry* set, const unsigned char* data, std::size_t size,
                         std::size_t i, unsigned char base);
  std::size_t decodeShiftJIS(const unsigned char* data, std::size_t size, std::size_t i);

  Mode mode_;
  bool escapesHonoured_;
  bool singleShift2_;
  bool singleShift3_;
  std::array<const CharacterSetEntry*, kRegisterCount> registers_{};
  std::uint8_t leftShift_ = kG0;
  std::uint8_t rightShift_ = kG1;
  int singleShift_ = -1;
  void put(char16_t unit) { *out_++ = unit; }

  char16_t* out_ = nullptr;  // into the text that decode() is writing
};

}  // namespace MailParser
