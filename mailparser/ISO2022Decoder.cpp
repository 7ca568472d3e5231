#include "mailparser/ISO2022Decoder.h"

#include <array>

namespace MailParser {

namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr unsigned char kESC = 0x1B;
constexpr unsigned char kSO = 0x0E;
constexpr unsigned char kSI = 0x0F;
constexpr unsigned char kSS2 = 0x8E;
constexpr unsigned char kSS3 = 0x8F;

const CharacterSetEntry kUnusable{"unusable", kG0, nullptr, CharacterSetKind::Unusable};

const CharacterSetEntry* registered(std::uint32_t key) {
  const CharacterSetEntry* entry = findCharacterSet(key);
  return entry != nullptr ? entry : &kUnusable;
}

// The register that an unknown designation names by its first intermediate byte.
int registerOfIntermediate(std::uint8_t intermediate) {
  switch (intermediate) {
    case '(':
    case ',':
    case '$':
      return kG0;
    case ')':
    case '-':
      return kG1;
    case '*':
    case '.':
      return kG2;
    case '+':
    case '/':
      return kG3;
    case '!':
      return kC0;
    case '"':
      return kC1;
    default:
      return -1;
  }
}

// Shift_JIS codes: lead 0x81..0x9F or 0xE0..0xFC, trail 0x40..0xFC (not 0x7F).
constexpr unsigned char kFirstShiftJISTrail = 0x40;
constexpr unsigned char kLastShiftJISTrail = 0xFC;
constexpr int kShiftJISLeads = 31 + 29;
constexpr int kShiftJISTrails = kLastShiftJISTrail - kFirstShiftJISTrail + 1;

int shiftJISLeadIndex(unsigned char lead) {
  if (lead >= 0x81 && lead <= 0x9F) return lead - 0x81;
  if (lead >= 0xE0 && lead <= 0xFC) return lead - 0xE0 + 31;
  return -1;
}

// The units of every Shift_JIS code in one array indexed by lead and trail, made once from
// the row-and-cell table: one load per character instead of the arithmetic and two lookups.
using ShiftJISCodes = std::array<char16_t, kShiftJISLeads * kShiftJISTrails>;

ShiftJISCodes makeShiftJISCodes(const DoubleByteTable& table) {
  ShiftJISCodes codes{};
  for (int leadIndex = 0; leadIndex < kShiftJISLeads; ++leadIndex) {
    const int lead = leadIndex < 31 ? 0x81 + leadIndex : 0xE0 + leadIndex - 31;
    for (int trail = kFirstShiftJISTrail; trail <= kLastShiftJISTrail; ++trail) {
      char16_t unit = kReplacement;
      if (trail != 0x7F) {
        // The standard arithmetic: each lead byte covers two rows, the second from trail 0x9F.
        int row = (lead - (lead <= 0x9F ? 0x81 : 0xC1)) * 2 + 1;
        int cell;
        if (trail >= 0x9F) {
          ++row;
          cell = trail - 0x9E;
        } else {
          cell = trail - (trail <= 0x7E ? 0x3F : 0x40);
        }
        unit = table.lookup(static_cast<std::uint8_t>(0x20 + row), static_cast<std::uint8_t>(0x20 + cell));
      }
      codes[static_cast<std::size_t>(leadIndex * kShiftJISTrails + (trail - kFirstShiftJISTrail))] = unit;
    }
  }
  return codes;
}

// The registry has one Shift_JIS set, over the JIS X 0208 table.
const char16_t* shiftJISCodes() {
  static const ShiftJISCodes codes = makeShiftJISCodes(DoubleByteTables::jisX0208Windows);
  return codes.data();
}

// Decodes the Shift_JIS code that starts with the byte data[i] (0x80..0xFF) into `unit`,
// `codes` being shiftJISCodes(), and returns the number of bytes it takes: one for a
// single-byte katakana, a byte that leads nothing, or a lead byte whose ASCII trail byte
// must then be decoded afresh; two otherwise.
inline std::size_t shiftJISCode(const char16_t* codes, const unsigned char* data, std::size_t size,
                                std::size_t i, char16_t& unit) {
  const unsigned char lead = data[i];
  if (lead >= 0xA1 && lead <= 0xDF) {
    unit = static_cast<char16_t>(0xFF61 + (lead - 0xA1));
    return 1;
  }
  const int leadIndex = shiftJISLeadIndex(lead);
  if (leadIndex < 0 || i + 1 >= size) {
    unit = kReplacement;
    return 1;
  }
  const unsigned char trail = data[i + 1];
  unit = trail >= kFirstShiftJISTrail && trail <= kLastShiftJISTrail
             ? codes[leadIndex * kShiftJISTrails + (trail - kFirstShiftJISTrail)]
             : kReplacement;
  return unit == kReplacement && trail < 0x80 ? 1 : 2;
}

}  // namespace

