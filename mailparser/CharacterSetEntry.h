#pragma once

#include <cstdint>
#include <string_view>

#include "mailparser/DoubleByteTables.h"

// One character set known to the ISO 2022 engine, and the registry that finds a set by the
// escape sequence that designates it.

namespace MailParser {

enum class CharacterSetKind : std::uint8_t {
  Set94 = 0,         // bytes 0x21..0x7E, or 0xA1..0xFE in the right half
  ByteIndexed = 1,   // indexed by the byte value itself
  Set94x94 = 2,      // two such bytes, row and cell
  ShiftJIS = 4,      // Shift_JIS codes of JIS X 0208 plus single-byte JIS X 0201 katakana
  ControlCodes = 5,  // C0 (0x00..0x1F) or C1 (0x80..0x9F), indexed from the first
  Unusable = 6,      // designated by an unknown sequence: decodes nothing
};

// Registers: G0..G3, then C0 and C1.
enum : std::uint8_t { kG0 = 0, kG1 = 1, kG2 = 2, kG3 = 3, kC0 = 4, kC1 = 5, kRegisterCount = 6 };

struct CharacterSetEntry {
  std::string_view name;
  std::uint8_t targetRegister = kG0;
  // Set94 (94 units), ByteIndexed (256 units), ControlCodes (32 units).
  const char16_t* table = nullptr;
  CharacterSetKind kind = CharacterSetKind::Unusable;
  // Set94x94 and ShiftJIS: the table looked up by row and cell, each plus 0x20 ...
  const DoubleByteTable* doubleByteTable = nullptr;
  // ... and with these bits set (0x80 where the table is kept in EUC form).
  std::uint8_t tableHighBits = 0;
};

// The key of a designation: the bytes after ESC (intermediates, then the final byte) packed
// big-endian into the low three bytes, the low byte zero for a two-byte sequence; 0x284200
// for ESC ( B. Keys of sets that no escape sequence reaches start 0xFE.
constexpr std::uint32_t kShiftJISSetKey = 0xFE2200;
constexpr std::uint32_t kTransparentC1Key = 0xFE2300;

// The registered set of a key, or null. The registry is built once, on first use.
[[nodiscard]] const CharacterSetEntry* findCharacterSet(std::uint32_t key);

}  // namespace MailParser
