#include <array>
#include <map>

#include "mailparser/CharacterSetEntry.h"

namespace MailParser {

namespace {

// The sets that are plain arithmetic, not mappings.
struct ComputedTables {
  std::array<char16_t, 94> ascii{};
  std::array<char16_t, 94> jisRoman{};
  std::array<char16_t, 94> jisKatakana{};
  std::array<char16_t, 32> c0{};
  std::array<char16_t, 32> c1{};

  ComputedTables() {
    for (int i = 0; i < 94; ++i) {
      ascii[i] = static_cast<char16_t>(0x21 + i);
      // 0x21..0x5F are U+FF61..U+FF9F; the rest of the set is empty.
      jisKatakana[i] = i < 63 ? static_cast<char16_t>(0xFF61 + i) : u'\uFFFD';
    }
    jisRoman = ascii;
    jisRoman[0x5C - 0x21] = u'\u00A5';  // YEN SIGN
    jisRoman[0x7E - 0x21] = u'\u203E';  // OVERLINE
    for (int i = 0; i < 32; ++i) {
      c0[i] = static_cast<char16_t>(i);
      c1[i] = static_cast<char16_t>(0x80 + i);
    }
  }
};

const ComputedTables& computed() {
  static const ComputedTables tables;
  return tables;
}

using Registry = std::map<std::uint32_t, CharacterSetEntry>;

Registry buildRegistry() {
  const ComputedTables& t = computed();
  const DoubleByteTable* jis = &DoubleByteTables::jisX0208Windows;
  Registry registry;
  const auto add = [&registry](std::uint32_t key, CharacterSetEntry entry, std::uint8_t targetRegister) {
    entry.targetRegister = targetRegister;
    registry[key] = entry;
  };
  // The G0..G3 designations of a 94-set with final byte F: ESC ( F, ESC ) F, ESC * F, ESC + F.
  const auto add94 = [&add](std::uint8_t final, const CharacterSetEntry& entry, int registers) {
    for (std::uint8_t reg = 0; reg < registers; ++reg) {
      add((0x28u + reg) << 16 | std::uint32_t{final} << 8, entry, reg);
    }
  };
  // A 94x94 set: ESC $ F (G0, the old form), ESC $ ( F .. ESC $ + F.
  const auto add94x94 = [&add](std::uint8_t final, const CharacterSetEntry& entry) {
    add(0x2400u << 8 | std::uint32_t{final} << 8, entry, kG0);
    for (std::uint8_t reg = 0; reg < 4; ++reg) {
      add(0x240000u | (0x28u + reg) << 8 | final, entry, reg);
    }
  };

  add(0x214600, {"125-ISO 646 Control Codes", 0, t.c0.data(), CharacterSetKind::ControlCodes}, kC0);
  add(kTransparentC1Key, {"C1 transparent table", 0, t.c1.data(), CharacterSetKind::ControlCodes}, kC1);
  add94('B', {"006-ISO 646 ASCII USA", 0, t.ascii.data(), CharacterSetKind::Set94}, 2);
  add94('J', {"014-ISO JIS X 0201-1976", 0, t.jisRoman.data(), CharacterSetKind::Set94}, 2);
  add94('I', {"013-ISO JIS X 0201-1976", 0, t.jisKatakana.data(), CharacterSetKind::Set94}, 4);
  add94x94('B', {"087-Japanese JISC 6226-1983", 0, nullptr, CharacterSetKind::Set94x94, jis});
  add94x94('@', {"042-Japanese JISC 6226-1978", 0, nullptr, CharacterSetKind::Set94x94, jis});
  add94x94('C', {"149-KSC5601-1987", 0, nullptr, CharacterSetKind::Set94x94, &DoubleByteTables::unifiedHangul,
                 0x80});
  // Beyond the sets above: the supplementary kanji of ISO-2022-JP-1 and EUC-JP, and
  // GB 2312 as ISO-2022-JP-2 and ISO-2022-CN designate it.
  add94x94('D', {"159-JIS X 0212-1990", 0, nullptr, CharacterSetKind::Set94x94, &DoubleByteTables::jisX0212});
  add94x94('A',
           {"058-Chinese GB 2312-80", 0, nullptr, CharacterSetKind::Set94x94, &DoubleByteTables::gbk, 0x80});
  add(kShiftJISSetKey, {"Shift_JIS double-byte set", 0, nullptr, CharacterSetKind::ShiftJIS, jis}, kC1);
  return registry;
}

}  // namespace

const CharacterSetEntry* findCharacterSet(std::uint32_t key) {
  static const Registry registry = buildRegistry();
  const auto found = registry.find(key);
  return found == registry.end() ? nullptr : &found->second;
}

}  // namespace MailParser