ISO2022Decoder::ISO2022Decoder(Mode mode)
    : mode_(mode),
      escapesHonoured_(mode == Mode::ISO2022JP || mode == Mode::EUCKR),
      singleShift2_(mode == Mode::EUCJP || mode == Mode::ISO2022JP),
      singleShift3_(mode == Mode::EUCJP || mode == Mode::ISO2022JP) {
  registers_.fill(&kUnusable);
  registers_[kG0] = registered(0x284200);
  registers_[kC0] = registered(0x214600);
  registers_[kC1] = registered(kTransparentC1Key);
  switch (mode) {
    case Mode::ShiftJIS:
      registers_[kG1] = registered(0x294900);
      registers_[kC1] = registered(kShiftJISSetKey);
      break;
    case Mode::ISO2022JP:
      registers_[kG1] = registered(0x294900);
      break;
    case Mode::EUCJP:
      registers_[kG1] = registered(0x242940);
      registers_[kG2] = registered(0x2A4900);
      registers_[kG3] = registered(0x242B44);
      break;
    case Mode::EUCKR:
      registers_[kG1] = registered(0x242943);
      break;
  }
}

std::u16string ISO2022Decoder::decodeWithMode(std::string_view bytes, const void* mode) {
  return ISO2022Decoder(*static_cast<const Mode*>(mode)).decode(bytes);
}

std::u16string ISO2022Decoder::decode(std::string_view bytes) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t size = bytes.size();
  // Every step reads at least one byte and writes at most one unit.
  std::u16string text(size, u'\0');
  out_ = text.data();
  std::size_t i = 0;
  if (mode_ == Mode::ShiftJIS) {
    // No control changes a register in this mode, so every byte below 0x80 is itself (G0
    // ASCII, C0 identity) and every other byte starts a code of the Shift_JIS set.
    const char16_t* codes = shiftJISCodes();
    while (i < size) {
      if (data[i] < 0x80) {
        put(data[i++]);
      } else {
        char16_t unit;
        i += shiftJISCode(codes, data, size, i, unit);
        put(unit);
      }
    }
  }
  while (i < size) {
    const unsigned char byte = data[i];
    // The common case first: a 94-set in the left half and no single shift pending.
    if (byte >= 0x21 && byte <= 0x7E && singleShift_ < 0 &&
        registers_[leftShift_]->kind == CharacterSetKind::Set94) {
      put(registers_[leftShift_]->table[byte - 0x21]);
      ++i;
      continue;
    }
    if (byte == 0x20 || byte == 0x7F) {
      put(byte);
      ++i;
      continue;
    }
    if (escapesHonoured_) {
      if (byte == kESC && i + 1 < size && data[i + 1] >= 0x20 && data[i + 1] <= 0x7E) {
        i = escape(data, size, i + 1);
        continue;
      }
      if (byte == kSI || byte == kSO) {
        leftShift_ = byte == kSI ? kG0 : kG1;
        ++i;
        continue;
      }
    }
    if ((byte == kSS2 && singleShift2_) || (byte == kSS3 && singleShift3_)) {
      singleShift_ = byte == kSS2 ? kG2 : kG3;
      ++i;
      continue;
    }
    const CharacterSetEntry* single =
        singleShift_ >= 0 ? registers_[static_cast<std::size_t>(singleShift_)] : nullptr;
    singleShift_ = -1;
    if (byte < 0x20) {
      i = decodeWith(registers_[kC0], data, size, i, 0x00);
    } else if (byte < 0x80) {
      i = decodeWith(single != nullptr ? single : registers_[leftShift_], data, size, i, 0x21);
    } else if (byte < 0xA0 && single == nullptr) {
      i = decodeWith(registers_[kC1], data, size, i, 0x80);
    } else {
      i = decodeWith(single != nullptr ? single : registers_[rightShift_], data, size, i, 0xA1);
    }
  }
  text.resize(static_cast<std::size_t>(out_ - text.data()));
  return text;
}

std::size_t ISO2022Decoder::escape(const unsigned char* data, std::size_t size, std::size_t i) {
  switch (data[i]) {
    case 'n':
      leftShift_ = kG2;
      return i + 1;
    case 'o':
      leftShift_ = kG3;
      return i + 1;
    case 'N':
      singleShift_ = kG2;
      return i + 1;
    case 'O':
      singleShift_ = kG3;
      return i + 1;
    case '|':
      rightShift_ = kG3;
      return i + 1;
    case '}':
      rightShift_ = kG2;
      return i + 1;
    case '~':
      rightShift_ = kG1;
      return i + 1;
    default:
      break;
  }
  const std::size_t start = i;
  std::uint32_t key = 0;
  int length = 0;
  while (i < size && data[i] >= 0x20 && data[i] <= 0x2F) {
    key = key << 8 | data[i++];
    ++length;
  }
  if (i >= size || data[i] < 0x30 || data[i] > 0x7E || length > 2) {
    // Not a sequence this engine can read: drop what was read of it.
    put(kReplacement);
    return i;
  }
  key = key << 8 | data[i++];
  ++length;
  if (length == 2) {
    key <<= 8;
  }
  designate(key, length > 1 ? data[start] : 0);
  return i;
}

void ISO2022Decoder::designate(std::uint32_t key, std::uint8_t firstIntermediate) {
  if (const CharacterSetEntry* entry = findCharacterSet(key)) {
    registers_[entry->targetRegister] = entry;
    return;
  }
  // "$" is followed by the intermediate that names the register, if any.
  std::uint8_t intermediate = firstIntermediate;
  if (intermediate == '$' && (key & 0xFF) != 0) {
    intermediate = static_cast<std::uint8_t>(key >> 8);
  }
  const int reg = registerOfIntermediate(intermediate);
  if (reg >= 0) {
    registers_[static_cast<std::size_t>(reg)] = &kUnusable;
  }
}

std::size_t ISO2022Decoder::decodeWith(const CharacterSetEntry* set, const unsigned char* data,
                                       std::size_t size, std::size_t i, unsigned char base) {
  const unsigned char byte = data[i];
  switch (set->kind) {
    case CharacterSetKind::Set94: {
      const int index = byte - base;
      put(index >= 0 && index < 94 ? set->table[index] : kReplacement);
      return i + 1;
    }
    case CharacterSetKind::ByteIndexed:
      put(set->table[byte]);
      return i + 1;
    case CharacterSetKind::ControlCodes: {
      const int index = byte - base;
      put(index >= 0 && index < 32 ? set->table[index] : kReplacement);
      return i + 1;
    }
    case CharacterSetKind::Set94x94: {
      const auto inHalf = [base](unsigned char b) { return b >= base && b < base + 94; };
      if (!inHalf(byte)) {
        put(kReplacement);
        return i + 1;
      }
      if (i + 1 >= size || !inHalf(data[i + 1])) {
        // A cut-off pair: the byte that is not its second half is decoded afresh.
        put(kReplacement);
        return i + 1;
      }
      const auto lead = static_cast<std::uint8_t>(((byte - base) + 0x21) | set->tableHighBits);
      const auto trail = static_cast<std::uint8_t>(((data[i + 1] - base) + 0x21) | set->tableHighBits);
      put(set->doubleByteTable->lookup(lead, trail));
      return i + 2;
    }
    case CharacterSetKind::ShiftJIS:
      return decodeShiftJIS(data, size, i);
    case CharacterSetKind::Unusable:
      break;
  }
  put(kReplacement);
  return i + 1;
}

std::size_t ISO2022Decoder::decodeShiftJIS(const unsigned char* data, std::size_t size, std::size_t i) {
  char16_t unit;
  i += shiftJISCode(shiftJISCodes(), data, size, i, unit);
  put(unit);
  return i;
}

}  // namespace MailParser
